#pragma once

#include "formats/Formats.h"

#include <map>
#include <string>

class QPDF;

namespace Pdf {

// Document information keys (without the slash) and the values they get.
using Information = std::map<std::string, std::string>;

// Makes a whole document ready for a full rewrite that tells nothing about its history: the
// information dictionary becomes exactly the non-empty values of `information` (none: no
// dictionary at all), and every XMP stream, application data record, TeX figure record, page
// and form modification date and usage-rights signature goes. The file identifier and an owner
// password's encryption go too, so the writer gives the rewrite a fresh identifier and no
// encryption tied to the old one. Text, fonts, links, outlines, forms and annotations stay.
// Throws Formats::Refused for a document signed by a person: a rewrite would break its signature.
void clean(QPDF &pdf, const Information &information);

// Reads a written PDF and names the first kind of metadata it still holds, such as
// "still holds XMP"; empty when it holds none.
std::string remainingMetadata(const Formats::Bytes &pdf);

}  // namespace Pdf
