#pragma once

#include "formats/core/Findings.h"

#include <cstddef>
#include <string_view>

// What the tags of songs hold, as the sound checks read them: ID3v2 frames and Vorbis comments
// named by what they tell (artist, title, date, encoder, cover). The passes walk on their own.
namespace TagCheck {

// Whether an ID3v2 header starts at `at`: a version from 2 to 4, revision 0, no unknown flag and
// a size of seven-bit bytes. Sound frames hold such ten bytes by chance about once in 2^46.
bool isId3v2Header(std::string_view bytes, std::size_t at);

// Names each frame of the ID3v2 tag that `tag` starts with, or "ID3 tag" when no frame can be
// told apart (padding only, or frames behind unsynchronisation).
void nameId3Frames(std::string_view tag, Formats::Findings &findings);

// Names each field of a Vorbis comment block (vendor string, count, then "KEY=value" fields);
// false when the block does not read.
bool nameVorbisComments(std::string_view block, Formats::Findings &findings);

// Names the tags found in what follows a song's last frame ("ID3 tag", "APE tag", "Lyrics3 tag",
// "ID3v1 tag"), or "data that is not audio" when none is there.
void nameTrailingData(std::string_view rest, Formats::Findings &findings);

}  // namespace TagCheck
