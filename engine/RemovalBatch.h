#pragma once

#include "engine/RemovalBatchPlan.h"
#include "engine/RemovalBatchReport.h"
#include "engine/WorkingFolder.h"

#include <QElapsedTimer>
#include <QString>

#include <vector>

class BatchWindow;
class Desktop;
class ErrorTrap;
class RemovalBatchJobs;

// One run of "Start Removing Metadata": every listed file is copied into a private working
// folder, stripped there by the route its extension picks, checked, and written into the output
// folder. Files are cleaned on worker threads, several at once; the window's thread only shows
// how far the batch has come, file by file in list order, as a one-at-a-time run would. A file
// that fails its route or its check is not written, and the closing message names it.
class RemovalBatch {
  public:
    RemovalBatch(BatchWindow &window, Desktop &desktop, QString programFolder);

    void Run();

    // The Stop button (or Escape): no file starts any more, the files at work end where they
    // are, and the closing message names every file that was not cleaned.
    void Stop();

    // The window is closing: the files at work end, their tools at once, the working folder as
    // soon as the workers are gone, and no message follows.
    void Abandon();

  private:
    bool OutputFolderReady(ErrorTrap &trap);
    bool Plan(ErrorTrap &trap);
    bool ConfirmReplacements();
    bool StartWorking(ErrorTrap &trap);
    void CleanAll(ErrorTrap &trap, RemovalBatchJobs &jobs);
    void ShowProgress(ErrorTrap &trap, int index);
    QString ProgressCaption(int index) const;
    void WaitForFile(RemovalBatchJobs &jobs, int index);
    void ShowLargeFileShare(RemovalBatchJobs &jobs, int index);
    void TakeResult(RemovalBatchJobs &jobs, int index);
    void SyncOutputs();
    void Finish(ErrorTrap &trap);
    void KeepOnlyFilesNotCleaned();
    bool Ending() const { return stopped_ || abandoned_; }

    BatchWindow &window_;
    Desktop &desktop_;
    QString programFolder_;
    QString outputFolder_;
    WorkingFolder workingFolder_;
    std::vector<RemovalBatchPlan::File> files_;
    std::vector<RemovalBatchReport::Outcome> outcomes_;
    RemovalBatchJobs *jobs_ = nullptr;
    // For the time left: the files' sizes, each with a share for the work every file takes.
    QElapsedTimer clock_;
    qint64 bytesTotal_ = 0;
    qint64 bytesDone_ = 0;
    RemovalBatchReport::Ending ending_;
    bool stopped_ = false;
    bool abandoned_ = false;
};
