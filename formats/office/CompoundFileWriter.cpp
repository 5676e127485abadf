#include "formats/office/CompoundFileWriter.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"

#include <cstdint>
#include <limits>

namespace {

using Formats::Bytes;

constexpr std::uint32_t EndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t FreeSector = 0xFFFFFFFF;
constexpr std::uint32_t TableSector = 0xFFFFFFFD;
constexpr std::uint32_t ListSector = 0xFFFFFFFC;
constexpr std::size_t KeptHeader = 0x22;
constexpr std::size_t HeaderFatSectors = 109;
constexpr std::size_t MiniSectorSize = 64;
constexpr std::size_t MiniStreamCutoff = 4096;
constexpr std::size_t EntrySize = 128;
constexpr std::size_t StartSector = 0x74;
constexpr std::size_t StreamSize = 0x78;

// Pieces laid end to end in whole units, and the table that chains each piece's units.
struct Units {
    std::size_t unit;
    Bytes bytes;
    std::vector<std::uint32_t> table;

    // The first unit of the piece, or the end of a chain for an empty one.
    std::uint32_t append(const Bytes &piece) {
        const std::size_t count = (piece.size() + unit - 1) / unit;
        if (count == 0) {
            return EndOfChain;
        }
        const auto first = static_cast<std::uint32_t>(table.size());
        for (std::size_t i = 1; i <= count; ++i) {
            table.push_back(i < count ? first + static_cast<std::uint32_t>(i) : EndOfChain);
        }
        bytes += piece;
        bytes.append(count * unit - piece.size(), '\0');
        return first;
    }
};

Bytes tableBytes(const std::vector<std::uint32_t> &table) {
    Bytes bytes(4 * table.size(), '\0');
    for (std::size_t i = 0; i < table.size(); ++i) {
        Formats::putLittleEndian32(bytes, 4 * i, table[i]);
    }
    return bytes;
}

void placeStream(Bytes &directory, std::size_t entry, std::uint32_t start, std::size_t size,
                 std::size_t sectorSize) {
    if (sectorSize == 512 && size > std::numeric_limits<std::uint32_t>::max()) {
        throw Formats::Refused("a stream too large for its compound file",
                               Formats::Cause::TooLarge);
    }
    const std::size_t at = EntrySize * entry;
    Formats::putLittleEndian32(directory, at + StartSector, start);
    Formats::putLittleEndian32(directory, at + StreamSize, static_cast<std::uint32_t>(size));
    Formats::putLittleEndian32(directory, at + StreamSize + 4,
                               static_cast<std::uint32_t>(std::uint64_t{size} >> 32));
}

// How many sectors the sector table takes, and how many list sectors name those the header has no
// room for, when both are counted in the table too.
std::pair<std::size_t, std::size_t> tableSectors(std::size_t sectors, std::size_t perSector) {
    std::size_t table = 0;
    std::size_t lists = 0;
    while (table * perSector < sectors + table + lists) {
        ++table;
        lists = table > HeaderFatSectors
                    ? (table - HeaderFatSectors + perSector - 2) / (perSector - 1)
                    : 0;
    }
    return {table, lists};
}

}  // namespace

namespace CompoundFile {

Bytes written(const Layout &layout) {
    const std::size_t sectorSize = layout.sectorSize;
    Units sectors{sectorSize, {}, {}};
    Units mini{MiniSectorSize, {}, {}};
    Bytes directory = layout.directory;
    for (const auto &[entry, content] : layout.streams) {
        Formats::throwIfStopped();
        Units &units = content.size() < MiniStreamCutoff ? mini : sectors;
        placeStream(directory, entry, units.append(content), content.size(), sectorSize);
    }
    placeStream(directory, 0, sectors.append(mini.bytes), mini.bytes.size(), sectorSize);
    const Bytes miniTable = tableBytes(mini.table);
    const std::uint32_t miniTableStart = sectors.append(miniTable);
    const std::uint32_t directoryStart = sectors.append(directory);

    const std::size_t perSector = sectorSize / 4;
    const auto [tableCount, listCount] = tableSectors(sectors.table.size(), perSector);
    const auto firstTable = static_cast<std::uint32_t>(sectors.table.size());
    std::vector<std::uint32_t> table = sectors.table;
    table.insert(table.end(), tableCount, TableSector);
    table.insert(table.end(), listCount, ListSector);
    table.resize(tableCount * perSector, FreeSector);

    Bytes header(sectorSize, '\0');
    header.replace(0, KeptHeader, layout.header, 0, KeptHeader);
    Bytes lists(listCount * sectorSize, '\xFF');
    for (std::size_t i = 0; i < tableCount; ++i) {
        const auto sector = static_cast<std::uint32_t>(firstTable + i);
        if (i < HeaderFatSectors) {
            Formats::putLittleEndian32(header, 0x4C + 4 * i, sector);
        } else {
            const std::size_t slot = i - HeaderFatSectors;
            Formats::putLittleEndian32(
                lists, slot / (perSector - 1) * sectorSize + slot % (perSector - 1) * 4, sector);
        }
    }
    for (std::size_t i = tableCount; i < HeaderFatSectors; ++i) {
        Formats::putLittleEndian32(header, 0x4C + 4 * i, FreeSector);
    }
    const auto firstList = static_cast<std::uint32_t>(firstTable + tableCount);
    for (std::size_t i = 0; i < listCount; ++i) {
        Formats::putLittleEndian32(
            lists, (i + 1) * sectorSize - 4,
            i + 1 < listCount ? firstList + static_cast<std::uint32_t>(i + 1) : EndOfChain);
    }
    const auto count = [&](const Bytes &piece) {
        return static_cast<std::uint32_t>((piece.size() + sectorSize - 1) / sectorSize);
    };
    Formats::putLittleEndian32(header, 0x20, 6);  // mini sector shift, then reserved
    Formats::putLittleEndian32(header, 0x28, sectorSize == 512 ? 0 : count(directory));
    Formats::putLittleEndian32(header, 0x2C, static_cast<std::uint32_t>(tableCount));
    Formats::putLittleEndian32(header, 0x30, directoryStart);
    Formats::putLittleEndian32(header, 0x38, MiniStreamCutoff);
    Formats::putLittleEndian32(header, 0x3C, miniTableStart);
    Formats::putLittleEndian32(header, 0x40, count(miniTable));
    Formats::putLittleEndian32(header, 0x44, listCount ? firstList : EndOfChain);
    Formats::putLittleEndian32(header, 0x48, static_cast<std::uint32_t>(listCount));
    return header + sectors.bytes + tableBytes(table) + lists;
}

}  // namespace CompoundFile
