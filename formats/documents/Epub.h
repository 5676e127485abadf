#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

// EPUB e-books: a ZIP package whose container names the package document that describes the book.
namespace Epub {

// The book written anew: its package document keeps only the title, the language and a fresh
// random identifier; the navigation file loses its author and book id; pages lose their author
// and generator, and drawings in them lose a drawing's metadata; shop and reader records go; every
// other entry (pictures, drawings, sound, video) goes through the pass of the kind its content is
// at depth + 1. The mimetype stays first and stored; fonts hidden with a key made from the
// identifier are revealed, cleaned as any other entry and hidden anew with the new identifier.
// Refused when the package is damaged, names no package document, or is encrypted.
Formats::Bytes cleanNested(const Formats::Bytes &book, int depth);
Formats::Bytes clean(const Formats::Bytes &book);

// Everything a cleaned book, `depth` containers deep, still holds. Throws Formats::Refused for a
// damaged archive or a misplaced mimetype. Reads on its own, but for revealing hidden fonts with
// the pass's code, so that both read them as what they hold.
Formats::Findings findings(const Formats::Bytes &book, int depth);
// The same as a reason ("still holds author"), the damage, or empty.
std::string remainingMetadata(const Formats::Bytes &book);

}  // namespace Epub
