#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// The batch's private folder inside the temporary folder: owner-only, with a name nobody else can
// have taken, so that the fixed working names are safe from other users and other copies of the
// program. It goes with everything in it, since the copies there still carry the user's metadata.
class WorkingFolder {
  public:
    // False when the folder cannot be made (the temporary folder is missing, say).
    bool create(const QString &temporaryFolder);

    QString path() const;
    void remove();

  private:
    std::unique_ptr<QTemporaryDir> dir_;
};
