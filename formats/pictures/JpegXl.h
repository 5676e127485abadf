#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

// JPEG XL pictures (.jxl): a bare codestream, which holds no metadata, or a container of boxes.
namespace JpegXl {

// The container keeps its signature, file type, level, codestream (jxlc, jxlp), frame index and
// JPEG reconstruction data (jbrd) byte for byte. Exif, XMP and JUMBF boxes go, also when Brotli
// compressed (brob); with JPEG reconstruction data they stay as boxes of the same unpacked size
// and nothing in them, so that the original JPEG can still be rebuilt, without its metadata. Any
// other box goes. A bare codestream comes back as it is. Throws Formats::Refused for a container
// it cannot walk.
Formats::Bytes clean(const Formats::Bytes &jxl);

// Every box outside what a decoder needs, and Exif, XMP and JUMBF boxes that still hold anything.
Formats::Findings remainingMetadata(const Formats::Bytes &jxl);

}  // namespace JpegXl
