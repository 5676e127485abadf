#include "formats/video/IsoBmff.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace {

using Formats::ByteFile;
using Formats::Bytes;

constexpr int MaxDepth = 12;
constexpr std::uint64_t MaxBoxes = 4'000'000;
// The largest box read whole: a picture's item tables, a dropped track's sample tables.
constexpr std::uint64_t MaxReadBox = 64 << 20;
constexpr std::size_t LongestHeader = 32;  // size, type, largesize, user type
constexpr std::size_t FullBoxHead = 4;     // version, flags
// A handler box's name follows its type and three reserved words; it names the writing software.
constexpr std::size_t HandlerNameAt = FullBoxHead + 20;

std::uint64_t bigEndian64(std::string_view bytes, std::size_t at) {
    return std::uint64_t{Formats::bigEndian32(bytes, at)} << 32 |
           Formats::bigEndian32(bytes, at + 4);
}

Bytes bigEndian32Bytes(std::uint32_t value) {
    Bytes bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>(value >> (24 - 8 * i) & 0xFF);
    }
    return bytes;
}

// A box: where its header starts, where its content starts, and where it ends.
struct Box {
    std::uint64_t at = 0;
    std::uint64_t content = 0;
    std::uint64_t end = 0;
    std::string type;
};

// Where the bytes of a picture's item lie.
struct Extent {
    unsigned method = 0;  // 0 in the file, 1 in the item data box
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

class Walk {
  public:
    explicit Walk(ByteFile &file) : file_(file), damaged_(kindDamaged()) {}

    void clean() {
        collectMediaData();
        cleanRange(0, file_.size());
        for (std::uint32_t track : fragmentTracks_) {
            if (droppedTracks_.count(track) != 0) {
                throw Formats::Refused("fragmented video with a metadata track");
            }
        }
    }

  private:
    [[noreturn]] void refuse() const { throw Formats::Refused(damaged_); }

    std::string kindDamaged() {
        const Bytes head = file_.readUpTo(0, 12);
        const bool picture = head.size() == 12 && head.compare(4, 4, "ftyp") == 0 &&
                             std::set<std::string>{"mif1", "msf1", "heic", "heix", "heim",
                                                   "heis", "hevc", "hevx", "avif", "avis"}
                                     .count(head.substr(8, 4)) != 0;
        return picture ? "damaged HEIF box" : "damaged MP4 box";
    }

    // The box whose header starts at `at` and which must end by `end`; header holds at least the
    // first LongestHeader bytes of it, or all of it when it is shorter.
    Box parse(std::string_view header, std::uint64_t at, std::uint64_t end) const {
        if (header.size() < 8) {
            refuse();
        }
        Box box{at, at + 8, 0, std::string(header.substr(4, 4))};
        std::uint64_t size = Formats::bigEndian32(header, 0);
        if (size == 1) {
            if (header.size() < 16) {
                refuse();
            }
            size = bigEndian64(header, 8);
            box.content += 8;
        } else if (size == 0) {
            size = end - at;
        }
        if (box.type == "uuid") {
            box.content += 16;
        }
        if (size < box.content - at || size > end - at) {
            refuse();
        }
        box.end = at + size;
        return box;
    }

    Box boxAt(std::uint64_t at, std::uint64_t end) {
        if (++boxes_ > MaxBoxes) {
            throw Formats::Refused("too many boxes");
        }
        return parse(file_.readUpTo(at, static_cast<std::size_t>(
                                            std::min<std::uint64_t>(LongestHeader, end - at))),
                     at, end);
    }

    std::vector<Box> children(std::uint64_t from, std::uint64_t end) {
        std::vector<Box> found;
        for (std::uint64_t at = from; at < end; at = found.back().end) {
            found.push_back(boxAt(at, end));
        }
        return found;
    }

    std::optional<Box> child(const Box &parent, const std::string &type, std::uint64_t skip = 0) {
        if (parent.end - parent.content < skip) {
            refuse();
        }
        for (const Box &box : children(parent.content + skip, parent.end)) {
            if (box.type == type) {
                return box;
            }
        }
        return std::nullopt;
    }

    Bytes contentOf(const Box &box) {
        if (box.end - box.content > MaxReadBox) {
            throw Formats::Refused("a table too large to read");
        }
        return file_.read(box.content, static_cast<std::size_t>(box.end - box.content));
    }

    void collectMediaData() {
        for (const Box &box : children(0, file_.size())) {
            if (box.type == "mdat") {
                mediaData_.push_back(box);
            }
        }
    }

    // What goes becomes a free box of the same size, filled with zeros.
    void erase(const Box &box) {
        file_.write(box.at + 4, "free");
        const std::uint64_t sizeFields = box.content - box.at - (box.type == "uuid" ? 16 : 0);
        file_.zero(box.at + sizeFields, box.end - box.at - sizeFields);
    }

    static bool identifies(const std::string &type) {
        return type == "udta" || type == "meta" || type == "uuid" || type == "Xtra" ||
               type == "keys" || type == "ilst" || static_cast<unsigned char>(type[0]) == 0xA9;
    }

    static bool keptAtTop(const std::string &type) {
        static const std::set<std::string> kept = {"ftyp", "mdat", "free", "skip", "wide",
                                                   "sidx", "ssix", "styp", "prft", "pdin",
                                                   "mfra", "moov", "moof", "meta"};
        return kept.count(type) != 0;
    }

    void cleanRange(std::uint64_t from, std::uint64_t end) {
        struct Range {
            std::uint64_t from, end;
            int depth;
        };
        std::vector<Range> pending{{from, end, 0}};
        while (!pending.empty()) {
            const Range range = pending.back();
            pending.pop_back();
            for (const Box &box : children(range.from, range.end)) {
                Formats::throwIfStopped();
                if (cleanBox(box, range.depth)) {
                    if (range.depth + 1 > MaxDepth) {
                        throw Formats::Refused("boxes nested too deep");
                    }
                    pending.push_back({box.content, box.end, range.depth + 1});
                }
            }
        }
    }

    // Cleans one box; true when its children are to be walked.
    bool cleanBox(const Box &box, int depth) {
        static const std::set<std::string> walked = {"moov", "trak", "mdia", "minf",
                                                     "mvex", "edts", "moof"};
        if (depth == 0 && box.type == "meta" && isPicture(box)) {
            cleanPictureItems(box);
        } else if ((depth == 0 && !keptAtTop(box.type)) || identifies(box.type)) {
            erase(box);
        } else if (box.type == "trak" && isMetadataTrack(box)) {
            dropTrack(box);
            return false;
        } else if (box.type == "trak") {
            blankSampleEntryNames(box);
            return true;
        } else if (box.type == "mvhd" || box.type == "tkhd" || box.type == "mdhd") {
            zeroTimes(box);
        } else if (box.type == "hdlr") {
            zeroHandlerName(box);
        } else if (box.type == "traf") {
            noteFragmentTrack(box);
        } else {
            return walked.count(box.type) != 0;
        }
        return false;
    }

    void zeroTimes(const Box &box) {
        const Bytes head = file_.read(box.content, 1);
        const std::uint64_t times = head[0] == 1 ? 16 : 8;
        if (box.end - box.content < FullBoxHead + times) {
            refuse();
        }
        file_.zero(box.content + FullBoxHead, times);
    }

    void zeroHandlerName(const Box &box) {
        if (box.end - box.content > HandlerNameAt) {
            file_.zero(box.content + HandlerNameAt, box.end - box.content - HandlerNameAt);
        }
    }

    std::string handlerType(const Box &parent, std::uint64_t skip) {
        const std::optional<Box> handler = child(parent, "hdlr", skip);
        if (!handler || handler->end - handler->content < FullBoxHead + 8) {
            return {};
        }
        return file_.read(handler->content + FullBoxHead + 4, 4);
    }

    // A QuickTime meta box has no version and flags: its first word is its handler's size.
    bool isPicture(const Box &meta) {
        return meta.end - meta.content >= FullBoxHead &&
               Formats::bigEndian32(file_.read(meta.content, FullBoxHead), 0) == 0 &&
               handlerType(meta, FullBoxHead) == "pict";
    }

    std::optional<Box> descend(Box box, const std::vector<std::string> &path) {
        for (const std::string &type : path) {
            const std::optional<Box> next = child(box, type);
            if (!next) {
                return std::nullopt;
            }
            box = *next;
        }
        return box;
    }

    bool isMetadataTrack(const Box &trak) {
        const std::optional<Box> media = child(trak, "mdia");
        if (!media) {
            return false;
        }
        if (handlerType(*media, 0) == "meta") {
            return true;
        }
        const std::optional<Box> descriptions = descend(*media, {"minf", "stbl", "stsd"});
        if (!descriptions || descriptions->end - descriptions->content < FullBoxHead + 4) {
            return false;
        }
        for (const Box &entry :
             children(descriptions->content + FullBoxHead + 4, descriptions->end)) {
            if (entry.type == "mebx" || entry.type == "gpmd" || entry.type == "camm") {
                return true;
            }
        }
        return false;
    }

    // Picture and sound descriptions name the writing program (vendor) and encoder (compressor);
    // players show neither.
    void blankSampleEntryNames(const Box &trak) {
        constexpr std::uint64_t VendorAt = 20, VendorEnd = 24, CompressorAt = 50,
                                CompressorEnd = 82;
        const std::optional<Box> media = child(trak, "mdia");
        const std::string handler = media ? handlerType(*media, 0) : std::string();
        const std::optional<Box> descriptions =
            media ? descend(*media, {"minf", "stbl", "stsd"}) : std::nullopt;
        if ((handler != "vide" && handler != "soun") || !descriptions ||
            descriptions->end - descriptions->content < FullBoxHead + 4) {
            return;
        }
        for (const Box &entry :
             children(descriptions->content + FullBoxHead + 4, descriptions->end)) {
            if (entry.end - entry.at >= VendorEnd) {
                file_.zero(entry.at + VendorAt, VendorEnd - VendorAt);
            }
            if (handler == "vide" && entry.end - entry.at >= CompressorEnd) {
                file_.zero(entry.at + CompressorAt, CompressorEnd - CompressorAt);
            }
        }
    }

    std::uint32_t trackId(const Box &trak) {
        const std::optional<Box> header = child(trak, "tkhd");
        if (!header) {
            refuse();
        }
        const Bytes content = contentOf(*header);
        const std::size_t at = content.empty() || content[0] != 1 ? 12 : 20;
        if (content.size() < at + 4) {
            refuse();
        }
        return Formats::bigEndian32(content, at);
    }

    void noteFragmentTrack(const Box &traf) {
        const std::optional<Box> header = child(traf, "tfhd");
        if (!header) {
            refuse();
        }
        const Bytes content = contentOf(*header);
        if (content.size() < FullBoxHead + 4) {
            refuse();
        }
        fragmentTracks_.insert(Formats::bigEndian32(content, FullBoxHead));
    }

    void dropTrack(const Box &trak) {
        droppedTracks_.insert(trackId(trak));
        const std::optional<Box> table = descend(trak, {"mdia", "minf", "stbl"});
        if (table) {
            zeroSamples(*table);
        }
        erase(trak);
    }

    Bytes tableOf(const Box &sampleTable, const std::string &type, const std::string &other = {}) {
        std::optional<Box> box = child(sampleTable, type);
        if (!box && !other.empty()) {
            box = child(sampleTable, other);
        }
        return box ? box->type + contentOf(*box) : Bytes();
    }

    // Zeroes every chunk of samples the track's tables point at, each inside the media data.
    void zeroSamples(const Box &sampleTable) {
        const Bytes chunks = tableOf(sampleTable, "stco", "co64");
        const Bytes toChunk = tableOf(sampleTable, "stsc");
        const Bytes sizes = tableOf(sampleTable, "stsz", "stz2");
        if (chunks.empty() || toChunk.empty() || sizes.empty()) {
            return;
        }
        const SampleSizes sampleSizes(sizes, *this);
        const std::size_t chunkWidth = chunks.compare(0, 4, "co64") == 0 ? 8 : 4;
        const std::uint64_t chunkCount = countIn(chunks, chunkWidth);
        const std::uint64_t runCount = countIn(toChunk, 12);
        std::uint64_t sample = 0;
        std::uint64_t run = 0;
        for (std::uint64_t chunk = 0; chunk < chunkCount; ++chunk) {
            Formats::throwIfStopped();
            while (run + 1 < runCount && entry32(toChunk, run + 1, 12) <= chunk + 1) {
                ++run;
            }
            const std::uint64_t perChunk =
                runCount == 0 ? 0 : Formats::bigEndian32(toChunk, 12 + 12 * run + 4);
            const std::uint64_t length = sampleSizes.total(sample, perChunk);
            sample += perChunk;
            const std::size_t at = 12 + chunkWidth * chunk;
            zeroMediaData(
                chunkWidth == 8 ? bigEndian64(chunks, at) : Formats::bigEndian32(chunks, at),
                length);
        }
    }

    // Entries of a table read by tableOf: its type, version and flags, then a count.
    std::uint64_t countIn(const Bytes &table, std::size_t width) const {
        if (table.size() < 12) {
            refuse();
        }
        const std::uint64_t count = Formats::bigEndian32(table, 8);
        if (count > (table.size() - 12) / width) {
            refuse();
        }
        return count;
    }

    static std::uint32_t entry32(const Bytes &table, std::uint64_t index, std::size_t width) {
        return Formats::bigEndian32(table, static_cast<std::size_t>(12 + index * width));
    }

    class SampleSizes {
      public:
        SampleSizes(const Bytes &table, const Walk &walk) : table_(table), walk_(walk) {
            if (table.size() < 16) {
                walk.refuse();
            }
            count_ = Formats::bigEndian32(table, 12);
            if (table.compare(0, 4, "stz2") == 0) {
                bits_ = Formats::byteAt(table, 11);
            } else {
                fixed_ = Formats::bigEndian32(table, 8);
                bits_ = fixed_ == 0 ? 32 : 0;
            }
            if ((bits_ != 0 && bits_ != 4 && bits_ != 8 && bits_ != 16 && bits_ != 32) ||
                (bits_ != 0 && count_ > (table.size() - 16) * 8 / bits_)) {
                walk.refuse();
            }
        }

        std::uint64_t total(std::uint64_t first, std::uint64_t count) const {
            if (first > count_ || count > count_ - first) {
                walk_.refuse();
            }
            if (bits_ == 0) {
                return fixed_ * count;
            }
            std::uint64_t sum = 0;
            for (std::uint64_t sample = first; sample < first + count; ++sample) {
                sum += sizeOf(sample);
            }
            return sum;
        }

      private:
        std::uint64_t sizeOf(std::uint64_t sample) const {
            const std::size_t bit = static_cast<std::size_t>(sample * bits_);
            const std::size_t at = 16 + bit / 8;
            switch (bits_) {
                case 4:
                    return Formats::byteAt(table_, at) >> (bit % 8 == 0 ? 4 : 0) & 0xF;
                case 8:
                    return Formats::byteAt(table_, at);
                case 16:
                    return Formats::bigEndian16(table_, at);
                default:
                    return Formats::bigEndian32(table_, at);
            }
        }

        const Bytes &table_;
        const Walk &walk_;
        std::uint64_t count_ = 0;
        std::uint64_t fixed_ = 0;
        unsigned bits_ = 0;
    };

    // A range that lies outside the media data belongs to something else: refuse rather than
    // overwrite it.
    void zeroMediaData(std::uint64_t offset, std::uint64_t length) {
        for (const Box &media : mediaData_) {
            if (offset >= media.content && offset <= media.end && length <= media.end - offset) {
                file_.zero(offset, length);
                return;
            }
        }
        refuse();
    }

    // ---- Pictures: the item tables of the top-level meta box, rewritten in memory.

    std::vector<Box> childrenIn(const Bytes &bytes, std::uint64_t from, std::uint64_t end) const {
        std::vector<Box> found;
        for (std::uint64_t at = from; at < end; at = found.back().end) {
            found.push_back(
                parse(std::string_view(bytes).substr(static_cast<std::size_t>(at), LongestHeader),
                      at, end));
        }
        return found;
    }

    static const Box *partNamed(const std::vector<Box> &parts, const std::string &type) {
        const auto found = std::find_if(parts.begin(), parts.end(),
                                        [&](const Box &box) { return box.type == type; });
        return found == parts.end() ? nullptr : &*found;
    }

    void cleanPictureItems(const Box &metaBox) {
        if (metaBox.end - metaBox.at > MaxReadBox) {
            throw Formats::Refused("a table too large to read");
        }
        Bytes meta = file_.read(metaBox.at, static_cast<std::size_t>(metaBox.end - metaBox.at));
        const std::uint64_t first = metaBox.content - metaBox.at + FullBoxHead;
        if (first > meta.size()) {
            refuse();
        }
        const std::vector<Box> parts = childrenIn(meta, first, meta.size());
        const Box *list = partNamed(parts, "iinf");
        const std::set<std::uint32_t> removed =
            list ? metadataItems(meta, *list) : std::set<std::uint32_t>();
        Bytes rebuilt = meta.substr(0, first);
        std::vector<Extent> extents;
        for (const Box &part : parts) {
            if (part.type == "hdlr" && part.end - part.content > HandlerNameAt) {
                std::fill(meta.begin() + static_cast<std::ptrdiff_t>(part.content + HandlerNameAt),
                          meta.begin() + static_cast<std::ptrdiff_t>(part.end), '\0');
            }
            const Bytes content = meta.substr(part.content, part.end - part.content);
            if (removed.empty()) {
                rebuilt += meta.substr(part.at, part.end - part.at);
            } else if (part.type == "iinf") {
                rebuilt += boxBytes("iinf", keptInfos(content, removed));
            } else if (part.type == "iloc") {
                rebuilt += boxBytes("iloc", keptLocations(content, removed, extents));
            } else if (part.type == "iref") {
                rebuilt += boxBytes("iref", keptReferences(content, removed));
            } else if (part.type == "iprp") {
                rebuilt += boxBytes("iprp", keptProperties(content, removed));
            } else {
                rebuilt += meta.substr(part.at, part.end - part.at);
            }
        }
        zeroItemData(metaBox, rebuilt, extents);
        const std::uint64_t spare = meta.size() - rebuilt.size();
        if (rebuilt.size() > meta.size() || (spare != 0 && spare < 8)) {
            refuse();
        }
        if (spare != 0) {
            rebuilt += bigEndian32Bytes(static_cast<std::uint32_t>(spare)) + "free" +
                       Bytes(spare - 8, '\0');
        }
        file_.write(metaBox.at, rebuilt);
    }

    static Bytes boxBytes(const std::string &type, const Bytes &content) {
        return bigEndian32Bytes(static_cast<std::uint32_t>(8 + content.size())) + type + content;
    }

    // A bounded reader over bytes from..end of one table.
    class Cursor {
      public:
        Cursor(const Bytes &bytes, std::size_t from, std::size_t end, const Walk &walk)
            : bytes_(bytes), walk_(walk), at_(from), end_(end) {}
        std::size_t at() const { return at_; }
        std::uint64_t number(std::size_t width) {
            need(width);
            std::uint64_t value = 0;
            for (std::size_t i = 0; i < width; ++i) {
                value = value << 8 | Formats::byteAt(bytes_, at_ + i);
            }
            at_ += width;
            return value;
        }
        std::string text() {
            const std::size_t end = bytes_.find('\0', at_);
            if (end == Bytes::npos || end >= end_) {
                walk_.refuse();
            }
            std::string value = bytes_.substr(at_, end - at_);
            at_ = end + 1;
            return value;
        }
        void skip(std::uint64_t count) {
            need(count);
            at_ += static_cast<std::size_t>(count);
        }

      private:
        void need(std::uint64_t count) const {
            if (count > end_ - at_) {
                walk_.refuse();
            }
        }
        const Bytes &bytes_;
        const Walk &walk_;
        std::size_t at_;
        const std::size_t end_;
    };

    // Exif items, and XMP kept as an item of content type application/rdf+xml.
    std::set<std::uint32_t> metadataItems(const Bytes &meta, const Box &list) {
        std::set<std::uint32_t> found;
        const Bytes content = meta.substr(list.content, list.end - list.content);
        const std::size_t first = FullBoxHead + (content.empty() || content[0] == 0 ? 2 : 4);
        if (first > content.size()) {
            refuse();
        }
        for (const Box &info : childrenIn(content, first, content.size())) {
            Cursor entry(content, info.content, info.end, *this);
            const std::uint64_t version = entry.number(1);
            entry.skip(3);
            const std::uint32_t item =
                static_cast<std::uint32_t>(entry.number(version == 3 ? 4 : 2));
            entry.skip(2);
            // Before version 2 an entry has no type, only a name and a content type.
            std::string itemType = "mime";
            if (version >= 2) {
                itemType = content.substr(entry.at(), 4);
                entry.skip(4);
            }
            entry.text();
            if (itemType == "Exif" ||
                (itemType == "mime" && entry.text() == "application/rdf+xml")) {
                found.insert(item);
            }
        }
        return found;
    }

    Bytes keptInfos(const Bytes &content, const std::set<std::uint32_t> &removed) {
        const std::size_t width = content.empty() || content[0] == 0 ? 2 : 4;
        if (FullBoxHead + width > content.size()) {
            refuse();
        }
        Bytes kept;
        std::uint64_t count = 0;
        for (const Box &info : childrenIn(content, FullBoxHead + width, content.size())) {
            Cursor entry(content, info.content, info.end, *this);
            const std::uint64_t version = entry.number(1);
            entry.skip(3);
            if (removed.count(static_cast<std::uint32_t>(entry.number(version == 3 ? 4 : 2))) ==
                0) {
                kept += content.substr(info.at, info.end - info.at);
                ++count;
            }
        }
        Bytes head = content.substr(0, FullBoxHead);
        head += bigEndian32Bytes(static_cast<std::uint32_t>(count)).substr(4 - width);
        return head + kept;
    }

    Bytes keptLocations(const Bytes &content, const std::set<std::uint32_t> &removed,
                        std::vector<Extent> &extents) {
        Cursor table(content, 0, content.size(), *this);
        const std::uint64_t version = table.number(1);
        table.skip(3);
        const std::uint64_t sizes = table.number(2);
        const std::size_t offsetSize = sizes >> 12 & 0xF, lengthSize = sizes >> 8 & 0xF,
                          baseSize = sizes >> 4 & 0xF, indexSize = version >= 1 ? sizes & 0xF : 0;
        const std::size_t idWidth = version == 2 ? 4 : 2;
        const std::uint64_t count = table.number(idWidth);
        const std::size_t head = table.at();
        Bytes kept;
        std::uint64_t keptCount = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::size_t start = table.at();
            const std::uint32_t item = static_cast<std::uint32_t>(table.number(idWidth));
            const unsigned method = version >= 1 ? table.number(2) & 0xF : 0;
            const std::uint64_t reference = table.number(2);
            const std::uint64_t base = table.number(baseSize);
            const std::uint64_t extentCount = table.number(2);
            const bool goes = removed.count(item) != 0;
            if (goes && (reference != 0 || method > 1)) {
                throw Formats::Refused("picture metadata kept where it cannot be erased");
            }
            for (std::uint64_t e = 0; e < extentCount; ++e) {
                table.skip(indexSize);
                const std::uint64_t offset = table.number(offsetSize);
                const std::uint64_t length = table.number(lengthSize);
                if (goes) {
                    if (length == 0 || base + offset < base) {
                        refuse();
                    }
                    extents.push_back({method, base + offset, length});
                }
            }
            if (!goes) {
                kept += content.substr(start, table.at() - start);
                ++keptCount;
            }
        }
        return content.substr(0, head - idWidth) +
               bigEndian32Bytes(static_cast<std::uint32_t>(keptCount)).substr(4 - idWidth) + kept;
    }

    Bytes keptReferences(const Bytes &content, const std::set<std::uint32_t> &removed) {
        if (content.size() < FullBoxHead) {
            refuse();
        }
        const std::size_t width = content[0] == 0 ? 2 : 4;
        Bytes kept = content.substr(0, FullBoxHead);
        for (const Box &reference : childrenIn(content, FullBoxHead, content.size())) {
            Cursor entry(content, reference.content, reference.end, *this);
            const std::uint32_t from = static_cast<std::uint32_t>(entry.number(width));
            const std::uint64_t count = entry.number(2);
            Bytes targets;
            std::uint64_t keptCount = 0;
            for (std::uint64_t i = 0; i < count; ++i) {
                const std::uint32_t to = static_cast<std::uint32_t>(entry.number(width));
                if (removed.count(to) == 0) {
                    targets += bigEndian32Bytes(to).substr(4 - width);
                    ++keptCount;
                }
            }
            if (removed.count(from) == 0 && keptCount != 0) {
                kept +=
                    boxBytes(reference.type,
                             bigEndian32Bytes(from).substr(4 - width) +
                                 bigEndian32Bytes(static_cast<std::uint32_t>(keptCount)).substr(2) +
                                 targets);
            }
        }
        return kept;
    }

    Bytes keptProperties(const Bytes &content, const std::set<std::uint32_t> &removed) {
        Bytes kept;
        for (const Box &part : childrenIn(content, 0, content.size())) {
            if (part.type == "ipma") {
                kept += boxBytes(
                    "ipma", keptAssociations(content.substr(part.content, part.end - part.content),
                                             removed));
            } else {
                kept += content.substr(part.at, part.end - part.at);
            }
        }
        return kept;
    }

    Bytes keptAssociations(const Bytes &content, const std::set<std::uint32_t> &removed) {
        Cursor table(content, 0, content.size(), *this);
        const std::uint64_t version = table.number(1);
        const bool wide = (table.number(3) & 1) != 0;
        const std::uint64_t count = table.number(4);
        Bytes kept;
        std::uint64_t keptCount = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::size_t start = table.at();
            const std::uint32_t item =
                static_cast<std::uint32_t>(table.number(version < 1 ? 2 : 4));
            table.skip(table.number(1) * (wide ? 2 : 1));
            if (removed.count(item) == 0) {
                kept += content.substr(start, table.at() - start);
                ++keptCount;
            }
        }
        return content.substr(0, FullBoxHead) +
               bigEndian32Bytes(static_cast<std::uint32_t>(keptCount)) + kept;
    }

    // Item data in the file is zeroed where it lies; data in the item data box is zeroed in the
    // rebuilt tables, whose item data box keeps its place relative to its own start.
    void zeroItemData(const Box &metaBox, Bytes &rebuilt, const std::vector<Extent> &extents) {
        const std::vector<Box> parts =
            childrenIn(rebuilt, metaBox.content - metaBox.at + FullBoxHead, rebuilt.size());
        const Box *data = partNamed(parts, "idat");
        for (const Extent &extent : extents) {
            if (extent.method == 1) {
                if (!data || extent.offset > data->end - data->content ||
                    extent.length > data->end - data->content - extent.offset) {
                    refuse();
                }
                std::fill_n(
                    rebuilt.begin() + static_cast<std::ptrdiff_t>(data->content + extent.offset),
                    extent.length, '\0');
            } else if (extent.offset > file_.size() ||
                       extent.length > file_.size() - extent.offset ||
                       (extent.offset + extent.length > metaBox.at &&
                        extent.offset < metaBox.end)) {
                refuse();
            } else {
                file_.zero(extent.offset, extent.length);
            }
        }
    }

    ByteFile &file_;
    const std::string damaged_;
    std::uint64_t boxes_ = 0;
    std::vector<Box> mediaData_;
    std::set<std::uint32_t> droppedTracks_;
    std::set<std::uint32_t> fragmentTracks_;
};

}  // namespace

namespace IsoBmff {

void clean(ByteFile &file) {
    Walk(file).clean();
}

}  // namespace IsoBmff
