#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Findings.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Every kind of file Parchwipe knows, in one table: its name, extensions, how its content is
// recognised, its pass and its check. The engine's routes, every container's files inside files
// and the closing message's details all ask here, so a new kind is one row and one folder.
namespace Kinds {

struct Kind {
    const char *name;  // "JPEG picture"
    // Lower case, without the dot.
    std::vector<std::string> extensions;
    // Whether a file starting with these bytes (up to Formats::Limits::RecognitionWindow of them)
    // is of this kind. Null for kinds told by their names alone.
    bool (*recognises)(std::string_view start);
    // Removes the metadata: in place for kinds walked where they lie, else by rewriting the
    // whole. `depth` counts the containers around it (0 for a listed file). Throws
    // Formats::Refused with the reason when it cannot. Null for kinds no pass cleans yet, and for
    // metadata itself.
    void (*clean)(Formats::ByteFile &file, int depth);
    // What the result still holds; shares no code with the pass. Throws Formats::Refused when the
    // result cannot be read.
    Formats::Findings (*check)(Formats::ByteFile &result, int depth);
    // Walked where it lies, never read whole: a large file costs a few MB.
    bool inPlace = false;
    // A file that is nothing but metadata (an XMP sidecar): never written out.
    bool isMetadata = false;
};

const std::vector<Kind> &all();

// The kind of an extension in any letter case, or null.
const Kind *forExtension(std::string_view extension);
// The kind whose content this is, or null: `start` is the file's first bytes.
const Kind *forContent(std::string_view start);
// The kind of a file by its name alone, for names that say it whatever their extension
// (".DS_Store", "._photo.jpg"), or null.
const Kind *forName(std::string_view fileName);

// What cleaning this file costs in memory at most, told from the file before work starts: a few
// MB for kinds walked where they lie and for files copied as they are, the declared unpacked size
// for packages, a few times the file for the rest.
std::uint64_t memoryCost(const Kind *kind, Formats::ByteFile &file);

// Whether a file in an archive is nothing but metadata (an XMP sidecar beside a photo, a Mac's
// Finder data), by its name or its content: archives leave it out rather than refuse.
bool isMetadataItself(const std::string &path, const Formats::Bytes &content);

// A file inside another, `depth` containers deep, through the pass of the kind its content is.
// Content of no known kind comes back as it is, noted as kept with `where`. Throws
// Formats::Refused, naming `where`, when a known kind cannot be cleaned.
Formats::Bytes cleanEmbedded(const Formats::Bytes &content, int depth, const std::string &where);
// What a file inside another still holds, by the check of its kind; nothing for unknown content.
Formats::Findings checkEmbedded(const Formats::Bytes &content, int depth);

}  // namespace Kinds
