#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

namespace Webp {

// The picture with only the chunks that draw it (bitstreams, alpha, animation, colour profile and
// the extended header): EXIF, XMP and unknown chunks go, the extended header's flags and the RIFF
// size follow. Throws Formats::Refused for a chunk structure it cannot walk.
Formats::Bytes clean(const Formats::Bytes &webp);

// Every chunk that does not draw the picture (Exif also by its tags), in frames too, the extended
// header's metadata flags and data after the end. Throws Formats::Refused when the chunks do not
// walk.
Formats::Findings check(const Formats::Bytes &webp);
// The same as a reason ("still holds EXIF"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &webp);

}  // namespace Webp
