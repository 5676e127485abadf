#pragma once

#include <QString>

#include <memory>

class LockedFolder;

// The batch's private folder inside the temporary folder: owner-only, with a name nobody else can
// have taken, so that the fixed working names are safe from other users and other copies of the
// program. It goes with everything in it, since the copies there still carry the user's metadata;
// it is locked while in use, so that a folder left by a killed Parchwipe can be told apart.
class WorkingFolder {
  public:
    WorkingFolder();
    ~WorkingFolder();

    // False when the folder cannot be made (the temporary folder is missing, say).
    bool create(const QString &temporaryFolder);

    QString path() const;
    void remove();

    // Removes the working folders that no running Parchwipe holds: a killed one leaves its folder.
    static void RemoveLeftOvers(const QString &temporaryFolder);

  private:
    std::unique_ptr<LockedFolder> folder_;
};
