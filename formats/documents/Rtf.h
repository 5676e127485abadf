#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

// RTF documents, walked group by group.
namespace Rtf {

// The document without its information group (author, title, dates, company), generator, custom
// properties, revision-session ids and table, and revision and comment dates; revision authors
// become "Unknown", comment authors and initials empty; paths on the author's computer quoted in
// field instructions keep only their file names; JPEG and PNG pictures and the native data of
// embedded OLE objects go through the passes of their kinds at depth + 1, and linked objects name
// their file alone. Text and formatting stay byte for byte. Refused when the groups do not
// balance, nest too deeply, or a picture's or object's data is damaged.
Formats::Bytes cleanNested(const Formats::Bytes &document, int depth);
Formats::Bytes clean(const Formats::Bytes &document);

// Everything the document, `depth` containers deep, still holds, embedded pictures and objects
// included. Throws Formats::Refused for a damaged structure. Reads on its own: no code shared with
// the pass but the decoding of hex data.
Formats::Findings findings(const Formats::Bytes &document, int depth);
// The same as a reason ("still holds document information, software"), the damage, or empty.
std::string remainingMetadata(const Formats::Bytes &document);

}  // namespace Rtf
