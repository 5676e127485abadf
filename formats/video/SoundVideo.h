#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Findings.h"

#include <string>

// Sound and video kinds built of chunks, walked where they lie. Each keeps only the chunks its
// sound or picture needs: every other chunk becomes padding of the same size whose bytes are
// zeroed, and padding already there is zeroed whatever it held. clean() throws Formats::Refused for
// a structure it cannot walk. findings() names every chunk outside the kind's own list of what it
// keeps, and throws Formats::Refused for a file it cannot read; remainingMetadata() says the same
// in one line ("still holds title, XMP", "damaged AVI: ..."), empty when the file is clean.

// AVI (.avi): the headers, stream headers and formats, the movie data and its indexes stay.
namespace Avi {
void clean(Formats::ByteFile &file);
Formats::Findings findings(Formats::ByteFile &file);
std::string remainingMetadata(Formats::ByteFile &file);
}  // namespace Avi

// WAV (.wav), RF64 and BW64 among them: the format, the sound, its cue points, sampler and
// instrument data and the 64-bit sizes stay; an ID3 tag after the form is cut off.
namespace Wav {
void clean(Formats::ByteFile &file);
Formats::Findings findings(Formats::ByteFile &file);
std::string remainingMetadata(Formats::ByteFile &file);
}  // namespace Wav

// AIFF and AIFF-C (.aif, .aiff, .aifc): the format, the sound, the instrument data and the markers
// without their names stay; an ID3 tag after the form is cut off.
namespace Aiff {
void clean(Formats::ByteFile &file);
Formats::Findings findings(Formats::ByteFile &file);
std::string remainingMetadata(Formats::ByteFile &file);
}  // namespace Aiff
