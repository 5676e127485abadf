#pragma once

#include <QString>

// A private folder (owner only) with a name nobody else can have taken, locked while this object
// holds it: another process's RemoveAbandoned leaves it alone then. The lock goes with the process,
// so a folder whose process was killed can be found and removed later.
class LockedFolder {
  public:
    // Makes parent/prefixXXXXXX and locks it. Throws AppError when it cannot.
    LockedFolder(const QString &parent, const QString &prefix);
    // Removes the folder with everything in it, then lets the lock go.
    ~LockedFolder();

    LockedFolder(const LockedFolder &) = delete;
    LockedFolder &operator=(const LockedFolder &) = delete;

    const QString &path() const { return path_; }

    // Removes every folder parent/prefix* of this user that no process holds locked. Quiet: a
    // folder that cannot be examined or removed stays.
    static void RemoveAbandoned(const QString &parent, const QString &prefix);

  private:
    QString path_;
    int lockFd_ = -1;
};
