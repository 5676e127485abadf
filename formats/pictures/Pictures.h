#pragma once

#include "formats/core/Formats.h"

#include <string>

// The pictures a package embeds (JPEG, PNG, GIF, WebP), told by their signatures, each through the
// pass of its kind.
namespace Pictures {

// The picture without its metadata; bytes of a kind without a pass come back as they are.
// Refused when the picture's structure cannot be walked.
Formats::Bytes clean(const Formats::Bytes &picture);

// What the picture still holds, as a reason; empty when it holds nothing its pass removes.
std::string remainingMetadata(const Formats::Bytes &picture);

}  // namespace Pictures
