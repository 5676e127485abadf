#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <QString>

#include <string>

class QXmlStreamAttribute;
class QXmlStreamReader;

namespace Formats {
class DataUriPayloads;
}

// SVG drawings, read and written as XML.
namespace Svg {

// The drawing written anew without its metadata block (RDF, Dublin Core, XMP), the editors'
// settings, file names, export paths and versions, Illustrator's private data, comments, the
// document type declaration and processing instructions other than style sheets; files embedded
// as data: URIs, in attributes and in style sheets, go through the passes of their kinds at
// depth + 1. Title, description and everything drawn stay. Refused when the XML is damaged or an
// embedded file of a known kind cannot be cleaned.
Formats::Bytes cleanNested(const Formats::Bytes &drawing, int depth);
Formats::Bytes clean(const Formats::Bytes &drawing);

// Everything the drawing, `depth` containers deep, still holds, embedded files included. Throws
// Formats::Refused("damaged SVG") when it cannot be read. Reads on its own: no code shared with
// the pass but the taking out of data: URIs' base64 (Formats::DataUriPayloads), whose stand-ins
// both read as the data they stand for.
Formats::Findings findings(const Formats::Bytes &drawing, int depth);
// The same as a reason ("still holds comments, editor settings"), "damaged SVG", or empty.
std::string remainingMetadata(const Formats::Bytes &drawing);

// For drawings inside other documents (SVG in an XHTML page), on the pass's side: whether an
// element or attribute is the drawing's private data, and text with every embedded file cleaned
// (a stand-in for `payloads` cleaned there, to be put back by them).
bool isPrivateElement(const QXmlStreamReader &reader);
bool isPrivateAttribute(const QXmlStreamAttribute &attribute);
QString withEmbeddedFilesCleaned(const QString &text, int depth,
                                 Formats::DataUriPayloads *payloads = nullptr);
// An attribute's value with its embedded files cleaned, and a link to a file on the author's
// computer cut to the file name.
QString cleanedAttributeValue(const QXmlStreamAttribute &attribute, int depth,
                              Formats::DataUriPayloads *payloads = nullptr);

// And on the check's side: what an element, or a text, of a drawing still holds.
void addElementFindings(const QXmlStreamReader &reader, int depth, Formats::Findings &findings,
                        const Formats::DataUriPayloads *payloads = nullptr);
void addEmbeddedFileFindings(QStringView text, int depth, Formats::Findings &findings,
                             const Formats::DataUriPayloads *payloads = nullptr);

}  // namespace Svg
