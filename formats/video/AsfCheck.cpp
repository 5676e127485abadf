#include "formats/video/Asf.h"

#include "formats/core/Cursor.h"
#include "formats/core/Limits.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

// The check walks the objects with a keep list of its own, by their GUIDs written out as text, and
// names every object outside it, down to the attribute names inside the descriptive ones.
namespace {

using Formats::Category;

const char *const HeaderGuid = "75B22630-668E-11CF-A6D9-00AA0062CE6C";
const char *const PaddingGuid = "1806D474-CADF-4509-A4BA-9AABCB96AAE8";
const char *const ExtensionGuid = "5FBF03B5-A92E-11CF-8EE3-00C00C205365";
const char *const FilePropertiesGuid = "8CABDCA1-A947-11CF-8EE4-00C00C205365";
const char *const MetadataGuid = "C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA";

std::string guidText(const Formats::Bytes &raw) {
    static const char digits[] = "0123456789ABCDEF";
    // The first three fields lie little-endian, the rest in order.
    static const int order[] = {3,  2, 1, 0,  -1, 5,  4,  -1, 7,  6,
                                -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
    std::string text;
    for (const int at : order) {
        if (at < 0) {
            text += '-';
            continue;
        }
        const auto byte = static_cast<unsigned char>(raw[static_cast<std::size_t>(at)]);
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::pair<Category, std::string> attributeWord(const std::string &name) {
    static const std::map<std::string, std::pair<Category, std::string>> words = {
        {"WM/Picture", {Category::Thumbnails, "cover picture"}},
        {"WM/EncodingSettings", {Category::Software, "encoder software"}},
        {"WM/ToolName", {Category::Software, "encoder software"}},
        {"WM/EncodingTime", {Category::Dates, "date"}},
        {"WM/Year", {Category::Dates, "date"}},
        {"WM/AlbumArtist", {Category::People, "artist"}},
        {"WM/Composer", {Category::People, "artist"}},
        {"WM/MediaCredits", {Category::People, "credits"}},
        {"Author", {Category::People, "author"}},
        {"Title", {Category::Descriptions, "title"}},
        {"WM/AlbumTitle", {Category::Descriptions, "album title"}},
        {"Description", {Category::Descriptions, "description"}},
    };
    const auto word = words.find(name);
    return word == words.end() ? std::make_pair(Category::Descriptions, "attribute " + name)
                               : word->second;
}

// UTF-16 names read as their low bytes: enough to recognise the ones we name.
std::string lowBytes(const Formats::Bytes &name) {
    std::string text;
    for (std::size_t i = 0; i + 1 < name.size() && name[i] != '\0'; i += 2) {
        text += name[i];
    }
    return text;
}

struct Named {
    const char *guid;
    Category category;
    const char *word;
};

// What objects outside the keep list are known to hold; others are named by their GUID.
const Named *objectWord(const std::string &guid) {
    static const Named words[] = {
        {"2211B3FA-BD23-11D2-B4B7-00A0C955FC6E", Category::Thumbnails, "branding picture"},
        {"F487CD01-A951-11CF-8EE6-00C00C205365", Category::Descriptions, "marker names"},
        {"1EFB1A30-0B62-11D0-A39B-00A0C90348F6", Category::Other, "script commands"},
        {"5FBF03B5-A92E-11CF-8EE3-00C00C205365", Category::Other, "nested header extension"},
        {"75B22630-668E-11CF-A6D9-00AA0062CE6C", Category::Other, "second header"},
    };
    for (const Named &word : words) {
        if (guid == word.guid) {
            return &word;
        }
    }
    return nullptr;
}

class Reader {
  public:
    explicit Reader(Formats::ByteFile &file) : cursor_(file, "ASF") {}

    Formats::Findings run() {
        if (guidText(cursor_.bytes(0, 16, cursor_.size())) != HeaderGuid) {
            throw cursor_.damaged("no header object");
        }
        for (std::uint64_t at = 0; at < cursor_.size();) {
            Formats::throwIfStopped();
            const std::uint64_t size = sizeAt(at, cursor_.size());
            if (at == 0) {
                objects(30, size, headerKeeps());
            } else {
                visit(at, size, topKeeps());
            }
            at += size;
        }
        return findings_;
    }

  private:
    using Keeps = std::set<std::string>;

    static const Keeps &topKeeps() {
        static const Keeps kept = {
            "75B22636-668E-11CF-A6D9-00AA0062CE6C",  // data
            "33000890-E5B1-11CF-89F4-00A0C90349CB",  // simple index
            "D6E229D3-35DA-11D1-9034-00A0C90349BE",  // index
            "FEB103F8-12AD-4C64-840F-2A1D2F7AD48C",  // media object index
            "3CB73FD0-0C4A-4803-953D-EDF7B6228F0C",  // time code index
        };
        return kept;
    }

    static const Keeps &headerKeeps() {
        static const Keeps kept = {
            FilePropertiesGuid,
            ExtensionGuid,
            "B7DC0791-A9B7-11CF-8EE6-00C00C205365",  // stream properties
            "86D15240-311D-11D0-A3A4-00A0C90348F6",  // codec list
            "7BF875CE-468D-11D1-8D82-006097C9A2B2",  // stream bit rates
            "75B22635-668E-11CF-A6D9-00AA0062CE6C",  // error correction
            "D6E229DC-35DA-11D1-9034-00A0C90349BE",  // bit rate mutual exclusion
        };
        return kept;
    }

    static const Keeps &extensionKeeps() {
        static const Keeps kept = {
            MetadataGuid,
            "14E6A5CB-C672-4332-8399-A96952065B5A",  // extended stream properties
            "A08649CF-4775-4670-8A16-6E35357566CD",  // advanced mutual exclusion
            "D1465A40-5A79-4338-B71B-E36B8FD6C249",  // group mutual exclusion
            "D4FED15B-88D3-454F-81F0-ED5C45999E24",  // stream prioritization
            "A69609E6-517B-11D2-B6AF-00C04FD908E9",  // bandwidth sharing
            "7C4346A9-EFE0-4BFC-B229-393EDE415C85",  // language list
            "D6E229DF-35DA-11D1-9034-00A0C90349BE",  // index parameters
            "6B203BAD-3F11-48E4-ACA8-D7613DE2CFA7",  // media object index parameters
            "F55E496D-9797-4B5D-8C8B-604DFE9BFB24",  // time code index parameters
            "26F18B5D-4584-47EC-9F5F-0E651F0452C9",  // compatibility
        };
        return kept;
    }

    std::uint64_t sizeAt(std::uint64_t at, std::uint64_t end) const {
        if (end - at < 24) {
            throw cursor_.damaged("an object header is cut short");
        }
        const std::uint64_t size = cursor_.littleEndian(at + 16, 8, end);
        if (size < 24 || size > end - at) {
            throw cursor_.damaged("an object runs past the end of the file");
        }
        return size;
    }

    void objects(std::uint64_t from, std::uint64_t end, const Keeps &kept) {
        for (std::uint64_t at = from; at < end;) {
            Formats::throwIfStopped();
            const std::uint64_t size = sizeAt(at, end);
            visit(at, size, kept);
            at += size;
        }
    }

    void visit(std::uint64_t at, std::uint64_t size, const Keeps &kept) {
        const std::string guid = guidText(cursor_.bytes(at, 16, at + size));
        if (guid == PaddingGuid) {
            if (!cursor_.allZero(at + 24, size - 24, at + size)) {
                findings_.add("filled padding");
            }
        } else if (kept.count(guid) == 0) {
            name(guid, at, size);
        } else if (guid == ExtensionGuid) {
            if (size < 46 || cursor_.littleEndian(at + 42, 4, at + size) != size - 46) {
                throw cursor_.damaged("the header extension does not say its size");
            }
            objects(at + 46, at + size, extensionKeeps());
        } else if (guid == FilePropertiesGuid && size >= 56 &&
                   cursor_.littleEndian(at + 48, 8, at + size) != 0) {
            findings_.add(Category::Dates, "creation date");
        } else if (guid == MetadataGuid && attributes(at, size, true) == 0) {
            // Kept for its aspect ratio records alone: without them it goes whole.
            findings_.add("metadata");
        }
    }

    void name(const std::string &guid, std::uint64_t at, std::uint64_t size) {
        if (guid == "75B22633-668E-11CF-A6D9-00AA0062CE6C") {
            contentDescription(at, size);
        } else if (guid == "D2D0A440-E307-11D2-97F0-00A0C95EA850") {
            attributes(at, size, false);
            findings_.add(Category::Descriptions, "content attributes");
        } else if (guid == "44231C94-9498-49D1-A141-1D134E457054") {
            attributes(at, size, true);
            findings_.add(Category::Descriptions, "metadata library");
        } else if (const Named *word = objectWord(guid)) {
            findings_.add(word->category, word->word);
        } else {
            findings_.add("object " + guid);
        }
    }

    void contentDescription(std::uint64_t at, std::uint64_t size) {
        static const std::pair<Category, const char *> fields[] = {
            {Category::Descriptions, "title"},  {Category::People, "author"},
            {Category::People, "copyright"},    {Category::Descriptions, "description"},
            {Category::Descriptions, "rating"},
        };
        bool named = false;
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            // More than the closing zero.
            if (cursor_.littleEndian(at + 24 + 2 * i, 2, at + size) > 2) {
                findings_.add(fields[i].first, fields[i].second);
                named = true;
            }
        }
        if (!named) {
            findings_.add(Category::Descriptions, "content description");
        }
    }

    // Names extended content descriptors, or metadata records, which carry two more words, but
    // the records that shape the picture; returns how many of those there are, or 0 when the
    // records do not fill their object exactly.
    std::size_t attributes(std::uint64_t at, std::uint64_t size, bool records) {
        const std::uint64_t end = at + size;
        std::size_t shaping = 0;
        std::uint64_t next = end;
        if (size <= Formats::Limits::RecordsRead) {
            const std::uint64_t count = cursor_.littleEndian(at + 24, 2, end);
            next = at + 26;
            for (std::uint64_t i = 0; i < count; ++i) {
                const std::uint64_t nameLength =
                    cursor_.littleEndian(next + (records ? 4 : 0), 2, end);
                const std::uint64_t nameAt = next + (records ? 12 : 2);
                std::uint64_t valueLength = 0;
                if (records) {
                    valueLength = cursor_.littleEndian(next + 8, 4, end);
                    next = cursor_.after(nameAt, nameLength, end);
                } else {
                    next = cursor_.after(nameAt, nameLength + 4, end);
                    valueLength = cursor_.littleEndian(next - 2, 2, end);
                }
                next = cursor_.after(next, valueLength, end);
                const std::string name = lowBytes(cursor_.bytes(
                    nameAt, std::min<std::uint64_t>(nameLength, Formats::Limits::NameRead), end));
                if (records && (name == "AspectRatioX" || name == "AspectRatioY")) {
                    ++shaping;
                } else {
                    const auto word = attributeWord(name);
                    findings_.add(word.first, word.second);
                }
            }
        }
        return next == end ? shaping : 0;
    }

    Formats::Cursor cursor_;
    Formats::Findings findings_;
};

}  // namespace

namespace Asf {

Formats::Findings findings(Formats::ByteFile &file) {
    return Reader(file).run();
}

}  // namespace Asf
