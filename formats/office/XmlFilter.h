#pragma once

#include "formats/core/Formats.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

#include <QXmlStreamNamespaceDeclaration>

class QXmlStreamReader;
class QXmlStreamAttribute;

// Copies an XML part token by token, letting rules drop or empty elements and rewrite or drop
// attributes. Prefixes, namespace declarations, text and order stay as they were; comments, DTDs
// and processing instructions are dropped. A part holding nothing but white space stays as it is.
namespace XmlFilter {

struct ElementAction {
    // Blank keeps the element and everything in it but writes no text in any of it.
    enum Kind { Keep, Drop, Replace, Blank };
    Kind kind = Keep;
    QString text;                // for Replace: the element holds only this text
    bool keepAttributes = true;  // for Replace; namespace declarations always stay
};

struct Rules {
    // Asked at each element's start, with its parent's namespace URI and local name (empty for
    // the root).
    std::function<ElementAction(const QXmlStreamReader &element, QStringView parentNamespace,
                                QStringView parentName)>
        element;
    // The value to write, or none to drop the attribute.
    std::function<std::optional<QString>(const QXmlStreamReader &element,
                                         const QXmlStreamAttribute &attribute)>
        attribute;
    // The text to write in place of an element's text, given the element's local name; none
    // keeps all text as it is.
    std::function<QString(QStringView element, const QString &text)> text;
    // Prefixes the part may use without declaring them, as old manifests do whose DTD declared
    // them; they are declared on the copy's root.
    QXmlStreamNamespaceDeclarations implied;
};

// Refused with "damaged XML in <part>" when the part is not well-formed, and with "XML nested too
// deeply in <part>" past Formats::Limits::XmlNesting.
Formats::Bytes copy(const Formats::Bytes &xml, const Rules &rules, const std::string &part);

}  // namespace XmlFilter
