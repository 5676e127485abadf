#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

// Plain ZIP archives: a folder of files sent as one.
namespace Zip {

// The archive written anew, `depth` containers deep: every file through the pass of the kind its
// content is, one fixed time for every entry, no extra fields and no comments. Names, order and
// which entries are compressed stay. Refused when the archive is damaged or encrypted, or a file
// of a known kind cannot be cleaned.
Formats::Bytes clean(const Formats::Bytes &zip, int depth);

// Entry times, extra fields and comments that remain, and what each file still holds by the check
// of its kind. Throws Formats::Refused when the archive cannot be read.
Formats::Findings findings(const Formats::Bytes &zip, int depth);

}  // namespace Zip
