#include "MetadataFixtures.h"

#include "support/TestFiles.h"

#include <QImage>
#include <QPainter>
#include <QProcess>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <stdexcept>

namespace {

const QString Author = QStringLiteral("Ann Author");

QString runExiv2(const QStringList &arguments) {
    QProcess exiv2;
    exiv2.start(QStringLiteral("exiv2"), arguments);
    exiv2.waitForFinished(-1);
    return QString::fromUtf8(exiv2.readAllStandardOutput()).trimmed();
}

QPDFObjectHandle textString(const char *text) {
    return QPDFObjectHandle::newUnicodeString(text);
}

}  // namespace

QStringList plantedValues() {
    return {Author,
            QStringLiteral("Secret comment"),
            QStringLiteral("EOS 5D"),
            QStringLiteral("Quarterly Secret Report"),
            QStringLiteral("Merger Plans"),
            QStringLiteral("acquisition, confidential"),
            QStringLiteral("SecretWriter 9"),
            QStringLiteral("SecretProducer 3"),
            QStringLiteral("D:20200102030405"),
            QStringLiteral("D:20210102030405")};
}

QString makeJpegWithMetadata(const QString &path) {
    QImage picture(160, 120, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(picture.rect(), QColor(40, 90, 160));
    painter.setBrush(QColor(240, 200, 60));
    painter.drawEllipse(QPoint(110, 40), 22, 22);
    painter.end();
    writeFile(path, {});
    picture.save(path, "JPEG", 90);
    runExiv2(
        {QStringLiteral("-M"), QStringLiteral("set Exif.Image.Make Canon"), QStringLiteral("-M"),
         QStringLiteral("set Exif.Image.Model EOS 5D"), QStringLiteral("-M"),
         QStringLiteral("set Exif.Image.Artist ") + Author, QStringLiteral("-M"),
         QStringLiteral("set Exif.GPSInfo.GPSLatitudeRef N"), QStringLiteral("-M"),
         QStringLiteral("set Exif.GPSInfo.GPSLatitude 48/1 51/1 2964/100"), QStringLiteral("-M"),
         QStringLiteral("set Iptc.Application2.Byline ") + Author, QStringLiteral("-M"),
         QStringLiteral("set Xmp.dc.creator ") + Author, QStringLiteral("mo"), path});
    runExiv2({QStringLiteral("-c"), QStringLiteral("Secret comment"), QStringLiteral("mo"), path});
    return path;
}

QString makePdfWithMetadata(const QString &path) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle content =
        QPDFObjectHandle::newStream(&pdf, "BT /F1 12 Tf 72 720 Td (Hello) Tj ET");
    QPDFObjectHandle page = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] /Resources << >> >>"));
    page.replaceKey("/Contents", content);
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(page), false);

    QPDFObjectHandle info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    info.replaceKey("/Title", textString("Quarterly Secret Report"));
    info.replaceKey("/Subject", textString("Merger Plans"));
    info.replaceKey("/Author", textString("Ann Author"));
    info.replaceKey("/Keywords", textString("acquisition, confidential"));
    info.replaceKey("/Creator", textString("SecretWriter 9"));
    info.replaceKey("/Producer", textString("SecretProducer 3"));
    info.replaceKey("/CreationDate", textString("D:20200102030405"));
    info.replaceKey("/ModDate", textString("D:20210102030405"));
    pdf.getTrailer().replaceKey("/Info", info);

    QPDFObjectHandle xmp = QPDFObjectHandle::newStream(
        &pdf,
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:creator>Ann Author</dc:creator>"
        "</rdf:Description></rdf:RDF></x:xmpmeta>");
    xmp.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/Metadata"));
    xmp.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/XML"));
    pdf.getRoot().replaceKey("/Metadata", xmp);

    writeFile(path, {});
    const QByteArray fileName = path.toLocal8Bit();  // the writer keeps the pointer
    QPDFWriter writer(pdf, fileName.constData());
    writer.setCompressStreams(false);
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.write();
    return path;
}

QString exiv2Report(const QString &path) {
    return (runExiv2({QStringLiteral("-pa"), path}) + QLatin1Char('\n') +
            runExiv2({QStringLiteral("-pc"), path}))
        .trimmed();
}

QStringList pdfMetadataKeys(const QString &path) {
    QPDF pdf;
    const QByteArray fileName = path.toLocal8Bit();
    pdf.processFile(fileName.constData());
    QStringList keys;
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    if (info.isDictionary()) {
        for (const std::string &key : info.getKeys()) {
            QPDFObjectHandle value = info.getKey(key);
            if (!value.isString() || !value.getUTF8Value().empty()) {
                keys << QString::fromStdString(key);
            }
        }
    }
    if (pdf.getRoot().hasKey("/Metadata")) {
        keys << QStringLiteral("XMP");
    }
    return keys;
}

QStringList plantedValuesIn(const QString &path) {
    const QByteArray bytes = readFile(path);
    QStringList found;
    for (const QString &value : plantedValues()) {
        if (bytes.contains(value.toUtf8())) {
            found << value;
        }
    }
    return found;
}
