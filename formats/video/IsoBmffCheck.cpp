#include "formats/core/ByteOrder.h"
#include "formats/core/Limits.h"
#include "formats/core/Stop.h"
#include "formats/video/IsoBmff.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <vector>

namespace {

using Formats::ByteFile;
using Formats::Bytes;
using Formats::Category;
namespace Limits = Formats::Limits;

// Boxes that do not belong are searched for what they hold up to this many bytes; larger ones are
// named only.
constexpr std::size_t LargestSearched = 16 << 20;
// Padding and a picture's own bytes are read in blocks of this size.
constexpr std::size_t SearchBlock = 1 << 20;
constexpr std::size_t LongestSignature = 16;
// How much of an Exif directory is read to tell what it holds.
constexpr std::size_t ExifDirectoryRead = 64 << 10;

const Bytes XmpUuid("\xBE\x7A\xCF\xCB\x97\xA9\x42\xE8\x9C\x71\x99\x94\x91\xE3\xAF\xAC", 16);

struct Marker {
    Bytes bytes;
    Category category;
    const char *finding;
};

// What a box that does not belong says about its content, by the names of the entries inside it.
const std::vector<Marker> &markers() {
    static const std::vector<Marker> known = {
        {"\xA9xyz", Category::Place, "GPS position"},
        {"loci", Category::Place, "GPS position"},
        {"location", Category::Place, "GPS position"},
        {"GPS", Category::Place, "GPS position"},
        {"$GPRMC", Category::Place, "GPS position"},
        {"$GPGGA", Category::Place, "GPS position"},
        {"\xA9mak", Category::Device, "device make"},
        {"\xA9mod", Category::Device, "device model"},
        {"make", Category::Device, "device make"},
        {"model", Category::Device, "device model"},
        {"\xA9swr", Category::Software, "software"},
        {"\xA9too", Category::Software, "software"},
        {"software", Category::Software, "software"},
        {"\xA9"
         "day",
         Category::Dates, "creation date"},
        {"creationdate", Category::Dates, "creation date"},
        {"\xA9"
         "ART",
         Category::People, "artist"},
        {"\xA9"
         "aut",
         Category::People, "author"},
        {"author", Category::People, "author"},
        {"artist", Category::People, "artist"},
        {"\xA9nam", Category::Descriptions, "title"},
        {"\xA9"
         "cmt",
         Category::Descriptions, "comment"},
        {"createdate", Category::Dates, "creation date"},
        {"creator", Category::People, "author"},
        {"auth", Category::People, "author"},
        {"titl", Category::Descriptions, "title"},
        {"dscp", Category::Descriptions, "description"},
        {"identifier", Category::Identifiers, "identifier"},
        {"xmpmeta", Category::Other, "XMP"},
    };
    return known;
}

struct Named {
    Category category;
    const char *finding;
};

// How a box that does not belong is named, when its type tells what it is.
const std::map<Bytes, Named> &namedBoxes() {
    static const std::map<Bytes, Named> named = {
        {"udta", {Category::Other, "user data"}},
        {"meta", {Category::Other, "metadata box"}},
        {"ilst", {Category::Other, "metadata box"}},
        {"keys", {Category::Other, "metadata box"}},
        {"Xtra", {Category::Other, "metadata box"}},
        {"xml ", {Category::Other, "XMP"}},
        {"udes", {Category::Descriptions, "description"}},
        {"crtt", {Category::Dates, "creation date"}},
        {"mdft", {Category::Dates, "modification date"}},
        {"prft", {Category::Dates, "wall-clock time"}},
        {"cmov", {Category::Other, "compressed movie header"}},
    };
    return named;
}

// Every box a player or picture decoder reads, as "parent/child" ("/ftyp" for the file's own).
const std::set<Bytes> &readable() {
    static const std::set<Bytes> boxes = {
        "/ftyp",     "/styp",     "/mdat",     "/moov",     "/moof",     "/mfra",     "/sidx",
        "/ssix",     "moov/mvhd", "moov/trak", "moov/mvex", "moov/iods", "moov/pssh", "trak/tkhd",
        "trak/edts", "trak/mdia", "trak/tref", "trak/tapt", "trak/trgr", "edts/elst", "mdia/mdhd",
        "mdia/hdlr", "mdia/minf", "mdia/elng", "minf/vmhd", "minf/smhd", "minf/hmhd", "minf/nmhd",
        "minf/sthd", "minf/gmhd", "minf/hdlr", "minf/dinf", "minf/stbl", "dinf/dref", "stbl/stsd",
        "stbl/stts", "stbl/ctts", "stbl/cslg", "stbl/stss", "stbl/stps", "stbl/stsc", "stbl/stsz",
        "stbl/stz2", "stbl/stco", "stbl/co64", "stbl/stsh", "stbl/stdp", "stbl/sdtp", "stbl/sbgp",
        "stbl/sgpd", "stbl/subs", "stbl/saiz", "stbl/saio", "stbl/padb", "mvex/mehd", "mvex/trex",
        "mvex/leva", "mvex/trep", "moof/mfhd", "moof/traf", "moof/pssh", "traf/tfhd", "traf/tfdt",
        "traf/trun", "traf/sbgp", "traf/sgpd", "traf/subs", "traf/saiz", "traf/saio", "traf/senc",
        "mfra/tfra", "mfra/mfro", "meta/hdlr", "meta/pitm", "meta/iloc", "meta/iinf", "meta/iref",
        "meta/iprp", "meta/idat", "meta/dinf", "meta/grpl", "iprp/ipco", "iprp/ipma", "ipco/hvcC",
        "ipco/av1C", "ipco/avcC", "ipco/vvcC", "ipco/jpgC", "ipco/ispe", "ipco/pixi", "ipco/colr",
        "ipco/irot", "ipco/imir", "ipco/clap", "ipco/pasp", "ipco/auxC", "ipco/rloc", "ipco/lsel",
        "ipco/a1op", "ipco/a1lx", "ipco/clli", "ipco/mdcv", "ipco/cclv", "ipco/amve", "ipco/tols",
        "ipco/oinf", "ipco/iscl",
    };
    return boxes;
}

// Readable boxes whose children are read in turn.
bool holdsBoxes(const Bytes &name) {
    static const std::set<Bytes> containers = {"moov", "trak", "edts", "mdia", "minf",
                                               "dinf", "stbl", "mvex", "moof", "traf",
                                               "mfra", "iprp", "ipco"};
    return containers.count(name) != 0;
}

// Item types that are pictures; what each other one is, when its type tells.
Named itemFinding(const Bytes &type) {
    static const std::set<Bytes> pictures = {"hvc1", "av01", "avc1", "vvc1", "jpeg", "grid",
                                             "iovl", "iden", "hvt1", "tmap", "unci"};
    static const std::map<Bytes, Named> named = {
        {"Exif", {Category::Other, "Exif"}},
        {"mime", {Category::Other, "XMP"}},
        {"iptc", {Category::Descriptions, "IPTC"}},
        {"uri ", {Category::Other, "link item"}},
    };
    if (pictures.count(type) != 0) {
        return {Category::Other, nullptr};
    }
    const auto found = named.find(type);
    return found != named.end() ? found->second : Named{Category::Other, "item of another type"};
}

Bytes printable(Bytes name) {
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return name;
}

struct Header {
    std::uint64_t start, body, end;
    Bytes name;
};

class Reader {
  public:
    explicit Reader(ByteFile &file) : file_(file) {
        const Bytes head = file_.readUpTo(0, 12);
        picture_ = head.size() == 12 && head.substr(4, 4) == "ftyp" &&
                   std::set<Bytes>{"mif1", "msf1", "heic", "heix", "heim",
                                   "heis", "hevc", "hevx", "avif", "avis"}
                           .count(head.substr(8, 4)) != 0;
    }

    Formats::Findings read() {
        walk();
        if (picture_) {
            searchPictureBytes();
        }
        return findings_;
    }

  private:
    [[noreturn]] void damaged() const {
        throw Formats::Refused(picture_ ? "damaged HEIF box" : "damaged MP4 box");
    }

    Header header(std::uint64_t start, std::uint64_t limit) {
        if (limit - start < 8 || ++count_ > Limits::BoxCount) {
            damaged();
        }
        const Bytes raw = file_.readUpTo(start, 32);
        std::uint64_t size = Formats::bigEndian32(raw, 0);
        Header box{start, start + 8, 0, raw.substr(4, 4)};
        if (size == 1 && raw.size() >= 16) {
            size =
                std::uint64_t{Formats::bigEndian32(raw, 8)} << 32 | Formats::bigEndian32(raw, 12);
            box.body += 8;
        } else if (size == 0) {
            size = limit - start;
        } else if (size == 1) {
            damaged();
        }
        if (box.name == "uuid") {
            box.body += 16;
        }
        if (size < box.body - start || size > limit - start) {
            damaged();
        }
        box.end = start + size;
        return box;
    }

    std::vector<Header> boxesIn(std::uint64_t from, std::uint64_t to) {
        std::vector<Header> found;
        for (std::uint64_t at = from; at < to; at = found.back().end) {
            found.push_back(header(at, to));
        }
        return found;
    }

    struct Level {
        std::uint64_t from, to;
        int depth;
        Bytes parent;   // "" for the file itself
        Bytes handler;  // of the track the level lies in
    };

    static constexpr std::uint64_t NoChildren = ~std::uint64_t{0};

    void walk() {
        std::vector<Level> levels{{0, file_.size(), 0, {}, {}}};
        while (!levels.empty()) {
            const Level level = levels.back();
            levels.pop_back();
            for (const Header &box : boxesIn(level.from, level.to)) {
                Formats::throwIfStopped();
                const std::uint64_t skip = look(box, level);
                if (skip == NoChildren) {
                    continue;
                }
                if (level.depth >= Limits::BoxNesting || box.end - box.body < skip) {
                    damaged();
                }
                levels.push_back({box.body + skip, box.end, level.depth + 1, box.name,
                                  box.name == "trak" ? trackHandler(box) : level.handler});
            }
        }
    }

    // Notes what one box holds; returns how far into it its children start, or NoChildren.
    std::uint64_t look(const Header &box, const Level &level) {
        constexpr std::uint64_t VersionAndFlags = 4;
        if (level.parent.empty() && box.name == "meta" && isPictureTables(box)) {
            return VersionAndFlags;
        }
        if (level.parent == "moov" && box.name == "udta" && isOnlyGaplessRecord(box)) {
            return NoChildren;
        }
        if (box.name == "free" || box.name == "skip" || box.name == "wide") {
            if (holdsAnything(box.body, box.end)) {
                findings_.add("data in padding");
                search(box);
            }
        } else if (readable().count(level.parent + "/" + box.name) == 0) {
            nameStranger(box);
            search(box);
        } else if (box.name == "mvhd" || box.name == "tkhd" || box.name == "mdhd") {
            checkTimes(box);
        } else if (box.name == "hdlr") {
            checkHandler(box);
        } else if (box.name == "stsd") {
            checkSampleEntries(box, level.handler);
        } else if (box.name == "dref") {
            checkReferences(box);
        } else if (box.name == "iinf") {
            checkItems(box);
        } else if (holdsBoxes(box.name)) {
            return 0;
        }
        return NoChildren;
    }

    // The one item the cleaning keeps, iTunes' gapless record, byte for byte as it writes it:
    // udta{meta{hdlr mdir, ilst{----{mean, name, data}}}} in plain 32-bit headers, the handler
    // blank after its type with a name of 1 to 8 zero bytes (more would have gone to padding) and
    // the value nothing but hexadecimal numbers.
    bool isOnlyGaplessRecord(const Header &userData) {
        constexpr std::uint64_t ShortestHandler = 25, LongestHandler = 32;
        try {
            plainBoxesIn(userData.start, userData.end);  // its own header too
            const std::vector<Header> parts = plainBoxesIn(userData.body, userData.end);
            if (parts.size() != 1 || parts[0].name != "meta" ||
                body(parts[0], 4) != Bytes(4, '\0')) {
                return false;
            }
            const std::vector<Header> lists = plainBoxesIn(parts[0].body + 4, parts[0].end);
            const std::uint64_t handlerLength = lists.empty() ? 0 : lists[0].end - lists[0].body;
            if (lists.size() != 2 || lists[0].name != "hdlr" || lists[1].name != "ilst" ||
                handlerLength < ShortestHandler || handlerLength > LongestHandler ||
                body(lists[0], 12) != Bytes(8, '\0') + "mdir" ||
                holdsAnything(lists[0].body + 12, lists[0].end)) {
                return false;
            }
            const std::vector<Header> items = plainBoxesIn(lists[1].body, lists[1].end);
            return items.size() == 1 && items[0].name == "----" && isGaplessItem(items[0]);
        } catch (const Formats::Refused &) {
            return false;  // named as user data like any other
        }
    }

    // Boxes whose headers are eight bytes and say their true size; Refused for any other.
    std::vector<Header> plainBoxesIn(std::uint64_t from, std::uint64_t to) {
        std::vector<Header> found = boxesIn(from, to);
        for (const Header &box : found) {
            if (box.body != box.start + 8 ||
                Formats::bigEndian32(file_.read(box.start, 4), 0) != box.end - box.start) {
                damaged();
            }
        }
        return found;
    }

    bool isGaplessItem(const Header &item) {
        const std::vector<Header> fields = plainBoxesIn(item.body, item.end);
        if (fields.size() != 3 || fields[0].name != "mean" || fields[1].name != "name" ||
            fields[2].name != "data" ||
            body(fields[0], 64) != Bytes(4, '\0') + "com.apple.iTunes" ||
            body(fields[1], 64) != Bytes(4, '\0') + "iTunSMPB") {
            return false;
        }
        const Bytes data = body(fields[2], Limits::GaplessRecordLength + 9);
        return data.size() <= Limits::GaplessRecordLength + 8 &&
               data.compare(0, 8, Bytes("\0\0\0\1\0\0\0\0", 8)) == 0 &&
               data.find_first_not_of(" 0123456789ABCDEFabcdef", 8) == Bytes::npos;
    }

    void nameStranger(const Header &box) {
        const auto named = namedBoxes().find(box.name);
        if (named != namedBoxes().end()) {
            findings_.add(named->second.category, named->second.finding);
        } else if (box.name == "uuid") {
            findings_.add(file_.read(box.body - 16, 16) == XmpUuid ? "XMP" : "vendor box");
        } else {
            findings_.add("unknown box " + printable(box.name));
        }
    }

    Bytes body(const Header &box, std::size_t most) {
        return file_.read(
            box.body, static_cast<std::size_t>(std::min<std::uint64_t>(box.end - box.body, most)));
    }

    bool holdsAnything(std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t at = from; at < to; at += SearchBlock) {
            Formats::throwIfStopped();
            const std::size_t length =
                static_cast<std::size_t>(std::min<std::uint64_t>(SearchBlock, to - at));
            if (file_.read(at, length).find_first_not_of('\0') != Bytes::npos) {
                return true;
            }
        }
        return false;
    }

    void search(const Header &box) {
        if (box.end - box.body > LargestSearched) {
            return;
        }
        const Bytes bytes = body(box, LargestSearched);
        Bytes lower = bytes;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
        for (const Marker &marker : markers()) {
            if (bytes.find(marker.bytes) != Bytes::npos ||
                lower.find(marker.bytes) != Bytes::npos) {
                findings_.add(marker.category, marker.finding);
            }
        }
    }

    void checkTimes(const Header &box) {
        const Bytes bytes = body(box, 20);
        const std::size_t width = !bytes.empty() && bytes[0] == 1 ? 16 : 8;
        if (bytes.size() < 4 + width) {
            damaged();
        }
        if (bytes.find_first_not_of('\0', 4) < 4 + width) {
            findings_.add(Category::Dates, "creation date");
        }
    }

    // After its type a handler holds reserved words, where QuickTime writers put their maker, and
    // the writing software's name.
    void checkHandler(const Header &box) {
        if (box.end - box.body < 12) {
            return;
        }
        if (file_.read(box.body + 8, 4) == "meta") {
            findings_.add("metadata track");
        }
        if (holdsAnything(box.body + 12, box.end)) {
            findings_.add(Category::Software, "software name in a handler");
        }
    }

    // The handler type in a track's media box, or empty.
    Bytes trackHandler(const Header &trak) {
        for (const Header &media : boxesIn(trak.body, trak.end)) {
            if (media.name == "mdia") {
                for (const Header &handler : boxesIn(media.body, media.end)) {
                    if (handler.name == "hdlr") {
                        return handler.end - handler.body < 12 ? Bytes()
                                                               : file_.read(handler.body + 8, 4);
                    }
                }
                return {};
            }
        }
        return {};
    }

    // The boxes after a table's version, flags and count.
    std::vector<Header> entries(const Header &table) {
        if (table.end - table.body < 8) {
            damaged();
        }
        return boxesIn(table.body + 8, table.end);
    }

    void checkSampleEntries(const Header &box, const Bytes &handler) {
        for (const Header &entry : entries(box)) {
            if (entry.name == "mebx" || entry.name == "gpmd" || entry.name == "camm") {
                findings_.add("metadata track");
            }
            if (namesBuyer(entry)) {
                throw Formats::Refused(
                    "protected by DRM: its purchase record names the buyer and "
                    "cannot be removed without breaking playback",
                    Formats::Cause::Protected);
            }
            // Vendor, and for pictures the compressor name: both name the writing software.
            const Bytes bytes = file_.read(
                entry.start,
                static_cast<std::size_t>(std::min<std::uint64_t>(82, entry.end - entry.start)));
            const bool vendor = (handler == "vide" || handler == "soun") && bytes.size() >= 24 &&
                                bytes.substr(20, 4).find_first_not_of('\0') != Bytes::npos;
            const bool compressor = handler == "vide" && bytes.size() == 82 &&
                                    bytes.find_first_not_of('\0', 50) != Bytes::npos;
            if (vendor || compressor) {
                findings_.add(Category::Software, "software");
            }
        }
    }

    // A protection box anywhere in a sample description whose scheme holds FairPlay's account,
    // name, key or private data of a purchase.
    bool namesBuyer(const Header &entry) {
        const Bytes bytes = body(entry, Limits::BoxReadWhole);
        for (std::size_t at = bytes.find("sinf"); at != Bytes::npos;
             at = bytes.find("sinf", at + 4)) {
            Formats::throwIfStopped();
            if (at >= 4 && schemeNamesBuyer(entry.body + at - 4, entry.end)) {
                return true;
            }
        }
        return false;
    }

    bool schemeNamesBuyer(std::uint64_t at, std::uint64_t limit) {
        static const std::set<Bytes> purchase = {"user", "name", "key ", "iviv", "priv"};
        try {
            const Header protection = header(at, limit);
            for (const Header &part : boxesIn(protection.body, protection.end)) {
                for (const Header &inner :
                     part.name == "schi" ? boxesIn(part.body, part.end) : std::vector<Header>()) {
                    if (purchase.count(inner.name) != 0) {
                        return true;
                    }
                }
            }
        } catch (const Formats::Refused &) {
            // Not a box: a codec's setup bytes that happen to spell the name. Too many boxes is
            // damage like any other.
            if (count_ > Limits::BoxCount) {
                throw;
            }
        }
        return false;
    }

    // A reference to media in another file, which names where it lay on someone's disk.
    void checkReferences(const Header &box) {
        for (const Header &entry : entries(box)) {
            if (entry.end - entry.body < 4) {
                damaged();
            }
            if ((Formats::byteAt(file_.read(entry.body, 4), 3) & 1) == 0 ||
                holdsAnything(entry.body + 4, entry.end)) {
                findings_.add("path to another file");
            }
        }
    }

    // A QuickTime meta box has no version and flags: a picture's has, and a "pict" handler first.
    bool isPictureTables(const Header &meta) {
        if (meta.end - meta.body < 4 || file_.read(meta.body, 4) != Bytes(4, '\0')) {
            return false;
        }
        for (const Header &part : boxesIn(meta.body + 4, meta.end)) {
            if (part.name == "hdlr") {
                return part.end - part.body >= 12 && file_.read(part.body + 8, 4) == "pict";
            }
        }
        return false;
    }

    // Each item by its type: a version 0 or 1 entry has none and holds data, not a picture.
    void checkItems(const Header &box) {
        const Bytes version = body(box, 1);
        const std::uint64_t first = box.body + 4 + (version.empty() || version[0] == 0 ? 2 : 4);
        if (first > box.end) {
            damaged();
        }
        for (const Header &entry : boxesIn(first, box.end)) {
            const Bytes bytes = body(entry, 16);
            if (bytes.empty()) {
                damaged();
            }
            const unsigned entryVersion = Formats::byteAt(bytes, 0);
            const std::size_t typeAt = 4 + (entryVersion == 3 ? 4 : 2) + 2;
            if (bytes.size() < typeAt + (entryVersion >= 2 ? 4 : 0)) {
                damaged();
            }
            const Named item = itemFinding(entryVersion >= 2 ? bytes.substr(typeAt, 4) : "mime");
            if (item.finding != nullptr) {
                findings_.add(item.category, item.finding);
            }
        }
    }

    // Exif or XMP whose item went but whose bytes stayed, and what the Exif tells.
    void searchPictureBytes() {
        struct Signature {
            Bytes bytes;
            const char *finding;
            bool tiffHeader;
        };
        static const std::array<Signature, 4> signatures = {{
            {Bytes("Exif\0\0", 6), "Exif data", false},
            {Bytes("MM\0*\0\0\0\x08", 8), "Exif data", true},
            {Bytes("II*\0\x08\0\0\0", 8), "Exif data", true},
            {"x:xmpmeta", "XMP data", false},
        }};
        for (std::uint64_t at = 0; at < file_.size(); at += SearchBlock) {
            Formats::throwIfStopped();
            const Bytes block = file_.readUpTo(at, SearchBlock + LongestSignature);
            for (const Signature &signature : signatures) {
                const std::size_t found = block.find(signature.bytes);
                if (found != Bytes::npos) {
                    findings_.add(signature.finding);
                }
                if (found != Bytes::npos && signature.tiffHeader) {
                    tellExif(at + found);
                }
            }
        }
    }

    // The first directory of Exif data whose TIFF header starts at `at`.
    void tellExif(std::uint64_t at) {
        static const std::map<std::uint16_t, Named> tags = {
            {0x010F, {Category::Device, "device make"}},
            {0x0110, {Category::Device, "device model"}},
            {0x0131, {Category::Software, "software"}},
            {0x0132, {Category::Dates, "creation date"}},
            {0x013B, {Category::People, "artist"}},
            {0x8825, {Category::Place, "GPS position"}},
        };
        const Bytes tiff = file_.readUpTo(at, ExifDirectoryRead);
        const bool little = tiff[0] == 'I';
        const auto number16 = [&](std::size_t offset) {
            return little ? Formats::littleEndian16(tiff, offset)
                          : Formats::bigEndian16(tiff, offset);
        };
        constexpr std::size_t FirstDirectory = 8, EntrySize = 12;
        const std::size_t count = tiff.size() < FirstDirectory + 2 ? 0 : number16(FirstDirectory);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = FirstDirectory + 2 + EntrySize * i;
            if (entry + EntrySize > tiff.size()) {
                break;
            }
            const auto tag = tags.find(number16(entry));
            if (tag != tags.end()) {
                findings_.add(tag->second.category, tag->second.finding);
            }
        }
    }

    ByteFile &file_;
    Formats::Findings findings_;
    std::uint64_t count_ = 0;
    bool picture_ = false;
};

}  // namespace

namespace IsoBmff {

// Reads the result on its own: every box against what a player reads, every table that can name a
// place, device, person, date or program, and, in a picture, every byte for leftover Exif or XMP.
Formats::Findings findings(ByteFile &file) {
    return Reader(file).read();
}

std::string remainingMetadata(ByteFile &file) {
    try {
        return findings(file).reason();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
}

}  // namespace IsoBmff
