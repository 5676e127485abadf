#pragma once

#include "formats/core/Formats.h"

#include <string>

namespace Gif {

// The picture with only the blocks that draw or animate it: comments, application blocks other
// than the animation loop and the colour profile, and anything after the end go. Throws
// Formats::Refused for a block structure it cannot walk.
Formats::Bytes clean(const Formats::Bytes &gif);

// What metadata the picture still holds ("still holds a comment"), or why it cannot be read;
// empty when it is clean.
std::string remainingMetadata(const Formats::Bytes &gif);

}  // namespace Gif
