#include "formats/XmlFilter.h"

#include <QByteArray>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <vector>

namespace XmlFilter {

namespace {

struct Open {
    QString namespaceUri;
    QString name;
};

class Copier {
  public:
    Copier(const Formats::Bytes &xml, const Rules &rules)
        : reader_(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size()))),
          writer_(&output_),
          rules_(rules) {}

    // False when the input is not well-formed.
    bool run() {
        while (!reader_.atEnd()) {
            reader_.readNext();
            copyToken();
        }
        return !reader_.hasError();
    }

    Formats::Bytes result() const { return Formats::Bytes(output_.constData(), output_.size()); }

  private:
    void copyToken() {
        switch (reader_.tokenType()) {
            case QXmlStreamReader::StartDocument:
                // A part without a declaration gets one: it says what the reader assumed.
                writer_.writeStartDocument(reader_.documentVersion().isEmpty()
                                               ? QStringLiteral("1.0")
                                               : reader_.documentVersion().toString(),
                                           reader_.isStandaloneDocument());
                break;
            case QXmlStreamReader::StartElement:
                startElement();
                break;
            case QXmlStreamReader::EndElement:
                writer_.writeEndElement();
                open_.pop_back();
                break;
            case QXmlStreamReader::Characters:
                if (reader_.isCDATA()) {
                    writer_.writeCDATA(reader_.text().toString());
                } else {
                    writer_.writeCharacters(reader_.text().toString());
                }
                break;
            case QXmlStreamReader::EntityReference:
                writer_.writeEntityReference(reader_.name().toString());
                break;
            case QXmlStreamReader::ProcessingInstruction:
                writer_.writeProcessingInstruction(reader_.processingInstructionTarget().toString(),
                                                   reader_.processingInstructionData().toString());
                break;
            case QXmlStreamReader::DTD:
                writer_.writeDTD(reader_.text().toString());
                break;
            case QXmlStreamReader::EndDocument:
                writer_.writeEndDocument();
                break;
            default:  // comments and errors
                break;
        }
    }

    void startElement() {
        const Open parent = open_.empty() ? Open() : open_.back();
        const ElementAction action = rules_.element(reader_, parent.namespaceUri, parent.name);
        if (action.kind == ElementAction::Drop) {
            reader_.skipCurrentElement();
            return;
        }
        writer_.writeStartElement(reader_.qualifiedName().toString());
        for (const QXmlStreamNamespaceDeclaration &declaration : reader_.namespaceDeclarations()) {
            const QString prefix = declaration.prefix().toString();
            writer_.writeAttribute(
                prefix.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + prefix,
                declaration.namespaceUri().toString());
        }
        for (const QXmlStreamAttribute &attribute : reader_.attributes()) {
            const AttributeAction kept = rules_.attribute(reader_, attribute);
            if (kept != AttributeAction::Drop) {
                writer_.writeAttribute(
                    attribute.qualifiedName().toString(),
                    kept == AttributeAction::Blank ? QString() : attribute.value().toString());
            }
        }
        if (action.kind == ElementAction::Replace) {
            reader_.skipCurrentElement();
            if (!action.text.isEmpty()) {
                writer_.writeCharacters(action.text);
            }
            writer_.writeEndElement();
            return;
        }
        open_.push_back({reader_.namespaceUri().toString(), reader_.name().toString()});
    }

    QXmlStreamReader reader_;
    QByteArray output_;
    QXmlStreamWriter writer_;
    const Rules &rules_;
    std::vector<Open> open_;
};

}  // namespace

Formats::Bytes copy(const Formats::Bytes &xml, const Rules &rules, const std::string &part) {
    Copier copier(xml, rules);
    if (!copier.run()) {
        throw Formats::Refused("damaged XML in " + part);
    }
    return copier.result();
}

}  // namespace XmlFilter
