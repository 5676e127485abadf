#pragma once

#include "formats/core/Findings.h"

#include <string_view>

// What the tags of songs hold, as the sound checks read them: ID3v2 frames and Vorbis comments
// named by what they tell (artist, title, date, encoder, cover). The passes walk on their own.
namespace TagCheck {

// Names each frame of the ID3v2 tag that `tag` starts with, or "ID3 tag" when no frame can be
// told apart (padding only, or frames behind unsynchronisation).
void nameId3Frames(std::string_view tag, Formats::Findings &findings);

// Names each field of a Vorbis comment block (vendor string, count, then "KEY=value" fields);
// false when the block does not read.
bool nameVorbisComments(std::string_view block, Formats::Findings &findings);

}  // namespace TagCheck
