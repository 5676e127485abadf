#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <string>

#include <QImage>

// Pictures carrying metadata of every kind their format allows, made with Qt, ImageMagick and
// exiv2. Each holds the values of pictureSecrets() somewhere in its bytes.
QStringList pictureSecrets();

// What a check names in the photo.jpg fixture of the package and document tests when it lies
// inside `where`: "still holds Make in WHERE, Model in WHERE, ...".
std::string photoFindingsIn(const std::string &where);

QByteArray pngWithEveryTextChunk();     // tEXt, zTXt, iTXt, eXIf, tIME, a private chunk
QByteArray animatedPng();               // two frames, and a tEXt
QByteArray gifWithCommentXmpAndLoop();  // two frames that loop
QByteArray webpWithExifAndXmp();
QByteArray tiffWithArtistMakeGps();  // two pages, both described; Exif, GPS, XMP, IPTC
// A phone's photo: make, model, lens, serial, software, date, GPS and a thumbnail directory;
// its model, lens and serial hold PLANTED.
QByteArray phoneJpeg();

// Every frame or page as Qt decodes it.
QList<QImage> framesOf(const QByteArray &picture);

// The names of a PNG's chunks, in order.
QStringList pngChunkNames(const QByteArray &png);
