#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <map>
#include <string>

class QPDF;

namespace Pdf {

// Document information keys (without the slash) and the values they get.
using Information = std::map<std::string, std::string>;

// Makes a whole document ready for a full rewrite that tells nothing about its history: the
// information dictionary becomes exactly the non-empty values of `information` (none: no
// dictionary at all) and the old one is emptied for whatever else points to it; every XMP stream
// (and the XMP of an XFA form), application data record, TeX figure record, page and form
// modification date and usage-rights signature goes, as do the authors and dates of annotations
// and the folders and dates of attached files. Attached files and the photos drawn on pages go
// through the passes of their kinds; JPEG 2000 pictures lose their XML and UUID boxes. The file
// identifier and an owner password's encryption go too, so the writer gives
// the rewrite a fresh identifier and no encryption tied to the old one. Links to local files keep
// only the files' names, and an XFA form's envelope loses its save time and id. The old
// information dictionary loses only information keys, for it may be the catalog too. Text, fonts,
// links, outlines, forms and annotations stay. Throws Formats::Refused for a document signed by a
// person (a rewrite would break its signature), and for an attachment that cannot be cleaned here.
void clean(QPDF &pdf, const Information &information);

// Throws Formats::Refused ("the cleaned document lost its pages") unless `cleaned` has as many
// pages as `source`, each drawn by the same content once decoded.
void refuseLostPages(QPDF &source, QPDF &cleaned);

// Reads a written PDF and names every kind of metadata it still holds, looking into attached files
// and pictures with the checks of their kinds. Throws Formats::Refused ("damaged PDF: ...") when
// it cannot be read.
Formats::Findings remainingMetadata(const Formats::Bytes &pdf);

// A PDF inside another file, `depth` containers deep, cleaned with no information dictionary.
Formats::Bytes cleanNested(const Formats::Bytes &pdf, int depth);
Formats::Findings remainingMetadataNested(const Formats::Bytes &pdf, int depth);

}  // namespace Pdf
