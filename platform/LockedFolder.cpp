#include "platform/LockedFolder.h"

#include "platform/AppError.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

int openFolder(const QByteArray &path) {
    return ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The folder is gone when RemoveAbandoned took it between its making and its locking.
bool stillThere(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_nlink > 0;
}

void removeLocked(const QString &path, int fd) {
    QDir(path).removeRecursively();
    ::close(fd);
}

}  // namespace

LockedFolder::LockedFolder(const QString &parent, const QString &prefix) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        QByteArray name = QFile::encodeName(parent + QChar(u'/') + prefix) + "XXXXXX";
        if (::mkdtemp(name.data()) == nullptr) {
            throw AppError::fromErrno(errno, parent, AppError::Subject::Folder);
        }
        const int fd = openFolder(name);
        if (fd < 0) {
            const int error = errno;
            ::rmdir(name.constData());
            throw AppError::fromErrno(error, parent, AppError::Subject::Folder);
        }
        // A file system without locks keeps the folder unlocked; no sweep can take it then.
        const bool locked = ::flock(fd, LOCK_EX) == 0;
        if (!locked || stillThere(fd)) {
            path_ = QFile::decodeName(name);
            lockFd_ = fd;
            return;
        }
        ::close(fd);
    }
    throw AppError(ErrorNumber::PathFileAccess,
                   QStringLiteral("Path/File access error: %1").arg(parent));
}

LockedFolder::~LockedFolder() {
    removeLocked(path_, lockFd_);
}

void LockedFolder::RemoveAbandoned(const QString &parent, const QString &prefix) {
    DIR *dir = ::opendir(QFile::encodeName(parent).constData());
    if (dir == nullptr) {
        return;
    }
    const QByteArray start = QFile::encodeName(prefix);
    while (const dirent *entry = ::readdir(dir)) {
        struct stat info {};
        if (std::strncmp(entry->d_name, start.constData(), start.size()) != 0 ||
            ::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;
        }
        const QString path = parent + QChar(u'/') + QFile::decodeName(entry->d_name);
        const int fd = openFolder(QFile::encodeName(path));
        if (fd < 0) {
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            removeLocked(path, fd);
        } else {
            ::close(fd);
        }
    }
    ::closedir(dir);
}
