#pragma once

#include "formats/core/Formats.h"

#include <string>

namespace Png {

// The picture with only the chunks that draw it: the critical ones and those that change how it
// looks or moves (palette, transparency, colour, density, background, animation). Text, Exif,
// time stamps, private chunks and anything after the end go. Throws Formats::Refused for a chunk
// structure it cannot walk.
Formats::Bytes clean(const Formats::Bytes &png);

// What metadata the picture still holds ("still holds tEXt, tIME"), or why it cannot be read;
// empty when it is clean.
std::string remainingMetadata(const Formats::Bytes &png);

}  // namespace Png
