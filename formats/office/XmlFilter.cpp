#include "formats/office/XmlFilter.h"

#include "formats/core/Limits.h"
#include "formats/core/XmlBytes.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <optional>
#include <vector>

namespace XmlFilter {

namespace {

struct Open {
    QString namespaceUri;
    QString name;
    bool blank = false;
};

bool declares(const QXmlStreamNamespaceDeclarations &declarations, QStringView prefix) {
    return std::any_of(declarations.begin(), declarations.end(),
                       [prefix](const QXmlStreamNamespaceDeclaration &declaration) {
                           return declaration.prefix() == prefix;
                       });
}

class Copier {
  public:
    Copier(const Formats::Bytes &xml, const Rules &rules, const std::string &part)
        : reader_(xml), output_(xml.size()), writer_(&output_), rules_(rules), part_(part) {
        reader_.addExtraNamespaceDeclarations(rules.implied);
    }

    // False when the input is not well-formed.
    bool run() {
        while (reader_.next()) {
            copyToken();
        }
        return !reader_.hasError();
    }

    Formats::Bytes result() { return output_.take(); }

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
                if (inBlank()) {
                    break;
                }
                if (reader_.isCDATA()) {
                    writer_.writeCDATA(text());
                } else {
                    writer_.writeCharacters(text());
                }
                break;
            case QXmlStreamReader::EntityReference:
                // Without its DTD the reference would name nothing: keep what it stood for.
                if (!inBlank()) {
                    writer_.writeCharacters(reader_.text().toString());
                }
                break;
            case QXmlStreamReader::EndDocument:
                writer_.writeEndDocument();
                break;
            default:  // comments, DTDs (their entities hide text), processing instructions
                break;
        }
    }

    bool inBlank() const { return !open_.empty() && open_.back().blank; }

    QString text() const {
        const QString text = reader_.text().toString();
        return rules_.text && !open_.empty() ? rules_.text(open_.back().name, text) : text;
    }

    void startElement() {
        const Open parent = open_.empty() ? Open() : open_.back();
        const ElementAction action = rules_.element(reader_, parent.namespaceUri, parent.name);
        if (action.kind == ElementAction::Drop) {
            reader_.skipCurrentElement();
            return;
        }
        if (open_.size() >= Formats::Limits::XmlNesting) {
            throw Formats::Refused("XML nested too deeply in " + part_);
        }
        writer_.writeStartElement(reader_.qualifiedName().toString());
        QXmlStreamNamespaceDeclarations declarations = reader_.namespaceDeclarations();
        if (open_.empty()) {
            for (const QXmlStreamNamespaceDeclaration &implied : rules_.implied) {
                if (!declares(declarations, implied.prefix())) {
                    declarations << implied;
                }
            }
        }
        for (const QXmlStreamNamespaceDeclaration &declaration : declarations) {
            const QString prefix = declaration.prefix().toString();
            writer_.writeAttribute(
                prefix.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + prefix,
                declaration.namespaceUri().toString());
        }
        const QXmlStreamAttributes attributes =
            action.keepAttributes ? reader_.attributes() : QXmlStreamAttributes();
        for (const QXmlStreamAttribute &attribute : attributes) {
            const std::optional<QString> value = rules_.attribute(reader_, attribute);
            if (value) {
                writer_.writeAttribute(attribute.qualifiedName().toString(), *value);
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
        open_.push_back({reader_.namespaceUri().toString(), reader_.name().toString(),
                         parent.blank || action.kind == ElementAction::Blank});
    }

    Formats::XmlBytesReader reader_;
    Formats::XmlBytesOutput output_;
    QXmlStreamWriter writer_;
    const Rules &rules_;
    const std::string &part_;
    std::vector<Open> open_;
};

}  // namespace

Formats::Bytes copy(const Formats::Bytes &xml, const Rules &rules, const std::string &part) {
    if (xml.find_first_not_of(" \t\r\n") == std::string::npos) {
        return xml;  // office suites leave some parts empty
    }
    Copier copier(xml, rules, part);
    if (!copier.run()) {
        throw Formats::Refused("damaged XML in " + part);
    }
    return copier.result();
}

}  // namespace XmlFilter
