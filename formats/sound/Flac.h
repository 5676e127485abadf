#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

namespace Flac {

// The stream with only the blocks that play it: STREAMINFO (its MD5 of the sound still holds),
// SEEKTABLE and CUESHEET; comments, pictures, application data, padding and any ID3v2 tag before,
// and ID3, APEv2 or Lyrics3 tags appended after the frames, go, as do bytes before the first frame
// that are not sound. Audio frames stay byte for byte.
// Refused when the blocks do not walk.
Formats::Bytes clean(const Formats::Bytes &flac);

// Names every block besides those three (each comment field by what it tells), bytes between the
// blocks and the first frame, and any tag before the marker or among and after the frames. Throws
// Formats::Refused when the blocks do not walk.
Formats::Findings check(const Formats::Bytes &flac);
// The same as a reason ("still holds Vorbis comment ARTIST"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &flac);

}  // namespace Flac
