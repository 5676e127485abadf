#include "formats/Tiff.h"

#include "formats/ByteOrder.h"
#include "formats/Findings.h"

#include <map>
#include <set>
#include <vector>

namespace {

constexpr std::uint16_t SubIfds = 330;
constexpr std::uint16_t ExifIfd = 34665;
constexpr std::uint16_t GpsIfd = 34853;
constexpr std::uint16_t InteropIfd = 40965;
constexpr std::size_t EntrySize = 12;

// Tags that say how to decode, lay out, colour or orient the picture, and where its data lies.
bool drawsPicture(std::uint16_t tag) {
    static const std::set<std::uint16_t> kept = {
        254,  255, 256, 257, 258, 259, 262, 263, 264, 265, 266,  // kind, size, samples, coding
        273,  274, 277, 278, 279, 280, 281, 282, 283, 284,       // strips, orientation, density
        286,  287, 290, 291, 292, 293, 296, 297, 301,            // position, fax, page, transfer
        317,  318, 319, 320, 321,                                // predictor, colour, palette
        322,  323, 324, 325, 330,                                // tiles, sub-images
        332,  333, 334, 336, 338, 339, 340, 341, 342,            // inks, extra samples, formats
        347,  512, 513, 514, 515, 517, 518, 519, 520, 521,       // JPEG
        529,  530, 531, 532,                                     // YCbCr
        34675};                                                  // ICC profile
    return kept.count(tag) != 0;
}

// Pairs of tags giving the offsets and lengths of the picture's data.
const std::map<std::uint16_t, std::uint16_t> DataLengthTags = {{273, 279}, {324, 325}, {513, 514}};

struct Range {
    std::size_t start;
    std::size_t size;
    bool overlaps(const Range &other) const {
        return start < other.start + other.size && other.start < start + size;
    }
};

Formats::Refused damaged() {
    return Formats::Refused("damaged TIFF: a directory runs past the end");
}

// Reads numbers in the file's byte order, refusing any read past the end.
class Reader {
  public:
    explicit Reader(const Formats::Bytes &tiff) : tiff_(tiff) {
        if (tiff.compare(0, 4, "II*\0", 4) == 0) {
            little_ = true;
        } else if (tiff.compare(0, 4, "II+\0", 4) == 0 || tiff.compare(0, 4, "MM\0+", 4) == 0) {
            throw Formats::Refused("BigTIFF pictures cannot be cleaned yet");
        } else if (tiff.compare(0, 4, "MM\0*", 4) != 0) {
            throw Formats::Refused("not a TIFF picture");
        }
    }

    void need(std::size_t at, std::size_t size) const {
        if (size > tiff_.size() || at > tiff_.size() - size) {
            throw damaged();
        }
    }
    std::uint16_t u16(std::size_t at) const {
        need(at, 2);
        return little_ ? Formats::littleEndian16(tiff_, at) : Formats::bigEndian16(tiff_, at);
    }
    std::uint32_t u32(std::size_t at) const {
        need(at, 4);
        return little_ ? Formats::littleEndian32(tiff_, at) : Formats::bigEndian32(tiff_, at);
    }
    Formats::Bytes u16Bytes(std::uint16_t value) const {
        const char low = static_cast<char>(value & 0xFF), high = static_cast<char>(value >> 8);
        return little_ ? Formats::Bytes{low, high} : Formats::Bytes{high, low};
    }

  private:
    const Formats::Bytes &tiff_;
    bool little_ = false;
};

// One directory entry: its tag and where its value lies.
struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    Range value{};  // inside the entry when it fits in four bytes

    Entry(const Reader &reader, std::size_t at)
        : tag(reader.u16(at)), type(reader.u16(at + 2)), count(reader.u32(at + 4)) {
        static const std::size_t typeSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
        const std::uint64_t size =
            static_cast<std::uint64_t>(type < 14 ? typeSizes[type] : 0) * count;
        if (size <= 4) {
            value = {at + 8, static_cast<std::size_t>(size)};
        } else {
            value = {reader.u32(at + 8), static_cast<std::size_t>(size)};
            reader.need(value.start, value.size);
        }
    }

    // The value as numbers: SHORT, LONG and IFD values, one per count.
    std::vector<std::uint32_t> numbers(const Reader &reader) const {
        std::vector<std::uint32_t> result;
        for (std::uint32_t i = 0; i < count && (type == 3 || type == 4 || type == 13); ++i) {
            result.push_back(type == 3 ? reader.u16(value.start + 2 * i)
                                       : reader.u32(value.start + 4 * i));
        }
        return result;
    }
};

// Rewrites every directory in place with the entries that draw the picture, and zeros the rest.
class Cleaner {
  public:
    explicit Cleaner(const Formats::Bytes &tiff) : reader_(tiff), result_(tiff) {}

    Formats::Bytes run() {
        std::vector<std::uint32_t> pending = {reader_.u32(4)};
        while (!pending.empty()) {
            const std::uint32_t directory = pending.back();
            pending.pop_back();
            if (directory != 0 && visited_.insert(directory).second) {
                keepDirectory(directory, pending);
            }
        }
        for (const Range &range : dropped_) {
            for (const Range &stays : kept_) {
                if (range.overlaps(stays)) {
                    throw Formats::Refused("TIFF metadata shares bytes with the picture");
                }
            }
            result_.replace(range.start, range.size, range.size, '\0');
        }
        return result_;
    }

  private:
    void keepDirectory(std::size_t at, std::vector<std::uint32_t> &pending) {
        const std::uint16_t count = reader_.u16(at);
        const std::size_t entries = at + 2, next = entries + EntrySize * count;
        reader_.need(next, 4);
        kept_.push_back({at, next + 4 - at});
        Formats::Bytes table;
        std::map<std::uint16_t, std::vector<std::uint32_t>> numbers;
        for (std::size_t entryAt = entries; entryAt < next; entryAt += EntrySize) {
            const Entry entry(reader_, entryAt);
            if (!drawsPicture(entry.tag)) {
                drop(entry);
                continue;
            }
            table += result_.substr(entryAt, EntrySize);
            kept_.push_back(entry.value);
            numbers[entry.tag] = entry.numbers(reader_);
        }
        for (std::uint32_t subDirectory : numbers[SubIfds]) {
            pending.push_back(subDirectory);
        }
        keepPictureData(numbers);
        pending.push_back(reader_.u32(next));
        table = reader_.u16Bytes(static_cast<std::uint16_t>(table.size() / EntrySize)) + table +
                result_.substr(next, 4);
        table.resize(next + 4 - at, '\0');
        result_.replace(at, table.size(), table);
    }

    void keepPictureData(std::map<std::uint16_t, std::vector<std::uint32_t>> &numbers) {
        for (const auto &[offsetsTag, lengthsTag] : DataLengthTags) {
            const std::vector<std::uint32_t> &offsets = numbers[offsetsTag];
            const std::vector<std::uint32_t> &lengths = numbers[lengthsTag];
            for (std::size_t i = 0; i < offsets.size() && i < lengths.size(); ++i) {
                kept_.push_back({offsets[i], lengths[i]});
            }
        }
    }

    void drop(const Entry &entry) {
        if (entry.value.size > 4) {  // a smaller value lies in its entry
            dropped_.push_back(entry.value);
        }
        const bool pointsToDirectory =
            entry.tag == ExifIfd || entry.tag == GpsIfd || entry.tag == InteropIfd;
        if (pointsToDirectory && entry.count == 1) {
            dropDirectory(reader_.u32(entry.value.start));
        }
    }

    void dropDirectory(std::size_t at) {
        if (!visited_.insert(at).second) {
            return;
        }
        const std::uint16_t count = reader_.u16(at);
        reader_.need(at + 2, EntrySize * count + 4);
        dropped_.push_back({at, 2 + EntrySize * count + 4});
        for (std::size_t i = 0; i < count; ++i) {
            drop(Entry(reader_, at + 2 + EntrySize * i));
        }
    }

    Reader reader_;
    Formats::Bytes result_;
    std::set<std::size_t> visited_;
    std::vector<Range> kept_;
    std::vector<Range> dropped_;
};

}  // namespace

namespace Tiff {

Formats::Bytes clean(const Formats::Bytes &tiff) {
    return Cleaner(tiff).run();
}

// Walks every directory again on its own terms, following page links, sub-directories and the
// Exif, GPS and interoperability pointers, and names the metadata tags it meets.
std::string remainingMetadata(const Formats::Bytes &tiff) {
    static const std::map<unsigned, const char *> metadataTags = {{270, "ImageDescription"},
                                                                  {271, "Make"},
                                                                  {272, "Model"},
                                                                  {305, "Software"},
                                                                  {306, "DateTime"},
                                                                  {315, "Artist"},
                                                                  {316, "HostComputer"},
                                                                  {700, "XMP"},
                                                                  {33432, "Copyright"},
                                                                  {33723, "IPTC"},
                                                                  {34377, "Photoshop"},
                                                                  {34665, "Exif"},
                                                                  {34853, "GPS"}};
    const bool little = tiff.compare(0, 4, "II*\0", 4) == 0;
    if (!little && tiff.compare(0, 4, "MM\0*", 4) != 0) {
        return "is not a TIFF picture";
    }
    const std::uint64_t size = tiff.size();
    if (size < 8) {
        return "TIFF directories cannot be read";
    }
    const auto u16 = [&](std::uint64_t at) -> std::uint32_t {
        return little ? Formats::littleEndian16(tiff, at) : Formats::bigEndian16(tiff, at);
    };
    const auto u32 = [&](std::uint64_t at) {
        return little ? Formats::littleEndian32(tiff, at) : Formats::bigEndian32(tiff, at);
    };
    Formats::Findings findings;
    std::set<std::uint32_t> seen;
    std::vector<std::uint32_t> directories = {u32(4)};
    while (!directories.empty()) {
        const std::uint32_t directory = directories.back();
        directories.pop_back();
        if (directory == 0 || !seen.insert(directory).second) {
            continue;
        }
        if (directory + 2ull > size || directory + 6ull + 12ull * u16(directory) > size) {
            return "TIFF directories cannot be read";
        }
        const std::uint32_t entries = u16(directory);
        for (std::uint64_t at = directory + 2ull; at < directory + 2ull + 12ull * entries;
             at += 12) {
            const unsigned tag = u16(at);
            if (metadataTags.count(tag) != 0) {
                findings.add(metadataTags.at(tag));
            }
            const std::uint32_t count = u32(at + 4);
            const bool pointer =
                tag == SubIfds || tag == ExifIfd || tag == GpsIfd || tag == InteropIfd;
            if (pointer && count == 1) {
                directories.push_back(u32(at + 8));
            } else if (pointer) {
                if (u32(at + 8) + 4ull * count > size) {
                    return "TIFF directories cannot be read";
                }
                for (std::uint32_t i = 0; i < count; ++i) {
                    directories.push_back(u32(u32(at + 8) + 4ull * i));
                }
            }
        }
        directories.push_back(u32(directory + 2ull + 12ull * entries));
    }
    return findings.reason();
}

}  // namespace Tiff
