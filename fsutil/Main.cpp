#include "fsutil/Main.h"

#include "platform/AppError.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Main {

namespace {

const QChar Separator(u'/');

bool isBlank(const QString &text) {
    return text.trimmed().isEmpty();
}

}  // namespace

QString GetDesktopFolder(const QString &desktopLocation) {
    if (desktopLocation.isEmpty()) {
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("Invalid procedure call or argument"));
    }
    return desktopLocation + Separator;
}

QString PlatformDesktopLocation() {
    // Fresh accounts and servers often have no desktop folder; an output folder that does not
    // exist would refuse the first batch.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return FolderExists(desktop) ? desktop : QDir::homePath();
}

QString TemporaryFolder() {
    for (const char *variable : {"TEMP", "TMPDIR"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty()) {
            return FileSystem::withoutTrailingSeparators(value);
        }
    }
    return QStringLiteral("/tmp");
}

bool PathExists(const QString &path) {
    return FileSystem::hasModificationTime(path);
}

bool FolderExists(const QString &path) {
    const std::optional<int> word = FileSystem::tryAttributeWord(path);
    return word && (*word & FileSystem::Attribute::Directory) != 0;
}

bool FileIsPresent(const QString &path) {
    return FileSystem::opensForReading(path);
}

QString FileNameOf(const QString &path) {
    return path.mid(path.lastIndexOf(Separator) + 1);
}

QString FolderOf(const QString &path) {
    return path.left(path.lastIndexOf(Separator) + 1);
}

QString NormalizeBackslashes(const QString &path) {
    // Pairs collapse without overlapping, so three separators in a row become two; a leading
    // run becomes one (POSIX has no "//server" prefix).
    qsizetype start = 0;
    QString result;
    result.reserve(path.size());
    if (path.startsWith(Separator)) {
        while (start < path.size() && path[start] == Separator) {
            ++start;
        }
        result += Separator;
    }
    for (qsizetype i = start; i < path.size(); ++i) {
        result += path[i];
        if (path[i] == Separator && i + 1 < path.size() && path[i + 1] == Separator) {
            ++i;
        }
    }
    return result;
}

QString JoinPath(const QString &folder, const QString &name) {
    QString path = folder + Separator + name;
    if (path.startsWith(QStringLiteral("//"))) {
        path.remove(0, 1);
    }
    return path;
}

int CopyFileQuietly(const QString &source, const QString &target, FileSystem::CopyMode mode,
                    const FileSystem::KeepGoing &keepGoing,
                    const FileSystem::CopyProgress &copied) {
    const QString from = NormalizeBackslashes(source);
    const QString to = NormalizeBackslashes(target);
    if (isBlank(source) || !FileIsPresent(from)) {
        // A file that is there but that the user may not read is not missing.
        const QFileInfo there(from);
        return there.isFile() && !there.isReadable() ? ErrorNumber::PermissionDenied
                                                     : ErrorNumber::FileNotFound;
    }
    if (isBlank(target) || !FolderExists(FolderOf(to))) {
        return ErrorNumber::PathNotFound;
    }
    try {
        FileSystem::copyFile(from, to, mode, keepGoing, copied);
        return 0;
    } catch (const AppError &error) {
        return error.number();
    }
}

void DeleteFileQuietly(const QString &path) {
    EventPump::processEvents();
    try {
        FileSystem::deleteFile(path);
    } catch (const AppError &) {
        try {
            FileSystem::clearReadOnly(path);
            FileSystem::deleteFile(path);
        } catch (const AppError &) {
            // The caller finds the file still there.
        }
    }
}

bool ListContains(const QAbstractItemModel &list, const QString &text) {
    for (int row = 0; row < list.rowCount(); ++row) {
        if (list.index(row, 0).data().toString() == text) {
            return true;
        }
    }
    return false;
}

}  // namespace Main
