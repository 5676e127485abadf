#include "formats/video/Asf.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"

#include <map>

// The check names objects by their GUIDs written out as text, and reads the attribute names inside
// the descriptive objects, with a walk of its own.
namespace {

constexpr std::uint64_t MaxAttributeObject = 16 << 20;  // larger ones are named, not read
constexpr std::size_t MaxAttributes = 4096;

struct Damaged {
    std::string why;
};

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
        const unsigned byte = Formats::byteAt(raw, static_cast<std::size_t>(at));
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::uint64_t u64(const Formats::Bytes &bytes, std::size_t at) {
    return Formats::littleEndian32(bytes, at) |
           static_cast<std::uint64_t>(Formats::littleEndian32(bytes, at + 4)) << 32;
}

std::string attributeWord(const std::string &name) {
    static const std::map<std::string, std::string> words = {
        {"WM/Picture", "cover picture"},
        {"WM/EncodingSettings", "encoder software"},
        {"WM/ToolName", "encoder software"},
        {"WM/EncodingTime", "date"},
        {"WM/Year", "date"},
        {"WM/AlbumArtist", "artist"},
        {"WM/Composer", "artist"},
        {"Author", "author"},
        {"Title", "title"},
        {"WM/AlbumTitle", "album title"},
        {"WM/MediaCredits", "credits"},
        {"Description", "description"},
    };
    const auto word = words.find(name);
    return word == words.end() ? "attribute " + name : word->second;
}

// UTF-16 names read as their low bytes: enough to recognise the ones we name.
std::string nameAt(const Formats::Bytes &object, std::size_t at, std::size_t length) {
    std::string name;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        const char low = object[at + i];
        if (low == '\0') {
            break;
        }
        name += low;
    }
    return name;
}

class Reader {
  public:
    explicit Reader(Formats::ByteFile &file) : file_(file) {}

    std::string findings() {
        try {
            walk();
        } catch (const Damaged &damaged) {
            return "damaged ASF: " + damaged.why;
        } catch (const Formats::Refused &) {
            return "damaged ASF: the file ends early";
        }
        return findings_.reason();
    }

  private:
    void walk() {
        if (guidText(file_.read(0, 16)) != "75B22630-668E-11CF-A6D9-00AA0062CE6C") {
            throw Damaged{"no header object"};
        }
        for (std::uint64_t at = 0; at < file_.size();) {
            Formats::throwIfStopped();
            const std::uint64_t size = sizeAt(at, file_.size());
            if (at == 0) {
                objects(30, size, true);
            }
            at += size;
        }
    }

    std::uint64_t sizeAt(std::uint64_t at, std::uint64_t end) {
        if (end - at < 24) {
            throw Damaged{"an object header is cut short"};
        }
        const std::uint64_t size = u64(file_.read(at + 16, 8), 0);
        if (size < 24 || size > end - at) {
            throw Damaged{"an object runs past the end of the file"};
        }
        return size;
    }

    void objects(std::uint64_t from, std::uint64_t end, bool mayHoldExtension) {
        for (std::uint64_t at = from; at < end;) {
            Formats::throwIfStopped();
            const std::uint64_t size = sizeAt(at, end);
            const std::string guid = guidText(file_.read(at, 16));
            if (guid == "5FBF03B5-A92E-11CF-8EE3-00C00C205365" && mayHoldExtension && size >= 46) {
                objects(at + 46, at + size, false);
            } else if (guid == "8CABDCA1-A947-11CF-8EE4-00C00C205365" && size >= 56 &&
                       u64(file_.read(at + 48, 8), 0) != 0) {
                findings_.add("creation date");
            } else if (guid == "75B22633-668E-11CF-A6D9-00AA0062CE6C") {
                contentDescription(at, size);
            } else if (guid == "D2D0A440-E307-11D2-97F0-00A0C95EA850") {
                attributes(at, size, false);
            } else if (guid == "C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA" ||  // metadata
                       guid == "44231C94-9498-49D1-A141-1D134E457054") {  // its library
                attributes(at, size, true);
            } else if (guid == "2211B3FA-BD23-11D2-B4B7-00A0C955FC6E") {
                findings_.add("branding picture");
            }
            at += size;
        }
    }

    void contentDescription(std::uint64_t at, std::uint64_t size) {
        static const char *const fields[] = {"title", "author", "copyright", "description",
                                             "rating"};
        if (size < 34) {
            throw Damaged{"a content description is cut short"};
        }
        const Formats::Bytes lengths = file_.read(at + 24, 10);
        for (std::size_t i = 0; i < 5; ++i) {
            if (Formats::littleEndian16(lengths, 2 * i) > 2) {  // more than the closing zero
                findings_.add(fields[i]);
            }
        }
    }

    // Extended content descriptors, or metadata records, which carry two more words.
    void attributes(std::uint64_t at, std::uint64_t size, bool records) {
        if (size > MaxAttributeObject) {
            findings_.add("attributes");
            return;
        }
        const Formats::Bytes object = file_.read(at, static_cast<std::size_t>(size));
        const auto need = [&](std::size_t from, std::size_t length) {
            if (length > object.size() || from > object.size() - length) {
                throw Damaged{"an attribute runs past its object"};
            }
        };
        need(24, 2);
        const std::size_t count =
            std::min<std::size_t>(Formats::littleEndian16(object, 24), MaxAttributes);
        std::size_t next = 26;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t head = records ? 12 : 2;
            need(next, head);
            const std::size_t nameLength =
                Formats::littleEndian16(object, next + (records ? 4 : 0));
            const std::size_t nameAtOffset = next + head;
            need(nameAtOffset, nameLength);
            std::size_t valueLength = 0;
            if (records) {
                valueLength = Formats::littleEndian32(object, next + 8);
                next = nameAtOffset + nameLength;
            } else {
                need(nameAtOffset + nameLength, 4);
                valueLength = Formats::littleEndian16(object, nameAtOffset + nameLength + 2);
                next = nameAtOffset + nameLength + 4;
            }
            need(next, valueLength);
            const std::string name = nameAt(object, nameAtOffset, nameLength);
            if (name != "AspectRatioX" && name != "AspectRatioY") {  // they shape the picture
                findings_.add(attributeWord(name));
            }
            next += valueLength;
        }
    }

    Formats::ByteFile &file_;
    Formats::Findings findings_;
};

}  // namespace

namespace Asf {

std::string remainingMetadata(Formats::ByteFile &file) {
    return Reader(file).findings();
}

}  // namespace Asf
