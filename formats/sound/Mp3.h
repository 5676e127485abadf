#pragma once

#include "formats/core/Formats.h"

#include <string>

namespace Mp3 {

// The MPEG audio frames alone, byte for byte: every ID3v2 tag at the start or appended, ID3v1,
// APEv2 and Lyrics3 go. The Xing/LAME info frame is a frame and stays. Refused when the tags do
// not walk or no audio frame follows them.
Formats::Bytes clean(const Formats::Bytes &mp3);

// Walks the result frame by frame on its own and names whatever is not an audio frame ("still
// holds an ID3 tag, data that is not audio"); empty when it holds frames only.
std::string remainingMetadata(const Formats::Bytes &mp3);

}  // namespace Mp3
