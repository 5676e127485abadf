#pragma once

#include "engine/RemovalBatchPlan.h"
#include "engine/RemovalBatchReport.h"
#include "formats/core/Stop.h"
#include "platform/FileSystem.h"

#include <QSet>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

// Cleans the planned files on worker threads, several at a time: they are started in list order,
// as many at once as there are workers while what the files at work cost in memory (each kind
// tells it from the file) stays within one budget (a file larger than the budget works alone).
// Each works in a folder of its own inside the working folder, removed when its file is done.
// Workers never touch the window: an error a route would have shown becomes its file's reason. A
// file that met a full disk while others were at work is cleaned once more alone, as a
// one-at-a-time run would have; when it meets a full disk even then, no file starts any more.
class RemovalBatchJobs {
  public:
    using Outcome = RemovalBatchReport::Outcome;

    static constexpr qint64 DefaultMemoryBudget = qint64(512) << 20;
    // As many as the machine has cores.
    static int DefaultWorkers();

    RemovalBatchJobs(const std::vector<RemovalBatchPlan::File> &files, QString workingFolder,
                     QString programFolder, int workers = DefaultWorkers(),
                     qint64 memoryBudget = DefaultMemoryBudget);
    // Stops and waits for the workers.
    ~RemovalBatchJobs();
    RemovalBatchJobs(const RemovalBatchJobs &) = delete;
    RemovalBatchJobs &operator=(const RemovalBatchJobs &) = delete;

    // Waits at most timeoutMs for the file at index (0-based) to be done, or after a stop to be
    // known never to start; true once it is.
    bool waitFor(int index, int timeoutMs);
    // The outcome of a file that is done; nothing for one that was never finished.
    std::optional<Outcome> take(int index);
    // How far the file at index has come, 0 to 1, while it is at work: each of its steps (copy
    // in, survey, removal, check, copy out) takes an even share, walked through by its bytes.
    double progressOf(int index) const;

    // No file starts any more, and the files at work end at their next look at the stop flag:
    // copies, tools and passes alike.
    void stop();
    // Waits at most timeoutMs until no file is at work; true once none is. A worker tells a file's
    // outcome before it removes the file's working copy, which may take a while for a large one.
    bool waitForOutcomes(int timeoutMs);
    // The same after a stop, when a file whose pass gave up counts as done: it will not be
    // written, and take() tells it stopped while its pass still frees what it held.
    bool waitForOutcomesAfterStop(int timeoutMs);
    // Waits at most timeoutMs for every worker to end, its working copies gone; true once they
    // have.
    bool waitForEnd(int timeoutMs);
    // Waits until every worker has ended.
    void join();

  private:
    // Written by the worker of a file, read by the window's thread.
    struct Progress {
        enum Step { CopyIn, Survey, Removal, Check, CopyOut, Steps };
        void enter(Step step);
        std::atomic<int> step{CopyIn};
        Formats::FileWatch watch;  // the bytes of the file the step has come through
    };

    void work();
    bool claim(int &index, qint64 &cost);
    Outcome cleanAlone(int index, qint64 cost);
    Outcome clean(int index);
    QString folderOf(int index) const;
    Outcome cleanIn(const QString &folder, const RemovalBatchPlan::File &file, Progress &progress);
    Outcome writeOutput(const QString &copy, const RemovalBatchPlan::File &file, Outcome outcome);
    // For copies and tools: go on until the batch stops.
    FileSystem::KeepGoing untilStopped();

    const std::vector<RemovalBatchPlan::File> &files_;
    const QString workingFolder_;
    const QString programFolder_;
    const qint64 memoryBudget_;
    std::vector<qint64> costs_;  // of each file in memory, at most the budget
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::optional<Outcome>> results_;
    std::unique_ptr<Progress[]> progress_;
    // Every planned output's name: a file that sidesteps a name taken meanwhile takes none of them.
    QSet<QString> plannedNames_;
    int working_ = 0;
    int atWork_ = 0;  // files claimed whose outcome is not in yet
    int next_ = 0;
    qint64 inUse_ = 0;
    std::set<int> waitingAlone_;  // in list order: the first goes first
    bool aloneAtWork_ = false;
    std::vector<std::thread> workers_;
};
