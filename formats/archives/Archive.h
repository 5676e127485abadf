#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Findings.h"

#include <string>

// TAR (plain or compressed with gzip, bzip2, xz or zstd) and 7z archives, through libarchive.
namespace Archive {

// Writes the archive anew in its own format and compression: every entry through the pass of
// its kind, owners 0 without names, one fixed time, no extended headers, attributes or access
// lists; home folders cut from paths; a Mac's and Windows' folder data left out. Links and
// special entries keep their kind and are never followed. Throws Formats::Refused for a
// password-protected archive, an entry with an unsafe path, two files whose paths would meet once
// cut, or an archive that cannot be read.
void clean(Formats::ByteFile &file, int depth);

// What the archive still tells: owners, times, attributes, home folders in paths, and what its
// entries hold by their own checks.
Formats::Findings remainingMetadata(Formats::ByteFile &file, int depth);

// Whether an entry's path starts, past any `/` and `./` in front, in a person's home folder or on
// a drive, as the checks of every archive read it (apart from the pass's own reading, which cuts
// what this finds).
bool startsInAHome(std::string path);

// The time every entry gets: 1980-01-01 00:00:00 UTC, as in packages.
constexpr long FixedTime = 315532800;

}  // namespace Archive
