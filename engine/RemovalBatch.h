#pragma once

#include "engine/RemovalBatchPlan.h"
#include "engine/RemovalBatchReport.h"
#include "engine/WorkingFolder.h"

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

    // The Stop button: no file starts any more, the files at work end where they are, and the
    // closing message names every file that was not cleaned.
    void Stop();

    // The window is closing: the files at work end, the working folder goes at once and no
    // message follows.
    void Abandon();

  private:
    bool Plan(ErrorTrap &trap);
    bool ConfirmReplacements();
    bool StartWorking(ErrorTrap &trap);
    void CleanAll(ErrorTrap &trap);
    void ShowProgress(ErrorTrap &trap, int position);
    void WaitForFile(RemovalBatchJobs &jobs, int index);
    void TakeResult(RemovalBatchJobs &jobs, int index);
    void Finish(ErrorTrap &trap);
    bool Ending() const { return stopped_ || abandoned_; }

    BatchWindow &window_;
    Desktop &desktop_;
    QString programFolder_;
    QString outputFolder_;
    WorkingFolder workingFolder_;
    std::vector<RemovalBatchPlan::File> files_;
    std::vector<RemovalBatchReport::Outcome> outcomes_;
    RemovalBatchJobs *jobs_ = nullptr;
    bool stopped_ = false;
    bool abandoned_ = false;
};
