#include "formats/pictures/Tiff.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"
#include "formats/pictures/ExifDirectory.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace {

constexpr std::uint16_t SubIfds = 330;
constexpr std::size_t HeaderSize = 8;
constexpr std::size_t EntrySize = 12;
// Pages and sub-images of a real file number in the hundreds at most; a hostile chain has no end.
constexpr std::size_t MaxDirectories = 16384;

// Old-style JPEG keeps its tables where these tags point.
constexpr std::uint16_t JpegQuantTables = 519;
constexpr std::uint16_t JpegDcTables = 520;
constexpr std::uint16_t JpegAcTables = 521;
constexpr std::size_t QuantTableSize = 64;
constexpr std::size_t HuffmanCountsSize = 16;  // code counts per length, then the values

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

// Tags whose numbers the walk reads: where sub-images, picture data and tables lie.
const std::set<std::uint16_t> NumberTags = {
    SubIfds, 273, 279, 324, 325, 513, 514, JpegQuantTables, JpegDcTables, JpegAcTables};

// Bytes per value of each field type; 0 for a type this pass does not know.
std::size_t typeSize(std::uint16_t type) {
    static const std::map<std::uint16_t, std::size_t> sizes = {
        {1, 1}, {2, 1}, {3, 2},  {4, 4},  {5, 8},  {6, 1},  {7, 1},
        {8, 2}, {9, 4}, {10, 8}, {11, 4}, {12, 8}, {13, 4}, {129, 1}};  // 129: UTF-8 text
    const auto found = sizes.find(type);
    return found == sizes.end() ? 0 : found->second;
}

struct Range {
    std::size_t start;
    std::size_t size;
    std::size_t end() const { return start + size; }
};

bool startsEarlier(const Range &a, const Range &b) {
    return a.start < b.start;
}

// The ranges in order, those that share bytes made one.
std::vector<Range> merged(std::vector<Range> ranges) {
    std::sort(ranges.begin(), ranges.end(), startsEarlier);
    std::vector<Range> result;
    for (const Range &range : ranges) {
        if (!result.empty() && range.start < result.back().end()) {
            result.back().size = std::max(result.back().end(), range.end()) - result.back().start;
        } else if (range.size != 0) {
            result.push_back(range);
        }
    }
    return result;
}

// Whether the range shares bytes with any of the merged ones.
bool sharesBytes(const std::vector<Range> &merged, const Range &range) {
    const auto after =
        std::upper_bound(merged.begin(), merged.end(), range.start,
                         [](std::size_t start, const Range &stay) { return start < stay.end(); });
    return after != merged.end() && after->start < range.end();
}

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
            throw Formats::Refused("BigTIFF pictures cannot be cleaned yet",
                                   Formats::Cause::Unsupported);
        } else if (tiff.compare(0, 4, "MM\0*", 4) != 0) {
            throw Formats::Refused("not a TIFF picture");
        }
    }

    std::size_t size() const { return tiff_.size(); }
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
        const std::uint64_t size = static_cast<std::uint64_t>(typeSize(type)) * count;
        if (size <= 4) {
            value = {at + 8, static_cast<std::size_t>(size)};
        } else {
            if (size > reader.size()) {
                throw damaged();
            }
            value = {reader.u32(at + 8), static_cast<std::size_t>(size)};
            reader.need(value.start, value.size);
        }
    }
};

// Rewrites every directory in place with the entries that draw the picture, and zeros every byte
// that neither a kept directory, a kept value nor the picture's data accounts for: values of
// dropped entries, the Exif and GPS directories they led to, and whatever else lay unreferenced.
class Cleaner {
  public:
    explicit Cleaner(const Formats::Bytes &tiff) : reader_(tiff), result_(tiff) {}

    Formats::Bytes run() {
        tables_.push_back({0, HeaderSize});
        std::vector<std::uint32_t> pending = {reader_.u32(4)};
        while (!pending.empty()) {
            Formats::throwIfStopped();
            const std::uint32_t directory = pending.back();
            pending.pop_back();
            if (directory == 0 || !visited_.insert(directory).second) {
                continue;
            }
            if (visited_.size() > MaxDirectories) {
                throw Formats::Refused("TIFF holds too many directories", Formats::Cause::TooLarge);
            }
            keepDirectory(directory, pending);
        }
        refuseSharedBytes();
        Formats::Bytes cleaned(result_.size(), '\0');
        for (const std::vector<Range> *ranges : {&tables_, &values_}) {
            for (const Range &range : *ranges) {
                cleaned.replace(range.start, range.size, result_, range.start, range.size);
            }
        }
        return cleaned;
    }

  private:
    void keepDirectory(std::size_t at, std::vector<std::uint32_t> &pending) {
        const std::uint16_t count = reader_.u16(at);
        const std::size_t entries = at + 2, next = entries + EntrySize * count;
        reader_.need(next, 4);
        spend(next + 4 - at);
        tables_.push_back({at, next + 4 - at});
        Formats::Bytes table;
        std::map<std::uint16_t, std::vector<std::uint32_t>> numbers;
        std::size_t subDirectoriesAt = 0;  // the value field of the last sub-image entry
        for (std::size_t entryAt = entries; entryAt < next; entryAt += EntrySize) {
            const Entry entry(reader_, entryAt);
            if (!drawsPicture(entry.tag)) {
                if (entry.value.size > 4) {  // a smaller value lies in the entry, which goes
                    dropped_.push_back(entry.value);
                }
                continue;
            }
            table += result_.substr(entryAt, EntrySize);
            if (entry.value.size > 4) {  // else it lies in the entry, which stays
                values_.push_back(entry.value);
            }
            if (entry.tag == SubIfds) {
                subDirectoriesAt = entryAt + 8;
            }
            if (NumberTags.count(entry.tag) != 0) {
                numbers[entry.tag] = numbersOf(entry);
            }
        }
        if (subDirectoriesAt && numbers[SubIfds].empty()) {  // a type the walk cannot size
            numbers[SubIfds] = {reader_.u32(subDirectoriesAt)};
        }
        for (std::uint32_t subDirectory : numbers[SubIfds]) {
            pending.push_back(subDirectory);
        }
        keepPictureData(numbers);
        keepJpegTables(numbers);
        pending.push_back(reader_.u32(next));
        table = reader_.u16Bytes(static_cast<std::uint16_t>(table.size() / EntrySize)) + table +
                result_.substr(next, 4);
        table.resize(next + 4 - at, '\0');
        result_.replace(at, table.size(), table);
    }

    // The value as offsets or lengths: 16-bit ones for SHORT, else 32-bit ones filling the value,
    // whatever type it claims.
    std::vector<std::uint32_t> numbersOf(const Entry &entry) {
        if (entry.value.size > 4) {
            spend(entry.value.size);
        }
        std::vector<std::uint32_t> result;
        const bool shorts = entry.type == 3;
        const std::size_t width = shorts ? 2 : 4;
        for (std::size_t at = entry.value.start; at + width <= entry.value.end(); at += width) {
            result.push_back(shorts ? reader_.u16(at) : reader_.u32(at));
        }
        return result;
    }

    void keepPictureData(std::map<std::uint16_t, std::vector<std::uint32_t>> &numbers) {
        for (const auto &[offsetsTag, lengthsTag] : DataLengthTags) {
            const std::vector<std::uint32_t> &offsets = numbers[offsetsTag];
            const std::vector<std::uint32_t> &lengths = numbers[lengthsTag];
            for (std::size_t i = 0; i < offsets.size() && i < lengths.size(); ++i) {
                keepInside({offsets[i], lengths[i]});
            }
        }
    }

    void keepJpegTables(std::map<std::uint16_t, std::vector<std::uint32_t>> &numbers) {
        for (std::uint32_t table : numbers[JpegQuantTables]) {
            keepInside({table, QuantTableSize});
        }
        for (const std::uint16_t tag : {JpegDcTables, JpegAcTables}) {
            for (std::uint32_t table : numbers[tag]) {
                std::size_t size = HuffmanCountsSize;
                for (std::size_t i = 0; i < HuffmanCountsSize && table + i < reader_.size(); ++i) {
                    size += static_cast<unsigned char>(result_[table + i]);
                }
                keepInside({table, size});
            }
        }
    }

    // A picture cut short keeps what it has.
    void keepInside(Range range) {
        const std::size_t start = std::min(range.start, reader_.size());
        values_.push_back({start, std::min(range.size, reader_.size() - start)});
    }

    // Directories and number arrays of a real file do not overlap, so together they fit in it;
    // a hostile file repeats them to make the walk endless.
    void spend(std::size_t bytes) {
        read_ += bytes;
        if (read_ > reader_.size()) {
            throw Formats::Refused("damaged TIFF: its directories overlap");
        }
    }

    // Zeroing a dropped value that shares bytes with what stays would damage the picture, and
    // rewriting a directory that shares bytes with another or with a value would change them.
    void refuseSharedBytes() {
        std::vector<Range> everything = values_;
        everything.insert(everything.end(), tables_.begin(), tables_.end());
        const std::vector<Range> stays = merged(everything), values = merged(values_);
        for (const Range &range : dropped_) {
            if (sharesBytes(stays, range)) {
                throw Formats::Refused("TIFF metadata shares bytes with the picture");
            }
        }
        std::sort(tables_.begin(), tables_.end(), startsEarlier);
        std::size_t end = 0;
        for (const Range &table : tables_) {
            if (table.start < end || sharesBytes(values, table)) {
                throw Formats::Refused("damaged TIFF: a directory shares bytes with other data");
            }
            end = table.end();
        }
    }

    Reader reader_;
    Formats::Bytes result_;
    std::set<std::size_t> visited_;
    std::vector<Range> tables_;  // the header and each directory
    std::vector<Range> values_;  // values that do not fit in their entry, and the picture's data
    std::vector<Range> dropped_;
    std::size_t read_ = 0;
};

}  // namespace

namespace Tiff {

Formats::Bytes clean(const Formats::Bytes &tiff) {
    return Cleaner(tiff).run();
}

}  // namespace Tiff

// The check below reads the result on its own terms, with tables of its own: a tag the cleaning
// keeps by mistake, or bytes it forgets to zero, show here.
namespace {

constexpr std::size_t MaxDirectoriesChecked = 16384;
const char *const Unreadable = "TIFF directories cannot be read";

// The only tags a cleaned picture directory may hold.
bool allowedInPicture(unsigned tag) {
    static const std::set<unsigned> allowed = {
        254, 255, 256, 257, 258, 259, 262, 263, 264, 265, 266, 273, 274, 277, 278, 279,
        280, 281, 282, 283, 284, 286, 287, 290, 291, 292, 293, 296, 297, 301, 317, 318,
        319, 320, 321, 322, 323, 324, 325, 330, 332, 333, 334, 336, 338, 339, 340, 341,
        342, 347, 512, 513, 514, 515, 517, 518, 519, 520, 521, 529, 530, 531, 532, 34675};
    return allowed.count(tag) != 0;
}

using ExifDirectory::Directory;

// What a tag left in a directory names: a picture directory's unknown tags by number, anything
// else by the directory it stands in.
void name(unsigned tag, Directory in, Formats::Findings &findings) {
    if (const Formats::Finding *finding = ExifDirectory::named(tag, in)) {
        findings.add(finding->category, finding->name);
    } else {
        findings.add(in == Directory::Picture ? "tag " + std::to_string(tag) : "Exif");
    }
}

// Which directory a pointer tag leads to: sub-images are pictures too.
bool leadsToDirectory(unsigned tag, Directory &to) {
    if (tag == 330) {
        to = Directory::Picture;
        return true;
    }
    return ExifDirectory::leadsTo(tag, to);
}

std::uint64_t bytesPerValue(unsigned type) {
    constexpr std::uint64_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < 14 ? sizes[type] : type == 129 ? 1 : 0;
}

class Inspection {
  public:
    explicit Inspection(const Formats::Bytes &tiff) : tiff_(tiff), reader_(header(tiff)) {}

    Formats::Findings run() {
        accounted_.push_back({0, 8});
        pending_.push_back({u32(4), Directory::Picture});
        while (!pending_.empty()) {
            const auto [at, holds] = pending_.back();
            pending_.pop_back();
            if (at == 0 || !seen_.insert(at).second) {
                continue;
            }
            if (seen_.size() > MaxDirectoriesChecked) {
                throw Formats::Refused("TIFF holds too many directories", Formats::Cause::TooLarge);
            }
            readDirectory(at, holds);
        }
        if (holdsUnaccountedBytes()) {
            findings_.add("data no directory points to");
        }
        return findings_;
    }

  private:
    static std::string_view header(const Formats::Bytes &tiff) {
        if (tiff.compare(0, 4, "II*\0", 4) != 0 && tiff.compare(0, 4, "MM\0*", 4) != 0) {
            throw Formats::Refused("is not a TIFF picture");
        }
        if (tiff.size() < 8) {
            throw Formats::Refused(Unreadable);
        }
        return tiff;
    }

    std::uint32_t u16(std::uint64_t at) const { return reader_.u16(at); }
    std::uint32_t u32(std::uint64_t at) const { return reader_.u32(at); }
    bool inside(std::uint64_t at, std::uint64_t size) const { return reader_.holds(at, size); }

    // Tables and arrays of a real file fit in it side by side; repeated ones make a hostile file.
    void spend(std::uint64_t bytes) {
        spent_ += bytes;
        if (spent_ > tiff_.size()) {
            throw Formats::Refused("TIFF directories overlap");
        }
    }

    void account(std::uint64_t at, std::uint64_t size) {
        const std::uint64_t start = std::min<std::uint64_t>(at, tiff_.size());
        accounted_.push_back({start, std::min<std::uint64_t>(size, tiff_.size() - start)});
    }

    void readDirectory(std::uint64_t at, Directory holds) {
        // Where strips, tiles, an old-style JPEG stream and its tables lie, and how long they are.
        static const std::set<unsigned> numbered = {273, 279, 324, 325, 513, 514, 519, 520, 521};
        if (!inside(at, 2) || !inside(at + 2, 12ull * u16(at) + 4)) {
            throw Formats::Refused(Unreadable);
        }
        const std::uint64_t end = at + 2 + 12ull * u16(at);
        spend(end + 4 - at);
        account(at, end + 4 - at);
        std::map<unsigned, std::vector<std::uint32_t>> numbers;
        for (std::uint64_t entry = at + 2; entry < end; entry += 12) {
            const unsigned tag = u16(entry), type = u16(entry + 2);
            if (holds != Directory::Picture || !allowedInPicture(tag)) {
                name(tag, holds, findings_);
            }
            const std::uint64_t bytes = bytesPerValue(type) * u32(entry + 4);
            const std::uint64_t valueAt = bytes <= 4 ? entry + 8 : u32(entry + 8);
            if (!inside(valueAt, bytes)) {
                throw Formats::Refused(Unreadable);
            }
            account(valueAt, bytes);
            Directory leadsTo = Directory::Picture;
            const bool pointer = leadsToDirectory(tag, leadsTo);
            if (pointer || numbered.count(tag) != 0) {
                if (bytes > 4) {
                    spend(bytes);
                }
                numbers[tag] = valuesAt(type, valueAt, bytes);
            }
            if (pointer && numbers[tag].empty()) {  // a type or count that sizes nothing
                numbers[tag] = {u32(entry + 8)};
            }
            if (pointer) {
                for (const std::uint32_t directory : numbers[tag]) {
                    pending_.push_back({directory, leadsTo});
                }
            }
        }
        accountPictureData(numbers);
        pending_.push_back({u32(end), holds});
    }

    // Offsets and lengths: 16-bit ones in a SHORT value, 32-bit ones in any other.
    std::vector<std::uint32_t> valuesAt(unsigned type, std::uint64_t at,
                                        std::uint64_t bytes) const {
        std::vector<std::uint32_t> values;
        const std::uint64_t width = type == 3 ? 2 : 4;
        for (std::uint64_t i = 0; i + width <= bytes; i += width) {
            values.push_back(width == 2 ? u16(at + i) : u32(at + i));
        }
        return values;
    }

    // Strips, tiles, an old-style JPEG stream and its tables.
    void accountPictureData(std::map<unsigned, std::vector<std::uint32_t>> &numbers) {
        for (const auto &[offsets, lengths] : {std::pair{273u, 279u}, {324u, 325u}, {513u, 514u}}) {
            for (std::size_t i = 0; i < numbers[offsets].size() && i < numbers[lengths].size();
                 ++i) {
                account(numbers[offsets][i], numbers[lengths][i]);
            }
        }
        for (const std::uint32_t table : numbers[519]) {
            account(table, 64);
        }
        for (const unsigned tag : {520u, 521u}) {
            for (const std::uint32_t table : numbers[tag]) {
                std::uint64_t size = 16;
                for (std::uint64_t i = table; i < table + 16ull && i < tiff_.size(); ++i) {
                    size += Formats::byteAt(tiff_, i);
                }
                account(table, size);
            }
        }
    }

    bool holdsUnaccountedBytes() {
        std::sort(accounted_.begin(), accounted_.end());
        std::uint64_t covered = 0;
        const auto nonZero = [&](std::uint64_t from, std::uint64_t to) {
            return std::any_of(tiff_.begin() + from, tiff_.begin() + to,
                               [](char byte) { return byte != 0; });
        };
        for (const auto &[start, size] : accounted_) {
            if (start > covered && nonZero(covered, start)) {
                return true;
            }
            covered = std::max(covered, start + size);
        }
        return nonZero(covered, tiff_.size());
    }

    const Formats::Bytes &tiff_;
    const ExifDirectory::Reader reader_;
    Formats::Findings findings_;
    std::set<std::uint64_t> seen_;
    std::vector<std::pair<std::uint64_t, Directory>> pending_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> accounted_;
    std::uint64_t spent_ = 0;
};

}  // namespace

namespace Tiff {

// Walks every directory again on its own terms, following page links, sub-directories and the
// Exif, GPS and interoperability pointers, names the metadata tags it meets, and looks for bytes
// that no directory accounts for.
Formats::Findings check(const Formats::Bytes &tiff) {
    return Inspection(tiff).run();
}

std::string remainingMetadata(const Formats::Bytes &tiff) {
    return Formats::reasonOf(check, tiff);
}

}  // namespace Tiff
