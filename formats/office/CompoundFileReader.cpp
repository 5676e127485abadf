#include "formats/office/CompoundFileReader.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Limits.h"
#include "formats/core/Stop.h"
#include "formats/office/CompoundFileWriter.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

constexpr char Signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::size_t HeaderSize = 512;
constexpr std::size_t HeaderFatSectors = 109;
constexpr std::size_t MiniSectorSize = 64;
constexpr std::uint64_t MiniStreamCutoff = 4096;
constexpr std::size_t EntrySize = 128;
constexpr std::uint32_t EndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t FreeSector = 0xFFFFFFFF;
constexpr std::uint32_t NoEntry = 0xFFFFFFFF;
constexpr char StorageEntry = 1;
constexpr char StreamEntry = 2;
constexpr char RootEntry = 5;

// Directory entry fields
constexpr std::size_t NameLength = 0x40;
constexpr std::size_t Type = 0x42;
constexpr std::size_t LeftSibling = 0x44;
constexpr std::size_t RightSibling = 0x48;
constexpr std::size_t Child = 0x4C;
constexpr std::size_t Times = 0x64;
constexpr std::size_t TimesSize = 16;
constexpr std::size_t StartSector = 0x74;
constexpr std::size_t StreamSize = 0x78;
// Name, kind and color; class, state and times; size.
constexpr std::pair<std::size_t, std::size_t> UnusedEntryData[] = {
    {0, LeftSibling}, {Child + 4, StartSector}, {StreamSize, EntrySize}};

Formats::Refused damaged(const std::string &what) {
    return Formats::Refused("damaged compound file: " + what);
}

// What a name is in a path: its control characters (the "\001" of "\001Ole") dropped.
std::string printable(const std::string &name) {
    std::string shown;
    for (const char character : name) {
        if (static_cast<unsigned char>(character) >= 0x20) {
            shown += character;
        }
    }
    return shown;
}

}  // namespace

namespace CompoundFile {

Reader::Reader(Formats::Bytes &file) : file_(file) {
    if (file.size() < HeaderSize || file.compare(0, 8, Signature, 8) != 0) {
        throw Formats::Refused("not a compound file");
    }
    const std::uint16_t sectorShift = Formats::littleEndian16(file, 0x1E);
    if ((sectorShift != 9 && sectorShift != 12) || Formats::littleEndian16(file, 0x20) != 6 ||
        Formats::littleEndian32(file, 0x38) != MiniStreamCutoff) {
        throw damaged("unknown sector sizes");
    }
    sectorSize_ = std::size_t{1} << sectorShift;
    used_.assign(file.size() / sectorSize_, 0);
    fat_ = readTable(fatSectors());
    const std::vector<std::uint32_t> directory =
        chain(Formats::littleEndian32(file, 0x30), fat_, "directory");
    for (const std::uint32_t sector : directory) {
        const std::size_t offset = sectorOffset(sector, sectorSize_);
        for (std::size_t at = 0; at < sectorSize_; at += EntrySize) {
            entries_.push_back(offset + at);
        }
    }
    miniFat_ = readTable(chain(Formats::littleEndian32(file, 0x3C), fat_, "mini sector table"));
    walkDirectory();
}

// The file offset of a sector whose first `size` bytes lie in the file.
std::size_t Reader::sectorOffset(std::uint32_t sector, std::size_t size) const {
    const std::uint64_t offset = (std::uint64_t{sector} + 1) * sectorSize_;
    if (offset > file_.size() || size > file_.size() - offset) {
        throw damaged("a sector lies past the end");
    }
    return static_cast<std::size_t>(offset);
}

std::vector<std::uint32_t> Reader::chain(std::uint32_t start,
                                         const std::vector<std::uint32_t> &table,
                                         const std::string &what) {
    std::vector<std::uint32_t> sectors;
    std::vector<bool> seen(table.size(), false);
    for (std::uint32_t sector = start; sector != EndOfChain; sector = table[sector]) {
        if (sector >= table.size()) {
            throw damaged("the " + what + " leaves its sector table");
        }
        if (seen[sector]) {
            throw damaged("the " + what + " runs in a loop");
        }
        seen[sector] = true;
        sectors.push_back(sector);
    }
    if (&table == &fat_) {
        markUsed(sectors);
    } else {
        markMiniUsed(sectors);
    }
    return sectors;
}

// Two chains that share a sector would have one stream's cleaning write into another, or
// free-space zeroing wipe what a chain still holds.
void Reader::markUsed(const std::vector<std::uint32_t> &sectors) {
    if (sectors.empty()) {
        return;
    }
    const std::uint32_t owner = ++chains_;  // two chains may start at the same sector
    for (const std::uint32_t sector : sectors) {
        if (sector < used_.size()) {
            if (used_[sector] != 0 && used_[sector] != owner) {
                throw damaged("two streams share a sector");
            }
            used_[sector] = owner;
        }
    }
}

// Mini sectors too: one stream's cleaning would wipe what another holds.
void Reader::markMiniUsed(const std::vector<std::uint32_t> &sectors) {
    usedMini_.resize(miniFat_.size(), false);
    for (const std::uint32_t sector : sectors) {
        if (usedMini_[sector]) {
            throw damaged("two streams share a sector");
        }
        usedMini_[sector] = true;
    }
}

std::vector<std::uint32_t> Reader::readTable(const std::vector<std::uint32_t> &sectors) const {
    std::vector<std::uint32_t> table;
    table.reserve(sectors.size() * (sectorSize_ / 4));
    for (const std::uint32_t sector : sectors) {
        const std::size_t offset = sectorOffset(sector, sectorSize_);
        for (std::size_t at = 0; at < sectorSize_; at += 4) {
            table.push_back(Formats::littleEndian32(file_, offset + at));
        }
    }
    return table;
}

// The sectors of the sector table: the first ones listed in the header, the rest in a chain of
// list sectors, each ending with the next one's number.
std::vector<std::uint32_t> Reader::fatSectors() {
    const std::uint32_t count = Formats::littleEndian32(file_, 0x2C);
    if (count > used_.size()) {
        throw damaged("more table sectors than the file holds");
    }
    std::vector<std::uint32_t> sectors;
    for (std::size_t i = 0; i < HeaderFatSectors && sectors.size() < count; ++i) {
        sectors.push_back(Formats::littleEndian32(file_, 0x4C + 4 * i));
    }
    std::vector<std::uint32_t> listSectors;
    std::uint32_t next = Formats::littleEndian32(file_, 0x44);
    while (sectors.size() < count) {
        if (std::find(listSectors.begin(), listSectors.end(), next) != listSectors.end() ||
            listSectors.size() >= count) {
            throw damaged("the list of table sectors runs in a loop");
        }
        listSectors.push_back(next);
        const std::size_t offset = sectorOffset(next, sectorSize_);
        for (std::size_t at = 0; at + 4 < sectorSize_ && sectors.size() < count; at += 4) {
            sectors.push_back(Formats::littleEndian32(file_, offset + at));
        }
        next = Formats::littleEndian32(file_, offset + sectorSize_ - 4);
    }
    markUsed(sectors);
    markUsed(listSectors);
    return sectors;
}

std::vector<Run> Reader::regularRuns(std::uint32_t start, std::uint64_t size) {
    if (size > file_.size()) {
        throw damaged("a stream is longer than the file");
    }
    const std::vector<std::uint32_t> sectors = chain(start, fat_, "stream");
    std::vector<Run> runs;
    for (std::size_t i = 0; i * sectorSize_ < size; ++i) {
        if (i >= sectors.size()) {
            throw damaged("a stream is longer than its sectors");
        }
        const std::size_t length = std::min<std::uint64_t>(sectorSize_, size - i * sectorSize_);
        runs.push_back({sectorOffset(sectors[i], length), length});
    }
    return runs;
}

std::vector<Run> Reader::miniRuns(std::uint32_t start, std::uint64_t size) {
    const std::vector<std::uint32_t> sectors = chain(start, miniFat_, "stream");
    std::vector<Run> runs;
    for (std::size_t i = 0; i * MiniSectorSize < size; ++i) {
        if (i >= sectors.size()) {
            throw damaged("a stream is longer than its sectors");
        }
        const std::size_t length =
            std::min<std::uint64_t>(MiniSectorSize, size - i * MiniSectorSize);
        runs.push_back(miniSector(sectors[i], length));
    }
    return runs;
}

// Where the first `size` bytes of a mini sector lie: inside one sector of the mini stream, since
// mini sectors divide sectors evenly.
Run Reader::miniSector(std::uint32_t sector, std::size_t size) const {
    const std::uint64_t at = std::uint64_t{sector} * MiniSectorSize;
    const std::size_t piece = static_cast<std::size_t>(at / sectorSize_);
    const std::size_t within = static_cast<std::size_t>(at % sectorSize_);
    if (piece >= miniStream_.size() || within + size > miniStream_[piece].size) {
        throw damaged("a mini sector lies past the mini stream");
    }
    return {miniStream_[piece].offset + within, size};
}

// The name up to its zero, which must end where the entry says: readers that take one or the
// other would see different streams.
std::string Reader::entryName(std::size_t at) const {
    std::string name;
    std::size_t i = 0;
    for (; i < NameLength && Formats::littleEndian16(file_, at + i) != 0; i += 2) {
        const std::uint16_t character = Formats::littleEndian16(file_, at + i);
        name += character < 0x80 ? static_cast<char>(character) : '?';
    }
    if (Formats::littleEndian16(file_, at + NameLength) != i + 2) {
        throw damaged("an entry's name does not end where it says");
    }
    return name;
}

// Walks the tree of entries from the root, each entry at most once, with a list of entries to
// visit instead of recursion.
void Reader::walkDirectory() {
    if (entries_.empty() || file_[entries_[0] + Type] != RootEntry) {
        throw damaged("no root entry");
    }
    const std::size_t root = entries_[0];
    miniStream_ = regularRuns(Formats::littleEndian32(file_, root + StartSector),
                              Formats::littleEndian32(file_, root + StreamSize));
    struct Pending {
        std::uint32_t entry;
        std::size_t storage;
        std::string folder;  // the storages' path, ending in '/'
    };
    std::vector<Pending> pending{{Formats::littleEndian32(file_, root + Child), 0, ""}};
    reached_.assign(entries_.size(), false);
    reached_[0] = true;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (next.entry == NoEntry) {
            continue;
        }
        if (next.entry >= entries_.size() || reached_[next.entry]) {
            throw damaged("the directory runs in a loop");
        }
        reached_[next.entry] = true;
        const std::size_t at = entries_[next.entry];
        pending.push_back(
            {Formats::littleEndian32(file_, at + LeftSibling), next.storage, next.folder});
        pending.push_back(
            {Formats::littleEndian32(file_, at + RightSibling), next.storage, next.folder});
        if (file_[at + Type] == StorageEntry) {
            pending.push_back({Formats::littleEndian32(file_, at + Child), next.entry,
                               next.folder.size() < Formats::Limits::PathLength
                                   ? next.folder + printable(entryName(at)) + "/"
                                   : next.folder});
        } else if (file_[at + Type] == StreamEntry) {
            addStream(next.entry, next.storage, next.folder);
        } else {
            throw damaged("an entry of unknown kind");
        }
    }
}

void Reader::addStream(std::size_t entry, std::size_t storage, const std::string &folder) {
    const std::size_t at = entries_[entry];
    std::uint64_t size = Formats::littleEndian32(file_, at + StreamSize);
    if (sectorSize_ != HeaderSize) {  // files of small sectors may leave the high half unset
        size |= std::uint64_t{Formats::littleEndian32(file_, at + StreamSize + 4)} << 32;
    }
    streamBytes_ += size;
    if (streamBytes_ > file_.size()) {  // streams that share sectors would multiply the work
        throw damaged("streams overlap");
    }
    const std::uint32_t start = Formats::littleEndian32(file_, at + StartSector);
    const std::string name = entryName(at);
    streams_.push_back(
        {name, folder + printable(name), storage, entry,
         size < MiniStreamCutoff ? miniRuns(start, size) : regularRuns(start, size)});
}

const Stream *Reader::sibling(const Stream &stream, const std::string &name) const {
    for (const Stream &other : streams_) {
        if (other.storage == stream.storage && sameName(other.name, name)) {
            return &other;
        }
    }
    return nullptr;
}

Formats::Bytes Reader::read(const Stream &stream) const {
    if (const auto resized = resized_.find(stream.entry); resized != resized_.end()) {
        return resized->second;
    }
    Formats::Bytes bytes;
    for (const Run &run : stream.runs) {
        Formats::throwIfStopped();
        bytes.append(file_, run.offset, run.size);
    }
    return bytes;
}

void Reader::overwrite(const Stream &stream, const Formats::Bytes &bytes) {
    std::size_t size = 0;
    for (const Run &run : stream.runs) {
        size += run.size;
    }
    if (bytes.size() != size) {
        resized_[stream.entry] = bytes;
        return;
    }
    resized_.erase(stream.entry);
    std::size_t from = 0;
    for (const Run &run : stream.runs) {
        Formats::throwIfStopped();
        file_.replace(run.offset, run.size, bytes, from, run.size);
        from += run.size;
    }
}

void Reader::finish() {
    zeroTimesAndFreeSpace();
    if (!resized_.empty()) {
        file_ = rewritten();
    }
}

// Entries keep their places, so the links of the directory's tree hold in the new file.
Formats::Bytes Reader::rewritten() const {
    Layout layout{file_.substr(0, HeaderSize), sectorSize_, {}, {}};
    for (const std::size_t at : entries_) {
        layout.directory.append(file_, at, EntrySize);
    }
    for (const Stream &stream : streams_) {
        layout.streams.emplace_back(stream.entry, read(stream));
    }
    return written(layout);
}

void Reader::zeroTimesAndFreeSpace() {
    for (std::size_t entry = 0; entry < entries_.size(); ++entry) {
        const std::size_t at = entries_[entry];
        if (reached_[entry]) {
            std::fill_n(file_.begin() + at + Times, TimesSize, '\0');
        } else {
            // All an unused entry may tell: its links and start are bare numbers.
            for (const auto &[from, to] : UnusedEntryData) {
                std::fill(file_.begin() + static_cast<std::ptrdiff_t>(at + from),
                          file_.begin() + static_cast<std::ptrdiff_t>(at + to), '\0');
            }
        }
    }
    for (std::uint32_t sector = 0; sector < fat_.size() && sector < used_.size(); ++sector) {
        Formats::throwIfStopped();
        const std::size_t offset = (std::size_t{sector} + 1) * sectorSize_;
        if (fat_[sector] == FreeSector && used_[sector] == 0 && offset < file_.size()) {
            std::fill_n(file_.begin() + offset, std::min(sectorSize_, file_.size() - offset), '\0');
        }
    }
    const std::size_t miniSectors = miniStream_.size() * (sectorSize_ / MiniSectorSize);
    for (std::uint32_t sector = 0; sector < miniFat_.size() && sector < miniSectors; ++sector) {
        if (miniFat_[sector] == FreeSector) {
            const std::size_t offset = (std::size_t{sector} * MiniSectorSize) % sectorSize_;
            const Run &piece = miniStream_[std::size_t{sector} * MiniSectorSize / sectorSize_];
            if (offset < piece.size) {
                std::fill_n(file_.begin() + piece.offset + offset,
                            std::min(MiniSectorSize, piece.size - offset), '\0');
            }
        }
    }
}

bool sameName(const std::string &one, const std::string &other) {
    return std::equal(one.begin(), one.end(), other.begin(), other.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace CompoundFile
