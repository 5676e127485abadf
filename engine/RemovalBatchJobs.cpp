#include "engine/RemovalBatchJobs.h"

#include "engine/FailureReason.h"
#include "engine/Routes.h"
#include "formats/core/Notes.h"
#include "formats/core/Stop.h"
#include "fsutil/Main.h"
#include "platform/Desktop.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <new>

namespace {

using Outcome = RemovalBatchReport::Outcome;
using Formats::Cause;

// A planned name taken meanwhile is sidestepped to at most this many further numbers.
constexpr int SidestepTries = 1000;

// A copy of the file at work tells how far it has come as its passes do.
const FileSystem::CopyProgress walkedThrough = [](qint64 copied) {
    Formats::walked(static_cast<std::uint64_t>(copied));
};

Outcome notCleaned(const Failure &failure) {
    return {Outcome::Kind::NotCleaned, failure, {}, {}};
}

// A file of a kind no pass cleans is written as it is, and never counted as cleaned.
Outcome::Kind outcomeKind(const Kinds::Kind *kind) {
    if (kind == nullptr) {
        return Outcome::Kind::CopiedUnknown;
    }
    return kind->clean == nullptr ? Outcome::Kind::CopiedAsItIs : Outcome::Kind::Cleaned;
}

Outcome withFullDisk(Outcome outcome, const QString &folder) {
    if (outcome.failure.cause == Cause::DiskFull) {
        outcome.fullDisk = folder;
    }
    return outcome;
}

// Tools and libraries name the files they fail on; a path inside the working folder means nothing
// to the user (and must not outlive the batch), so every reason says "the working copy" instead.
QString withoutWorkingPaths(const QString &reason, const QString &workingFolder) {
    const QRegularExpression path(QRegularExpression::escape(workingFolder) +
                                  QStringLiteral("(/[^/\\s:'\"]*)*"));
    return QString(reason).replace(path, QStringLiteral("the working copy"));
}

// A desktop for worker threads: it shows nothing and keeps the first line of every error message
// a route's own error trap meant to show.
class ErrorCollectingDesktop : public Desktop {
  public:
    MessageAnswer messageBox(const QString &text, const QString &, MessageIcon,
                             MessageButtons) override {
        errors << text.section(QStringLiteral("\r\n"), 0, 0);
        return MessageAnswer::Ok;
    }
    int detailedMessageBox(const DetailedMessage &message) override {
        errors << message.text;
        return message.escapeButton;
    }
    QString inputBox(const QString &, const QString &, const QString &) override { return {}; }
    QString openFileDialog(QWidget *, const OpenFileRequest &) override { return {}; }
    QString browseForFolder(QWidget *, const QString &, const QString &) override { return {}; }
    bool openFolder(const QString &) override { return false; }
    bool openAddress(const QString &) override { return false; }

    QStringList errors;
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
      results_(files.size()),
      progress_(std::make_unique<Progress[]>(files.size())) {
    for (const RemovalBatchPlan::File &file : files) {
        costs_.push_back(
            std::min(Routes::memoryCost(file.name, file.extension, file.source), memoryBudget_));
        plannedNames_.insert(Main::FileNameOf(file.output));
    }
    const int count = std::min(workers, static_cast<int>(files.size()));
    working_ = count;
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

bool RemovalBatchJobs::waitForEnd(int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return working_ == 0; });
}

bool RemovalBatchJobs::waitForOutcomes(int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return atWork_ == 0; });
}

bool RemovalBatchJobs::waitForOutcomesAfterStop(int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return atWork_ == 0; });
    for (int index = 0; index < next_; ++index) {
        if (!results_[index] && !progress_[index].watch.givenUp.load(std::memory_order_acquire)) {
            return false;
        }
    }
    return true;
}

bool RemovalBatchJobs::waitFor(int index, int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    // After a stop, a file not started by then never will be.
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
        return results_[index].has_value() || (stopping_ && index >= next_);
    });
}

std::optional<RemovalBatchJobs::Outcome> RemovalBatchJobs::take(int index) {
    const std::lock_guard<std::mutex> guard(lock_);
    if (!results_[index] && progress_[index].watch.givenUp.load(std::memory_order_acquire)) {
        return notCleaned(FailureReason::Stopped());
    }
    return std::move(results_[index]);
}

// The window may read the new step with the old step's bytes: it never shows less than it did.
void RemovalBatchJobs::Progress::enter(Step next) {
    watch.reached.store(0, std::memory_order_relaxed);
    step.store(next, std::memory_order_release);
}

double RemovalBatchJobs::progressOf(int index) const {
    const Progress &progress = progress_[index];
    const int step = progress.step.load(std::memory_order_acquire);
    const auto size = static_cast<std::uint64_t>(std::max<qint64>(files_[index].size, 1));
    const std::uint64_t walked =
        std::min(progress.watch.reached.load(std::memory_order_relaxed), size);
    return (step + double(walked) / double(size)) / Progress::Steps;
}

// Asked on the worker's own thread, whose stop watch looks at stopping_.
FileSystem::KeepGoing RemovalBatchJobs::untilStopped() {
    return [] { return !Formats::stopRequested(); };
}

// Takes the next file in list order once it fits the budget beside the files at work.
bool RemovalBatchJobs::claim(int &index, qint64 &cost) {
    std::unique_lock<std::mutex> guard(lock_);
    const int count = static_cast<int>(files_.size());
    changed_.wait(guard, [&] {
        return stopping_ || next_ >= count ||
               (waitingAlone_.empty() && !aloneAtWork_ &&
                (inUse_ == 0 || inUse_ + costs_[next_] <= memoryBudget_));
    });
    if (stopping_ || next_ >= count) {
        return false;
    }
    index = next_++;
    cost = costs_[index];
    inUse_ += cost;
    ++atWork_;
    return true;
}

void RemovalBatchJobs::work() {
    int index = 0;
    qint64 cost = 0;
    while (claim(index, cost)) {
        Outcome outcome = clean(index);
        if (outcome.failure.cause == Cause::DiskFull) {
            QDir(folderOf(index)).removeRecursively();
            outcome = cleanAlone(index, cost);
        }
        {
            const std::lock_guard<std::mutex> guard(lock_);
            --atWork_;
            // Alone and still short of space: every file after it would meet the same disk.
            stopping_ = stopping_ || outcome.failure.cause == Cause::DiskFull;
            results_[index] = std::move(outcome);
        }
        changed_.notify_all();
        // Its working copy still carries the user's metadata; the window need not wait for it to
        // go, but a file waiting to work alone does.
        QDir(folderOf(index)).removeRecursively();
        {
            const std::lock_guard<std::mutex> guard(lock_);
            inUse_ -= cost;
        }
        changed_.notify_all();
    }
    {
        const std::lock_guard<std::mutex> guard(lock_);
        --working_;
    }
    changed_.notify_all();
}

// Waits until no other file is at work, without holding its own share meanwhile, so that two
// files waiting alike do not wait for each other.
RemovalBatchJobs::Outcome RemovalBatchJobs::cleanAlone(int index, qint64 cost) {
    {
        std::unique_lock<std::mutex> guard(lock_);
        inUse_ -= cost;
        waitingAlone_.insert(index);
        // Its share given back may be what an earlier file waiting alike waits for.
        changed_.notify_all();
        // Files waiting alike go in list order, so that a file that fits goes before one that
        // does not and ends the batch.
        changed_.wait(guard, [&] {
            return stopping_ || (inUse_ == 0 && !aloneAtWork_ && *waitingAlone_.begin() == index);
        });
        waitingAlone_.erase(index);
        inUse_ += cost;
        aloneAtWork_ = true;
    }
    Outcome outcome = clean(index);
    {
        const std::lock_guard<std::mutex> guard(lock_);
        aloneAtWork_ = false;
    }
    changed_.notify_all();
    return outcome;
}

// No file ends the batch: whatever a route throws becomes the file's reason.
RemovalBatchJobs::Outcome RemovalBatchJobs::clean(int index) {
    const Formats::StopWatch watch(stopping_, &progress_[index].watch);
    const QString folder = folderOf(index);
    Outcome outcome;
    try {
        outcome = cleanIn(folder, files_[index], progress_[index]);
    } catch (const Formats::Refused &refused) {
        outcome = notCleaned(FailureReason::ForRefusal(refused));
    } catch (const std::bad_alloc &) {
        outcome = notCleaned({Cause::TooLarge, QStringLiteral("not enough memory to clean it")});
    } catch (const std::exception &error) {
        outcome = notCleaned({Cause::Internal, QString::fromLocal8Bit(error.what())});
    } catch (...) {
        outcome = notCleaned(
            {Cause::Internal, QStringLiteral("an unexpected error stopped its cleaning")});
    }
    outcome.failure.reason = withoutWorkingPaths(outcome.failure.reason, workingFolder_);
    if (stopping_ && outcome.kind == Outcome::Kind::NotCleaned) {
        outcome.failure = FailureReason::Stopped();
        outcome.fullDisk.clear();
    }
    return outcome;
}

QString RemovalBatchJobs::folderOf(int index) const {
    return workingFolder_ + QStringLiteral("/%1").arg(index + 1);
}

Outcome RemovalBatchJobs::cleanIn(const QString &folder, const RemovalBatchPlan::File &file,
                                  Progress &progress) {
    if (!QDir().mkdir(folder)) {
        return notCleaned(
            {Cause::Internal, QStringLiteral("could not be copied to the working folder")});
    }
    const FileSystem::KeepGoing keepGoing = untilStopped();
    const QString copy = folder + QLatin1Char('/') + RemovalBatchPlan::WorkingName(file.extension);
    progress.enter(Progress::CopyIn);
    const int copied = Main::CopyFileQuietly(file.source, copy, FileSystem::CopyMode::InPlace,
                                             keepGoing, walkedThrough);
    if (copied != 0) {
        return withFullDisk(notCleaned(FailureReason::ForSource(copied)),
                            QFileInfo(workingFolder_).path());
    }
    const Kinds::Kind *kind = Routes::kindOf(file.name, file.extension, copy);
    if (kind != nullptr && kind->isMetadata) {
        return notCleaned({Cause::Unsupported, QStringLiteral("it is metadata itself")});
    }
    // The copy holds the source's bytes until the route runs.
    progress.enter(Progress::Survey);
    Outcome outcome{outcomeKind(kind), {}, Routes::findings(kind, copy).shown(), {}};
    const Formats::NoteCollector notes;
    ErrorCollectingDesktop desktop;
    RouteContext context{desktop, programFolder_, folder, keepGoing};
    StepResult failure;
    try {
        progress.enter(Progress::Removal);
        failure = Routes::remove(kind, context, copy);
        if (!failure) {
            progress.enter(Progress::Check);
            failure = Routes::check(kind, copy);
        }
    } catch (const AppError &error) {
        failure =
            FailureReason::ForAppError(error, QStringLiteral("its metadata could not be removed"));
    }
    if (!failure && !desktop.errors.isEmpty()) {
        failure = Failure{Cause::Internal, desktop.errors.front()};
    }
    if (failure) {
        return withFullDisk(notCleaned(*failure), QFileInfo(workingFolder_).path());
    }
    for (const std::string &note : notes.notes()) {
        outcome.notes << QString::fromStdString(note);
    }
    progress.enter(Progress::CopyOut);
    return writeOutput(copy, file, std::move(outcome));
}

// Into the planned name, or, when the user did not let it replace what is there and a file took
// that name meanwhile, into the next numbered name that is free and planned for no other file.
Outcome RemovalBatchJobs::writeOutput(const QString &copy, const RemovalBatchPlan::File &file,
                                      Outcome outcome) {
    const FileSystem::KeepGoing keepGoing = untilStopped();
    const QString folder = QFileInfo(file.output).path();
    if (file.mayReplace) {
        const int written = Main::CopyFileQuietly(copy, file.output, FileSystem::CopyMode::Atomic,
                                                  keepGoing, walkedThrough);
        return written == 0 ? outcome
                            : withFullDisk(notCleaned(FailureReason::ForOutput(written)), folder);
    }
    QString target = file.output;
    int number = file.number;
    for (int tries = 0; tries < SidestepTries; ++tries) {
        const int written = Main::CopyFileQuietly(copy, target, FileSystem::CopyMode::AtomicNew,
                                                  keepGoing, walkedThrough);
        if (written == 0) {
            outcome.sidestep = target == file.output ? QString() : target;
            return outcome;
        }
        if (written != ErrorNumber::FileAlreadyExists) {
            return withFullDisk(notCleaned(FailureReason::ForOutput(written)), folder);
        }
        // Each name skipped is another file's: this ends within as many steps as files.
        QString name;
        do {
            name = RemovalBatchPlan::NumberedName(file.name, ++number);
        } while (plannedNames_.contains(name));
        target = Main::JoinPath(folder, name);
    }
    return notCleaned(
        {Cause::Internal, QStringLiteral("no free name was left for it in the output folder")});
}
