#pragma once

#include "formats/core/Formats.h"

#include <string>

// EPUB e-books: a ZIP package whose container names the package document that describes the book.
namespace Epub {

// The book written anew: its package document keeps only the title, the language and a fresh
// random identifier; the navigation file loses its author and book id; pages lose their author
// and generator; shop and reader records go; pictures lose their metadata. The mimetype stays
// first and stored; fonts hidden with a key made from the identifier are hidden anew with the new
// one. Refused when the package is damaged, names no package document, or is encrypted.
Formats::Bytes clean(const Formats::Bytes &book);

// What a cleaned book still holds ("still holds author"), or a damaged archive or misplaced
// mimetype; empty when it is clean and whole. Reads on its own: no code shared with clean().
std::string remainingMetadata(const Formats::Bytes &book);

}  // namespace Epub
