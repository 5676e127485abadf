#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

namespace Mp3 {

// The MPEG audio frames alone, byte for byte: every ID3v2 tag at the start, between frames or
// appended, ID3v1, APEv2 and Lyrics3 go. The Xing/LAME info frame is a frame and stays, but all
// past its fields and LAME tag is zeroed. Refused when the tags do not walk, no audio frame
// follows them, or data that is neither frame nor tag stands among the frames.
Formats::Bytes clean(const Formats::Bytes &mp3);

// Walks the result frame by frame on its own and names whatever is not an audio frame: each
// ID3v2 frame by what it tells, other tags, text in the info frame's padding, data that is not
// audio. Throws Formats::Refused for an empty file.
Formats::Findings check(const Formats::Bytes &mp3);
// The same as a reason ("still holds ID3 TPE1, APE tag"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &mp3);

}  // namespace Mp3
