#pragma once

#include "formats/core/Formats.h"

#include <string>

namespace Flac {

// The stream with only the blocks that play it: STREAMINFO (its MD5 of the sound still holds),
// SEEKTABLE and CUESHEET; comments, pictures, application data, padding and any ID3 tag before
// or after go. Audio frames stay byte for byte. Refused when the blocks do not walk.
Formats::Bytes clean(const Formats::Bytes &flac);

// Names every block besides those three, and any tag around the stream; empty when clean.
std::string remainingMetadata(const Formats::Bytes &flac);

}  // namespace Flac
