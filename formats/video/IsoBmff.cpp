#include "formats/video/IsoBmff.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Limits.h"
#include "formats/core/Stop.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace {

using Formats::ByteFile;
using Formats::Bytes;
namespace Limits = Formats::Limits;

constexpr std::size_t LongestHeader = 32;  // size, type, largesize, user type
constexpr std::size_t FullBoxHead = 4;     // version, flags
// A handler box's type follows a reserved word; after it come reserved words a QuickTime writer
// fills with its maker, then the name of the writing software. Players read only the type.
constexpr std::size_t HandlerTypeAt = FullBoxHead + 4;
constexpr std::size_t AfterHandlerType = HandlerTypeAt + 4;

// What a player or picture decoder reads inside each box the walk enters ("" for the file
// itself). Everything else, whatever its name, is overwritten: a writer can put anything anywhere.
const std::map<std::string, std::set<std::string>> &keptInside() {
    static const std::map<std::string, std::set<std::string>> kept = {
        {"", {"ftyp", "styp", "mdat", "moov", "moof", "mfra", "sidx", "ssix"}},
        {"moov", {"mvhd", "trak", "mvex", "iods", "pssh"}},
        {"trak", {"tkhd", "edts", "mdia", "tref", "tapt", "trgr"}},
        {"edts", {"elst"}},
        {"mdia", {"mdhd", "hdlr", "minf", "elng"}},
        {"minf", {"vmhd", "smhd", "hmhd", "nmhd", "sthd", "gmhd", "hdlr", "dinf", "stbl"}},
        {"dinf", {"dref"}},
        {"stbl", {"stsd", "stts", "ctts", "cslg", "stss", "stps", "stsc", "stsz", "stz2", "stco",
                  "co64", "stsh", "stdp", "sdtp", "sbgp", "sgpd", "subs", "saiz", "saio", "padb"}},
        {"mvex", {"mehd", "trex", "leva", "trep"}},
        {"moof", {"mfhd", "traf", "pssh"}},
        {"traf", {"tfhd", "tfdt", "trun", "sbgp", "sgpd", "subs", "saiz", "saio", "senc"}},
        {"mfra", {"tfra", "mfro"}},
        // A picture's item tables.
        {"meta", {"hdlr", "pitm", "iloc", "iinf", "iref", "iprp", "idat", "dinf", "grpl"}},
        {"iprp", {"ipco", "ipma"}},
        {"ipco", {"hvcC", "av1C", "avcC", "vvcC", "jpgC", "ispe", "pixi", "colr",
                  "irot", "imir", "clap", "pasp", "auxC", "rloc", "lsel", "a1op",
                  "a1lx", "clli", "mdcv", "cclv", "amve", "tols", "oinf", "iscl"}},
    };
    return kept;
}

bool isKept(const std::string &parent, const std::string &type) {
    const auto kept = keptInside().find(parent);
    return kept != keptInside().end() && kept->second.count(type) != 0;
}

bool isPadding(const std::string &type) {
    return type == "free" || type == "skip" || type == "wide";
}

// Sample descriptions of timed metadata: places, motion, camera settings.
bool isMetadataEntry(const std::string &type) {
    return type == "mebx" || type == "gpmd" || type == "camm";
}

// The items a picture decoder draws from; any other item (Exif, XMP, IPTC, links) goes.
bool isPictureItem(const std::string &type) {
    static const std::set<std::string> drawn = {"hvc1", "av01", "avc1", "vvc1", "jpeg", "grid",
                                                "iovl", "iden", "hvt1", "tmap", "unci"};
    return drawn.count(type) != 0;
}

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

bool isPictureFile(ByteFile &file) {
    const Bytes head = file.readUpTo(0, 12);
    return head.size() == 12 && head.compare(4, 4, "ftyp") == 0 &&
           std::set<std::string>{"mif1", "msf1", "heic", "heix", "heim",
                                 "heis", "hevc", "hevx", "avif", "avis"}
                   .count(head.substr(8, 4)) != 0;
}

// Exif or XMP that no item points at (an editor's leftover) cannot be told from the picture's
// own bytes by where it lies, only by what it starts with.
void refuseStrayMetadata(ByteFile &file) {
    constexpr std::size_t Block = 1 << 20, Overlap = 16;
    static const std::array<Bytes, 4> signatures = {Bytes("Exif\0\0", 6),
                                                    Bytes("MM\0*\0\0\0\x08", 8),
                                                    Bytes("II*\0\x08\0\0\0", 8), "x:xmpmeta"};
    for (std::uint64_t at = 0; at < file.size(); at += Block) {
        Formats::throwIfStopped();
        const Bytes block = file.readUpTo(at, Block + Overlap);
        for (const Bytes &signature : signatures) {
            if (block.find(signature) != Bytes::npos) {
                throw Formats::Refused("Exif or XMP outside the picture's item tables",
                                       Formats::Cause::Unsupported);
            }
        }
    }
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
    std::uint32_t item = 0;
    unsigned method = 0;  // 0 in the file, 1 in the item data box
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

class Walk {
  public:
    Walk(ByteFile &file, std::string damaged) : file_(file), damaged_(std::move(damaged)) {}

    void clean() {
        collectMediaData();
        cleanRange(0, file_.size(), "");
        for (std::uint32_t track : fragmentTracks_) {
            if (droppedTracks_.count(track) != 0) {
                throw Formats::Refused("fragmented video with a metadata track",
                                       Formats::Cause::Unsupported);
            }
        }
    }

  private:
    [[noreturn]] void refuse() const { throw Formats::Refused(damaged_); }

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
        if (++boxes_ > Limits::BoxCount) {
            throw Formats::Refused("too many boxes", Formats::Cause::TooLarge);
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
        if (box.end - box.content > Limits::BoxReadWhole) {
            throw Formats::Refused("a table too large to read", Formats::Cause::TooLarge);
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

    struct Range {
        std::uint64_t from, end;
        int depth;
        std::string parent;   // the type of the box the range lies in, "" for the file
        std::string handler;  // of the track the range lies in
    };

    void cleanRange(std::uint64_t from, std::uint64_t end, const std::string &parent) {
        std::vector<Range> pending{{from, end, 0, parent, {}}};
        while (!pending.empty()) {
            const Range range = pending.back();
            pending.pop_back();
            for (const Box &box : children(range.from, range.end)) {
                Formats::throwIfStopped();
                if (!cleanBox(box, range)) {
                    continue;
                }
                if (range.depth + 1 > Limits::BoxNesting) {
                    throw Formats::Refused("boxes nested too deep", Formats::Cause::TooLarge);
                }
                pending.push_back({box.content, box.end, range.depth + 1, box.type,
                                   box.type == "trak" ? trackHandler(box) : range.handler});
            }
        }
    }

    // Cleans one box; true when its children are to be walked.
    bool cleanBox(const Box &box, const Range &range) {
        if (box.type == "cmov") {
            throw Formats::Refused("compressed movie header", Formats::Cause::Unsupported);
        }
        if (range.parent.empty() && box.type == "meta" && isPicture(box)) {
            cleanPictureItems(box);
        } else if (isPadding(box.type)) {
            file_.zero(box.content, box.end - box.content);
        } else if (range.parent == "moov" && box.type == "udta") {
            eraseKeepingGaplessRecord(box);
        } else if (!isKept(range.parent, box.type)) {
            erase(box);
        } else if (box.type == "trak" && isMetadataTrack(box)) {
            dropTrack(box);
        } else {
            cleanKept(box, range.handler);
            return keptInside().count(box.type) != 0;
        }
        return false;
    }

    // iTunes' gapless record says how many priming samples a decoder skips; without it sound
    // starts late and albums click between tracks. It alone stays, in a minimal item list written
    // anew where the user data lay; whatever space is left over becomes padding.
    void eraseKeepingGaplessRecord(const Box &userData) {
        const std::optional<Bytes> record = gaplessRecord(userData);
        erase(userData);
        const std::uint64_t room = userData.end - userData.at;
        const Bytes list =
            record && room <= Limits::BoxReadWhole ? gaplessUserData(*record, room) : Bytes();
        if (list.empty()) {
            return;
        }
        file_.write(userData.at, list);
        if (room > list.size()) {
            file_.write(userData.at + list.size(),
                        bigEndian32Bytes(static_cast<std::uint32_t>(room - list.size())) + "free");
        }
    }

    // The value of the record, when the user data holds one that parses and says only numbers.
    std::optional<Bytes> gaplessRecord(const Box &userData) {
        try {
            const std::optional<Box> meta = child(userData, "meta");
            const std::optional<Box> list = meta ? child(*meta, "ilst", FullBoxHead) : std::nullopt;
            for (const Box &item : list ? children(list->content, list->end) : std::vector<Box>()) {
                if (item.type == "----" && namesGaplessRecord(item)) {
                    const std::optional<Box> data = child(item, "data");
                    const Bytes value = data ? contentOf(*data) : Bytes();
                    if (value.compare(0, 8, Bytes("\0\0\0\1\0\0\0\0", 8)) == 0 &&
                        isGaplessText(value.substr(8))) {
                        return value.substr(8);
                    }
                }
            }
        } catch (const Formats::Refused &) {
            // User data that does not parse as boxes holds no record worth keeping.
        }
        return std::nullopt;
    }

    bool namesGaplessRecord(const Box &item) {
        const std::optional<Box> mean = child(item, "mean");
        const std::optional<Box> name = child(item, "name");
        return mean && name && contentOf(*mean) == Bytes(FullBoxHead, '\0') + "com.apple.iTunes" &&
               contentOf(*name) == Bytes(FullBoxHead, '\0') + "iTunSMPB";
    }

    // Hexadecimal numbers apart by spaces: nothing else can hide in it.
    static bool isGaplessText(const Bytes &value) {
        return value.size() <= Limits::GaplessRecordLength &&
               value.find_first_not_of(" 0123456789ABCDEFabcdef") == Bytes::npos;
    }

    // udta{meta{hdlr mdir, ilst{----{mean, name, data}}}} in `room` bytes, the handler's blank
    // name taking what is too little for a free box; empty when it does not fit.
    static Bytes gaplessUserData(const Bytes &value, std::uint64_t room) {
        const Bytes item =
            boxBytes("----", boxBytes("mean", Bytes(FullBoxHead, '\0') + "com.apple.iTunes") +
                                 boxBytes("name", Bytes(FullBoxHead, '\0') + "iTunSMPB") +
                                 boxBytes("data", Bytes("\0\0\0\1\0\0\0\0", 8) + value));
        const auto list = [&](std::size_t nameLength) {
            const Bytes handler =
                boxBytes("hdlr", Bytes(8, '\0') + "mdir" + Bytes(12 + nameLength, '\0'));
            return boxBytes("udta", boxBytes("meta", Bytes(FullBoxHead, '\0') + handler +
                                                         boxBytes("ilst", item)));
        };
        constexpr std::uint64_t FreeBoxHeader = 8;
        const Bytes shortest = list(1);
        if (room < shortest.size()) {
            return {};
        }
        const std::uint64_t spare = room - shortest.size();
        return spare == 0 || spare >= FreeBoxHeader ? shortest
                                                    : list(1 + static_cast<std::size_t>(spare));
    }

    void cleanKept(const Box &box, const std::string &handler) {
        if (box.type == "mvhd" || box.type == "tkhd" || box.type == "mdhd") {
            zeroTimes(box);
        } else if (box.type == "hdlr") {
            blankHandler(box);
        } else if (box.type == "stsd") {
            blankSampleEntryNames(box, handler);
        } else if (box.type == "dref") {
            keepSelfContained(box);
        } else if (box.type == "traf") {
            noteFragmentTrack(box);
        }
    }

    void zeroTimes(const Box &box) {
        const Bytes head = file_.read(box.content, 1);
        const std::uint64_t times = head[0] == 1 ? 16 : 8;
        if (box.end - box.content < FullBoxHead + times) {
            refuse();
        }
        file_.zero(box.content + FullBoxHead, times);
    }

    // Players read only the handler's type. A track the walk entered is one a player shows or
    // plays: a metadata handler inside it is a second, odd one that hid behind the first.
    void blankHandler(const Box &box) {
        if (box.end - box.content < AfterHandlerType) {
            return;
        }
        if (file_.read(box.content + HandlerTypeAt, 4) == "meta") {
            throw Formats::Refused("a metadata track inside another track",
                                   Formats::Cause::Unsupported);
        }
        file_.zero(box.content + AfterHandlerType, box.end - box.content - AfterHandlerType);
    }

    // A reference to media outside the file names a path on someone's disk; the media of a file
    // we clean is in the file itself.
    void keepSelfContained(const Box &box) {
        for (const Box &entry : entriesOf(box)) {
            if (entry.end - entry.content < FullBoxHead) {
                refuse();
            }
            if ((Formats::byteAt(file_.read(entry.content, FullBoxHead), 3) & 1) == 0) {
                file_.write(entry.content, Bytes("\0\0\0\1", FullBoxHead));
            }
            file_.zero(entry.content + FullBoxHead, entry.end - entry.content - FullBoxHead);
        }
    }

    // The entries of a table that has a version, flags and a count before them.
    std::vector<Box> entriesOf(const Box &table) {
        if (table.end - table.content < FullBoxHead + 4) {
            refuse();
        }
        return children(table.content + FullBoxHead + 4, table.end);
    }

    std::string handlerType(const Box &parent, std::uint64_t skip) {
        const std::optional<Box> handler = child(parent, "hdlr", skip);
        if (!handler || handler->end - handler->content < AfterHandlerType) {
            return {};
        }
        return file_.read(handler->content + HandlerTypeAt, 4);
    }

    std::string trackHandler(const Box &trak) {
        const std::optional<Box> media = child(trak, "mdia");
        return media ? handlerType(*media, 0) : std::string();
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
        if (trackHandler(trak) == "meta") {
            return true;
        }
        const std::optional<Box> descriptions = descend(trak, {"mdia", "minf", "stbl", "stsd"});
        if (!descriptions) {
            return false;
        }
        const std::vector<Box> entries = entriesOf(*descriptions);
        return std::any_of(entries.begin(), entries.end(),
                           [](const Box &entry) { return isMetadataEntry(entry.type); });
    }

    // Picture and sound descriptions name the writing program (vendor) and encoder (compressor);
    // players show neither.
    void blankSampleEntryNames(const Box &descriptions, const std::string &handler) {
        constexpr std::uint64_t VendorAt = 20, VendorEnd = 24, CompressorAt = 50,
                                CompressorEnd = 82;
        for (const Box &entry : entriesOf(descriptions)) {
            if (isMetadataEntry(entry.type)) {
                throw Formats::Refused("a metadata track inside another track",
                                       Formats::Cause::Unsupported);
            }
            refuseBuyerRecord(entry);
            if ((handler == "vide" || handler == "soun") && entry.end - entry.at >= VendorEnd) {
                file_.zero(entry.at + VendorAt, VendorEnd - VendorAt);
            }
            if (handler == "vide" && entry.end - entry.at >= CompressorEnd) {
                file_.zero(entry.at + CompressorAt, CompressorEnd - CompressorAt);
            }
        }
    }

    // FairPlay keeps the buyer's account and name in the track's protection scheme, beside the
    // keys that decrypt it: the one cannot go without the other.
    void refuseBuyerRecord(const Box &entry) {
        const Bytes bytes = contentOf(entry);
        constexpr std::size_t SizeField = 4;
        for (std::size_t found = bytes.find("sinf"); found != Bytes::npos;
             found = bytes.find("sinf", found + 1)) {
            Formats::throwIfStopped();
            if (found >= SizeField &&
                holdsPurchaseRecord(entry.content + found - SizeField, entry.end)) {
                throw Formats::Refused(
                    "protected by DRM: its purchase record names the buyer and "
                    "cannot be removed without breaking playback",
                    Formats::Cause::Protected);
            }
        }
    }

    // Whether the protection box at `at`, if it is one, names a purchase in its scheme.
    bool holdsPurchaseRecord(std::uint64_t at, std::uint64_t end) {
        static const std::set<std::string> purchase = {"user", "name", "key ", "iviv", "priv"};
        try {
            const std::optional<Box> scheme = child(boxAt(at, end), "schi");
            for (const Box &part :
                 scheme ? children(scheme->content, scheme->end) : std::vector<Box>()) {
                if (purchase.count(part.type) != 0) {
                    return true;
                }
            }
        } catch (const Formats::Refused &) {
            // Bytes of a codec's setup that merely spell "sinf", unless they were too many.
            if (boxes_ > Limits::BoxCount) {
                throw;
            }
        }
        return false;
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
    // overwrite it. The media data boxes lie in file order, apart, so the one box that can hold
    // the range is the last that starts before it: a track of a chunk in each of many boxes costs
    // linear time.
    void zeroMediaData(std::uint64_t offset, std::uint64_t length) {
        const auto after =
            std::upper_bound(mediaData_.begin(), mediaData_.end(), offset,
                             [](std::uint64_t at, const Box &media) { return at < media.content; });
        if (after == mediaData_.begin()) {
            refuse();
        }
        const Box &media = *std::prev(after);
        if (offset > media.end || length > media.end - offset) {
            refuse();
        }
        file_.zero(offset, length);
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

    // The tables are cleaned in memory like any other boxes, then the items that are not pictures
    // leave them.
    void cleanPictureItems(const Box &metaBox) {
        if (metaBox.end - metaBox.at > Limits::BoxReadWhole) {
            throw Formats::Refused("a table too large to read", Formats::Cause::TooLarge);
        }
        Bytes meta = file_.read(metaBox.at, static_cast<std::size_t>(metaBox.end - metaBox.at));
        const std::uint64_t first = metaBox.content - metaBox.at + FullBoxHead;
        if (first > meta.size()) {
            refuse();
        }
        ByteFile tables(meta);
        Walk(tables, damaged_).cleanRange(first, meta.size(), "meta");
        const std::vector<Box> parts = childrenIn(meta, first, meta.size());
        std::set<std::uint32_t> removed;
        for (const Box &part : parts) {
            if (part.type == "iinf") {
                const std::set<std::uint32_t> items = itemsNotDrawn(meta, part);
                removed.insert(items.begin(), items.end());
            }
        }
        Bytes rebuilt = meta.substr(0, first);
        std::vector<Extent> extents;
        for (const Box &part : parts) {
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
                rebuilt += withExplicitSize(meta.substr(part.at, part.end - part.at));
            }
        }
        requireLocated(removed, extents);
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

    // A box that ran to the end of the tables would swallow the free box now after it.
    static Bytes withExplicitSize(Bytes part) {
        if (Formats::bigEndian32(part, 0) == 0) {
            part.replace(0, 4, bigEndian32Bytes(static_cast<std::uint32_t>(part.size())));
        }
        return part;
    }

    // An item that goes without a place in the location table keeps its data wherever it lies.
    static void requireLocated(const std::set<std::uint32_t> &removed,
                               const std::vector<Extent> &extents) {
        for (std::uint32_t item : removed) {
            if (std::none_of(extents.begin(), extents.end(),
                             [item](const Extent &extent) { return extent.item == item; })) {
                throw Formats::Refused("picture metadata kept where it cannot be erased",
                                       Formats::Cause::Unsupported);
            }
        }
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

    // Exif, XMP, IPTC, links and anything else no decoder draws.
    std::set<std::uint32_t> itemsNotDrawn(const Bytes &meta, const Box &list) {
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
            // Before version 2 an entry has no type, only a name and a content type: it holds
            // data, not a picture.
            std::string itemType = "mime";
            if (version >= 2) {
                itemType = content.substr(entry.at(), 4);
                entry.skip(4);
            }
            if (!isPictureItem(itemType)) {
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
                throw Formats::Refused("picture metadata kept where it cannot be erased",
                                       Formats::Cause::Unsupported);
            }
            for (std::uint64_t e = 0; e < extentCount; ++e) {
                table.skip(indexSize);
                const std::uint64_t offset = table.number(offsetSize);
                const std::uint64_t length = table.number(lengthSize);
                if (goes) {
                    if (length == 0 || base + offset < base) {
                        refuse();
                    }
                    extents.push_back({item, method, base + offset, length});
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

    // Item data in the file is zeroed where it lies, which must be inside the media data; data in
    // the item data box is zeroed in the rebuilt tables, whose item data box keeps its place.
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
            } else {
                zeroMediaData(extent.offset, extent.length);
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
    const bool picture = isPictureFile(file);
    Walk(file, picture ? "damaged HEIF box" : "damaged MP4 box").clean();
    if (picture) {
        refuseStrayMetadata(file);
    }
}

}  // namespace IsoBmff
