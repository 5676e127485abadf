#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Findings.h"

#include <string>

// Photos and videos of the ISO base media family (HEIC, HEIF, AVIF, MP4, MOV, M4A, 3GP), walked box
// by box where they lie, so that a long video is never held in memory.
namespace IsoBmff {

// Keeps only what a player or picture decoder reads, without moving a byte of it: every other box,
// known or not, becomes a zero-filled free box of the same size (a dropped metadata track's
// samples are zeroed too); padding is zeroed; creation and modification times become zero;
// handler, vendor and encoder names are blanked; references to media in other files are emptied.
// Of the movie's user data only iTunes' gapless record stays, alone in a minimal item list. In a
// picture, items other than pictures (Exif, XMP, IPTC) leave the item tables, which are written
// anew with a free box after them, and their data is zeroed. Throws Formats::Refused for a
// structure it cannot walk, for a compressed movie header, and for a track whose DRM names its
// buyer.
void clean(Formats::ByteFile &file);

// Everything the file holds beyond what a player or decoder reads, by category. Throws
// Formats::Refused ("damaged MP4 box") when the file cannot be read.
Formats::Findings findings(Formats::ByteFile &file);

// The same as a reason ("still holds GPS position, device model"), or the damage that stopped the
// reading ("damaged MP4 box"); empty when the file is clean.
std::string remainingMetadata(Formats::ByteFile &file);

}  // namespace IsoBmff
