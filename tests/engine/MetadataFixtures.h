#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Values the fixtures plant, so a test can look for any of them in an output's bytes.
QStringList plantedValues();

// A small JPEG photo with EXIF (camera, artist, GPS), IPTC, XMP and a comment, made with exiv2.
QString makeJpegWithMetadata(const QString &path);

// A one-page PDF with all eight information keys and an XMP stream; streams left uncompressed so
// that a value left anywhere would show in the bytes.
QString makePdfWithMetadata(const QString &path);

// Everything exiv2 reads from the file (tags and comment); empty when it carries none.
QString exiv2Report(const QString &path);

// The information keys the PDF still has with a value, and "XMP" when its catalog has metadata.
QStringList pdfMetadataKeys(const QString &path);

// Values from plantedValues() that stand in the file's bytes.
QStringList plantedValuesIn(const QString &path);
