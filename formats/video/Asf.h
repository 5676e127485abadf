#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Findings.h"

#include <string>

// Windows Media sound and video (.wma, .wmv, .asf), walked where they lie.
namespace Asf {

// Keeps the file properties (without their creation date), the stream properties, codec list and
// the other objects that describe the streams, the header extension's stream objects, the aspect
// ratio records of its metadata object, the data and the indexes. Every other object (content
// descriptions, attributes, markers, script commands, branding, a header extension inside the
// header extension, a second header, objects it does not know) becomes a padding object of the
// same size whose bytes are zeroed, and padding is zeroed. Throws Formats::Refused for a header it
// cannot walk.
void clean(Formats::ByteFile &file);

// Names every object outside the check's own keep list; throws Formats::Refused for a file it
// cannot read.
Formats::Findings findings(Formats::ByteFile &file);

// The same in one line ("still holds title, cover picture", "damaged ASF: ..."); empty when the
// file is clean.
std::string remainingMetadata(Formats::ByteFile &file);

}  // namespace Asf
