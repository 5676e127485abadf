#pragma once

#include "formats/core/Formats.h"

#include <string>

// Compound files: old Word, Excel and PowerPoint files, and objects embedded in Office packages.
namespace CompoundFile {

// The file with its document properties emptied in every storage (each set keeps only its code
// page), and, wherever a Word document, Excel workbook or PowerPoint show lies: Word's saved-by
// list, associated names and document dates, Excel's and PowerPoint's user names turned to
// blanks. Storage times and the bytes of unused sectors and entries are zeroed. Nothing moves, so
// every stream keeps its size and place. Throws Formats::Refused for a structure it cannot walk
// and for password-protected documents.
Formats::Bytes clean(const Formats::Bytes &file);

// What metadata the file still holds ("still holds author, company"), or "damaged compound file"
// when its structure does not walk; empty when it is clean.
std::string remainingMetadata(const Formats::Bytes &file);

}  // namespace CompoundFile
