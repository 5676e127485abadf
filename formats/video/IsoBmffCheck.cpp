#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/video/IsoBmff.h"

#include <algorithm>
#include <array>
#include <set>
#include <vector>

namespace {

using Formats::ByteFile;
using Formats::Bytes;

constexpr int DeepestBox = 12;
constexpr std::uint64_t MostBoxes = 4'000'000;
// Metadata boxes are searched for what they hold up to this many bytes; larger ones are named only.
constexpr std::size_t LargestSearched = 16 << 20;
// A picture's own bytes are searched for leftover Exif and XMP in blocks of this size.
constexpr std::size_t SearchBlock = 1 << 20;
constexpr std::size_t LongestSignature = 16;

const Bytes XmpUuid("\xBE\x7A\xCF\xCB\x97\xA9\x42\xE8\x9C\x71\x99\x94\x91\xE3\xAF\xAC", 16);

struct Marker {
    Bytes bytes;
    const char *finding;
};

// What a metadata box says about its content, by the names of the entries inside it.
const std::array<Marker, 20> &markers() {
    static const std::array<Marker, 20> known = {{
        {"\xA9xyz", "GPS position"},
        {"loci", "GPS position"},
        {"location", "GPS position"},
        {"GPS", "GPS position"},
        {"\xA9mak", "device make"},
        {"\xA9mod", "device model"},
        {"make", "device make"},
        {"model", "device model"},
        {"\xA9swr", "software"},
        {"\xA9too", "software"},
        {"software", "software"},
        {"\xA9"
         "day",
         "creation date"},
        {"creationdate", "creation date"},
        {"\xA9"
         "ART",
         "artist"},
        {"\xA9"
         "aut",
         "author"},
        {"author", "author"},
        {"artist", "artist"},
        {"\xA9nam", "title"},
        {"identifier", "identifier"},
        {"xmpmeta", "XMP"},
    }};
    return known;
}

// Signatures of Exif and XMP data, which a picture's item data must no longer hold anywhere.
const std::array<Marker, 4> &leftovers() {
    static const std::array<Marker, 4> known = {{
        {Bytes("Exif\0\0", 6), "Exif"},
        {Bytes("MM\0*\0\0\0\x08", 8), "Exif"},
        {Bytes("II*\0\x08\0\0\0", 8), "Exif"},
        {"x:xmpmeta", "XMP"},
    }};
    return known;
}

struct Header {
    std::uint64_t start, body, end;
    Bytes name;
};

class Reader {
  public:
    explicit Reader(ByteFile &file) : file_(file) {}

    std::string findings() {
        const Bytes head = file_.readUpTo(0, 12);
        picture_ = head.size() == 12 && head.substr(4, 4) == "ftyp" &&
                   std::set<Bytes>{"mif1", "msf1", "heic", "heix", "heim",
                                   "heis", "hevc", "hevx", "avif", "avis"}
                           .count(head.substr(8, 4)) != 0;
        if (!walk()) {
            return picture_ ? "damaged HEIF box" : "damaged MP4 box";
        }
        if (picture_) {
            searchWholeFile();
        }
        return findings_.reason();
    }

  private:
    // False when a box does not fit where it lies.
    bool header(std::uint64_t start, std::uint64_t limit, Header &box) {
        if (limit - start < 8 || ++count_ > MostBoxes) {
            return false;
        }
        const Bytes raw = file_.readUpTo(start, 32);
        std::uint64_t size = Formats::bigEndian32(raw, 0);
        box = {start, start + 8, 0, raw.substr(4, 4)};
        if (size == 1 && raw.size() >= 16) {
            size =
                std::uint64_t{Formats::bigEndian32(raw, 8)} << 32 | Formats::bigEndian32(raw, 12);
            box.body += 8;
        } else if (size == 0) {
            size = limit - start;
        } else if (size == 1) {
            return false;
        }
        if (box.name == "uuid") {
            box.body += 16;
        }
        box.end = start + size;
        return size >= box.body - start && size <= limit - start;
    }

    bool walk() {
        std::vector<Level> levels{{0, file_.size(), 0, {}}};
        while (!levels.empty()) {
            const Level level = levels.back();
            levels.pop_back();
            Header box;
            for (std::uint64_t at = level.from; at < level.to; at = box.end) {
                if (!header(at, level.to, box)) {
                    return false;
                }
                const std::uint64_t skip = look(box, level);
                if (skip != NoChildren) {
                    if (level.depth >= DeepestBox || box.end - box.body < skip) {
                        return false;
                    }
                    levels.push_back({box.body + skip, box.end, level.depth + 1,
                                      box.name == "trak" ? trackHandler(box) : level.handler});
                }
            }
        }
        return true;
    }

    struct Level {
        std::uint64_t from, to;
        int depth;
        Bytes handler;  // of the track the level lies in
    };

    static constexpr std::uint64_t NoChildren = ~std::uint64_t{0};

    // Notes what one box holds; returns how far into it its children start, or NoChildren.
    std::uint64_t look(const Header &box, const Level &level) {
        const int depth = level.depth;
        static const std::set<Bytes> containers = {"moov", "trak", "mdia", "minf",
                                                   "stbl", "mvex", "edts", "moof"};
        static const std::set<Bytes> plainAtTop = {"ftyp", "mdat", "free", "skip", "wide",
                                                   "sidx", "ssix", "styp", "prft", "pdin",
                                                   "mfra", "moov", "moof"};
        const Bytes &name = box.name;
        if (depth == 0 && name == "meta" && pictureItems(box)) {
            return NoChildren;
        }
        if (name == "udta" || name == "meta" || name == "Xtra" || name == "keys" ||
            name == "ilst" || static_cast<unsigned char>(name[0]) == 0xA9) {
            findings_.add(name == "udta" ? "user data" : "metadata box");
            search(box);
        } else if (name == "uuid") {
            const Bytes kind = file_.read(box.body - 16, 16);
            findings_.add(kind == XmpUuid ? "XMP" : "vendor box");
        } else if (depth == 0 && plainAtTop.count(name) == 0) {
            findings_.add("unknown box " + printable(name));
        } else if (name == "mvhd" || name == "tkhd" || name == "mdhd") {
            checkTimes(box);
        } else if (name == "hdlr") {
            checkHandler(box);
        } else if (name == "stsd") {
            checkSampleEntries(box, level.handler);
        } else if (containers.count(name) != 0) {
            return 0;
        }
        return NoChildren;
    }

    static Bytes printable(Bytes name) {
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
        return name;
    }

    Bytes body(const Header &box, std::size_t most) {
        return file_.read(
            box.body, static_cast<std::size_t>(std::min<std::uint64_t>(box.end - box.body, most)));
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
                findings_.add(marker.finding);
            }
        }
    }

    void checkTimes(const Header &box) {
        const Bytes bytes = body(box, 20);
        const std::size_t width = !bytes.empty() && bytes[0] == 1 ? 16 : 8;
        if (bytes.size() < 4 + width) {
            findings_.add("unreadable " + box.name);
        } else if (bytes.find_first_not_of('\0', 4) < 4 + width) {
            findings_.add("creation date");
        }
    }

    void checkHandler(const Header &box) {
        if (box.end - box.body > 24 &&
            body(box, 1 << 16).find_first_not_of('\0', 24) != Bytes::npos) {
            findings_.add("software name in a handler");
        }
        const Bytes bytes = body(box, 12);
        if (bytes.size() == 12 && bytes.substr(8) == "meta") {
            findings_.add("metadata track");
        }
    }

    // The handler type in a track's media box, or empty.
    Bytes trackHandler(const Header &trak) {
        Header media;
        Header handler;
        if (!childNamed(trak, "mdia", media) || !childNamed(media, "hdlr", handler) ||
            handler.end - handler.body < 12) {
            return {};
        }
        return file_.read(handler.body + 8, 4);
    }

    bool childNamed(const Header &parent, const Bytes &name, Header &found) {
        for (std::uint64_t at = parent.body; at < parent.end; at = found.end) {
            if (!header(at, parent.end, found)) {
                return false;
            }
            if (found.name == name) {
                return true;
            }
        }
        return false;
    }

    void checkSampleEntries(const Header &box, const Bytes &handler) {
        if (body(box, 8).size() < 8) {
            findings_.add("unreadable sample description");
            return;
        }
        Header entry;
        for (std::uint64_t at = box.body + 8; at < box.end; at = entry.end) {
            if (!header(at, box.end, entry)) {
                findings_.add("unreadable sample description");
                return;
            }
            if (entry.name == "mebx" || entry.name == "gpmd" || entry.name == "camm") {
                findings_.add("metadata track");
            }
            // Vendor, and for pictures the compressor name: both name the writing software.
            const Bytes bytes = file_.readUpTo(entry.start, 82);
            const bool picture = handler == "vide" && bytes.size() == 82;
            if ((handler == "vide" || handler == "soun") &&
                (bytes.substr(20, 4).find_first_not_of('\0') != Bytes::npos ||
                 (picture && bytes.substr(50).find_first_not_of('\0') != Bytes::npos))) {
                findings_.add("software");
            }
        }
    }

    // A picture's item list: true when the box is one (its handler is "pict").
    bool pictureItems(const Header &box) {
        if (box.end - box.body > LargestSearched) {
            return false;
        }
        const Bytes meta = body(box, LargestSearched);
        if (meta.size() < 4 || meta.compare(0, 4, Bytes(4, '\0')) != 0) {
            return false;
        }
        Bytes handler;
        Bytes items;
        for (std::size_t at = 4; at + 8 <= meta.size();) {
            const std::uint32_t size = Formats::bigEndian32(meta, at);
            if (size < 8 || size > meta.size() - at) {
                return false;
            }
            const Bytes name = meta.substr(at + 4, 4);
            if (name == "hdlr" && size >= 20) {
                handler = meta.substr(at + 16, 4);
                if (meta.find_first_not_of('\0', at + 32) < at + size) {
                    findings_.add("software name in a handler");
                }
            } else if (name == "iinf") {
                items = meta.substr(at + 8, size - 8);
            }
            at += size;
        }
        if (handler != "pict") {
            return false;
        }
        checkItems(items);
        return true;
    }

    // Each item entry: Exif by type, XMP by its content type.
    void checkItems(const Bytes &items) {
        if (items.size() < 6) {
            return;
        }
        std::size_t at = items[0] == 0 ? 6 : 8;
        while (at + 8 <= items.size()) {
            const std::uint32_t size = Formats::bigEndian32(items, at);
            if (size < 8 || size > items.size() - at) {
                findings_.add("unreadable item list");
                return;
            }
            const Bytes entry = items.substr(at, size);
            if (entry.size() >= 20 && Formats::byteAt(entry, 8) >= 2) {
                const std::size_t type = Formats::byteAt(entry, 8) == 2 ? 16 : 18;
                if (entry.compare(type, 4, "Exif") == 0) {
                    findings_.add("Exif");
                }
            }
            if (entry.find("application/rdf+xml") != Bytes::npos) {
                findings_.add("XMP");
            }
            at += size;
        }
    }

    // Exif or XMP whose entry went but whose bytes stayed.
    void searchWholeFile() {
        for (std::uint64_t at = 0; at < file_.size(); at += SearchBlock) {
            const Bytes block = file_.readUpTo(at, SearchBlock + LongestSignature);
            for (const Marker &marker : leftovers()) {
                if (block.find(marker.bytes) != Bytes::npos) {
                    findings_.add(marker.finding + Bytes(" data"));
                }
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

// Reads the result on its own: every box, every table that can name a place, device, person, date
// or program, and, in a picture, every byte for leftover Exif or XMP.
std::string remainingMetadata(ByteFile &file) {
    return Reader(file).findings();
}

}  // namespace IsoBmff
