#pragma once

#include "engine/WorkingFolder.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <set>

class BatchWindow;
class Desktop;
class ErrorTrap;

// One run of "Start Removing Metadata": every listed file is copied into a private working
// folder, stripped there by the route its extension picks, and written into the output folder.
// A file that fails its route or its check is not written, and the closing message names it. An
// output never replaces another listed file, nor an output the batch has written: only a file
// outside the list, or the row's own source.
class RemovalBatch {
  public:
    RemovalBatch(BatchWindow &window, Desktop &desktop, QString programFolder);

    void Run();

    // The window is closing: the working copies go at once and the batch stops where it is.
    void Abandon();

    // "Done.", then any files that were not cleaned, each with its reason, then how many files of
    // each extension were copied as they are because no route removes their metadata yet.
    static QString ClosingMessage(const QStringList &failures, int fileCount,
                                  const QMap<QString, int> &copiedAsTheyAre = {});

  private:
    bool StartWorking(ErrorTrap &trap);
    void ListSources(ErrorTrap &trap);
    void ProcessRow(ErrorTrap &trap, int position);
    // Copies, cleans and writes one file: empty when it was written, else the closing message's
    // reason.
    QString WriteClean(ErrorTrap &trap, const QString &path, const QString &extension,
                       const QString &copy, const QString &output);
    QString SameNameConflict(const QString &path, const QString &output) const;
    void ShowProgress(ErrorTrap &trap, int position, const QString &path);
    // Runs the route for the extension, then its check: empty when the copy is clean, else why
    // not.
    QString Clean(ErrorTrap &trap, const QString &extension, const QString &copy);
    void Finish(ErrorTrap &trap);

    BatchWindow &window_;
    Desktop &desktop_;
    QString programFolder_;
    WorkingFolder workingFolder_;
    QStringList failures_;
    std::set<FileSystem::FileIdentity> listedSources_;
    std::set<FileSystem::FileIdentity> writtenOutputs_;
    QMap<QString, int> copiedAsTheyAre_;  // by extension in lower case
    int fileCount_ = 0;
    bool abandoned_ = false;
    // Long copies let the window handle its events and stop when it closes.
    const FileSystem::KeepGoing keepGoing_ = [this] {
        EventPump::processEvents();
        return !abandoned_;
    };
};
