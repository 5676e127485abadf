#include "fsutil/AddFolder.h"

#include "platform/AppError.h"
#include "platform/Desktop.h"
#include "platform/ErrorTrap.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <optional>

namespace AddFolder {

namespace {

const QChar Separator(u'/');

constexpr int ProtectedFolder = FileSystem::Attribute::Directory | FileSystem::Attribute::System |
                                FileSystem::Attribute::Hidden;
constexpr int FolderLink = ProtectedFolder | FileSystem::Attribute::ReparsePoint;

enum class Origin { NamedByUser, FoundByWalk };

// The attribute word of an existing folder; nothing for anything else.
std::optional<int> folderWord(const QString &path) {
    const std::optional<int> word = FileSystem::tryAttributeWord(path);
    if (word && (*word & FileSystem::Attribute::Directory) != 0) {
        return word;
    }
    return std::nullopt;
}

// Links to folders and kernel file systems; the root always counts as usable.
bool isProtected(int word, const QString &folder) {
    return (word == ProtectedFolder || word == FolderLink) && !FileSystem::isRootFolder(folder);
}

bool cannotBeRead(const AppError &error) {
    return error.number() == ErrorNumber::PermissionDenied ||
           error.number() == ErrorNumber::PathNotFound;
}

bool isUsableSubFolderName(const QString &name) {
    return !HasUnusableCharacter(name) && name != QStringLiteral(".") &&
           name != QStringLiteral("..");
}

// Appends the usable sub-folders of every listed folder to found, and takes the folders that
// cannot be read out of the list, counting them.
void listLevel(QStringList &folders, QStringList &found, Origin origin, int &unreadable) {
    const QStringList entries = folders;
    for (const QString &entry : entries) {
        const std::optional<int> word = folderWord(entry);
        // No length limit of its own: a path beyond the system's limit is not a folder here.
        if (!word) {
            continue;
        }
        EventPump::processEvents();
        if (origin == Origin::FoundByWalk && isProtected(*word, entry)) {
            continue;
        }
        try {
            for (const QString &name : FileSystem::listSubFolders(entry)) {
                EventPump::processEvents();
                if (isUsableSubFolderName(name)) {
                    found.append(entry + name + Separator);
                }
            }
        } catch (const AppError &error) {
            // Any other failure only ends this folder's listing; the folder stays.
            if (cannotBeRead(error)) {
                folders.removeOne(entry);
                ++unreadable;
            }
        }
    }
}

// Appends the folders of this level that still exist and are not protected, then the deeper
// levels, which were checked when they were merged one level down. Returns how many it appended.
qsizetype mergeLevel(const QStringList &found, qsizetype levelCount, QStringList &folders,
                     ErrorTrap &trap) {
    const qsizetype before = folders.size();
    for (qsizetype i = 0; i < levelCount; ++i) {
        trap.step(104, [&] {
            const std::optional<int> word = folderWord(found.at(i));
            if (!word) {
                return;
            }
            EventPump::processEvents();
            if (!isProtected(*word, found.at(i))) {
                folders.append(found.at(i));
            }
        });
    }
    folders.append(found.mid(levelCount));
    return folders.size() - before;
}

// One call per level keeps the result breadth-first. Returns how many folders it appended.
qsizetype walk(Desktop &desktop, QStringList &folders, bool recursive, Origin origin,
               int &unreadable) {
    ErrorTrap trap(desktop, QStringLiteral("AddFolder.GetSubDirectories2016"),
                   ErrorTrap::FolderWalkPrefix);
    QStringList found;
    trap.step(100, [&] { listLevel(folders, found, origin, unreadable); });
    qsizetype deeper = 0;
    if (recursive && !found.isEmpty()) {
        deeper = walk(desktop, found, true, Origin::FoundByWalk, unreadable);
    }
    return mergeLevel(found, found.size() - deeper, folders, trap);
}

}  // namespace

QString BrowseForFolder(Desktop &desktop, QWidget *owner, const QString &title,
                        const QString &startFolder) {
    return FileSystem::withoutTrailingSeparators(
        desktop.browseForFolder(owner, title, startFolder));
}

int GetSubDirectories2016(Desktop &desktop, QStringList &folders, bool recursive) {
    int unreadable = 0;
    walk(desktop, folders, recursive, Origin::NamedByUser, unreadable);
    return unreadable;
}

QStringList ListFilesInFolder(const QString &folder, const QString &pattern) {
    const QString base = folder.endsWith(Separator) ? folder : folder + Separator;
    QStringList names{QString()};
    for (const FileSystem::FileEntry &file : FileSystem::listReadableFiles(base, pattern)) {
        names.append(file.name);
    }
    return names;
}

bool HasUnusableCharacter(const QString &name) {
    // Every character has a UTF-8 form; only bytes that were not valid UTF-8 come back as
    // U+FFFD, which stands for the "?" a Windows code page would give.
    return std::any_of(name.begin(), name.end(), [](QChar c) {
        const char16_t code = c.unicode();
        return code < 32 || (code >= 127 && code <= 159) || code == u'?' ||
               code == QChar::ReplacementCharacter;
    });
}

}  // namespace AddFolder
