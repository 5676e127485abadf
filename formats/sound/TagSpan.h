#pragma once

#include "formats/core/Formats.h"

#include <cstddef>

// Where the tags around a song's audio lie, as the sound passes cut them away: ID3v2 in front,
// and ID3v1, APEv2, Lyrics3 and appended ID3v2 behind. The checks read tags on their own.
namespace TagSpan {

// The length of the ID3v2 tag that starts at `at`, footer included; 0 when none starts there.
// Throws Formats::Refused when its size is broken or runs past the end.
std::size_t id3v2Length(const Formats::Bytes &bytes, std::size_t at);

// Where the sound starts: past every ID3v2 tag in front, one after another.
std::size_t afterLeadingTags(const Formats::Bytes &bytes);

// Whether the pass walks the frames: MP3 frames give their lengths, so a walk cuts an ID3v2 tag
// where a frame should start; FLAC frames do not, so one without a footer is sought from the end.
enum class Frames { Walked, Unwalked };

// Where the audio that starts at `start` ends once the tags behind it are cut away. Throws
// Formats::Refused for a tag that claims more than there is, or for more tags than a file has.
std::size_t endBeforeTags(const Formats::Bytes &bytes, std::size_t start, Frames frames);

// Whether an APEv2 tag or an ID3v2 header stands among the bytes of [start, end): a tag among a
// stream's frames, which no cut at either end removes.
bool holdsTagWithin(const Formats::Bytes &bytes, std::size_t start, std::size_t end);

}  // namespace TagSpan
