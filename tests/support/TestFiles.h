#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary folder for one test, removed with everything in it afterwards.
class ScratchFolder {
  public:
    ScratchFolder();
    const QString &path() const { return path_; }
    // path() + "/" + relative
    QString operator/(const QString &relative) const;

  private:
    QTemporaryDir dir_;
    QString path_;
};

// Writes the bytes, making the folders on the way; returns the path.
QString writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
QString makeFolder(const QString &path);

// Empties the settings store that the test program points at its temporary folder.
void clearSettings();
