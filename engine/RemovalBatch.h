#pragma once

#include "engine/WorkingFolder.h"

#include <QString>
#include <QStringList>

class BatchWindow;
class Desktop;
class ErrorTrap;

// One run of "Start Removing Metadata": every listed file is copied into a private working
// folder, stripped there by the route its extension picks, and written into the output folder.
// A file that fails its route or its check is not written, and the closing message names it.
class RemovalBatch {
  public:
    RemovalBatch(BatchWindow &window, Desktop &desktop, QString programFolder);

    void Run();

    // The window is closing: the working copies go at once and the batch stops where it is.
    void Abandon();

    // "Done.", then any files that were not cleaned, each with its reason.
    static QString ClosingMessage(const QStringList &failures, int fileCount);

  private:
    bool StartWorking(ErrorTrap &trap);
    void ProcessRow(ErrorTrap &trap, int position);
    void ShowProgress(ErrorTrap &trap, int position, const QString &path);
    // Runs the route for the extension, then its check: true when the copy may be written.
    bool Clean(ErrorTrap &trap, const QString &extension, const QString &copy, QString &reason);
    void Finish(ErrorTrap &trap);

    BatchWindow &window_;
    Desktop &desktop_;
    QString programFolder_;
    WorkingFolder workingFolder_;
    QStringList failures_;
    int fileCount_ = 0;
    bool abandoned_ = false;
};
