#pragma once

#include "formats/Formats.h"

#include <string>

// What a package embeds (pictures, documents inside documents), told by its signature and sent
// through the pass of its kind. Nested documents are cleaned and checked through their own
// routes, recursively, to a fixed depth.
namespace Embedded {

// Containers around a document, up to and including the outermost file, that are walked into.
constexpr int MaxDepth = 4;

// The content without its metadata; content of a kind without a pass comes back as it is.
// `depth` counts the containers around it. Refused when it cannot be cleaned.
Formats::Bytes clean(const Formats::Bytes &content, int depth);

// What the content still holds, as a reason; empty when clean.
std::string remainingMetadata(const Formats::Bytes &content, int depth);

}  // namespace Embedded
