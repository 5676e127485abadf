#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

namespace Png {

// The picture with only the chunks that draw it: the critical ones and those that change how it
// looks or moves (palette, transparency, colour, density, background, animation). Text, Exif,
// time stamps, private chunks and anything after the end go. Throws Formats::Refused for a chunk
// structure it cannot walk.
Formats::Bytes clean(const Formats::Bytes &png);

// Every chunk that does not draw the picture (text by its keyword, Exif by its tags) and data
// after the end. Throws Formats::Refused when the chunks do not walk.
Formats::Findings check(const Formats::Bytes &png);
// The same as a reason ("still holds tEXt, tIME"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &png);

}  // namespace Png
