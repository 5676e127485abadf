#pragma once

#include "formats/core/Findings.h"
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

// Every segment that is not kept and anything after EOI, an Exif segment named by the tags it
// holds (GPS position, Make, DateTimeOriginal, ...). Throws Formats::Refused ("not a JPEG file",
// "damaged JPEG header") when the markers do not walk. Shares no code path with clean().
Formats::Findings check(const Formats::Bytes &jpeg);
// The same as a reason ("still holds XMP, a comment"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &jpeg);

}  // namespace Jpeg
