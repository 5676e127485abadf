#pragma once

#include "formats/core/ByteFile.h"

#include <string>

// Sound and video kinds built of chunks, walked where they lie. Each clean() overwrites what goes
// with padding of the same size whose bytes are zeroed, and throws Formats::Refused for a structure
// it cannot walk; each remainingMetadata() names what the file still holds ("still holds title,
// XMP"), or why it cannot be read ("damaged AVI: ..."), and is empty when the file is clean.

// AVI (.avi): the INFO list, the creation date, the software name, camera data and XMP go; the
// headers, streams and index stay.
namespace Avi {
void clean(Formats::ByteFile &file);
std::string remainingMetadata(Formats::ByteFile &file);
}  // namespace Avi

// WAV (.wav): the INFO list, broadcast and cart descriptions, iXML, XMP and ID3 tags go; the
// format, the sound and its cue points stay.
namespace Wav {
void clean(Formats::ByteFile &file);
std::string remainingMetadata(Formats::ByteFile &file);
}  // namespace Wav

// AIFF and AIFF-C (.aif, .aiff, .aifc): name, author, copyright, annotation, comment and ID3
// chunks become filler chunks that readers skip; the format, the sound and its markers stay.
namespace Aiff {
void clean(Formats::ByteFile &file);
std::string remainingMetadata(Formats::ByteFile &file);
}  // namespace Aiff
