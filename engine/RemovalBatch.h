#pragma once

#include "engine/WorkingFolder.h"

#include <QString>
#include <QStringList>

class BatchWindow;
class Desktop;
class ErrorTrap;

// One run of "Start Removing Metadata": every listed file is copied into a private working
// folder, stripped there by the route its extension picks, and written into the output folder.
// A file whose route did not succeed is not written, and the closing message names it.
class RemovalBatch {
  public:
    RemovalBatch(BatchWindow &window, Desktop &desktop, QString programFolder);

    void Run();

    // The window is closing: the working copies go at once and the batch stops where it is.
    void Abandon();

    // "Done.", then any files that were not cleaned, each with its reason.
    static QString ClosingMessage(const QStringList &failures, int fileCount);

  private:
    enum class Route { Jpeg, Pdf, Generic };

    bool StartWorking(ErrorTrap &trap);
    void ProcessRow(ErrorTrap &trap, int position);
    void ShowProgress(ErrorTrap &trap, int position, const QString &path);
    bool Strip(ErrorTrap &trap, Route route, const QString &copy, QString &reason);
    void Finish(ErrorTrap &trap);

    static Route RouteFor(const QString &extension);

    BatchWindow &window_;
    Desktop &desktop_;
    QString programFolder_;
    WorkingFolder workingFolder_;
    QStringList failures_;
    int fileCount_ = 0;
    bool abandoned_ = false;
};
