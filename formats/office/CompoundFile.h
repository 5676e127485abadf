#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

// Compound files: old Word, Excel and PowerPoint files, and objects embedded in Office packages.
namespace CompoundFile {

// The file with its document properties emptied in every storage (each set keeps only its code
// page), and, wherever a Word document, Excel workbook or PowerPoint show lies: Word's saved-by
// list, associated names and document dates, Excel's and PowerPoint's user names, and the names,
// initials and dates of comments, and Word's tracked-change dates, turned to blanks. Packaged
// files' and linked objects' paths, and those of files a show links to, keep only the file's name;
// JPEG pictures lose their Exif, XMP, IPTC and comments, PNG pictures their text, Exif and times.
// Files it carries (Office packages, objects' content, packaged files, PowerPoint's embedded
// storages) go through the pass of their kind. Storage times, the bytes of unused sectors and
// entries, and slack after a workbook's last sheet or a show's last whole record are zeroed.
// Streams keep their size and place unless a carried file changed size: then the file is written
// anew. Throws Formats::Refused for a structure it cannot walk, for password-protected documents
// and for carried files of a known kind that cannot be cleaned.
Formats::Bytes clean(const Formats::Bytes &file);
// The same for a compound file inside another, `depth` containers deep.
Formats::Bytes cleanNested(const Formats::Bytes &file, int depth);

// What metadata the file and the files it carries still hold. Throws Formats::Refused ("damaged
// compound file") when its structure does not walk. Reads on its own: no code shared with clean().
Formats::Findings findings(const Formats::Bytes &file, int depth);
// The same as a reason ("still holds author, company"), or the damage it met; empty when clean.
std::string remainingMetadata(const Formats::Bytes &file);

}  // namespace CompoundFile
