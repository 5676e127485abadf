#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

// Office Open XML packages: Word, Excel and PowerPoint documents, templates and macro documents.
namespace OfficeDocument {

// The package written anew without document properties, the people list, comment and revision
// authors, initials and dates, revision-session ids, the template path, document variables,
// printer settings, a shared workbook's revision log, who refreshed a pivot table, connection
// credentials, local folders in links and picture descriptions, the thumbnail, and the metadata of
// pictures and documents it embeds. Text, tables, slides, styles, comments and tracked changes
// stay. Refused when the package is damaged or encrypted, or has no content types.
Formats::Bytes clean(const Formats::Bytes &package);

// The same for a document inside another, `depth` containers deep.
Formats::Bytes cleanNested(const Formats::Bytes &package, int depth);

// Everything a cleaned package, `depth` containers deep, still holds. Throws Formats::Refused
// for a broken reference or a damaged archive. Reads on its own: no code shared with clean().
Formats::Findings findings(const Formats::Bytes &package, int depth);
// The same as a reason ("still holds a thumbnail"), the damage, or empty.
std::string remainingMetadata(const Formats::Bytes &package);

}  // namespace OfficeDocument
