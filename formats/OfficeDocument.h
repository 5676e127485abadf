#pragma once

#include "formats/Formats.h"

#include <string>

// Office Open XML packages: Word, Excel and PowerPoint documents, templates and macro documents.
namespace OfficeDocument {

// The package written anew without document properties, the people list, comment and revision
// authors, initials and dates, revision-session ids, the template path, the thumbnail and picture
// metadata. Text, tables, slides, styles, comments and tracked changes stay. Refused when the
// package is damaged or encrypted, or has no content types.
Formats::Bytes clean(const Formats::Bytes &package);

// What a cleaned package still holds ("still holds document properties"), or a broken reference
// or a damaged archive; empty when it is clean and whole. Reads on its own: no code shared with
// clean().
std::string remainingMetadata(const Formats::Bytes &package);

}  // namespace OfficeDocument
