#include "engine/RemovalBatch.h"

#include "engine/BatchWindow.h"
#include "engine/FailureReason.h"
#include "engine/RemovalBatchJobs.h"
#include "fsutil/Main.h"
#include "platform/ChildProcess.h"
#include "platform/Desktop.h"
#include "platform/ErrorTrap.h"
#include "platform/EventPump.h"
#include "process/ProgressBar.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <future>

namespace {

// The window handles its events at least this often while a file is at work.
constexpr int PollMs = 100;
// After a stop it looks this often whether the passes at work have given up.
constexpr int StopPollMs = 10;

// The caption tells the time left once the batch has run this long.
constexpr qint64 QuietEstimateMs = 3000;

// Each file counts its size and this much more towards the time left: opening, checking and
// writing even an empty file takes a while.
constexpr qint64 FileOverheadBytes = qint64(64) << 10;

// A file larger than this moves the bar while it is at work, by how far it has come.
constexpr qint64 LargeFileBytes = qint64(50) << 20;

enum ClosingButton { OkButton, OpenFolderButton, KeepRestButton };

}  // namespace

RemovalBatch::RemovalBatch(BatchWindow &window, Desktop &desktop, QString programFolder)
    : window_(window), desktop_(desktop), programFolder_(std::move(programFolder)) {}

void RemovalBatch::Run() {
    ErrorTrap trap(desktop_, QStringLiteral("Form1.PushButton2_Click"));
    if (trap.test(100, [&] { return window_.FileRowCount() == 0; })) {
        trap.step(100, [&] { window_.ShowPlainMessage(QStringLiteral("No files added.")); });
        return;
    }
    if (!OutputFolderReady(trap) || !Plan(trap) || !ConfirmReplacements()) {
        return;
    }
    trap.step(104, [&] { window_.SetMousePointer(BatchWindow::BusyPointer); });
    window_.SetBatchRunning(true);
    if (StartWorking(trap)) {
        RemovalBatchJobs jobs(files_, workingFolder_.path(), programFolder_);
        jobs_ = &jobs;
        CleanAll(trap, jobs);
        if (!abandoned_) {
            SyncOutputs();
            window_.SetBatchRunning(false);
            Finish(trap);
        }
        // The workers remove the last working copies, a large one taking a while, meanwhile.
        while (!jobs.waitForEnd(PollMs)) {
            EventPump::processEvents();
        }
        jobs_ = nullptr;
    }
    workingFolder_.remove();
}

void RemovalBatch::Stop() {
    stopped_ = true;
    if (jobs_ != nullptr) {
        jobs_->stop();
    }
}

// The batch's own loop waits for the workers and removes the working folder; the tools go now.
void RemovalBatch::Abandon() {
    abandoned_ = true;
    if (jobs_ != nullptr) {
        jobs_->stop();
    }
    ChildProcess::EndAll();
}

// A folder named in full that is not there yet is made when the user agrees.
bool RemovalBatch::OutputFolderReady(ErrorTrap &trap) {
    const QString folder = window_.OutputFolderText();
    if (!trap.test(102, [&] { return !Main::FolderExists(folder); })) {
        return true;
    }
    const bool makeable = QDir::isAbsolutePath(folder) && !QFileInfo::exists(folder);
    if (makeable &&
        !window_.Ask(QStringLiteral("The folder %1 does not exist. Create it?").arg(folder))) {
        return false;
    }
    if (makeable && QDir().mkpath(folder)) {
        return true;
    }
    trap.step(102, [&] {
        window_.ShowPlainMessage(
            QStringLiteral("Folder does not exist. Please select another folder."));
    });
    return false;
}

// Reads the list and the output folder once and settles every output's name.
bool RemovalBatch::Plan(ErrorTrap &trap) {
    QStringList rows;
    const bool read = trap.step(108, [&] {
        outputFolder_ = window_.OutputFolderText();
        for (int position = 1; position <= window_.FileRowCount(); ++position) {
            rows << window_.RowText(position);
        }
    });
    files_ = RemovalBatchPlan::Plan(rows, outputFolder_, FileSystem::foldsCase(outputFolder_));
    return read;
}

// Files already in the output folder are replaced only when the user says so, once.
bool RemovalBatch::ConfirmReplacements() {
    const RemovalBatchPlan::Replacements replaced = RemovalBatchPlan::WouldReplace(files_);
    if (replaced.files() == 0) {
        return true;
    }
    DetailedMessage question;
    question.text = RemovalBatchPlan::ReplaceQuestion(replaced, files_, outputFolder_);
    question.buttons = QStringList{QStringLiteral("Replace"), QStringLiteral("Cancel")};
    // Replacing an original loses its metadata for good: a stray Return must not do it.
    question.defaultButton = 1;
    question.escapeButton = 1;
    question.icon = MessageIcon::Warning;
    if (window_.ShowDetailedMessage(question) != 0) {
        return false;
    }
    RemovalBatchPlan::AllowReplacing(files_, replaced);
    return true;
}

bool RemovalBatch::StartWorking(ErrorTrap &trap) {
    const QString temporaryFolder = Main::TemporaryFolder();
    if (workingFolder_.create(temporaryFolder)) {
        return true;
    }
    trap.step(138, [&] {
        window_.SetMousePointer(BatchWindow::DefaultPointer);
        window_.SetBatchRunning(false);
        window_.ShowPlainMessage(QStringLiteral("Done.\r\n\r\nNo file was cleaned: a private "
                                                "working folder could not be made in \"%1\".")
                                     .arg(temporaryFolder));
    });
    abandoned_ = true;
    return false;
}

// The window follows the files in list order while the workers run ahead.
void RemovalBatch::CleanAll(ErrorTrap &trap, RemovalBatchJobs &jobs) {
    const int count = static_cast<int>(files_.size());
    outcomes_.assign(files_.size(), {});
    for (const RemovalBatchPlan::File &file : files_) {
        bytesTotal_ += file.size + FileOverheadBytes;
    }
    clock_.start();
    int index = 0;
    while (index < count && !Ending()) {
        ShowProgress(trap, index);
        WaitForFile(jobs, index);
        if (Ending()) {
            break;
        }
        bytesDone_ += files_[index].size + FileOverheadBytes;
        TakeResult(jobs, index++);
    }
    jobs.stop();
    // Files at work end at their next look at the stop flag; the window keeps answering meanwhile.
    while (!(Ending() ? jobs.waitForOutcomesAfterStop(StopPollMs) : jobs.waitForOutcomes(PollMs))) {
        EventPump::processEvents();
    }
    // After a stop, files done by then still count; the others were never cleaned.
    for (; index < count; ++index) {
        TakeResult(jobs, index);
    }
}

// A small file shows as done once it is at work; a large one fills its share as it goes.
void RemovalBatch::ShowProgress(ErrorTrap &trap, int index) {
    const int count = static_cast<int>(files_.size());
    const int shown = files_[index].size > LargeFileBytes ? index : index + 1;
    trap.step(112, [&] { window_.Progress().setValue(shown / double(count) * 100); });
    trap.step(114, [&] { window_.Progress().setText(ProgressCaption(index)); });
    EventPump::processEvents();
    if (!abandoned_) {
        trap.step(118, [&] { window_.SetMousePointer(BatchWindow::BusyPointer); });
    }
}

// "File 3 of 300: name", and the time left once the batch has run a while, judged by the share
// of bytes done.
QString RemovalBatch::ProgressCaption(int index) const {
    const QString caption =
        QStringLiteral("File %1 of %2: %3")
            .arg(QString::number(index + 1), QString::number(files_.size()), files_[index].name);
    const qint64 elapsed = clock_.elapsed();
    if (elapsed < QuietEstimateMs || bytesDone_ == 0) {
        return caption;
    }
    const double left = double(elapsed) * double(bytesTotal_ - bytesDone_) / double(bytesDone_);
    return caption + QStringLiteral(" (") +
           RemovalBatchReport::TimeLeft(static_cast<qint64>(left)) + QLatin1Char(')');
}

void RemovalBatch::WaitForFile(RemovalBatchJobs &jobs, int index) {
    while (!Ending() && !jobs.waitFor(index, PollMs)) {
        EventPump::processEvents();
        if (!abandoned_) {
            window_.Progress().setText(ProgressCaption(index));
            ShowLargeFileShare(jobs, index);
        }
    }
}

// The bar never moves back: the file's steps are read while its worker moves on.
void RemovalBatch::ShowLargeFileShare(RemovalBatchJobs &jobs, int index) {
    if (files_[index].size <= LargeFileBytes) {
        return;
    }
    const double value = (index + jobs.progressOf(index)) / double(files_.size()) * 100;
    if (value > window_.Progress().value()) {
        window_.Progress().setValue(value);
    }
}

void RemovalBatch::TakeResult(RemovalBatchJobs &jobs, int index) {
    if (abandoned_) {
        return;
    }
    std::optional<RemovalBatchReport::Outcome> outcome = jobs.take(index);
    if (!outcome) {
        outcomes_[index] = RemovalBatchReport::NotStarted();
        return;
    }
    if (outcome->failure.cause == Formats::Cause::DiskFull) {
        ending_.fullDisk = outcome->fullDisk;
        stopped_ = true;
        jobs.stop();
    }
    outcomes_[index] = std::move(*outcome);
}

// New outputs skipped their own syncs: one sync for all of them, before any is reported cleaned.
// The window keeps answering while the disk catches up.
void RemovalBatch::SyncOutputs() {
    std::future<int> synced = std::async(std::launch::async, [folder = outputFolder_] {
        try {
            FileSystem::syncFileSystemOf(folder);
            return 0;
        } catch (const AppError &error) {
            return error.number();
        }
    });
    while (synced.wait_for(std::chrono::milliseconds(PollMs)) != std::future_status::ready) {
        EventPump::processEvents();
    }
    const int failed = synced.get();
    if (failed == 0) {
        return;
    }
    for (RemovalBatchReport::Outcome &outcome : outcomes_) {
        if (!RemovalBatchReport::Failed(outcome)) {
            outcome = {RemovalBatchReport::Outcome::Kind::NotCleaned,
                       FailureReason::ForOutput(failed),
                       {},
                       {}};
        }
    }
}

void RemovalBatch::Finish(ErrorTrap &trap) {
    DetailedMessage closing;
    const bool anyFailed =
        std::any_of(outcomes_.begin(), outcomes_.end(), RemovalBatchReport::Failed);
    trap.step(138, [&] {
        window_.SetMousePointer(BatchWindow::DefaultPointer);
        window_.Progress().setValue(0);
        window_.Progress().setText(QStringLiteral("Progress Bar"));
        ending_.stopped = stopped_;
        closing.text =
            RemovalBatchReport::ClosingMessage(files_, outcomes_, outputFolder_, ending_);
        closing.detailedText = RemovalBatchReport::Details(files_, outcomes_);
        closing.buttons = QStringList{QStringLiteral("OK"), QStringLiteral("Open Folder")};
        if (stopped_ && anyFailed) {
            closing.buttons << QStringLiteral("Keep Only the Files Not Cleaned");
        }
        closing.icon = anyFailed ? MessageIcon::Warning : MessageIcon::None;
    });
    // Open Folder leaves the message up; a folder no file manager could show is said so.
    int pressed = window_.ShowDetailedMessage(closing);
    while (pressed == OpenFolderButton) {
        if (!desktop_.openFolder(outputFolder_)) {
            window_.ShowPlainMessage(noFileManagerMessage(outputFolder_));
        }
        pressed = window_.ShowDetailedMessage(closing);
    }
    if (pressed == KeepRestButton) {
        KeepOnlyFilesNotCleaned();
    }
}

void RemovalBatch::KeepOnlyFilesNotCleaned() {
    std::vector<int> done;
    for (int i = 0; i < static_cast<int>(outcomes_.size()); ++i) {
        if (!RemovalBatchReport::Failed(outcomes_[i])) {
            done.push_back(i + 1);
        }
    }
    window_.RemoveRows(done);
}
