#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

// AAC sound in ADTS frames (.aac), as encoders and phones write it: tags around the frames.
namespace Aac {

// The ADTS frames byte for byte, without the ID3v2 tags in front of them and the ID3v1, APEv2,
// Lyrics3 and ID3v2 tags behind. Throws Formats::Refused where neither a frame nor a tag starts.
Formats::Bytes clean(const Formats::Bytes &aac);

// The tags and anything else that is not an ADTS frame, walked on its own.
Formats::Findings check(const Formats::Bytes &aac);

}  // namespace Aac
