#include "PdfFixtures.h"

#include "MetadataFixtures.h"
#include "formats/PictureFixtures.h"
#include "formats/documents/Pdf.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace {

// Every planted value holds one of these; the kept content holds none.
const QList<QByteArray> PlantedMarks = {"Secret", "D:1999", "Ann Author", "+12.3456"};

using Object = QPDFObjectHandle;

Object parsed(const char *text) {
    return Object::parse(text);
}

// Copies every key of the parsed dictionary into target.
void setKeys(Object target, const char *keys) {
    for (auto [key, value] : parsed(keys).ditems()) {
        target.replaceKey(key, value);
    }
}

Object xmp(QPDF &pdf, const char *creator) {
    Object stream = Object::newStream(
        &pdf, std::string("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://"
                          "www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description xmlns:dc="
                          "\"http://purl.org/dc/elements/1.1/\"><dc:creator>") +
                  creator + "</dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>");
    setKeys(stream.getDict(), "<< /Type /Metadata /Subtype /XML >>");
    return stream;
}

Object signature(QPDF &pdf, const char *name, const char *method) {
    Object dictionary = pdf.makeIndirectObject(
        parsed("<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached "
               "/M (D:19990404000000) /Contents <3082> /ByteRange [0 10 20 30] >>"));
    dictionary.replaceKey("/Name", Object::newString(name));
    Object reference = parsed("<< /Type /SigRef /TransformParams << /P 2 >> >>");
    reference.replaceKey("/TransformMethod", Object::newName(method));
    dictionary.replaceKey("/Reference", Object::newArray({reference}));
    return dictionary;
}

void addField(QPDF &pdf, Object page, Object field) {
    field = pdf.makeIndirectObject(field);
    field.replaceKey("/P", page);
    page.getKey("/Annots").appendItem(field);
    pdf.getRoot().getKey("/AcroForm").getKey("/Fields").appendItem(field);
}

void draw(QPDF &pdf, Object page, const char *name, Object xobject, const char *operators) {
    Object resources = page.getKey("/Resources");
    if (!resources.hasKey("/XObject")) {
        resources.replaceKey("/XObject", Object::newDictionary());
    }
    resources.getKey("/XObject").replaceKey(name, xobject);
    QPDFPageObjectHelper(page).addPageContents(Object::newStream(&pdf, operators), false);
}

// A page with text in a font written inside its resources, a link, a filled text field and an
// outline entry: what cleaning must keep.
Object addKeptContent(QPDF &pdf) {
    pdf.emptyPDF();
    Object page = pdf.makeIndirectObject(
        parsed("<< /Type /Page /MediaBox [0 0 612 792] /Annots [] /Resources << /Font << /F1 "
               "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >>"));
    page.replaceKey("/Contents", Object::newStream(&pdf,
                                                   "BT /F1 12 Tf 72 720 Td (Hello from the "
                                                   "quarterly report) Tj ET"));
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(page), false);
    Object root = pdf.getRoot();
    root.replaceKey("/AcroForm", parsed("<< /Fields [] >>"));
    page.getKey("/Annots").appendItem(pdf.makeIndirectObject(
        parsed("<< /Type /Annot /Subtype /Link /Rect [72 700 300 730] /Border [0 0 0] "
               "/A << /S /URI /URI (https://example.org/report) >> >>")));
    addField(pdf, page,
             parsed("<< /Type /Annot /Subtype /Widget /FT /Tx /T (reference) /V (R-17) "
                    "/Rect [72 600 200 620] >>"));
    Object outlines = pdf.makeIndirectObject(parsed("<< /Type /Outlines /Count 1 >>"));
    Object chapter = pdf.makeIndirectObject(parsed("<< /Title (Chapter One) >>"));
    chapter.replaceKey("/Parent", outlines);
    chapter.replaceKey("/Dest", Object::newArray({page, Object::newName("/Fit")}));
    outlines.replaceKey("/First", chapter);
    outlines.replaceKey("/Last", chapter);
    root.replaceKey("/Outlines", outlines);
    return page;
}

void setInformation(QPDF &pdf, const char *keys) {
    pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(parsed(keys)));
}

QByteArray written(QPDF &pdf, PdfKind kind);

Object attachment(QPDF &pdf, const char *path, const std::string &bytes, const char *parameters);
void attach(QPDF &pdf, const char *name, Object fileSpec);

// A one-page PDF of its own, attaching a chain of as many PDFs, the last with document information.
std::string attachablePdf(int attachments) {
    QPDF pdf;
    addKeptContent(pdf);
    if (attachments == 0) {
        setInformation(pdf, "<< /Author (Secret Nested Author) >>");
    } else {
        attach(pdf, "nested.pdf",
               attachment(pdf, "nested.pdf", attachablePdf(attachments - 1), "<< >>"));
    }
    return written(pdf, PdfKind::CustomInfo).toStdString();
}

// A file fileSpec holding bytes as an attached file with the given parameters.
Object attachment(QPDF &pdf, const char *path, const std::string &bytes, const char *parameters) {
    Object file = Object::newStream(&pdf, bytes);
    setKeys(file.getDict(), "<< /Type /EmbeddedFile >>");
    file.getDict().replaceKey("/Params", parsed(parameters));
    Object fileSpec =
        pdf.makeIndirectObject(parsed("<< /Type /Filespec /Desc (Meeting notes) /EF << >> >>"));
    fileSpec.replaceKey("/F", Object::newString(path));
    fileSpec.replaceKey("/UF", Object::newUnicodeString(path));
    fileSpec.getKey("/EF").replaceKey("/F", file);
    return fileSpec;
}

void attach(QPDF &pdf, const char *name, Object fileSpec) {
    QPDFEmbeddedFileDocumentHelper(pdf).replaceEmbeddedFile(name,
                                                            QPDFFileSpecObjectHelper(fileSpec));
}

Object addAnnotation(QPDF &pdf, Object page, const char *text) {
    Object annotation = pdf.makeIndirectObject(parsed(text));
    page.getKey("/Annots").appendItem(annotation);
    return annotation;
}

void addLink(QPDF &pdf, Object page, const char *action) {
    addAnnotation(pdf, page, "<< /Type /Annot /Subtype /Link /Rect [72 500 200 520] >>")
        .replaceKey("/A", parsed(action));
}

Object xfaPacket(QPDF &pdf, const char *xml) {
    return Object::newStream(&pdf, xml);
}

const char *const XfaXmp =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
    "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
    "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:CreatorTool=\"Secret Designer\" "
    "xmp:CreateDate=\"1999-07-07\"/></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
const char *const XfaTemplate =
    "<template xmlns=\"http://www.xfa.org/schema/xfa-template/3.3/\"><subform name=\"form1\">"
    "<field name=\"reference\"/></subform></template>";

// What make_pdf_attachments.py writes: name, then bytes.
QMap<QString, QByteArray> filesToAttach() {
    QTemporaryDir folder;
    runTool(QStringLiteral("python3"),
            {QStringLiteral(PARCHWIPE_TESTS_DIR "/engine/make_pdf_attachments.py"), folder.path()});
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(folder.path()).entryList(QDir::Files)) {
        files[name] = readFile(folder.filePath(name));
    }
    return files;
}

Object picture(QPDF &pdf, const QByteArray &bytes, const char *filter) {
    Object image = Object::newStream(&pdf, bytes.toStdString());
    setKeys(image.getDict(),
            "<< /Type /XObject /Subtype /Image /Width 160 /Height 120 /ColorSpace /DeviceRGB "
            "/BitsPerComponent 8 >>");
    image.getDict().replaceKey("/Filter", parsed(filter));
    return image;
}

// A zlib stream, as FlateDecode reads it: qCompress puts the length before one.
QByteArray deflated(const QByteArray &bytes) {
    return qCompress(bytes).mid(4);
}

void plant(PdfKind kind, QPDF &pdf, Object page) {
    Object root = pdf.getRoot();
    switch (kind) {
        case PdfKind::CustomInfo:
            setInformation(pdf,
                           "<< /Title (Secret Title) /Author (Ann Secretary) "
                           "/CreationDate (D:19990101000000) /SourceModified "
                           "(D:19990101000000) /MSIP_Label_Secret_TenantId (Secret-4711) "
                           "/PTEX.Fullbanner (This is pdfTeX, Secret build) >>");
            break;
        case PdfKind::PageXmp:
            page.replaceKey("/Metadata", xmp(pdf, "Secret Page Author"));
            break;
        case PdfKind::ImageXmp: {
            Object image = Object::newStream(&pdf, std::string(4, '\x80'));
            setKeys(image.getDict(),
                    "<< /Type /XObject /Subtype /Image /Width 2 /Height 2 "
                    "/ColorSpace /DeviceGray /BitsPerComponent 8 >>");
            image.getDict().replaceKey("/Metadata", xmp(pdf, "Secret Photographer"));
            draw(pdf, page, "/Im1", image, "q 20 0 0 20 72 500 cm /Im1 Do Q");
            break;
        }
        case PdfKind::FontXmp:
            page.getKey("/Resources")
                .getKey("/Font")
                .getKey("/F1")
                .replaceKey("/Metadata", xmp(pdf, "Secret Type Foundry"));
            break;
        case PdfKind::PieceInfo: {
            const char *record =
                "<< /Illustrator << /LastModified (D:19990202000000) /Private "
                "<< /Caption (Secret caption) /City (Secret City) >> >> >>";
            setKeys(page, "<< /LastModified (D:19990202000000) >>");
            page.replaceKey("/PieceInfo", parsed(record));
            root.replaceKey("/PieceInfo", parsed(record));
            break;
        }
        case PdfKind::TexFigure: {
            Object figure = Object::newStream(&pdf, "0 0 10 10 re f");
            setKeys(figure.getDict(),
                    "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /PTEX.PageNumber 1 "
                    "/PTEX.FileName (/home/ann/Secret/figure.pdf) /LastModified "
                    "(D:19990303000000) >>");
            figure.getDict().replaceKey(
                "/PTEX.InfoDict",
                pdf.makeIndirectObject(
                    parsed("<< /Author (Secret Figure Author) /CreationDate (D:19990303000000) "
                           ">>")));
            draw(pdf, page, "/Fig1", figure, "q 1 0 0 1 72 400 cm /Fig1 Do Q");
            break;
        }
        case PdfKind::UsageRights: {
            Object perms = Object::newDictionary();
            perms.replaceKey("/UR", signature(pdf, "Secret Old Rights Server", "/UR"));
            perms.replaceKey("/UR3", signature(pdf, "Secret Rights Server", "/UR3"));
            root.replaceKey("/Perms", perms);
            addField(pdf, page,
                     parsed("<< /Type /Annot /Subtype /Widget /FT /Sig /T (Sign here) "
                            "/Rect [72 500 200 540] >>"));
            break;
        }
        case PdfKind::SignedField: {
            Object field = parsed(
                "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature1) "
                "/Rect [72 500 200 540] >>");
            field.replaceKey("/V", signature(pdf, "Secret Signer", "/FieldMDP"));
            addField(pdf, page, field);
            break;
        }
        case PdfKind::Certified: {
            Object perms = Object::newDictionary();
            perms.replaceKey("/DocMDP", signature(pdf, "Secret Certifier", "/DocMDP"));
            root.replaceKey("/Perms", perms);
            break;
        }
        case PdfKind::IncrementalUpdate:
            setInformation(pdf, "<< /Title (Secret Old Title) >>");
            page.replaceKey("/Contents",
                            Object::newStream(&pdf, "BT /F1 12 Tf 72 720 Td (Secret draft) Tj ET"));
            break;
        case PdfKind::ObjectStreams:
            page.replaceKey("/PieceInfo", parsed("<< /App << /Private (Secret data) >> >>"));
            break;
        case PdfKind::OwnerPassword:
            setInformation(pdf, "<< /Author (Secret Owner) >>");
            page.replaceKey("/Metadata", xmp(pdf, "Secret Owner"));
            break;
        case PdfKind::EmbeddedJpeg: {
            QTemporaryDir folder;
            const QByteArray photo =
                readFile(makeJpegWithMetadata(folder.filePath(QStringLiteral("photo.jpg"))));
            Object image = Object::newStream(&pdf, photo.toStdString());
            setKeys(image.getDict(),
                    "<< /Type /XObject /Subtype /Image /Width 160 /Height 120 "
                    "/ColorSpace /DeviceRGB /BitsPerComponent 8 "
                    "/Filter /DCTDecode >>");
            draw(pdf, page, "/Photo", image, "q 160 0 0 120 72 400 cm /Photo Do Q");
            break;
        }
        case PdfKind::Comments: {
            Object popup = addAnnotation(pdf, page,
                                         "<< /Type /Annot /Subtype /Popup /Rect [300 600 400 700] "
                                         "/T (Secret Reviewer) /M (D:19990505000000) >>");
            Object note = addAnnotation(
                pdf, page,
                "<< /Type /Annot /Subtype /Text /Rect [72 650 90 668] /T (Secret Reviewer) "
                "/M (D:19990505000000) /CreationDate (D:19990504000000) "
                "/Contents (Please check the totals) >>");
            note.replaceKey("/Popup", popup);
            popup.replaceKey("/Parent", note);
            break;
        }
        case PdfKind::AttachedPhoto: {
            QTemporaryDir folder;
            const QByteArray photo =
                readFile(makeJpegWithMetadata(folder.filePath(QStringLiteral("photo.jpg"))));
            addAnnotation(pdf, page,
                          "<< /Type /Annot /Subtype /FileAttachment /Rect [72 650 90 668] "
                          "/Contents (Photo of the site) >>")
                .replaceKey("/FS", attachment(pdf, "site.jpg", photo.toStdString(), "<< >>"));
            break;
        }
        case PdfKind::AttachedTiff:
            attach(pdf, "scan.tif",
                   attachment(pdf, "scan.tif", tiffWithArtistMakeGps().toStdString(), "<< >>"));
            break;
        case PdfKind::AttachedNotes:
            attach(pdf, "C:\\Users\\Secret\\Documents\\notes.txt",
                   attachment(pdf, "C:\\Users\\Secret\\Documents\\notes.txt", "Agenda: totals",
                              "<< /CreationDate (D:19990606000000) /ModDate (D:19990607000000) "
                              "/Size 14 >>"));
            break;
        case PdfKind::AttachedPdf:
            attach(pdf, "nested.pdf", attachment(pdf, "nested.pdf", attachablePdf(0), "<< >>"));
            break;
        case PdfKind::DeeplyAttachedPdf:
            attach(pdf, "nested.pdf", attachment(pdf, "nested.pdf", attachablePdf(4), "<< >>"));
            break;
        case PdfKind::AttachedDamagedPdf:
            attach(pdf, "nested.pdf",
                   attachment(pdf, "nested.pdf", "%PDF-1.7\nSecret and nothing else", "<< >>"));
            break;
        case PdfKind::AttachedOffice:
            attach(pdf, "letter.docx",
                   attachment(pdf, "letter.docx",
                              std::string("PK\3\4[Content_Types].xml Secret", 30), "<< >>"));
            break;
        case PdfKind::XfaPackets:
            root.getKey("/AcroForm")
                .replaceKey("/XFA",
                            Object::newArray(
                                {Object::newString("preamble"),
                                 xfaPacket(pdf,
                                           "<xdp:xdp xmlns:xdp='http://ns.adobe.com/xdp/' "
                                           "timeStamp='1999-07-07T10:00:00Z' uuid='Secret-4711'>"),
                                 Object::newString("xmpmeta"), xfaPacket(pdf, XfaXmp),
                                 Object::newString("template"), xfaPacket(pdf, XfaTemplate),
                                 Object::newString("postamble"), xfaPacket(pdf, "</xdp:xdp>")}));
            break;
        case PdfKind::XfaStream:
            root.getKey("/AcroForm")
                .replaceKey("/XFA", xfaPacket(pdf, (std::string("<xdp:xdp xmlns:xdp=\"http://"
                                                                "ns.adobe.com/xdp/\" timeStamp = "
                                                                "\"1999-07-07T10:00:00Z\"\n"
                                                                "uuid=\"Secret-4711\">") +
                                                    XfaXmp + XfaTemplate + "</xdp:xdp>")
                                                       .c_str()));
            break;
        case PdfKind::XfaDamaged: {
            Object packet = xfaPacket(pdf, XfaXmp);
            packet.getDict().replaceKey("/Filter", Object::newName("/FlateDecode"));
            root.getKey("/AcroForm").replaceKey("/XFA", packet);
            break;
        }
        case PdfKind::SharedInfo:
            setInformation(pdf, "<< /Author (Secret Sharer) /Title (Secret Title) >>");
            root.replaceKey("/Info", pdf.getTrailer().getKey("/Info"));
            break;
        case PdfKind::CatalogInfo:
            root.replaceKey("/Title", Object::newString("Secret Catalog Title"));
            pdf.getTrailer().replaceKey("/Info", root);
            break;
        case PdfKind::LocalLinks:
            for (const char *action : LocalLinkActions) {
                addLink(pdf, page, action);
            }
            break;
        case PdfKind::AttachedFiles: {
            const QMap<QString, QByteArray> files = filesToAttach();
            for (const char *name : {"video.mp4", "drawing.svg", "letter.docx"}) {
                attach(
                    pdf, name,
                    attachment(pdf, name, files[QString::fromLatin1(name)].toStdString(), "<< >>"));
            }
            break;
        }
        case PdfKind::FlatedJpeg: {
            QTemporaryDir folder;
            const QByteArray photo =
                readFile(makeJpegWithMetadata(folder.filePath(QStringLiteral("photo.jpg"))));
            draw(pdf, page, "/Photo", picture(pdf, deflated(photo), "[/FlateDecode /DCTDecode]"),
                 "q 160 0 0 120 72 400 cm /Photo Do Q");
            break;
        }
        case PdfKind::Jpeg2000:
        case PdfKind::DamagedJpeg2000: {
            QByteArray file = filesToAttach()[QStringLiteral("picture.jp2")];
            if (kind == PdfKind::DamagedJpeg2000) {
                file.truncate(file.indexOf("uuid") + 10);
            }
            draw(pdf, page, "/Scan", picture(pdf, file, "/JPXDecode"),
                 "q 160 0 0 120 72 400 cm /Scan Do Q");
            break;
        }
        case PdfKind::PageThumbnail: {
            Object thumbnail = Object::newStream(&pdf, "Secret draft");
            setKeys(thumbnail.getDict(),
                    "<< /Width 12 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8 >>");
            page.replaceKey("/Thumb", thumbnail);
            break;
        }
    }
}

QByteArray bytesOf(const std::shared_ptr<Buffer> &buffer) {
    return QByteArray(reinterpret_cast<const char *>(buffer->getBuffer()),
                      static_cast<qsizetype>(buffer->getSize()));
}

QByteArray writtenBytes(QPDFWriter &writer) {
    writer.write();
    return bytesOf(writer.getBufferSharedPointer());
}

QByteArray written(QPDF &pdf, PdfKind kind) {
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    if (kind == PdfKind::ObjectStreams) {
        writer.setObjectStreamMode(qpdf_o_generate);
    } else {
        writer.setCompressStreams(false);
        writer.setObjectStreamMode(qpdf_o_disable);
    }
    if (kind == PdfKind::OwnerPassword) {
        writer.setR4EncryptionParametersInsecure("", "owner", true, true, false, false, true, false,
                                                 qpdf_r3p_low, true, true);
    }
    return writtenBytes(writer);
}

// Appends an update that gives the page its final text, as an editor saving in place does; the
// draft stays in the file for anyone who reads past the last update.
QByteArray withIncrementalUpdate(QByteArray bytes) {
    QPDF original;
    original.processMemoryFile("original", bytes.constData(), bytes.size());
    Object trailer = original.getTrailer();
    Object page = original.getAllPages()[0];
    const int contents = page.getKey("/Contents").getObjectID();
    const QByteArray previousXref =
        bytes.mid(bytes.lastIndexOf("startxref") + 9).trimmed().split('\n').first();
    const QByteArray text = "BT /F1 12 Tf 72 720 Td (Hello from the quarterly report) Tj ET";
    const qsizetype objectAt = bytes.size();
    bytes += QByteArray::number(contents) + " 0 obj\n<< /Length " +
             QByteArray::number(text.size()) + " >>\nstream\n" + text + "\nendstream\nendobj\n";
    const qsizetype xrefAt = bytes.size();
    bytes += "xref\n0 1\n0000000000 65535 f \n" + QByteArray::number(contents) + " 1\n" +
             QByteArray::number(objectAt).rightJustified(10, '0') + " 00000 n \ntrailer\n<< " +
             "/Size " + QByteArray::number(trailer.getKey("/Size").getIntValue()) + " /Root " +
             QByteArray::fromStdString(trailer.getKey("/Root").unparse()) + " /Info " +
             QByteArray::fromStdString(trailer.getKey("/Info").unparse()) + " /ID " +
             QByteArray::fromStdString(trailer.getKey("/ID").unparse()) + " /Prev " + previousXref +
             " >>\nstartxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";
    return bytes;
}

QString sha1(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

// What a reader shows of an attached file: its description, and the content of a PDF, the pixels
// of a picture or the bytes of anything else.
QString attachedContent(QPDFFileSpecObjectHelper file) {
    const QByteArray bytes = bytesOf(file.getEmbeddedFileStream().getStreamData());
    QString what = QString::fromStdString(file.getDescription()) + QLatin1Char(' ');
    if (bytes.startsWith("%PDF-")) {
        QTemporaryDir folder;
        return what + pdfContent(writeFile(folder.filePath(QStringLiteral("attached.pdf")), bytes))
                          .join(QLatin1Char('|'));
    }
    const QImage picture = QImage::fromData(bytes);
    return what + (picture.isNull()
                       ? sha1(bytes)
                       : sha1(QByteArray(reinterpret_cast<const char *>(picture.bits()),
                                         picture.sizeInBytes())));
}

}  // namespace

const std::vector<const char *> LocalLinkActions = {
    "<< /S /Launch /F (C:\\\\Users\\\\Secret\\\\Documents\\\\plan.xlsx) /Win << /F "
    "(C:\\\\Users\\\\Secret\\\\tools\\\\run.exe) /D (C:\\\\Users\\\\Secret) >> >>",
    "<< /S /GoToR /D [0 /Fit] /F << /Type /Filespec /F (/home/Secret/report.pdf) "
    "/UF (/home/Secret/report.pdf) /Unix (/home/Secret/report.pdf) >> >>",
    "<< /S /URI /URI (file:///C:/Users/Secret/Documents/x.docx) >>",
    "<< /S /Launch /Win << /F (run.exe) /P (/q C:\\\\Users\\\\Secret\\\\list.txt) >> >>",
    "<< /S /GoToE /F (/home/Secret/outer.pdf) /T << /R /C /N (inner.pdf) >> >>",
    "<< /S /ImportData /F << /Type /Filespec /UF (C:\\\\Users\\\\Secret\\\\form.fdf) >> >>",
    "<< /S /SubmitForm /F << /FS /URL /F (FILE:///home/Secret/answers.fdf) >> >>",
};

QString makePdfWithLink(const char *action, const QString &path) {
    QPDF pdf;
    addLink(pdf, addKeptContent(pdf), action);
    return writeFile(path, written(pdf, PdfKind::LocalLinks));
}

QString makePdf(PdfKind kind, const QString &path) {
    QPDF pdf;
    plant(kind, pdf, addKeptContent(pdf));
    QByteArray bytes = written(pdf, kind);
    if (kind == PdfKind::IncrementalUpdate) {
        bytes = withIncrementalUpdate(bytes);
    }
    return writeFile(path, bytes);
}

// A qpdf expansion leaves a stream as it is unless it can undo all of its filters; a picture's
// own cannot be undone without losing its file, so only the filters over it are kept.
void keepOnlyDeflation(QPDF &pdf) {
    for (Object object : pdf.getAllObjects()) {
        Object filters = object.isStream() ? object.getDict().getKey("/Filter") : Object();
        if (filters.isArray() && filters.getArrayNItems() == 2 &&
            filters.getArrayItem(0).isNameAndEquals("/FlateDecode")) {
            object.getDict().replaceKey("/Filter", filters.getArrayItem(0));
            object.getDict().removeKey("/DecodeParms");
        }
    }
}

QByteArray utf16(const QByteArray &mark, QSysInfo::Endian order) {
    QByteArray wide;
    for (const char c : mark) {
        wide += order == QSysInfo::BigEndian ? QByteArray(1, '\0') + c : QByteArray(1, c) + '\0';
    }
    return wide;
}

QStringList pdfLeftovers(const QString &path) {
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    keepOnlyDeflation(pdf);
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setQDFMode(true);
    writer.setPreserveEncryption(false);
    writer.setObjectStreamMode(qpdf_o_disable);
    const QByteArray bytes = writtenBytes(writer);
    QStringList found;
    for (const QByteArray &mark : PlantedMarks) {
        if (bytes.isEmpty() || bytes.contains(mark) ||
            bytes.contains(utf16(mark, QSysInfo::BigEndian)) ||
            bytes.contains(utf16(mark, QSysInfo::LittleEndian))) {
            found << QString::fromLatin1(mark);
        }
    }
    return found;
}

QStringList pdfContent(const QString &path) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    pdftotext.waitForFinished(-1);
    QStringList content{QString::fromUtf8(pdftotext.readAllStandardOutput()).trimmed()};
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        for (auto [name, image] : page.getImages()) {
            content << QString::fromStdString(name) + QLatin1Char(' ') +
                           sha1(bytesOf(image.getStreamData(qpdf_dl_all)));
        }
        for (QPDFAnnotationObjectHelper &annotation : page.getAnnotations()) {
            Object text = annotation.getObjectHandle().getKey("/Contents");
            content << QString::fromStdString(annotation.getSubtype() + " " +
                                              (text.isString() ? text.getUTF8Value() : ""));
            Object file = annotation.getObjectHandle().getKey("/FS");
            if (file.isDictionary()) {
                content << attachedContent(QPDFFileSpecObjectHelper(file));
            }
        }
    }
    for (QPDFOutlineObjectHelper &outline : QPDFOutlineDocumentHelper(pdf).getTopLevelOutlines()) {
        content << QString::fromStdString(outline.getTitle());
    }
    for (auto &[name, file] : QPDFEmbeddedFileDocumentHelper(pdf).getEmbeddedFiles()) {
        content << QString::fromStdString(name).section(
                       QRegularExpression(QStringLiteral("[/\\\\]")), -1) +
                       QLatin1Char(' ') + attachedContent(*file);
    }
    for (QPDFFormFieldObjectHelper &field : QPDFAcroFormDocumentHelper(pdf).getFormFields()) {
        content << QString::fromStdString(field.getFullyQualifiedName() + "=" +
                                          field.getValueAsString());
    }
    return content;
}

bool passesQpdfCheck(const QString &path) {
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), path});
    qpdf.waitForFinished(-1);
    return qpdf.exitStatus() == QProcess::NormalExit && qpdf.exitCode() == 0;
}

QByteArray withInformationUnlinked(const QString &path) {
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    pdf.getTrailer().removeKey("/Info");
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    return writtenBytes(writer);
}

std::string pdfCheck(const QByteArray &bytes) {
    try {
        return Pdf::remainingMetadata(bytes.toStdString()).reason();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
}

int pdfPageCount(const QString &path) {
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    return static_cast<int>(pdf.getAllPages().size());
}

QMap<QString, QByteArray> pdfAttachments(const QString &path) {
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    QMap<QString, QByteArray> files;
    for (auto &[name, file] : QPDFEmbeddedFileDocumentHelper(pdf).getEmbeddedFiles()) {
        files[QString::fromStdString(name)] =
            bytesOf(file->getEmbeddedFileStream().getStreamData());
    }
    return files;
}

QList<QByteArray> pdfPictureData(const QString &path) {
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    QList<QByteArray> pictures;
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        for (auto [name, image] : page.getImages()) {
            pictures << bytesOf(image.getRawStreamData());
        }
    }
    return pictures;
}

QList<QByteArray> pdfIdentifier(const QString &path) {
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    QList<QByteArray> halves;
    for (Object half : pdf.getTrailer().getKey("/ID").aitems()) {
        halves << QByteArray::fromStdString(half.getStringValue());
    }
    return halves;
}

QStringList pdfLinkTargets(const QString &path) {
    QPDF pdf;
    pdf.processFile(path.toLocal8Bit().constData());
    QStringList targets;
    const auto add = [&](Object value) {
        if (value.isString()) {
            targets << QString::fromStdString(value.getUTF8Value());
        }
    };
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        for (QPDFAnnotationObjectHelper &annotation : page.getAnnotations()) {
            Object action = annotation.getObjectHandle().getKey("/A");
            if (!action.isDictionary()) {
                continue;
            }
            for (Object holder : {action, action.getKey("/F"), action.getKey("/Win")}) {
                for (const char *key : {"/URI", "/F", "/UF", "/Unix"}) {
                    add(holder.isDictionary() ? holder.getKey(key) : Object::newNull());
                }
            }
        }
    }
    return targets;
}
