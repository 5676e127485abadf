#pragma once

#include <QString>
#include <QStringList>

class Desktop;
class ErrorTrap;
class FileListModel;
class QMimeData;

// Fills the file list from folders and from drops.
namespace FolderFiles {

// Where the rows go and where failures are reported: the calling handler's trap, with the
// routine's steps numbered from firstLine, so that a failure costs only the file or the dropped
// path concerned.
struct Scan {
    FileListModel &list;
    Desktop &desktop;
    ErrorTrap &trap;
    int firstLine;
};

// The file patterns for an answer to the extension question, read as people type extensions:
// several, separated by blanks, commas or semicolons, each with or without its leading dot;
// "*" is every file, and an answer that is already a pattern ("*.txt") stands as it is.
QStringList PatternsForExtensions(const QString &answer);

// "No *.jpg files were found in FOLDER."
QString NothingFoundMessage(const QStringList &patterns, const QString &folder);

// What a folder scan found.
struct Found {
    int added = 0;
    int unreadable = 0;         // files left out because they may not be read
    int unreadableFolders = 0;  // folders not searched because they could not be read
};

// Adds every file of the folder and of all its sub-folders (level by level) whose name matches
// one of the patterns, except names starting with "~", files that cannot be read and plain
// dotfiles (attribute word 34). The root "/" gives paths with a single leading "/".
Found AddAllFilesInFolder(const Scan &scan, const QString &folder, const QStringList &patterns);

// What the user is told after a scan: nothing found, files or folders that could not be read; or
// nothing.
QString ScanMessage(const Found &found, const QStringList &patterns, const QString &folder);

// The local files and folders a drag carries, in its order, without trailing "/" (except "/").
QStringList DroppedPaths(const QMimeData &data);

// Adds dropped files as they are and every file of dropped folders.
void AddDroppedPaths(const Scan &scan, const QStringList &paths);

}  // namespace FolderFiles
