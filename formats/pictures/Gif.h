#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

namespace Gif {

// The picture with only the blocks that draw or animate it: comments, application blocks other
// than the animation loop and the colour profile, and anything after the end go. Throws
// Formats::Refused for a block structure it cannot walk.
Formats::Bytes clean(const Formats::Bytes &gif);

// Every extension that does not draw or loop the picture, and data after the end. Throws
// Formats::Refused when the blocks do not walk.
Formats::Findings check(const Formats::Bytes &gif);
// The same as a reason ("still holds a comment"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &gif);

}  // namespace Gif
