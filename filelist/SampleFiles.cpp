#include "filelist/SampleFiles.h"

#include "filelist/FileListModel.h"
#include "fsutil/AddFolder.h"
#include "fsutil/Main.h"

#include <QByteArray>

namespace SampleFiles {

namespace {

const QChar PathSeparator(u'|');

// Linux names may hold "|" and "%"; escaping them keeps the snapshot reversible.
QString encodePath(QString path) {
    return path.replace(QStringLiteral("%"), QStringLiteral("%25"))
        .replace(PathSeparator, QStringLiteral("%7C"));
}

QString decodePath(const QString &text) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

}  // namespace

QString SampleFolder(const QString &programFolder) {
    return Main::JoinPath(programFolder, QStringLiteral("Samples"));
}

QString Snapshot(const QString &programFolder) {
    const QString folder = SampleFolder(programFolder);
    if (!Main::FolderExists(folder)) {
        return QString();
    }
    const QStringList names = AddFolder::ListFilesInFolder(folder, QStringLiteral("*.*"));
    QStringList paths;
    for (qsizetype position = 1; position < names.size(); ++position) {
        paths.append(encodePath(Main::JoinPath(folder, names[position])));
    }
    return paths.join(PathSeparator);
}

QStringList SnapshotPaths(const QString &snapshot) {
    QStringList paths;
    if (snapshot.isEmpty()) {
        return paths;
    }
    for (const QString &text : snapshot.split(PathSeparator)) {
        paths.append(decodePath(text));
    }
    return paths;
}

void AddRecordedSamples(FileListModel &list, const QString &snapshot) {
    for (const QString &path : SnapshotPaths(snapshot)) {
        if (Main::PathExists(path) && !Main::ListContains(list, path)) {
            list.AddFileRow(path);
        }
    }
}

}  // namespace SampleFiles
