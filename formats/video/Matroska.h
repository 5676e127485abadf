#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Findings.h"

#include <string>

// Matroska and WebM (.mkv, .mka, .webm), walked where they lie.
namespace Matroska {

// Keeps the EBML header, the segment's information but for its title, date, applications and file
// names, the tracks but for their names, the seek entries to what stays, cues, chapters, the
// blocks of the clusters and font attachments. Every other element (tags, pictures, elements it
// does not know) becomes a Void element of the same size with zeroed bytes, and Void elements are
// zeroed; a checksum over a changed element becomes Void too. Throws Formats::Refused for an
// element structure it cannot walk.
void clean(Formats::ByteFile &file);

// Names every element outside the check's own keep list; throws Formats::Refused for a file it
// cannot read.
Formats::Findings findings(Formats::ByteFile &file);

// The same in one line ("still holds title, cover picture", "damaged Matroska: ..."); empty when
// the file is clean.
std::string remainingMetadata(Formats::ByteFile &file);

}  // namespace Matroska
