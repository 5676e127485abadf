#include "filelist/FolderFiles.h"

#include "filelist/FileListModel.h"
#include "fsutil/AddFolder.h"
#include "fsutil/Main.h"
#include "platform/ErrorTrap.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"

#include <QElapsedTimer>
#include <QMimeData>
#include <QUrl>

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

void addIfWanted(FileListModel &list, const QString &folder, const FileSystem::FileEntry &file) {
    if (!file.name.startsWith(QChar(u'~')) && file.attributeWord != PlainDotfile) {
        list.AddFileRow(Main::JoinPath(folder, file.name));
    }
}

}  // namespace

QString PatternForExtension(const QString &extension) {
    const QString anyName = QStringLiteral("*.");
    return extension.startsWith(anyName) ? extension : anyName + extension;
}

void AddAllFilesInFolder(const Scan &scan, const QString &folder, const QString &pattern) {
    QStringList folders{folder + Separator};
    scan.trap.step(scan.firstLine,
                   [&] { AddFolder::GetSubDirectories2016(scan.desktop, folders, true); });
    PaintPace pace;
    for (const QString &entry : folders) {
        const QString path = entry.chopped(1);
        // Only files the program may read are listed, each with its attribute word.
        QList<FileSystem::FileEntry> files;
        scan.trap.step(scan.firstLine + 2,
                       [&] { files = FileSystem::listReadableFiles(entry, pattern); });
        for (const FileSystem::FileEntry &file : files) {
            addIfWanted(scan.list, path, file);
        }
        pace.keepWindowPainting();
    }
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
            AddAllFilesInFolder(folderScan, path, QStringLiteral("*.*"));
        } else {
            scan.list.AddFileRow(path);
        }
    }
}

}  // namespace FolderFiles
