#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

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

// Runs a tool that makes or reads test files and returns what it printed. Throws when it fails,
// since the test cannot go on without it.
QByteArray runTool(const QString &program, const QStringList &arguments);

// Empties the settings store that the test program points at its temporary folder.
void clearSettings();

// Failed expectations show texts as text, not as a list of 16-bit units.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}
