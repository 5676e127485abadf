#pragma once

#include "formats/Formats.h"

#include <string>

// OpenDocument packages: text, spreadsheet, presentation and drawing documents and their templates.
namespace OpenDocument {

// The package written anew with an empty meta block, no thumbnail, no printer settings, no
// revision-session ids, comment and change authors and initials emptied and their dates set to
// one fixed date, and picture metadata gone. The mimetype stays first and stored. Refused when the
// package is damaged or encrypted, or has no manifest.
Formats::Bytes clean(const Formats::Bytes &package);

// What a cleaned package still holds ("still holds printer settings"), or a broken reference or a
// damaged archive; empty when it is clean and whole. Reads on its own: no code shared with clean().
std::string remainingMetadata(const Formats::Bytes &package);

}  // namespace OpenDocument
