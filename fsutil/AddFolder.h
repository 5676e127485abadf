#pragma once

#include <QString>
#include <QStringList>

class Desktop;
class QWidget;

// Folder browser and folder walks for the fillers of the file list. Paths use "/" separators.
namespace AddFolder {

// The folder the user picks, starting at startFolder when it exists: no trailing "/" except
// for the root "/", or an empty text when the user cancels.
QString BrowseForFolder(Desktop &desktop, QWidget *owner, const QString &title,
                        const QString &startFolder);

// Extends a list of folders (each ending in "/") with their sub-folders, level by level when
// recursive. The folders the caller put in are always searched; below them, links to folders,
// kernel file systems, unreadable folders and names that cannot be handled are left out.
// Unexpected failures are reported through the error dialog and the walk goes on. Returns how
// many folders could not be read (permission, or gone meanwhile), for the caller to say so.
int GetSubDirectories2016(Desktop &desktop, QStringList &folders, bool recursive);

// The readable files of a folder whose names match the pattern, in listing order, at positions
// 1 to size() - 1; position 0 holds an empty placeholder, so with no file the result is that
// single empty element. Throws AppError when the folder cannot be listed.
QStringList ListFilesInFolder(const QString &folder, const QString &pattern);

// True when a folder name holds a control character, a character coded 127 to 159, "?", or
// bytes that are not valid UTF-8 (decoded as U+FFFD).
bool HasUnusableCharacter(const QString &name);

}  // namespace AddFolder
