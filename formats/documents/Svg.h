#pragma once

#include "formats/core/Formats.h"

#include <string>

// SVG drawings, read and written as XML.
namespace Svg {

// The drawing written anew without its metadata block (RDF, Dublin Core, XMP), the editors'
// settings, file names, export paths and versions, Illustrator's private data, comments, the
// document type declaration and processing instructions other than style sheets; embedded
// pictures lose their metadata. Title, description and everything drawn stay. Refused when the
// XML is damaged or an embedded picture cannot be walked.
Formats::Bytes clean(const Formats::Bytes &drawing);

// What the drawing still holds ("still holds comments, editor settings"), "damaged SVG", or empty.
// Reads on its own: no code shared with clean().
std::string remainingMetadata(const Formats::Bytes &drawing);

}  // namespace Svg
