#include "formats/documents/Svg.h"

#include "formats/Kinds.h"
#include "formats/core/Base64.h"
#include "formats/core/DataUris.h"
#include "formats/core/Limits.h"
#include "formats/core/XmlBytes.h"
#include "formats/office/PackageCheck.h"
#include "formats/office/PackageClean.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <optional>

namespace Svg {

namespace {

using Formats::Refused;

// Dublin Core's elements and terms.
const QString DublinCore = QStringLiteral("http://purl.org/dc/");

// Illustrator's own namespaces, and XMP's, in whatever spelling an editor gave them.
bool isAdobe(QStringView uri) {
    return uri.contains(u"adobe", Qt::CaseInsensitive);
}

// "data:", wherever it stands, and its header up to the first comma, whatever it holds: the check
// reads it so, and a header with a bracket or a quote still tells readers its data is base64.
const QRegularExpression DataUriStart(
    QStringLiteral(R"(data:([^,]{0,%1}),)").arg(Formats::Limits::DataUriHeaderLength),
    QRegularExpression::CaseInsensitiveOption);

// Where the text's first character that is no white space stands.
qsizetype firstVisible(QStringView text) {
    qsizetype at = 0;
    while (at < text.size() && text[at].isSpace()) {
        ++at;
    }
    return at;
}

bool isBase64Character(QChar c) {
    const char16_t code = c.unicode();
    return (code >= u'a' && code <= u'z') || (code >= u'A' && code <= u'Z') ||
           (code >= u'0' && code <= u'9') || code == u'+' || code == u'/' || code == u'=' ||
           c.isSpace();
}

// Where an embedded file's data ends: after its last base64 character, or for escaped text at
// the quote or parenthesis that closes a style sheet's url(), or at the end of a value that is
// nothing but the URI.
qsizetype dataEnd(const QString &text, qsizetype start, bool base64, bool wholeValue) {
    qsizetype end = start;
    if (base64) {
        while (end < text.size() && isBase64Character(text[end])) {
            ++end;
        }
        while (end > start && text[end - 1].isSpace()) {
            --end;
        }
        return end;
    }
    if (wholeValue) {
        return text.size();
    }
    while (end < text.size() && text[end] != u'"' && text[end] != u'\'' && text[end] != u')') {
        ++end;
    }
    return end;
}

// The embedded file cleaned, or nothing when its pass leaves it as it is.
std::optional<Formats::Bytes> cleanedFile(const Formats::Bytes &original, int depth) {
    Formats::Bytes cleaned = Kinds::cleanEmbedded(original, depth + 1, "an embedded file");
    return cleaned == original ? std::nullopt : std::optional(std::move(cleaned));
}

QString cleanedData(const QString &data, bool base64, int depth,
                    Formats::DataUriPayloads *payloads) {
    if (const auto *payload = payloads != nullptr ? payloads->standingIn(data) : nullptr) {
        if (std::optional<Formats::Bytes> cleaned = cleanedFile(payload->data, depth)) {
            payloads->replace(*payload, Formats::toBase64(*cleaned));
        }
        return data;
    }
    const std::optional<Formats::Bytes> decoded =
        base64 ? Formats::fromBase64(data)
               : QByteArray::fromPercentEncoding(data.toUtf8()).toStdString();
    if (!decoded) {
        throw Refused("damaged SVG: an embedded file is not base64");
    }
    const std::optional<Formats::Bytes> cleaned = cleanedFile(*decoded, depth);
    if (!cleaned) {
        return data;
    }
    return base64 ? QString::fromStdString(Formats::toBase64(*cleaned))
                  : QString::fromLatin1(QByteArray::fromStdString(*cleaned).toPercentEncoding());
}

}  // namespace

// Editors' elements and attributes go by their names in any namespace: a drawing may declare
// the editor's under a misspelt URI, and readers still know them.
bool isPrivateElement(const QXmlStreamReader &reader) {
    const QStringView uri = reader.namespaceUri();
    const QStringView name = reader.name();
    return name == u"metadata" || name == u"RDF" || name == u"xmpmeta" || name == u"namedview" ||
           name == u"pgf" || isAdobe(uri) || uri.startsWith(DublinCore) ||
           // Illustrator's fallback to its own data; other readers never draw it.
           (name == u"foreignObject" &&
            isAdobe(reader.attributes().value(QLatin1String("requiredExtensions"))));
}

bool isPrivateAttribute(const QXmlStreamAttribute &attribute) {
    const QStringView uri = attribute.namespaceUri();
    const QStringView name = attribute.name();
    return isAdobe(uri) || name == u"docname" || name == u"docbase" || name == u"absref" ||
           name.startsWith(u"export-") ||
           (uri.contains(u"inkscape") && (name == u"version" || name == u"output_extension"));
}

QString cleanedAttributeValue(const QXmlStreamAttribute &attribute, int depth,
                              Formats::DataUriPayloads *payloads) {
    const QString value = attribute.value().toString();
    const std::optional<QString> fileName =
        attribute.name() == u"href" ? PackageClean::fileNameOfLocalPath(value) : std::nullopt;
    return fileName ? *fileName : withEmbeddedFilesCleaned(value, depth, payloads);
}

QString withEmbeddedFilesCleaned(const QString &text, int depth,
                                 Formats::DataUriPayloads *payloads) {
    QString result;
    qsizetype copied = 0;
    const qsizetype valueStart = firstVisible(text);
    QRegularExpressionMatch match = DataUriStart.match(text);
    while (match.hasMatch()) {
        const bool base64 = match.capturedView(1).endsWith(u";base64", Qt::CaseInsensitive);
        const bool wholeValue = match.capturedStart() == valueStart;
        const qsizetype start = match.capturedEnd();
        const qsizetype end = dataEnd(text, start, base64, wholeValue);
        result += text.mid(copied, start - copied) +
                  cleanedData(text.mid(start, end - start), base64, depth, payloads);
        copied = end;
        match = DataUriStart.match(text, end);
    }
    return result + text.mid(copied);
}

namespace {

// A style sheet instruction's data ('type="text/css" href="/home/ann/a.css"') with a path on the
// author's computer cut to its file name.
QString withStyleSheetByFileName(const QString &data) {
    static const QRegularExpression href(QStringLiteral(R"re(\bhref\s*=\s*(["'])(.*?)\1)re"));
    const QRegularExpressionMatch match = href.match(data);
    const std::optional<QString> fileName =
        match.hasMatch() ? PackageClean::fileNameOfLocalPath(match.captured(2)) : std::nullopt;
    if (!fileName) {
        return data;
    }
    QString result = data;
    return result.replace(match.capturedStart(2), match.capturedLength(2), *fileName);
}

class Copier {
  public:
    Copier(const Formats::Bytes &drawing, int depth)
        : payloads_(drawing),
          reader_(payloads_.swapped()),
          output_(payloads_.swapped().size()),
          writer_(&output_),
          depth_(depth) {}

    Formats::Bytes run() {
        while (reader_.next()) {
            copyToken();
        }
        if (reader_.hasError()) {
            throw Refused("damaged SVG: " + reader_.errorString().toStdString());
        }
        return payloads_.restored(output_.take());
    }

  private:
    void copyToken() {
        switch (reader_.tokenType()) {
            case QXmlStreamReader::StartElement:
                startElement();
                break;
            case QXmlStreamReader::EndElement:
                --open_;
                writer_.writeCurrentToken(reader_);
                break;
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::Invalid:  // the error run() reports
                break;
            case QXmlStreamReader::ProcessingInstruction:
                // A style sheet decides how the drawing looks; where it lies on the author's
                // computer does not.
                if (reader_.processingInstructionTarget() == u"xml-stylesheet") {
                    writer_.writeProcessingInstruction(
                        QStringLiteral("xml-stylesheet"),
                        withStyleSheetByFileName(reader_.processingInstructionData().toString()));
                }
                break;
            case QXmlStreamReader::Characters:
                // Style sheets embed files in url(data:...).
                if (reader_.isCDATA()) {
                    writer_.writeCDATA(cleanedText());
                } else {
                    writer_.writeCharacters(cleanedText());
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

    QString cleanedText() {
        return withEmbeddedFilesCleaned(reader_.text().toString(), depth_, &payloads_);
    }

    void startElement() {
        if (isPrivateElement(reader_)) {
            reader_.skipCurrentElement();
            return;
        }
        if (++open_ > Formats::Limits::XmlNesting) {
            throw Refused("SVG nested too deeply");
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
                writer_.writeAttribute(attribute.qualifiedName().toString(),
                                       cleanedAttributeValue(attribute, depth_, &payloads_));
            }
        }
    }

    // Declared first: the reader reads its swapped drawing.
    Formats::DataUriPayloads payloads_;
    Formats::XmlBytesReader reader_;
    Formats::XmlBytesOutput output_;
    QXmlStreamWriter writer_;
    int depth_;
    std::size_t open_ = 0;  // elements
};

}  // namespace

Formats::Bytes cleanNested(const Formats::Bytes &drawing, int depth) {
    return Copier(drawing, depth).run();
}

Formats::Bytes clean(const Formats::Bytes &drawing) {
    return cleanNested(drawing, 0);
}

// The check below reads the drawing on its own.
namespace {

using Formats::Category;

// An embedded file's data, and where it ends in the text.
struct Embedded {
    Formats::Bytes data;
    qsizetype end;
};

bool isClosing(QChar c) {
    return c == u'"' || c == u'\'' || c == u')';
}

// The data of the URI whose comma is at `comma`: base64 up to the first character that is not,
// escaped text up to what closes a url() or a quoted value, or to the end of a value that is
// nothing but the URI.
Embedded embeddedData(QStringView text, qsizetype comma, bool base64, bool wholeValue,
                      const Formats::DataUriPayloads *payloads) {
    qsizetype end = comma + 1;
    if (!base64) {
        while (end < text.size() && (wholeValue || !isClosing(text[end]))) {
            ++end;
        }
        const QStringView data = text.mid(comma + 1, end - comma - 1);
        return {QByteArray::fromPercentEncoding(data.toUtf8()).toStdString(), end};
    }
    const qsizetype start = end;
    while (end < text.size() && isBase64Character(text[end])) {
        ++end;
    }
    const QStringView data = text.mid(start, end - start);
    if (const auto *payload = payloads != nullptr ? payloads->standingIn(data) : nullptr) {
        return {payload->data, end};
    }
    std::optional<Formats::Bytes> decoded = Formats::fromBase64(data);
    if (!decoded) {
        throw Refused("damaged SVG: an embedded file is not base64");
    }
    return {std::move(*decoded), end};
}

// A Dublin Core element outside any metadata block, by what it tells.
void addDublinCore(QStringView name, Formats::Findings &findings) {
    if (name == u"creator" || name == u"contributor" || name == u"publisher" || name == u"rights") {
        findings.add(Category::People, "author");
    } else if (name == u"date") {
        findings.add(Category::Dates, "dates");
    } else {
        findings.add(Category::Descriptions, "metadata (RDF, Dublin Core, XMP)");
    }
}

// Where a style sheet instruction says its sheet lies, when on the author's computer.
void addStyleSheetFindings(QStringView data, Formats::Findings &findings) {
    static const QRegularExpression href(QStringLiteral(R"re(\bhref\s*=\s*(["'])(.*?)\1)re"));
    const QRegularExpressionMatch match = href.match(data.toString());
    if (match.hasMatch()) {
        PackageCheck::addLocalPath(match.capturedView(2), "a folder on the author's computer",
                                   findings);
    }
}

// Adds a path's finding, and the folder's when it names one on the author's computer.
void addPath(QStringView value, const std::string &name, Formats::Findings &findings) {
    findings.add(name);
    PackageCheck::addLocalPath(value, "a folder on the author's computer", findings);
}

void addAttributeFindings(const QXmlStreamAttribute &attribute, int depth,
                          Formats::Findings &findings, const Formats::DataUriPayloads *payloads) {
    const QStringView name = attribute.name();
    if (name == u"docname" || name == u"docbase" || name == u"absref") {
        addPath(attribute.value(), "file names", findings);
    } else if (name.startsWith(u"export-")) {
        addPath(attribute.value(), "export file names and resolutions", findings);
    } else if (name == u"version" && attribute.namespaceUri().contains(u"inkscape")) {
        findings.add(Category::Software, "software version");
    } else if (attribute.namespaceUri().contains(u"adobe", Qt::CaseInsensitive)) {
        findings.add(Category::Software, "Illustrator's private data");
    } else if (name == u"href") {
        PackageCheck::addLocalPath(attribute.value(), "a folder on the author's computer",
                                   findings);
    }
    addEmbeddedFileFindings(attribute.value(), depth, findings, payloads);
}

}  // namespace

void addEmbeddedFileFindings(QStringView text, int depth, Formats::Findings &findings,
                             const Formats::DataUriPayloads *payloads) {
    qsizetype valueStart = 0;
    while (valueStart < text.size() && text[valueStart].isSpace()) {
        ++valueStart;
    }
    qsizetype at = text.indexOf(u"data:", 0, Qt::CaseInsensitive);
    while (at >= 0) {
        const qsizetype header =
            text.mid(at, Formats::Limits::DataUriHeaderLength + 6).indexOf(u',');
        if (header < 0) {
            at = text.indexOf(u"data:", at + 1, Qt::CaseInsensitive);
            continue;
        }
        const qsizetype comma = at + header;
        const bool base64 = text.mid(at, header).endsWith(u";base64", Qt::CaseInsensitive);
        const Embedded embedded = embeddedData(text, comma, base64, at == valueStart, payloads);
        findings.addFrom(Kinds::checkEmbedded(embedded.data, depth + 1), "an embedded file");
        at = text.indexOf(u"data:", embedded.end, Qt::CaseInsensitive);
    }
}

void addElementFindings(const QXmlStreamReader &reader, int depth, Formats::Findings &findings,
                        const Formats::DataUriPayloads *payloads) {
    const QStringView uri = reader.namespaceUri();
    const QStringView name = reader.name();
    if (name == u"metadata" || name == u"RDF" || name == u"xmpmeta") {
        findings.add(Category::Descriptions, "metadata (RDF, Dublin Core, XMP)");
    }
    if (uri.startsWith(u"http://purl.org/dc/")) {
        addDublinCore(name, findings);
    }
    if (name == u"namedview") {
        findings.add(Category::Software, "editor settings");
    }
    if (uri.contains(u"adobe", Qt::CaseInsensitive) || name == u"pgf") {
        findings.add(Category::Software, "Illustrator's private data");
    }
    for (const QXmlStreamNamespaceDeclaration &declaration : reader.namespaceDeclarations()) {
        if (declaration.namespaceUri().contains(u"adobe", Qt::CaseInsensitive)) {
            findings.add(Category::Software, "Illustrator's private data");
        }
    }
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        addAttributeFindings(attribute, depth, findings, payloads);
    }
}

Formats::Findings findings(const Formats::Bytes &drawing, int depth) {
    const Formats::DataUriPayloads payloads(drawing);
    Formats::XmlBytesReader reader(payloads.swapped());
    Formats::Findings found;
    std::size_t open = 0;  // elements
    while (reader.next()) {
        switch (reader.tokenType()) {
            case QXmlStreamReader::DTD:
                found.add("a document type declaration");
                break;
            case QXmlStreamReader::Comment:
                found.add(Category::Descriptions, "comments");
                break;
            case QXmlStreamReader::ProcessingInstruction:
                if (reader.processingInstructionTarget() != u"xml-stylesheet") {
                    found.add("processing instructions");
                } else {
                    addStyleSheetFindings(reader.processingInstructionData(), found);
                }
                break;
            case QXmlStreamReader::StartElement:
                if (++open > Formats::Limits::XmlNesting) {
                    throw Refused("SVG nested too deeply");
                }
                addElementFindings(reader, depth, found, &payloads);
                break;
            case QXmlStreamReader::EndElement:
                --open;
                break;
            case QXmlStreamReader::Characters:
                addEmbeddedFileFindings(reader.text(), depth, found, &payloads);
                break;
            default:
                break;
        }
    }
    if (reader.hasError()) {
        throw Refused("damaged SVG");
    }
    return found;
}

std::string remainingMetadata(const Formats::Bytes &drawing) {
    try {
        return findings(drawing, 0).reason();
    } catch (const Refused &refused) {
        return refused.what();
    }
}

}  // namespace Svg
