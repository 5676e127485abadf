#pragma once

#include "formats/core/ByteFile.h"

#include <string>

// Matroska and WebM (.mkv, .mka, .webm), walked where they lie.
namespace Matroska {

// Overwrites, with Void elements of the same size and zeroed bytes: tags, the segment's title,
// date and muxing and writing applications, track names, picture attachments (cover art; fonts
// stay) and the seek entries that point at tags. Tracks, cues, chapters and clusters stay as they
// are. Throws Formats::Refused for an element structure it cannot walk.
void clean(Formats::ByteFile &file);

// What metadata the file still holds ("still holds title, cover picture"), or why it cannot be
// read ("damaged Matroska: ..."); empty when it is clean.
std::string remainingMetadata(Formats::ByteFile &file);

}  // namespace Matroska
