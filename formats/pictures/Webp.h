#pragma once

#include "formats/core/Formats.h"

#include <string>

namespace Webp {

// The picture with only the chunks that draw it (bitstreams, alpha, animation, colour profile and
// the extended header): EXIF, XMP and unknown chunks go, the extended header's flags and the RIFF
// size follow. Throws Formats::Refused for a chunk structure it cannot walk.
Formats::Bytes clean(const Formats::Bytes &webp);

// What metadata the picture still holds ("still holds EXIF"), or why it cannot be read; empty when
// it is clean.
std::string remainingMetadata(const Formats::Bytes &webp);

}  // namespace Webp
