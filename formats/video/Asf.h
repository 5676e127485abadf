#pragma once

#include "formats/core/ByteFile.h"

#include <string>

// Windows Media sound and video (.wma, .wmv, .asf), walked where they lie.
namespace Asf {

// Overwrites the content description, extended content description, metadata, metadata library
// and content branding objects with padding objects of the same size whose bytes are zeroed, and
// zeroes the creation date: titles, authors, pictures and WM/ attributes go; streams, codecs, the
// index and the metadata object's aspect ratio records stay. Throws Formats::Refused for a header
// it cannot walk.
void clean(Formats::ByteFile &file);

// What metadata the file still holds ("still holds title, cover picture"), or why it cannot be
// read ("damaged ASF: ..."); empty when it is clean.
std::string remainingMetadata(Formats::ByteFile &file);

}  // namespace Asf
