#include "engine/RemovalBatchJobs.h"

#include "engine/FailureReason.h"
#include "engine/Routes.h"
#include "formats/core/Notes.h"
#include "formats/core/Stop.h"
#include "fsutil/Main.h"
#include "platform/ErrorTrap.h"

#include <QDir>

#include <algorithm>
#include <new>

namespace {

using Outcome = RemovalBatchReport::Outcome;

const QString DiskFull = FailureReason::ForError(ErrorNumber::DiskFull, {});

Outcome notCleaned(const QString &reason) {
    return {Outcome::Kind::NotCleaned, reason, {}, {}};
}

// A file of a kind no pass cleans is written as it is, and never counted as cleaned.
Outcome::Kind outcomeKind(const Kinds::Kind *kind) {
    if (kind == nullptr) {
        return Outcome::Kind::CopiedUnknown;
    }
    return kind->clean == nullptr ? Outcome::Kind::CopiedAsItIs : Outcome::Kind::Cleaned;
}

// A desktop for worker threads: it records the messages of error traps and shows nothing.
class CollectingDesktop : public Desktop {
  public:
    MessageAnswer messageBox(const QString &text, const QString &title, MessageIcon icon,
                             MessageButtons) override {
        dialogs.push_back({text, title, icon});
        return MessageAnswer::Ok;
    }
    int detailedMessageBox(const DetailedMessage &message) override {
        dialogs.push_back({message.text, message.title, MessageIcon::None});
        return message.escapeButton;
    }
    QString inputBox(const QString &, const QString &, const QString &) override { return {}; }
    QString openFileDialog(QWidget *, const OpenFileRequest &) override { return {}; }
    QString browseForFolder(QWidget *, const QString &, const QString &) override { return {}; }
    void openFolder(const QString &) override {}
    bool openAddress(const QString &) override { return false; }

    std::vector<RemovalBatchJobs::Dialog> dialogs;
};

}  // namespace

int RemovalBatchJobs::DefaultWorkers() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

RemovalBatchJobs::RemovalBatchJobs(const std::vector<RemovalBatchPlan::File> &files,
                                   QString workingFolder, QString programFolder, int workers,
                                   qint64 memoryBudget)
    : files_(files),
      workingFolder_(std::move(workingFolder)),
      programFolder_(std::move(programFolder)),
      memoryBudget_(memoryBudget),
      results_(files.size()) {
    for (const RemovalBatchPlan::File &file : files) {
        costs_.push_back(
            std::min(Routes::memoryCost(file.name, file.extension, file.source), memoryBudget_));
    }
    const int count = std::min(workers, static_cast<int>(files.size()));
    for (int i = 0; i < count; ++i) {
        workers_.emplace_back([this] { work(); });
    }
}

RemovalBatchJobs::~RemovalBatchJobs() {
    stop();
    join();
}

void RemovalBatchJobs::stop() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
}

void RemovalBatchJobs::join() {
    for (std::thread &worker : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

bool RemovalBatchJobs::waitFor(int index, int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return results_[index].has_value(); });
}

std::optional<RemovalBatchJobs::Result> RemovalBatchJobs::take(int index) {
    const std::lock_guard<std::mutex> guard(lock_);
    return std::move(results_[index]);
}

// Takes the next file in list order once it fits the budget beside the files at work.
bool RemovalBatchJobs::claim(int &index, qint64 &cost) {
    std::unique_lock<std::mutex> guard(lock_);
    const int count = static_cast<int>(files_.size());
    changed_.wait(guard, [&] {
        return stopping_ || next_ >= count ||
               (waitingAlone_ == 0 && !aloneAtWork_ &&
                (inUse_ == 0 || inUse_ + costs_[next_] <= memoryBudget_));
    });
    if (stopping_ || next_ >= count) {
        return false;
    }
    index = next_++;
    cost = costs_[index];
    inUse_ += cost;
    return true;
}

void RemovalBatchJobs::work() {
    int index = 0;
    qint64 cost = 0;
    while (claim(index, cost)) {
        Result result = clean(index);
        if (result.outcome.reason == DiskFull) {
            result = cleanAlone(index, cost);
        }
        {
            const std::lock_guard<std::mutex> guard(lock_);
            inUse_ -= cost;
            results_[index] = std::move(result);
        }
        changed_.notify_all();
    }
}

// Waits until no other file is at work, without holding its own share meanwhile, so that two
// files waiting alike do not wait for each other.
RemovalBatchJobs::Result RemovalBatchJobs::cleanAlone(int index, qint64 cost) {
    {
        std::unique_lock<std::mutex> guard(lock_);
        inUse_ -= cost;
        ++waitingAlone_;
        changed_.wait(guard, [&] { return stopping_ || (inUse_ == 0 && !aloneAtWork_); });
        --waitingAlone_;
        inUse_ += cost;
        aloneAtWork_ = true;
    }
    Result result = clean(index);
    {
        const std::lock_guard<std::mutex> guard(lock_);
        aloneAtWork_ = false;
    }
    changed_.notify_all();
    return result;
}

// No file ends the batch: whatever a route throws becomes the file's reason.
RemovalBatchJobs::Result RemovalBatchJobs::clean(int index) {
    const Formats::StopWatch watch(stopping_);
    const QString folder = workingFolder_ + QStringLiteral("/%1").arg(index + 1);
    CollectingDesktop desktop;
    Result result;
    try {
        result.outcome = cleanIn(folder, files_[index], desktop);
    } catch (const std::bad_alloc &) {
        result.outcome = notCleaned(QStringLiteral("not enough memory to clean it"));
    } catch (const std::exception &error) {
        result.outcome = notCleaned(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        result.outcome = notCleaned(QStringLiteral("an unexpected error stopped its cleaning"));
    }
    // Its working copy still carries the user's metadata.
    QDir(folder).removeRecursively();
    if (stopping_ && result.outcome.kind == Outcome::Kind::NotCleaned) {
        result.outcome.reason = RemovalBatchReport::StoppedReason();
    }
    result.dialogs = std::move(desktop.dialogs);
    return result;
}

Outcome RemovalBatchJobs::cleanIn(const QString &folder, const RemovalBatchPlan::File &file,
                                  Desktop &desktop) {
    const QString copyFailed = QStringLiteral("could not be copied to the working folder");
    if (!QDir().mkdir(folder)) {
        return notCleaned(copyFailed);
    }
    const FileSystem::KeepGoing keepGoing = [this] { return !stopping_; };
    const QString copy = folder + QLatin1Char('/') + RemovalBatchPlan::WorkingName(file.extension);
    const int copied =
        Main::CopyFileQuietly(file.source, copy, FileSystem::CopyMode::InPlace, keepGoing);
    if (copied != 0) {
        return notCleaned(FailureReason::ForError(copied, copyFailed));
    }
    const Kinds::Kind *kind = Routes::kindOf(file.name, file.extension, copy);
    if (kind != nullptr && kind->isMetadata) {
        return notCleaned(QStringLiteral("it is metadata itself"));
    }
    // The copy holds the source's bytes until the route runs.
    Outcome outcome{outcomeKind(kind), {}, Routes::findings(kind, copy).shown(), {}};
    const Formats::NoteCollector notes;
    ErrorTrap trap(desktop, QStringLiteral("Form1.PushButton2_Click"));
    RouteContext context{desktop, programFolder_, folder, keepGoing};
    QString reason;
    if (!trap.step(128, [&] { reason = Routes::remove(kind, context, copy); })) {
        reason = FailureReason::ForError(trap.errorNumber(),
                                         QStringLiteral("its metadata could not be removed"));
    }
    if (reason.isEmpty()) {
        reason = QStringLiteral("its result could not be checked");
        trap.step(130, [&] { reason = Routes::check(kind, copy); });
    }
    if (!reason.isEmpty()) {
        return notCleaned(reason);
    }
    const int written =
        Main::CopyFileQuietly(copy, file.output, FileSystem::CopyMode::Atomic, keepGoing);
    if (written != 0) {
        return notCleaned(FailureReason::ForError(
            written, QStringLiteral("could not be written to the output folder")));
    }
    for (const std::string &note : notes.notes()) {
        outcome.notes << QString::fromStdString(note);
    }
    return outcome;
}
