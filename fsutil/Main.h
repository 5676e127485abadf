#pragma once

#include "platform/FileSystem.h"

#include <QString>

class QAbstractItemModel;

// Path, string and file helpers shared by the whole program. Paths use "/" separators.
namespace Main {

// The desktop folder followed by "/". Throws AppError 5 when desktopLocation is empty, that is
// when the desktop folder cannot be determined.
QString GetDesktopFolder(const QString &desktopLocation);

// The desktop folder as the platform reports it, or the home folder when that does not exist.
QString PlatformDesktopLocation();

// TEMP when set and not empty, else TMPDIR, else /tmp; never with a trailing "/".
QString TemporaryFolder();

bool PathExists(const QString &path);
bool FolderExists(const QString &path);
bool FileIsPresent(const QString &path);

// Text after the last "/"; the whole text when it has none.
QString FileNameOf(const QString &path);
// Text up to and including the last "/"; empty when it has none.
QString FolderOf(const QString &path);

// Collapses doubled separators; a leading run of "/" becomes one.
QString NormalizeBackslashes(const QString &path);

// folder + "/" + name, with the doubled separator that joining onto "/" gives repaired.
QString JoinPath(const QString &folder, const QString &name);

// Never report an error. The copy answers 0 when it was made (the target is then the whole copy,
// otherwise it is as it was), else the number of the error that stopped it: 53 for no source file,
// 70 for one the user may not read, 76 for no target folder, 61 for a full disk, 18 when keepGoing
// said stop.
int CopyFileQuietly(const QString &source, const QString &target,
                    FileSystem::CopyMode mode = FileSystem::CopyMode::Atomic,
                    const FileSystem::KeepGoing &keepGoing = {},
                    const FileSystem::CopyProgress &copied = {});
void DeleteFileQuietly(const QString &path);

// True when some row of the list's first column equals the text exactly.
bool ListContains(const QAbstractItemModel &list, const QString &text);

}  // namespace Main
