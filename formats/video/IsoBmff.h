#pragma once

#include "formats/core/ByteFile.h"

#include <string>

// Photos and videos of the ISO base media family (HEIC, HEIF, AVIF, MP4, MOV, M4A, 3GP), walked box
// by box where they lie, so that a long video is never held in memory.
namespace IsoBmff {

// Overwrites what identifies the file where it lies, without moving a byte of what plays or draws:
// user data, metadata boxes, vendor boxes and metadata tracks become zero-filled free boxes of the
// same size (a dropped track's samples are zeroed too); creation and modification times become
// zero; handler names are blanked. In a picture, Exif and XMP items leave the item tables, which
// are written anew with a free box after them, and their data is zeroed. Throws Formats::Refused
// for a structure it cannot walk.
void clean(Formats::ByteFile &file);

// What metadata the file still holds ("still holds GPS position, device model"), or why it cannot
// be read ("damaged MP4 box"); empty when it is clean.
std::string remainingMetadata(Formats::ByteFile &file);

}  // namespace IsoBmff
