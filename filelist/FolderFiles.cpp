#include "filelist/FolderFiles.h"

#include "filelist/FileListModel.h"
#include "fsutil/AddFolder.h"
#include "fsutil/Main.h"
#include "platform/ErrorTrap.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"

#include <QElapsedTimer>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace FolderFiles {

namespace {

const QChar Separator(u'/');

// Hidden + archive and nothing else: on Linux an ordinary dotfile.
constexpr int PlainDotfile = FileSystem::Attribute::Hidden | FileSystem::Attribute::Archive;

// The walk pumps events as it goes, but adding the files comes after it. Pumping every few dozen
// milliseconds keeps the window painting without laying the growing list out after every folder.
class PaintPace {
  public:
    PaintPace() { clock_.start(); }
    void keepWindowPainting() {
        constexpr qint64 intervalMs = 40;
        if (clock_.elapsed() >= intervalMs) {
            EventPump::processEvents();
            clock_.restart();
        }
    }

  private:
    QElapsedTimer clock_;
};

bool isWanted(const FileSystem::FileEntry &file, const QStringList &patterns) {
    return !file.name.startsWith(QChar(u'~')) && file.attributeWord != PlainDotfile &&
           std::any_of(patterns.begin(), patterns.end(), [&file](const QString &pattern) {
               return FileSystem::matchesWildcard(file.name, pattern);
           });
}

}  // namespace

QStringList PatternsForExtensions(const QString &answer) {
    const QString anyName = QStringLiteral("*.");
    QStringList patterns;
    for (QString extension :
         answer.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts)) {
        if (!extension.startsWith(anyName)) {
            while (extension.startsWith(QChar(u'.'))) {
                extension.remove(0, 1);
            }
            extension.prepend(anyName);
        }
        if (!patterns.contains(extension)) {
            patterns << extension;
        }
    }
    return patterns;
}

QString NothingFoundMessage(const QStringList &patterns, const QString &folder) {
    return QStringLiteral("No %1 files were found in %2.")
        .arg(patterns.join(QStringLiteral(", ")), folder);
}

Found AddAllFilesInFolder(const Scan &scan, const QString &folder, const QStringList &patterns) {
    QStringList folders{folder + Separator};
    Found found;
    scan.trap.step(scan.firstLine, [&] {
        found.unreadableFolders = AddFolder::GetSubDirectories2016(scan.desktop, folders, true);
    });
    PaintPace pace;
    for (const QString &entry : folders) {
        const QString path = entry.chopped(1);
        // Only files the program may read are listed, each with its attribute word; the others
        // are counted.
        QList<FileSystem::FileEntry> files;
        scan.trap.step(scan.firstLine + 2,
                       [&] { files = FileSystem::listFiles(entry, QStringLiteral("*.*")); });
        for (const FileSystem::FileEntry &file : files) {
            if (!isWanted(file, patterns)) {
                continue;
            }
            if (!file.readable) {
                ++found.unreadable;
                continue;
            }
            scan.list.AddFileRow(Main::JoinPath(path, file.name));
            ++found.added;
        }
        pace.keepWindowPainting();
    }
    return found;
}

QString ScanMessage(const Found &found, const QStringList &patterns, const QString &folder) {
    QStringList parts;
    if (found.added == 0) {
        parts << NothingFoundMessage(patterns, folder);
    }
    if (found.unreadable > 0) {
        parts << QStringLiteral("%1 files could not be read (permission) and were not listed.")
                     .arg(found.unreadable);
    }
    if (found.unreadableFolders > 0) {
        parts << QStringLiteral("%1 folders could not be read and were not searched.")
                     .arg(found.unreadableFolders);
    }
    return parts.join(QStringLiteral("\r\n\r\n"));
}

QStringList DroppedPaths(const QMimeData &data) {
    QStringList paths;
    for (const QUrl &url : data.urls()) {
        if (url.isLocalFile()) {
            paths.append(FileSystem::withoutTrailingSeparators(url.toLocalFile()));
        }
    }
    return paths;
}

void AddDroppedPaths(const Scan &scan, const QStringList &paths) {
    const Scan folderScan{scan.list, scan.desktop, scan.trap, scan.firstLine + 2};
    for (const QString &path : paths) {
        std::optional<bool> isFolder;
        scan.trap.step(scan.firstLine, [&] {
            isFolder = (FileSystem::attributeWord(path) & FileSystem::Attribute::Directory) != 0;
        });
        if (!isFolder) {
            continue;  // reported; only this path is lost
        }
        if (*isFolder) {
            AddAllFilesInFolder(folderScan, path, {QStringLiteral("*.*")});
        } else {
            scan.list.AddFileRow(path);
        }
    }
}

}  // namespace FolderFiles
