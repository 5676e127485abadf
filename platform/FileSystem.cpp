#include "platform/FileSystem.h"

#include "platform/AppError.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>

namespace FileSystem {

namespace {

constexpr int ProtectedFolder = Attribute::Directory | Attribute::System | Attribute::Hidden;
constexpr int FolderLink = ProtectedFolder | Attribute::ReparsePoint;

QByteArray encoded(const QString &path) {
    return QFile::encodeName(path);
}

QString lastName(const QString &path) {
    const QString trimmed = withoutTrailingSeparators(path);
    return trimmed.mid(trimmed.lastIndexOf(QChar(u'/')) + 1);
}

bool isKernelFileSystem(long type) {
    constexpr std::array<long, 12> kernelTypes = {
        0x9fa0,      // proc
        0x62656572,  // sysfs
        0x1cd1,      // devpts
        0x27e0eb,    // cgroup
        0x63677270,  // cgroup2
        0x64626720,  // debugfs
        0x74726163,  // tracefs
        0x73636673,  // securityfs
        0x6165676c,  // pstore
        0xcafe4a11,  // bpf
        0x62656570,  // configfs
        0x42494e4d,  // binfmt_misc
    };
    return std::find(kernelTypes.begin(), kernelTypes.end(), type) != kernelTypes.end();
}

// devtmpfs shares its magic number with tmpfs, so it is known by being the device of /dev.
bool isDeviceFileSystem(const struct stat &info) {
    struct stat dev {};
    struct stat root {};
    return ::stat("/dev", &dev) == 0 && ::stat("/", &root) == 0 && dev.st_dev != root.st_dev &&
           info.st_dev == dev.st_dev;
}

bool onKernelFileSystem(const QByteArray &path, const struct stat &info) {
    constexpr long tmpfsMagic = 0x01021994;
    struct statfs fs {};
    if (::statfs(path.constData(), &fs) != 0) {
        return false;
    }
    return isKernelFileSystem(static_cast<long>(fs.f_type)) ||
           (static_cast<long>(fs.f_type) == tmpfsMagic && isDeviceFileSystem(info));
}

int commonBits(const QString &path, const struct stat &info) {
    int word = 0;
    if (lastName(path).startsWith(QChar(u'.'))) {
        word |= Attribute::Hidden;
    }
    if ((info.st_mode & S_IWUSR) == 0) {
        word |= Attribute::ReadOnly;
    }
    return word;
}

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

DirHandle openFolder(const QString &folder) {
    DIR *dir = ::opendir(encoded(folder).constData());
    if (dir == nullptr) {
        throw AppError::fromErrno(errno, folder, AppError::Subject::Folder);
    }
    return DirHandle(dir);
}

bool isDotOrDotDot(const char *name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Whether a folder entry is a file (wantFolders false) or a folder (wantFolders true), links
// followed; d_type answers without a stat for most entries.
bool entryIs(int dirFd, const dirent *entry, bool wantFolders) {
    if (entry->d_type == DT_REG) {
        return !wantFolders;
    }
    if (entry->d_type == DT_DIR) {
        return wantFolders;
    }
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat info {};
    if (::fstatat(dirFd, entry->d_name, &info, 0) != 0) {
        return false;
    }
    return wantFolders ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode);
}

// Calls found(dirFd, rawName, name) for each file (wantFolders false) or folder of the folder.
template <typename Found>
void forEachEntry(const QString &folder, bool wantFolders, Found found) {
    DirHandle dir = openFolder(folder);
    const int dirFd = ::dirfd(dir.get());
    errno = 0;
    while (const dirent *entry = ::readdir(dir.get())) {
        if (!isDotOrDotDot(entry->d_name) && entryIs(dirFd, entry, wantFolders)) {
            found(dirFd, entry->d_name, QFile::decodeName(entry->d_name));
        }
        errno = 0;
    }
    if (errno != 0) {
        throw AppError::fromErrno(errno, folder, AppError::Subject::Folder);
    }
}

bool listedBefore(const QString &a, const QString &b) {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(FileDescriptor &&other) noexcept : fd_(other.release()) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    FileDescriptor &operator=(FileDescriptor &&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

void writeAll(int fd, const char *data, ssize_t size, const QString &target) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw AppError::fromErrno(errno, target);
        }
        data += written;
        size -= written;
    }
}

// Lets the caller's window handle its events now and then during a long copy, tells how far the
// copy has come, and stops it when the caller says so.
class Pacer {
  public:
    Pacer(const KeepGoing &keepGoing, const CopyProgress &copied)
        : keepGoing_(keepGoing), copied_(copied) {}

    void tick(qint64 copied) {
        if ((!keepGoing_ && !copied_) || std::chrono::steady_clock::now() < next_) {
            return;
        }
        if (copied_) {
            copied_(copied);
        }
        if (keepGoing_ && !keepGoing_()) {
            throw AppError(ErrorNumber::UserInterrupt, QStringLiteral("User interrupt occurred"));
        }
        next_ = std::chrono::steady_clock::now() + Interval;
    }

  private:
    static constexpr std::chrono::milliseconds Interval{50};
    const KeepGoing &keepGoing_;
    const CopyProgress &copied_;
    std::chrono::steady_clock::time_point next_;  // the first block asks at once
};

// A copy that ends with a sync goes to the disk as it is written, a window at a time, and what is
// on the disk leaves the cache: the closing sync then has little left to wait for, and a copy that
// is stopped little to throw away.
class Writeback {
  public:
    Writeback(int fd, bool enabled) : fd_(fd), enabled_(enabled) {}

    void wrote(qint64 end) {
        if (!enabled_ || end - current_ < Window) {
            return;
        }
        ::sync_file_range(fd_, current_, end - current_, SYNC_FILE_RANGE_WRITE);
        if (current_ > previous_) {
            ::sync_file_range(
                fd_, previous_, current_ - previous_,
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
            ::posix_fadvise(fd_, previous_, current_ - previous_, POSIX_FADV_DONTNEED);
        }
        previous_ = current_;
        current_ = end;
    }

  private:
    static constexpr qint64 Window = qint64(8) << 20;
    const int fd_;
    const bool enabled_;
    qint64 previous_ = 0;  // the window on its way to the disk
    qint64 current_ = 0;   // where the window being written starts
};

// Failures of the write-back show in the closing sync.
void copyBytes(int from, int to, const QString &source, const QString &target,
               const KeepGoing &keepGoing, const CopyProgress &progress, bool synced) {
    std::array<char, 256 * 1024> buffer{};
    Pacer pacer(keepGoing, progress);
    Writeback writeback(to, synced);
    for (qint64 copied = 0;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) {
            return;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw AppError::fromErrno(errno, source);
        }
        writeAll(to, buffer.data(), got, target);
        copied += got;
        writeback.wrote(copied);
        pacer.tick(copied);
    }
}

// A full disk or a failed write can show only when the file closes, so the close is checked too.
void closeChecked(FileDescriptor &file, const QString &target) {
    if (::close(file.release()) != 0) {
        throw AppError::fromErrno(errno, target);
    }
}

// Before a rename puts a file in place of another, its bytes must be on the disk: a crash then
// leaves the old file or the new one, never an empty one. A failed write shows here too. A new
// file replaces nothing, so its sync can wait for syncFileSystemOf(), once for many files.
void syncToDisk(int fd, const QString &target) {
    if (::fsync(fd) != 0 && errno != EINVAL) {
        throw AppError::fromErrno(errno, target);
    }
}

// A new, empty file beside the target whose name nobody else can have taken. The name is short
// of its own, so that it fits wherever the target's name does.
std::pair<QByteArray, FileDescriptor> createSibling(const QString &target, mode_t mode) {
    const QByteArray folder = encoded(target.left(target.lastIndexOf(QChar(u'/')) + 1));
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray name =
            folder + ".parchwipe-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            return {name, FileDescriptor(fd)};
        }
        if (errno != EEXIST) {
            throw AppError::fromErrno(errno, target, AppError::Subject::Folder);
        }
    }
    throw AppError(ErrorNumber::PathFileAccess,
                   QStringLiteral("Path/File access error: %1").arg(target));
}

// What a copy finds at its target: nothing, or a file it may replace (with its permission bits).
// Throws when the target may not be replaced: a folder, or a file the owner may not write.
std::optional<mode_t> replacedPermissions(const QString &target) {
    struct stat info {};
    if (::stat(encoded(target).constData(), &info) != 0) {
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode) || (info.st_mode & S_IWUSR) == 0) {
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Permission denied: %1").arg(target));
    }
    return info.st_mode & 0777;
}

void refuseReadOnlyTarget(const QString &target) {
    replacedPermissions(target);
}

// Puts the sibling in place: over the target, or only where nothing is yet (EEXIST otherwise).
// A file system that cannot rename so takes a hard link, which never replaces either.
int moveIntoPlace(const QByteArray &sibling, const QByteArray &target, CopyMode mode) {
    if (mode != CopyMode::AtomicNew) {
        return ::rename(sibling.constData(), target.constData());
    }
    if (::renameat2(AT_FDCWD, sibling.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    if (::link(sibling.constData(), target.constData()) != 0) {
        return -1;
    }
    ::unlink(sibling.constData());
    return 0;
}

}  // namespace

int attributeWord(const QString &path) {
    // A trailing "/" would make lstat look through a link; the word belongs to the name itself.
    const QByteArray name = encoded(withoutTrailingSeparators(path));
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0) {
        throw AppError::fromErrno(errno, path);
    }
    if (S_ISLNK(info.st_mode)) {
        if (::stat(name.constData(), &info) != 0) {
            throw AppError::fromErrno(errno, path);
        }
        if (S_ISDIR(info.st_mode)) {
            return FolderLink;
        }
    }
    if (!S_ISDIR(info.st_mode)) {
        return Attribute::Archive | commonBits(path, info);
    }
    if (onKernelFileSystem(name, info)) {
        return ProtectedFolder;
    }
    return Attribute::Directory | commonBits(path, info);
}

std::optional<int> tryAttributeWord(const QString &path) {
    try {
        return attributeWord(path);
    } catch (const AppError &) {
        return std::nullopt;
    }
}

bool hasModificationTime(const QString &path) {
    struct stat info {};
    return !path.isEmpty() && ::stat(encoded(path).constData(), &info) == 0;
}

bool opensForReading(const QString &path) {
    if (path.isEmpty()) {
        return false;
    }
    const FileDescriptor fd(::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    return fd.get() >= 0 && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode);
}

QByteArray readFile(const QString &path) {
    const FileDescriptor fd(::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        throw AppError::fromErrno(errno, path);
    }
    QByteArray content;
    std::array<char, 64 * 1024> buffer{};
    ssize_t got = 0;
    while ((got = ::read(fd.get(), buffer.data(), buffer.size())) != 0) {
        if (got < 0 && errno != EINTR) {
            throw AppError::fromErrno(errno, path);
        }
        content.append(buffer.data(), std::max<ssize_t>(got, 0));
    }
    return content;
}

bool isRootFolder(const QString &path) {
    return !path.isEmpty() &&
           std::all_of(path.begin(), path.end(), [](QChar c) { return c == QChar(u'/'); });
}

bool matchesWildcard(const QString &name, const QString &pattern) {
    if (pattern == QStringLiteral("*.*") || pattern == QStringLiteral("*")) {
        return true;
    }
    // Iterative glob match that backtracks only to the last star.
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starP = -1;
    qsizetype starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == QChar(u'?') || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == QChar(u'*')) {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QChar(u'*')) {
        ++p;
    }
    return p == pattern.size();
}

QList<FileEntry> listReadableFiles(const QString &folder, const QString &pattern) {
    QList<FileEntry> files = listFiles(folder, pattern);
    files.removeIf([](const FileEntry &file) { return !file.readable; });
    return files;
}

QList<FileEntry> listFiles(const QString &folder, const QString &pattern) {
    QList<FileEntry> files;
    forEachEntry(folder, false, [&](int dirFd, const char *rawName, QString name) {
        if (!matchesWildcard(name, pattern)) {
            return;
        }
        // An access check answers "opens for reading" at a fraction of an open's cost, which
        // counts when a scan meets a hundred thousand files.
        struct stat info {};
        if (::fstatat(dirFd, rawName, &info, 0) != 0 || !S_ISREG(info.st_mode)) {
            return;
        }
        const int word = Attribute::Archive | commonBits(name, info);
        const bool readable = ::faccessat(dirFd, rawName, R_OK, AT_EACCESS) == 0;
        files.append({std::move(name), word, readable});
    });
    std::sort(files.begin(), files.end(),
              [](const FileEntry &a, const FileEntry &b) { return listedBefore(a.name, b.name); });
    return files;
}

QStringList listSubFolders(const QString &folder) {
    QStringList names;
    forEachEntry(folder, true,
                 [&](int, const char *, QString name) { names.append(std::move(name)); });
    std::sort(names.begin(), names.end(), listedBefore);
    return names;
}

void copyFile(const QString &source, const QString &target, CopyMode mode,
              const KeepGoing &keepGoing, const CopyProgress &copied) {
    const FileDescriptor from(::open(encoded(source).constData(), O_RDONLY | O_CLOEXEC));
    if (from.get() < 0) {
        throw AppError::fromErrno(errno, source);
    }
    struct stat sourceInfo {};
    if (::fstat(from.get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode)) {
        throw AppError(ErrorNumber::PathFileAccess, QStringLiteral("Not a file: %1").arg(source));
    }
    const std::optional<mode_t> replaced =
        mode == CopyMode::AtomicNew ? std::nullopt : replacedPermissions(target);
    // A replaced file keeps its bits; a private source stays private in its copy, and the copy
    // is the owner's to change.
    const mode_t permissions =
        replaced ? *replaced : (sourceInfo.st_mode & 0666) | S_IRUSR | S_IWUSR;
    if (mode == CopyMode::InPlace) {
        FileDescriptor to(::open(encoded(target).constData(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                                 permissions));
        if (to.get() < 0) {
            throw AppError::fromErrno(errno, target);
        }
        copyBytes(from.get(), to.get(), source, target, keepGoing, copied, false);
        closeChecked(to, target);
        return;
    }
    auto [siblingName, to] = createSibling(target, permissions);
    try {
        // The creation mode passed the umask; a replaced file's bits must come through whole.
        if (::fchmod(to.get(), permissions) != 0) {
            throw AppError::fromErrno(errno, target);
        }
        // Every output is synced: a replacing one here, a new one with the batch's others.
        copyBytes(from.get(), to.get(), source, target, keepGoing, copied, true);
        if (replaced) {
            syncToDisk(to.get(), target);
        }
        closeChecked(to, target);
        if (moveIntoPlace(siblingName, encoded(target), mode) != 0) {
            throw AppError::fromErrno(errno, target);
        }
    } catch (const AppError &) {
        ::unlink(siblingName.constData());
        throw;
    }
}

void writeFile(const QString &path, const QByteArray &bytes) {
    FileDescriptor file(::open(encoded(path).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (file.get() < 0) {
        throw AppError::fromErrno(errno, path);
    }
    writeAll(file.get(), bytes.constData(), bytes.size(), path);
    closeChecked(file, path);
}

std::optional<FileIdentity> fileIdentity(const QString &path) {
    struct stat info {};
    if (path.isEmpty() || ::stat(encoded(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

bool foldsCase(const QString &folder) {
    QTemporaryFile probe(folder + QStringLiteral("/Parchwipe-Case-Probe-XXXXXX"));
    if (!probe.open()) {
        return false;
    }
    const QString name = probe.fileName();
    const int slash = name.lastIndexOf(QChar(u'/'));
    const std::optional<FileIdentity> lower =
        fileIdentity(name.left(slash + 1) + name.mid(slash + 1).toLower());
    return lower && lower == fileIdentity(name);
}

void replaceFile(const QString &replacement, const QString &target) {
    refuseReadOnlyTarget(target);
    if (::rename(encoded(replacement).constData(), encoded(target).constData()) != 0) {
        throw AppError::fromErrno(errno, target);
    }
}

void syncFileSystemOf(const QString &folder) {
    const FileDescriptor file(::open(encoded(folder).constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0 || ::syncfs(file.get()) != 0) {
        throw AppError::fromErrno(errno, folder, AppError::Subject::Folder);
    }
}

void deleteFile(const QString &path) {
    if (::unlink(encoded(path).constData()) != 0) {
        throw AppError::fromErrno(errno, path);
    }
}

void clearReadOnly(const QString &path) {
    const QByteArray name = encoded(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 ||
        ::chmod(name.constData(), info.st_mode | S_IWUSR) != 0) {
        throw AppError::fromErrno(errno, path);
    }
}

QString withoutTrailingSeparators(QString path) {
    while (path.size() > 1 && path.endsWith(QChar(u'/'))) {
        path.chop(1);
    }
    return path;
}

}  // namespace FileSystem
