#include "engine/RemovalBatch.h"

#include "engine/BatchWindow.h"
#include "engine/RemovalBatchJobs.h"
#include "fsutil/Main.h"
#include "platform/ChildProcess.h"
#include "platform/Desktop.h"
#include "platform/ErrorTrap.h"
#include "platform/EventPump.h"
#include "process/ProgressBar.h"
#include "process/Shell32.h"

#include <cmath>

namespace {

// The window handles its events at least this often while a file is at work.
constexpr int PollMs = 100;

}  // namespace

RemovalBatch::RemovalBatch(BatchWindow &window, Desktop &desktop, QString programFolder)
    : window_(window), desktop_(desktop), programFolder_(std::move(programFolder)) {}

void RemovalBatch::Run() {
    ErrorTrap trap(desktop_, QStringLiteral("Form1.PushButton2_Click"));
    if (trap.test(100, [&] { return window_.FileRowCount() == 0; })) {
        trap.step(100, [&] { window_.ShowPlainMessage(QStringLiteral("No files added.")); });
        return;
    }
    if (trap.test(102, [&] { return !Main::FolderExists(window_.OutputFolderText()); })) {
        trap.step(102, [&] {
            window_.ShowPlainMessage(
                QStringLiteral("Folder does not exist. Please select another folder."));
        });
        return;
    }
    if (!Plan(trap) || !ConfirmReplacements()) {
        return;
    }
    trap.step(104, [&] { window_.SetMousePointer(BatchWindow::BusyPointer); });
    window_.SetBatchRunning(true);
    if (StartWorking(trap)) {
        CleanAll(trap);
    }
    if (!abandoned_) {
        workingFolder_.remove();
        window_.SetBatchRunning(false);
        Finish(trap);
    }
}

void RemovalBatch::Stop() {
    stopped_ = true;
    if (jobs_ != nullptr) {
        jobs_->stop();
    }
}

void RemovalBatch::Abandon() {
    abandoned_ = true;
    if (jobs_ != nullptr) {
        jobs_->stop();
        jobs_->join();
    }
    ChildProcess::EndAll();
    workingFolder_.remove();
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
    files_ = RemovalBatchPlan::Plan(rows, outputFolder_);
    return read;
}

// Files already in the output folder are replaced only when the user says so, once.
bool RemovalBatch::ConfirmReplacements() {
    const RemovalBatchPlan::Replacements replaced = RemovalBatchPlan::WouldReplace(files_);
    if (replaced.files == 0) {
        return true;
    }
    DetailedMessage question;
    question.text = RemovalBatchPlan::ReplaceQuestion(replaced, outputFolder_);
    question.buttons = QStringList{QStringLiteral("Replace"), QStringLiteral("Cancel")};
    question.escapeButton = 1;
    return window_.ShowDetailedMessage(question) == 0;
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
void RemovalBatch::CleanAll(ErrorTrap &trap) {
    const int count = static_cast<int>(files_.size());
    outcomes_.assign(files_.size(), {});
    RemovalBatchJobs jobs(files_, workingFolder_.path(), programFolder_);
    jobs_ = &jobs;
    int index = 0;
    while (index < count && !Ending()) {
        ShowProgress(trap, index + 1);
        WaitForFile(jobs, index);
        if (Ending()) {
            break;
        }
        TakeResult(jobs, index++);
    }
    jobs.stop();
    jobs.join();
    jobs_ = nullptr;
    // After a stop, files done by then still count; the others were never cleaned.
    for (; index < count; ++index) {
        TakeResult(jobs, index);
    }
}

void RemovalBatch::ShowProgress(ErrorTrap &trap, int position) {
    trap.step(112, [&] {
        window_.Progress().setValue(position / static_cast<double>(files_.size()) * 100);
    });
    trap.step(114, [&] {
        window_.Progress().setText(QStringLiteral("Processing: ") + files_[position - 1].name);
    });
    EventPump::processEvents();
    if (!abandoned_) {
        trap.step(118, [&] { window_.SetMousePointer(BatchWindow::BusyPointer); });
    }
}

// A long file keeps the bar counting, as a slow tool does.
void RemovalBatch::WaitForFile(RemovalBatchJobs &jobs, int index) {
    ProgressBar &bar = window_.Progress();
    Shell32::WaitingBar waiting(bar, bar.text(), static_cast<int>(std::nearbyint(bar.value())),
                                static_cast<int>(files_.size()));
    bool waited = false;
    while (!Ending() && !jobs.waitFor(index, PollMs)) {
        EventPump::processEvents();
        waiting.afterPoll();
        waited = true;
    }
    if (waited && !abandoned_) {
        waiting.restoreCaption();
    }
}

void RemovalBatch::TakeResult(RemovalBatchJobs &jobs, int index) {
    if (abandoned_) {
        return;
    }
    std::optional<RemovalBatchJobs::Result> result = jobs.take(index);
    if (!result) {
        outcomes_[index].reason = RemovalBatchReport::StoppedReason();
        return;
    }
    outcomes_[index] = std::move(result->outcome);
    for (const RemovalBatchJobs::Dialog &dialog : result->dialogs) {
        desktop_.messageBox(dialog.text, dialog.title, dialog.icon, MessageButtons::Ok);
    }
}

void RemovalBatch::Finish(ErrorTrap &trap) {
    DetailedMessage closing;
    trap.step(138, [&] {
        window_.SetMousePointer(BatchWindow::DefaultPointer);
        window_.Progress().setValue(0);
        window_.Progress().setText(QStringLiteral("Progress Bar"));
        closing.text =
            RemovalBatchReport::ClosingMessage(files_, outcomes_, outputFolder_, stopped_);
        closing.detailedText = RemovalBatchReport::Details(files_, outcomes_);
        closing.buttons = QStringList{QStringLiteral("OK"), QStringLiteral("Open Folder")};
    });
    if (window_.ShowDetailedMessage(closing) == 1) {
        desktop_.openFolder(outputFolder_);
    }
}
