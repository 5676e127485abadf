#pragma once

#include <QString>
#include <QStringList>

class FileListModel;

// The example files that come with the program, in the folder "Samples" beside it. Their paths
// are recorded once into a snapshot text; loading adds what the snapshot names.
namespace SampleFiles {

inline const QString Question = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

QString SampleFolder(const QString &programFolder);

// The full paths of the files directly in the sample folder, in listing order, encoded as one
// text joined by "|"; empty when the folder is missing or holds no file. Throws AppError when
// the folder cannot be read.
QString Snapshot(const QString &programFolder);

// The paths a snapshot text names, in order; none for the empty text.
QStringList SnapshotPaths(const QString &snapshot);

// Appends each recorded path that still exists and is not yet listed with exactly that text.
void AddRecordedSamples(FileListModel &list, const QString &snapshot);

}  // namespace SampleFiles
