#include "formats/documents/Svg.h"

#include "formats/core/Findings.h"
#include "formats/pictures/Pictures.h"

#include <QByteArray>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace Svg {

namespace {

using Formats::Refused;

const QString SvgNamespace = QStringLiteral("http://www.w3.org/2000/svg");
const QString Sodipodi = QStringLiteral("http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd");
const QString Inkscape = QStringLiteral("http://www.inkscape.org/namespaces/inkscape");
const QString Rdf = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");

// Illustrator's own namespaces, and XMP's.
bool isAdobe(QStringView uri) {
    return uri.startsWith(u"http://ns.adobe.com/") || uri.startsWith(u"adobe:ns:meta");
}

bool isPrivateElement(const QXmlStreamReader &reader) {
    const QStringView uri = reader.namespaceUri();
    const QStringView name = reader.name();
    return (name == u"metadata" && (uri == SvgNamespace || uri.isEmpty())) ||
           (uri == Rdf && name == u"RDF") || (uri == Sodipodi && name == u"namedview") ||
           isAdobe(uri) ||
           // Illustrator's fallback to its own data; other readers never draw it.
           (name == u"foreignObject" &&
            isAdobe(reader.attributes().value(QLatin1String("requiredExtensions"))));
}

bool isPrivateAttribute(const QXmlStreamAttribute &attribute) {
    const QStringView uri = attribute.namespaceUri();
    const QStringView name = attribute.name();
    return isAdobe(uri) ||
           (uri == Sodipodi && (name == u"docname" || name == u"docbase" || name == u"absref")) ||
           (uri == Inkscape &&
            (name == u"version" || name.startsWith(u"export-") || name == u"output_extension"));
}

// A picture embedded as base64 data, through its pass; any other value as it is.
QString cleanLink(const QString &value) {
    const QString marker = QStringLiteral(";base64,");
    const qsizetype data = value.indexOf(marker);
    if (!value.trimmed().startsWith(QLatin1String("data:"), Qt::CaseInsensitive) || data < 0) {
        return value;
    }
    QByteArray encoded = value.mid(data + marker.size()).toLatin1();
    encoded.replace(' ', "").replace('\n', "").replace('\r', "").replace('\t', "");
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        throw Refused("damaged SVG: an embedded picture is not base64");
    }
    try {
        const Formats::Bytes picture = Pictures::clean(decoded.decoded.toStdString());
        return value.left(data + marker.size()) +
               QString::fromLatin1(QByteArray::fromStdString(picture).toBase64());
    } catch (const Refused &refused) {
        throw Refused(refused.what() + std::string(" in an embedded picture"));
    }
}

class Copier {
  public:
    explicit Copier(const Formats::Bytes &drawing)
        : reader_(QByteArray::fromRawData(drawing.data(), static_cast<qsizetype>(drawing.size()))),
          writer_(&output_) {}

    Formats::Bytes run() {
        while (!reader_.atEnd()) {
            reader_.readNext();
            copyToken();
        }
        if (reader_.hasError()) {
            throw Refused("damaged SVG: " + reader_.errorString().toStdString());
        }
        return Formats::Bytes(output_.constData(), static_cast<std::size_t>(output_.size()));
    }

  private:
    void copyToken() {
        switch (reader_.tokenType()) {
            case QXmlStreamReader::StartElement:
                startElement();
                break;
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::Invalid:  // the error run() reports
                break;
            case QXmlStreamReader::ProcessingInstruction:
                // A style sheet decides how the drawing looks.
                if (reader_.processingInstructionTarget() == u"xml-stylesheet") {
                    writer_.writeCurrentToken(reader_);
                }
                break;
            case QXmlStreamReader::EntityReference:
                // Its declaration would be in the document type declaration, which goes.
                throw Refused("SVG uses an entity it does not declare: " +
                              reader_.name().toString().toStdString());
            default:
                writer_.writeCurrentToken(reader_);
                break;
        }
    }

    void startElement() {
        if (isPrivateElement(reader_)) {
            reader_.skipCurrentElement();
            return;
        }
        writer_.writeStartElement(reader_.qualifiedName().toString());
        for (const QXmlStreamNamespaceDeclaration &declaration : reader_.namespaceDeclarations()) {
            if (!isAdobe(declaration.namespaceUri())) {
                const QString prefix = declaration.prefix().toString();
                writer_.writeAttribute(
                    prefix.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + prefix,
                    declaration.namespaceUri().toString());
            }
        }
        for (const QXmlStreamAttribute &attribute : reader_.attributes()) {
            if (!isPrivateAttribute(attribute)) {
                const QString value = attribute.value().toString();
                writer_.writeAttribute(attribute.qualifiedName().toString(),
                                       attribute.name() == u"href" ? cleanLink(value) : value);
            }
        }
    }

    QXmlStreamReader reader_;
    QByteArray output_;
    QXmlStreamWriter writer_;
};

}  // namespace

Formats::Bytes clean(const Formats::Bytes &drawing) {
    return Copier(drawing).run();
}

// The check below reads the drawing on its own.
namespace {

// Adds what an embedded picture still holds; a value that is no base64 picture is a link.
void embeddedPictureFindings(QStringView link, Formats::Findings &findings) {
    const qsizetype comma = link.indexOf(u',');
    if (!link.trimmed().startsWith(u"data:", Qt::CaseInsensitive) || comma < 0 ||
        !link.left(comma).endsWith(u";base64", Qt::CaseInsensitive)) {
        return;
    }
    QByteArray base64 = link.mid(comma + 1).toLatin1().simplified();
    base64.replace(' ', "");
    const auto picture =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    findings.addFrom(
        picture ? Pictures::remainingMetadata(picture.decoded.toStdString()) : "damaged base64",
        "an embedded picture");
}

void elementFindings(const QXmlStreamReader &reader, Formats::Findings &findings) {
    const QStringView uri = reader.namespaceUri();
    const QStringView name = reader.name();
    if (name == u"metadata" || name == u"RDF" || name == u"xmpmeta") {
        findings.add("metadata (RDF, Dublin Core, XMP)");
    }
    if (name == u"namedview") {
        findings.add("editor settings");
    }
    if (uri.contains(u"adobe", Qt::CaseInsensitive) || name == u"pgf") {
        findings.add("Illustrator's private data");
    }
    for (const QXmlStreamNamespaceDeclaration &declaration : reader.namespaceDeclarations()) {
        if (declaration.namespaceUri().contains(u"adobe", Qt::CaseInsensitive)) {
            findings.add("Illustrator's private data");
        }
    }
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        const QStringView attributeName = attribute.name();
        if (attributeName == u"docname" || attributeName == u"docbase" ||
            attributeName == u"absref") {
            findings.add("file names");
        } else if (attributeName.startsWith(u"export-")) {
            findings.add("export file names and resolutions");
        } else if (attributeName == u"version" && attribute.namespaceUri().contains(u"inkscape")) {
            findings.add("software version");
        } else if (attribute.namespaceUri().contains(u"adobe", Qt::CaseInsensitive)) {
            findings.add("Illustrator's private data");
        } else if (attributeName == u"href") {
            embeddedPictureFindings(attribute.value(), findings);
        }
    }
}

}  // namespace

std::string remainingMetadata(const Formats::Bytes &drawing) {
    QXmlStreamReader reader(
        QByteArray::fromRawData(drawing.data(), static_cast<qsizetype>(drawing.size())));
    Formats::Findings findings;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::DTD:
                findings.add("a document type declaration");
                break;
            case QXmlStreamReader::Comment:
                findings.add("comments");
                break;
            case QXmlStreamReader::ProcessingInstruction:
                if (reader.processingInstructionTarget() != u"xml-stylesheet") {
                    findings.add("processing instructions");
                }
                break;
            case QXmlStreamReader::StartElement:
                elementFindings(reader, findings);
                break;
            default:
                break;
        }
    }
    return reader.hasError() ? "damaged SVG" : findings.reason();
}

}  // namespace Svg
