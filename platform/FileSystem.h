#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <tuple>

// File-system queries in the Windows terms the program is written in, mapped onto POSIX.
namespace FileSystem {

// Attribute bits as Windows numbers them.
namespace Attribute {
inline constexpr int ReadOnly = 1;
inline constexpr int Hidden = 2;
inline constexpr int System = 4;
inline constexpr int Directory = 16;
inline constexpr int Archive = 32;
inline constexpr int ReparsePoint = 1024;
}  // namespace Attribute

// The attribute word of a file or folder: folders 16, files 32, + 2 for a dot name, + 1 when
// the owner may not write it. A link to a folder reports 1046 and a folder on a kernel virtual
// file system 22, so that folder walks leave them alone; a trailing "/" changes nothing. Throws
// AppError when the path is missing or cannot be examined.
int attributeWord(const QString &path);

// The attribute word, or nothing when it cannot be read.
std::optional<int> tryAttributeWord(const QString &path);

// True when the path's last modification time can be read.
bool hasModificationTime(const QString &path);

// True for an existing regular file (links followed) that opens for reading.
bool opensForReading(const QString &path);

// The whole content of a file. Throws AppError with the system's reason when it cannot be read.
QByteArray readFile(const QString &path);

// True for "/".
bool isRootFolder(const QString &path);

// Case-insensitive file-name wildcards with * and ?; "*.*" matches every name.
bool matchesWildcard(const QString &name, const QString &pattern);

// The names of a folder's sub-folders (links to folders included), and the files (links followed,
// hidden included) that match the pattern and that the program may read, with their attribute
// words. Both in the order Windows file systems list names: case-insensitively, ties
// case-sensitively. Throw AppError 70 or 76 when the folder cannot be read or does not exist.
QStringList listSubFolders(const QString &folder);
struct FileEntry {
    QString name;
    int attributeWord;
    bool readable = true;
};
QList<FileEntry> listReadableFiles(const QString &folder, const QString &pattern);
// The same with the files the program may not read, marked so.
QList<FileEntry> listFiles(const QString &folder, const QString &pattern);

// Long file operations call this now and then (about every 50 ms): it lets the window handle
// its events and answers whether to go on. A copy told to stop throws AppError 18.
using KeepGoing = std::function<bool()>;
// A long copy tells this as often how many bytes are through, for a progress bar.
using CopyProgress = std::function<void(qint64 copied)>;

// Copies the bytes only (no extended attributes, no owner) into a new file beside the target,
// checking every write and the close, then renames it over the target, so the target is either
// the old file or the whole copy (a file replaced is synced to the disk first; a new one is left
// to syncFileSystemOf()). A replaced file keeps its permission bits; a new one gets
// the source's, writable by the owner. Throws AppError on any failure (61 when the disk is full),
// leaving the target as it was.
// InPlace overwrites the target's own bytes instead, checking every write and the close: for
// scratch files in a private folder, where nobody relies on the old content.
// AtomicNew is Atomic that never replaces: a target that exists by the time the copy is put in
// place stays as it was, and AppError 58 is thrown.
enum class CopyMode { Atomic, AtomicNew, InPlace };
void copyFile(const QString &source, const QString &target, CopyMode mode = CopyMode::Atomic,
              const KeepGoing &keepGoing = {}, const CopyProgress &copied = {});

// Creates or overwrites the file with the bytes, checking every write and the close. Throws
// AppError (61 when the disk is full).
void writeFile(const QString &path, const QByteArray &bytes);

// Which file a path names (links followed): the same for every path of one file.
struct FileIdentity {
    quint64 device;
    quint64 inode;
    bool operator<(const FileIdentity &other) const {
        return std::tie(device, inode) < std::tie(other.device, other.inode);
    }
    bool operator==(const FileIdentity &other) const {
        return device == other.device && inode == other.inode;
    }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};
// Nothing when the path names nothing.
std::optional<FileIdentity> fileIdentity(const QString &path);

// Whether names in the folder that differ only in letter case name the same file (a folder on a
// case-folding file system): a probe file is made there and looked for under another case. False
// when the folder cannot be written.
bool foldsCase(const QString &folder);

// Renames replacement over target, refusing a read-only target as a copy would. For scratch files
// in a private folder: nothing is synced, for nobody relies on the old content.
void replaceFile(const QString &replacement, const QString &target);

// Writes whatever is still cached for the folder's file system to its disk: a batch's new files,
// whose copies skipped their own sync, are on the disk once this returns. Throws AppError when
// the folder cannot be opened or a write failed.
void syncFileSystemOf(const QString &folder);

// Throws AppError when the file cannot be removed.
void deleteFile(const QString &path);

// Clears what counts as the read-only attribute: the owner may write the file again.
void clearReadOnly(const QString &path);

// The path without trailing "/"; the root stays "/".
QString withoutTrailingSeparators(QString path);

}  // namespace FileSystem
