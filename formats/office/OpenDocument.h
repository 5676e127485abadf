#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

// OpenDocument packages: text, spreadsheet, presentation and drawing documents and their templates.
namespace OpenDocument {

// The package written anew with empty meta blocks (sub-documents' too), no thumbnail, no printer
// settings, no stored earlier versions, no revision-session ids, comment and change authors and
// initials emptied and their dates set to one fixed date, local folders gone from links, and the
// metadata of embedded pictures and documents gone. The mimetype stays first and stored. Refused
// when the package is damaged or encrypted, or has no manifest.
Formats::Bytes clean(const Formats::Bytes &package);

// The same for a document inside another, `depth` containers deep.
Formats::Bytes cleanNested(const Formats::Bytes &package, int depth);

// Everything a cleaned package, `depth` containers deep, still holds. Throws Formats::Refused
// for a broken reference or a damaged archive. Reads on its own: no code shared with clean().
Formats::Findings findings(const Formats::Bytes &package, int depth);
// The same as a reason ("still holds printer settings"), the damage, or empty.
std::string remainingMetadata(const Formats::Bytes &package);

}  // namespace OpenDocument
