#pragma once

#include "formats/Formats.h"

#include <QString>
#include <QStringView>

#include <functional>

class QXmlStreamReader;
class QXmlStreamAttribute;

// Copies an XML part token by token, letting rules drop or empty elements and attributes. Prefixes,
// namespace declarations, text and order stay as they were; XML comments are dropped.
namespace XmlFilter {

struct ElementAction {
    enum Kind { Keep, Drop, Replace };
    Kind kind = Keep;
    QString text;  // for Replace: the element keeps its attributes and holds only this text
};

enum class AttributeAction { Keep, Drop, Blank };

struct Rules {
    // Asked at each element's start, with its parent's namespace URI and local name (empty for
    // the root).
    std::function<ElementAction(const QXmlStreamReader &element, QStringView parentNamespace,
                                QStringView parentName)>
        element;
    std::function<AttributeAction(const QXmlStreamReader &element,
                                  const QXmlStreamAttribute &attribute)>
        attribute;
};

// Refused with "damaged XML in <part>" when the part is not well-formed.
Formats::Bytes copy(const Formats::Bytes &xml, const Rules &rules, const std::string &part);

}  // namespace XmlFilter
