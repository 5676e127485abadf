#pragma once

#include "formats/core/Formats.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace CompoundFile {

// What a compound file is written anew from.
struct Layout {
    Formats::Bytes header;  // the first 0x22 bytes: signature, class, versions, sector size
    std::size_t sectorSize = 512;
    // Every directory entry, 128 bytes each, in order, so that their links stay good.
    Formats::Bytes directory;
    // The content of each stream, by its entry's index.
    std::vector<std::pair<std::size_t, Formats::Bytes>> streams;
};

// The file with each stream in consecutive sectors (the small ones in the mini stream), then the
// mini sector table, the directory and the sector table, its start and size set in each entry.
// Nothing unused survives: no free sector, no earlier content.
Formats::Bytes written(const Layout &layout);

}  // namespace CompoundFile
