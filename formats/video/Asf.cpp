#include "formats/video/Asf.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"

#include <algorithm>
#include <array>

namespace {

using Guid = std::array<unsigned char, 16>;

constexpr std::size_t ObjectHeader = 24;      // GUID, 64-bit size
constexpr std::size_t HeaderObjectHead = 30;  // and the object count, two reserved bytes
constexpr std::size_t ExtensionHead = 46;     // and a GUID, a reserved word, the data size
constexpr std::size_t CreationDateAt = 48;    // in the file properties: after the file id, size
constexpr std::size_t CreationDateLength = 8;
constexpr std::size_t RecordHead = 12;  // two words, name length, type, 32-bit data length
constexpr std::uint64_t MaxMetadataObject = 16 << 20;  // a larger one goes whole

// As they lie in the file: the first three fields little-endian.
constexpr Guid HeaderObject{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid HeaderExtension{0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                               0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid FileProperties{0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid Padding{0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                       0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
constexpr Guid Metadata{0xEA, 0xCB, 0xF8, 0xC5, 0xAF, 0x5B, 0x77, 0x48,
                        0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA};
const Guid descriptive[] = {
    // content description
    {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE,
     0x6C},
    // extended content description
    {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8,
     0x50},
    // metadata library
    {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49, 0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70,
     0x54},
    // content branding: a banner picture and its links
    {0xFA, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11, 0xB4, 0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC,
     0x6E},
};

Formats::Refused damaged(const std::string &why) {
    return Formats::Refused("damaged ASF: " + why);
}

bool is(const Formats::Bytes &bytes, const Guid &guid) {
    return bytes.size() >= guid.size() &&
           std::equal(guid.begin(), guid.end(), bytes.begin(),
                      [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
}

bool isDescriptive(const Formats::Bytes &guid) {
    return std::any_of(std::begin(descriptive), std::end(descriptive),
                       [&](const Guid &known) { return is(guid, known); });
}

std::uint64_t size64(const Formats::Bytes &bytes, std::size_t at) {
    return Formats::littleEndian32(bytes, at) |
           static_cast<std::uint64_t>(Formats::littleEndian32(bytes, at + 4)) << 32;
}

struct Object {
    Formats::Bytes guid;
    std::uint64_t start;
    std::uint64_t size;
};

Object objectAt(Formats::ByteFile &file, std::uint64_t at, std::uint64_t end) {
    if (end - at < ObjectHeader) {
        throw damaged("an object header is cut short");
    }
    const Formats::Bytes header = file.read(at, ObjectHeader);
    const Object object{header.substr(0, 16), at, size64(header, 16)};
    if (object.size < ObjectHeader || object.size > end - at) {
        throw damaged("an object runs past the end of the file");
    }
    return object;
}

void overwriteWithPadding(Formats::ByteFile &file, const Object &object) {
    file.zero(object.start + ObjectHeader, object.size - ObjectHeader);
    file.write(object.start, Formats::Bytes(Padding.begin(), Padding.end()));
}

// UTF-16 as the records spell their names, with the closing zero.
Formats::Bytes utf16(const std::string &ascii) {
    Formats::Bytes text;
    for (const char c : ascii + '\0') {
        text += c;
        text += '\0';
    }
    return text;
}

// The metadata object with only the records that shape the picture (players stretch a video by its
// aspect ratio), or nothing when none is there.
Formats::Bytes pictureRecords(const Formats::Bytes &object) {
    static const Formats::Bytes kept[] = {utf16("AspectRatioX"), utf16("AspectRatioY")};
    if (object.size() < ObjectHeader + 2) {
        throw damaged("a metadata object is cut short");
    }
    Formats::Bytes records;
    std::uint16_t count = 0;
    std::size_t at = ObjectHeader + 2;
    for (std::size_t i = 0; i < Formats::littleEndian16(object, ObjectHeader); ++i) {
        if (object.size() - at < RecordHead) {
            throw damaged("a metadata record runs past its object");
        }
        const std::size_t nameLength = Formats::littleEndian16(object, at + 4);
        const std::size_t dataLength = Formats::littleEndian32(object, at + 8);
        if (nameLength + dataLength > object.size() - at - RecordHead) {
            throw damaged("a metadata record runs past its object");
        }
        const std::size_t length = RecordHead + nameLength + dataLength;
        const Formats::Bytes name = object.substr(at + RecordHead, nameLength);
        if (std::find(std::begin(kept), std::end(kept), name) != std::end(kept)) {
            records += object.substr(at, length);
            ++count;
        }
        at += length;
    }
    if (count == 0) {
        return {};
    }
    Formats::Bytes result = object.substr(0, ObjectHeader) + Formats::Bytes(2, '\0') + records;
    result[ObjectHeader] = static_cast<char>(count & 0xFF);
    result[ObjectHeader + 1] = static_cast<char>(count >> 8);
    return result;
}

void putSize(Formats::Bytes &object, std::uint64_t size) {
    Formats::putLittleEndian32(object, 16, static_cast<std::uint32_t>(size));
    Formats::putLittleEndian32(object, 20, static_cast<std::uint32_t>(size >> 32));
}

// Keeps the aspect ratio records and pads the rest; the whole object goes when no padding object
// fits behind them.
void cleanMetadata(Formats::ByteFile &file, const Object &object) {
    Formats::Bytes kept;
    if (object.size <= MaxMetadataObject) {
        kept = pictureRecords(file.read(object.start, static_cast<std::size_t>(object.size)));
    }
    const std::uint64_t rest = object.size - kept.size();
    if (kept.empty() || (rest > 0 && rest < ObjectHeader)) {
        overwriteWithPadding(file, object);
        return;
    }
    putSize(kept, kept.size());
    file.zero(object.start, object.size);
    file.write(object.start, kept);
    if (rest > 0) {
        Formats::Bytes padding(Padding.begin(), Padding.end());
        padding.resize(ObjectHeader);
        putSize(padding, rest);
        file.write(object.start + kept.size(), padding);
    }
}

// Visits the objects between `from` and `end`, with the header extension's objects inside it.
void cleanObjects(Formats::ByteFile &file, std::uint64_t from, std::uint64_t end, bool nested) {
    for (std::uint64_t at = from; at < end;) {
        Formats::throwIfStopped();
        const Object object = objectAt(file, at, end);
        if (isDescriptive(object.guid)) {
            overwriteWithPadding(file, object);
        } else if (is(object.guid, Metadata)) {
            cleanMetadata(file, object);
        } else if (is(object.guid, FileProperties) &&
                   object.size >= CreationDateAt + CreationDateLength) {
            file.zero(object.start + CreationDateAt, CreationDateLength);
        } else if (is(object.guid, HeaderExtension) && !nested) {
            if (object.size < ExtensionHead ||
                Formats::littleEndian32(file.read(at + ExtensionHead - 4, 4), 0) !=
                    object.size - ExtensionHead) {
                throw damaged("the header extension does not hold what it says");
            }
            cleanObjects(file, at + ExtensionHead, at + object.size, true);
        }
        at += object.size;
    }
}

}  // namespace

namespace Asf {

// Every top-level object must lie whole in the file, so that a cut-short copy is refused.
void clean(Formats::ByteFile &file) {
    if (file.size() < HeaderObjectHead || !is(file.read(0, 16), HeaderObject)) {
        throw Formats::Refused("not a Windows Media file");
    }
    for (std::uint64_t at = 0; at < file.size();) {
        const Object object = objectAt(file, at, file.size());
        if (at == 0) {
            if (object.size < HeaderObjectHead) {
                throw damaged("the header is cut short");
            }
            cleanObjects(file, HeaderObjectHead, object.size, false);
        }
        at += object.size;
    }
}

}  // namespace Asf
