#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

// Ogg Vorbis and Opus streams; the check reads Ogg FLAC and Theora too.
namespace Ogg {

// The stream with an empty comment header (its vendor string may stay) and no pictures; the
// header pages are framed anew with right checksums and sequence numbers, the audio packets stay
// byte for byte. Refused for a chained stream, several logical streams, a stream of another codec
// (Ogg FLAC among them) or one whose pages do not read.
Formats::Bytes clean(const Formats::Bytes &ogg);

// Reads every page on its own (checksums included) and names each comment field or picture left
// in the header packets of any logical stream, every link of a chained one included. Throws
// Formats::Refused when the pages do not read.
Formats::Findings check(const Formats::Bytes &ogg);
// The same as a reason ("still holds Vorbis comment ARTIST"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &ogg);

}  // namespace Ogg
