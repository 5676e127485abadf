#pragma once

#include "engine/RemovalBatchPlan.h"
#include "engine/RemovalBatchReport.h"
#include "platform/Desktop.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Cleans the planned files on worker threads, several at a time: they are started in list order,
// as many at once as there are workers while what the files at work cost in memory (each kind
// tells it from the file) stays within one budget (a file larger than the budget works alone). Each
// works in a folder of its own inside the working folder, removed when its file is done. Workers
// never touch the window: error dialogs are collected for the window's thread to show. A file that
// met a full disk while others were at work is cleaned once more alone, as a one-at-a-time run
// would have.
class RemovalBatchJobs {
  public:
    // A message a route's error trap would have shown.
    struct Dialog {
        QString text;
        QString title;
        MessageIcon icon;
    };
    struct Result {
        RemovalBatchReport::Outcome outcome;
        std::vector<Dialog> dialogs;
    };

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

    // Waits at most timeoutMs for the file at index (0-based) to be done; true once it is.
    bool waitFor(int index, int timeoutMs);
    // The result of a file that is done; nothing for one that was never finished.
    std::optional<Result> take(int index);

    // No file starts any more, and the files at work end at their next look at the stop flag:
    // copies, tools and passes alike.
    void stop();
    // Waits until every worker has ended.
    void join();

  private:
    void work();
    bool claim(int &index, qint64 &cost);
    Result cleanAlone(int index, qint64 cost);
    Result clean(int index);
    RemovalBatchReport::Outcome cleanIn(const QString &folder, const RemovalBatchPlan::File &file,
                                        Desktop &desktop);

    const std::vector<RemovalBatchPlan::File> &files_;
    const QString workingFolder_;
    const QString programFolder_;
    const qint64 memoryBudget_;
    std::vector<qint64> costs_;  // of each file in memory, at most the budget
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::optional<Result>> results_;
    int next_ = 0;
    qint64 inUse_ = 0;
    int waitingAlone_ = 0;
    bool aloneAtWork_ = false;
    std::vector<std::thread> workers_;
};
