#pragma once

#include "formats/Formats.h"

#include <string>

namespace Tiff {

// The picture with only the tags that draw it, in every directory of every page: the others go
// (author, camera, dates, software, Exif, GPS, XMP, IPTC, Photoshop and the rest), and the bytes
// of their values and of the directories they point to are overwritten with zeros. Nothing moves,
// so the picture's data stays byte for byte where it was. Throws Formats::Refused for a structure
// it cannot walk, or when a value to remove shares bytes with what stays.
Formats::Bytes clean(const Formats::Bytes &tiff);

// The metadata tags still found in any directory, Exif, GPS and sub-directories included ("still
// holds Artist, GPS"), or why the directories cannot be read; empty when it is clean.
std::string remainingMetadata(const Formats::Bytes &tiff);

}  // namespace Tiff
