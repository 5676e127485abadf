#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

namespace Tiff {

// The picture with only the tags that draw it, in every directory of every page: the others go
// (author, camera, dates, software, Exif, GPS, XMP, IPTC, Photoshop and the rest), and every
// byte that no kept directory, kept value or picture data accounts for is overwritten with zeros.
// Nothing moves, so the picture's data stays byte for byte where it was. Throws Formats::Refused
// for a structure it cannot walk or that repeats itself past the file's size, when a value to
// remove shares bytes with what stays, or a directory with another or with a kept value.
Formats::Bytes clean(const Formats::Bytes &tiff);

// The tags other than those that draw the picture still found in any directory, Exif, GPS and
// sub-directories included (Artist, GPS position, ...), and non-zero bytes no directory accounts
// for. Throws Formats::Refused when the directories cannot be read.
Formats::Findings check(const Formats::Bytes &tiff);
// The same as a reason ("still holds Artist, GPS position"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &tiff);

}  // namespace Tiff
