#pragma once

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

// What a cleaned package still holds ("still holds printer settings"), or a broken reference or a
// damaged archive; empty when it is clean and whole. Reads on its own: no code shared with clean().
std::string remainingMetadata(const Formats::Bytes &package);

// The same for a document inside another, `depth` containers deep.
Formats::Bytes cleanNested(const Formats::Bytes &package, int depth);
std::string remainingMetadataNested(const Formats::Bytes &package, int depth);

}  // namespace OpenDocument
