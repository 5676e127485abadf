#pragma once

#include "formats/core/Formats.h"

#include <string>

// JPEG files at the level of their marker segments: nothing is decoded, so the picture's bytes
// stay as they are.
namespace Jpeg {

// Orientation 1..8 from the first readable Exif segment; 1 when there is none or it cannot be read.
int orientation(const Formats::Bytes &jpeg);

// Rewrites at segment level: keeps only what draws the picture, adds a one-value Exif with the
// orientation when it is 2..8. Throws Formats::Refused ("not a JPEG file", "damaged JPEG header").
Formats::Bytes clean(const Formats::Bytes &jpeg, int orientation);

// Empty when only kept segments remain and nothing follows EOI; otherwise the reason, such as
// "still holds XMP", "still holds bytes after the image". Shares no code path with clean().
std::string remainingMetadata(const Formats::Bytes &jpeg);

}  // namespace Jpeg
