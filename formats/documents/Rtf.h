#pragma once

#include "formats/core/Formats.h"

#include <string>

// RTF documents, walked group by group.
namespace Rtf {

// The document without its information group (author, title, dates, company), generator, custom
// properties, revision-session ids and table, and revision and comment dates; revision authors
// become "Unknown", comment authors and initials empty; JPEG and PNG pictures lose their metadata.
// Text and formatting stay byte for byte. Refused when the groups do not balance, nest too deeply,
// or a picture's data is damaged.
Formats::Bytes clean(const Formats::Bytes &document);

// What the document still holds ("still holds document information, software"), a damaged
// structure, or empty. Reads on its own: no code shared with clean().
std::string remainingMetadata(const Formats::Bytes &document);

}  // namespace Rtf
