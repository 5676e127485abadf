#include "PictureFixtures.h"

#include "support/TestFiles.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>

namespace {

const QString Author = QStringLiteral("Ann Author");

QImage drawing(QColor sun) {
    QImage picture(48, 32, QImage::Format_ARGB32);
    picture.fill(QColor(40, 90, 160, 200));
    QPainter painter(&picture);
    painter.setBrush(sun);
    painter.drawEllipse(QPoint(30, 12), 9, 9);
    return picture;
}

QByteArray encoded(const QImage &picture, const char *format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format);
    return bytes;
}

quint32 crc32(const QByteArray &bytes) {
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
        }
    }
    return ~crc;
}

QByteArray bigEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data) {
    return bigEndian32(data.size()) + type + data + bigEndian32(crc32(type + data));
}

// The chunks between the PNG's header chunk and its end chunk.
QByteArray pngBody(const QByteArray &png) {
    return png.mid(33, png.size() - 33 - 12);
}

QByteArray pngWith(const QByteArray &png, const QByteArray &chunks) {
    return png.left(33) + chunks + pngBody(png) + png.right(12);
}

QByteArray textChunks() {
    const QByteArray xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><dc:creator>" + Author.toUtf8() +
                           "</dc:creator></x:xmpmeta>";
    return pngChunk("tEXt", QByteArray("Author\0", 7) + Author.toUtf8()) +
           pngChunk("zTXt", QByteArray("Comment\0\0", 9) + qCompress("Secret comment").mid(4)) +
           pngChunk("iTXt", QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) + xmp) +
           pngChunk("eXIf", QByteArray("MM\0*\0\0\0\x08", 8) + "Camera EOS 5D") +
           pngChunk("tIME", QByteArray("\x07\xE5\x06\x01\x0A\x00\x00", 7)) +
           pngChunk("prVt", "GPS 48.85 2.35");
}

// Runs ImageMagick's convert on Qt's drawings and exiv2 on the result; returns its bytes.
QByteArray convertedWithExiv2(const QString &target, const QStringList &convertOptions,
                              const QStringList &exiv2Settings) {
    ScratchFolder scratch;
    QStringList arguments;
    for (const QColor &sun : {QColor(240, 200, 60), QColor(250, 60, 60)}) {
        arguments << writeFile(scratch / QStringLiteral("%1.png").arg(arguments.size()),
                               encoded(drawing(sun), "PNG"));
    }
    arguments << convertOptions << scratch / target;
    runTool(QStringLiteral("convert"), arguments);
    if (!exiv2Settings.isEmpty()) {
        QStringList modify;
        for (const QString &setting : exiv2Settings) {
            modify << QStringLiteral("-M") << QStringLiteral("set ") + setting;
        }
        runTool(QStringLiteral("exiv2"), modify << QStringLiteral("mo") << scratch / target);
    }
    return readFile(scratch / target);
}

}  // namespace

QStringList pictureSecrets() {
    return {Author, QStringLiteral("Secret comment"), QStringLiteral("EOS 5D"),
            QStringLiteral("48.85"), QStringLiteral("Page Two")};
}

QByteArray pngWithEveryTextChunk() {
    QImage picture = drawing(QColor(240, 200, 60));
    picture.setColorSpace(QColorSpace::DisplayP3);  // written as an ICC profile, which stays
    return pngWith(encoded(picture, "PNG"), textChunks()) + "Ann Author";  // after the end
}

QByteArray animatedPng() {
    const QByteArray first = encoded(drawing(QColor(240, 200, 60)), "PNG");
    const QByteArray second = encoded(drawing(QColor(250, 60, 60)), "PNG");
    const auto frameControl = [&](quint32 sequence) {
        return pngChunk("fcTL", bigEndian32(sequence) + first.mid(16, 8) + QByteArray(8, '\0') +
                                    QByteArray("\0\x0A\0\x64\0\0", 6));
    };
    QByteArray frames = frameControl(1);  // the second frame's image data as fdAT chunks
    quint32 sequence = 2;
    for (qsizetype at = 33; second.mid(at + 4, 4) != "IEND";) {
        const quint32 length = qFromBigEndian<quint32>(second.constData() + at);
        if (second.mid(at + 4, 4) == "IDAT") {
            frames += pngChunk("fdAT", bigEndian32(sequence++) + second.mid(at + 8, length));
        }
        at += 12 + length;
    }
    return first.left(33) + pngChunk("acTL", bigEndian32(2) + bigEndian32(0)) + frameControl(0) +
           pngChunk("tEXt", QByteArray("Author\0", 7) + Author.toUtf8()) + pngBody(first) + frames +
           first.right(12);
}

QByteArray gifWithCommentXmpAndLoop() {
    const QByteArray gif =
        convertedWithExiv2(QStringLiteral("a.gif"),
                           {QStringLiteral("-delay"), QStringLiteral("20"), QStringLiteral("-loop"),
                            QStringLiteral("0"), QStringLiteral("-set"), QStringLiteral("comment"),
                            QStringLiteral("Secret comment")},
                           {});
    const QByteArray xmp =
        "<x:xmpmeta><dc:creator>" + Author.toUtf8() + "</dc:creator></x:xmpmeta>";
    const QByteArray xmpBlock =
        "\x21\xFF\x0BXMP DataXMP" + QByteArray(1, char(xmp.size())) + xmp + QByteArray(1, '\0');
    const quint8 packed = static_cast<quint8>(gif[10]);
    const qsizetype screenEnd = 13 + ((packed & 0x80) ? 3 << ((packed & 7) + 1) : 0);
    return gif.left(screenEnd) + xmpBlock + gif.mid(screenEnd);
}

QByteArray webpWithExifAndXmp() {
    return convertedWithExiv2(
        QStringLiteral("a.webp"),
        {QStringLiteral("-delete"), QStringLiteral("1"), QStringLiteral("-define"),
         QStringLiteral("webp:lossless=true")},
        {QStringLiteral("Exif.Image.Artist ") + Author, QStringLiteral("Exif.Image.Model EOS 5D"),
         QStringLiteral("Xmp.dc.creator ") + Author});
}

QByteArray tiffWithArtistMakeGps() {
    return convertedWithExiv2(
        QStringLiteral("a.tif"),
        {QStringLiteral("-set"), QStringLiteral("comment"), QStringLiteral("Page Two")},
        {QStringLiteral("Exif.Image.Artist ") + Author, QStringLiteral("Exif.Image.Make Canon"),
         QStringLiteral("Exif.Image.Model EOS 5D"),
         QStringLiteral("Exif.Photo.UserComment Secret comment"),
         QStringLiteral("Exif.GPSInfo.GPSLatitudeRef N"),
         QStringLiteral("Exif.GPSInfo.GPSLatitude 48/1 85/100 0/1"),
         QStringLiteral("Iptc.Application2.Byline ") + Author,
         QStringLiteral("Xmp.dc.creator ") + Author});
}

QByteArray phoneJpeg() {
    return convertedWithExiv2(
        QStringLiteral("a.jpg"), {QStringLiteral("-append")},
        {QStringLiteral("Exif.Image.Make Apple"),
         QStringLiteral("Exif.Image.Model iPhone 13 PLANTED-model"),
         QStringLiteral("Exif.Image.Software 16.1"),
         QStringLiteral("Exif.Photo.DateTimeOriginal 2023:04:01 10:00:00"),
         QStringLiteral("Exif.Photo.LensModel iPhone 13 back camera PLANTED-lens"),
         QStringLiteral("Exif.Photo.BodySerialNumber PLANTED-serial"),
         QStringLiteral("Exif.GPSInfo.GPSLatitudeRef N"),
         QStringLiteral("Exif.GPSInfo.GPSLatitude 48/1 51/1 2964/100"),
         QStringLiteral("Exif.Thumbnail.Compression 6"),
         QStringLiteral("Exif.Thumbnail.XResolution 72/1")});
}

QList<QImage> framesOf(const QByteArray &picture) {
    QBuffer buffer;
    buffer.setData(picture);
    QImageReader reader(&buffer);
    const int count = std::max(reader.imageCount(), 1);  // asked first: it rewinds the device
    QList<QImage> frames;
    for (int i = 0; i < count; ++i) {
        // Animations advance by reading; pages are jumped to.
        if (i > 0 && !reader.supportsAnimation()) {
            reader.jumpToNextImage();
        }
        frames << reader.read();
    }
    return frames;
}

QStringList pngChunkNames(const QByteArray &png) {
    QStringList names;
    for (qsizetype at = 8; at + 8 <= png.size();
         at += 12 + qFromBigEndian<quint32>(png.constData() + at)) {
        names << QString::fromLatin1(png.mid(at + 4, 4));
    }
    return names;
}

std::string photoFindingsIn(const std::string &where) {
    std::string reason;
    for (const char *name :
         {"Make", "Model", "Artist", "GPS position", "XMP", "Photoshop/IPTC data", "a comment"}) {
        reason += (reason.empty() ? "still holds " : ", ") + std::string(name) + " in " + where;
    }
    return reason;
}
