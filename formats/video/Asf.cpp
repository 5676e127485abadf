#include "formats/video/Asf.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Cursor.h"
#include "formats/core/Findings.h"
#include "formats/core/Limits.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::size_t ObjectHeader = 24;  // GUID, 64-bit size
constexpr std::size_t GuidLength = 16;
constexpr std::size_t HeaderObjectHead = 30;  // and the object count, two reserved bytes
constexpr std::size_t ExtensionHead = 46;     // and a GUID, a reserved word, the data size
constexpr std::size_t CreationDateAt = 48;    // in the file properties: after the file id, size
constexpr std::size_t CreationDateLength = 8;
constexpr std::size_t RecordHead = 12;  // two words, name length, type, 32-bit data length

// A GUID as it lies in the file, from the way it is written: the first three fields little-endian.
Formats::Bytes guid(const char *text) {
    static const int order[] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string hex(text);
    hex.erase(std::remove(hex.begin(), hex.end(), '-'), hex.end());
    Formats::Bytes bytes(GuidLength, '\0');
    for (std::size_t i = 0; i < GuidLength; ++i) {
        bytes[static_cast<std::size_t>(order[i])] =
            static_cast<char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    return bytes;
}

const Formats::Bytes HeaderObject = guid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
const Formats::Bytes Padding = guid("1806D474-CADF-4509-A4BA-9AABCB96AAE8");

enum class Level { Top, Header, Extension };

// Keep: as it is. Enter: a header extension, whose objects are decided one by one. Zero: padding
// already. Blank: becomes zeroed padding.
enum class Action { Keep, Enter, Zero, Blank, FileProperties, Metadata };

// What players need at each level; every other object is blanked, known to hold metadata or not.
Action actionFor(Level level, const Formats::Bytes &id) {
    struct Rule {
        Level level;
        Formats::Bytes guid;
        Action action;
    };
    static const std::vector<Rule> rules = {
        {Level::Top, guid("75B22636-668E-11CF-A6D9-00AA0062CE6C"), Action::Keep},  // data
        {Level::Top, guid("33000890-E5B1-11CF-89F4-00A0C90349CB"), Action::Keep},  // simple index
        {Level::Top, guid("D6E229D3-35DA-11D1-9034-00A0C90349BE"), Action::Keep},  // index
        {Level::Top, guid("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C"), Action::Keep},  // media index
        {Level::Top, guid("3CB73FD0-0C4A-4803-953D-EDF7B6228F0C"), Action::Keep},  // time codes
        {Level::Header, guid("8CABDCA1-A947-11CF-8EE4-00C00C205365"), Action::FileProperties},
        {Level::Header, guid("B7DC0791-A9B7-11CF-8EE6-00C00C205365"), Action::Keep},  // stream
        {Level::Header, guid("86D15240-311D-11D0-A3A4-00A0C90348F6"), Action::Keep},  // codecs
        {Level::Header, guid("7BF875CE-468D-11D1-8D82-006097C9A2B2"), Action::Keep},  // bit rates
        {Level::Header, guid("75B22635-668E-11CF-A6D9-00AA0062CE6C"), Action::Keep},  // errors
        {Level::Header, guid("D6E229DC-35DA-11D1-9034-00A0C90349BE"), Action::Keep},  // exclusion
        {Level::Header, guid("5FBF03B5-A92E-11CF-8EE3-00C00C205365"), Action::Enter},
        // Extended stream properties, mutual exclusions, priorities, bandwidth sharing, languages,
        // index parameters, compatibility.
        {Level::Extension, guid("14E6A5CB-C672-4332-8399-A96952065B5A"), Action::Keep},
        {Level::Extension, guid("A08649CF-4775-4670-8A16-6E35357566CD"), Action::Keep},
        {Level::Extension, guid("D1465A40-5A79-4338-B71B-E36B8FD6C249"), Action::Keep},
        {Level::Extension, guid("D4FED15B-88D3-454F-81F0-ED5C45999E24"), Action::Keep},
        {Level::Extension, guid("A69609E6-517B-11D2-B6AF-00C04FD908E9"), Action::Keep},
        {Level::Extension, guid("7C4346A9-EFE0-4BFC-B229-393EDE415C85"), Action::Keep},
        {Level::Extension, guid("D6E229DF-35DA-11D1-9034-00A0C90349BE"), Action::Keep},
        {Level::Extension, guid("6B203BAD-3F11-48E4-ACA8-D7613DE2CFA7"), Action::Keep},
        {Level::Extension, guid("F55E496D-9797-4B5D-8C8B-604DFE9BFB24"), Action::Keep},
        {Level::Extension, guid("26F18B5D-4584-47EC-9F5F-0E651F0452C9"), Action::Keep},
        {Level::Extension, guid("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA"), Action::Metadata},
    };
    if (id == Padding) {
        return Action::Zero;
    }
    for (const Rule &rule : rules) {
        if (rule.level == level && rule.guid == id) {
            return rule.action;
        }
    }
    return Action::Blank;
}

struct Object {
    Formats::Bytes guid;
    std::uint64_t start;
    std::uint64_t size;
};

Object objectAt(const Formats::Cursor &cursor, std::uint64_t at, std::uint64_t end) {
    if (end - at < ObjectHeader) {
        throw cursor.damaged("an object header is cut short");
    }
    const Object object{cursor.bytes(at, GuidLength, end), at,
                        cursor.littleEndian(at + GuidLength, 8, end)};
    if (object.size < ObjectHeader || object.size > end - at) {
        throw cursor.damaged("an object runs past the end of the file");
    }
    return object;
}

void overwriteWithPadding(Formats::ByteFile &file, const Object &object) {
    file.zero(object.start + ObjectHeader, object.size - ObjectHeader);
    file.write(object.start, Padding);
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
        throw Formats::Refused("damaged ASF: a metadata object is cut short");
    }
    Formats::Bytes records;
    std::uint16_t count = 0;
    std::size_t at = ObjectHeader + 2;
    for (std::size_t i = 0; i < Formats::littleEndian16(object, ObjectHeader); ++i) {
        if (object.size() - at < RecordHead) {
            throw Formats::Refused("damaged ASF: a metadata record runs past its object");
        }
        const std::size_t nameLength = Formats::littleEndian16(object, at + 4);
        const std::size_t dataLength = Formats::littleEndian32(object, at + 8);
        if (nameLength + dataLength > object.size() - at - RecordHead) {
            throw Formats::Refused("damaged ASF: a metadata record runs past its object");
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
    if (object.size <= Formats::Limits::RecordsRead) {
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
        Formats::Bytes padding = Padding;
        padding.resize(ObjectHeader);
        putSize(padding, rest);
        file.write(object.start + kept.size(), padding);
    }
}

void cleanObjects(const Formats::Cursor &cursor, std::uint64_t from, std::uint64_t end,
                  Level level);

void visit(const Formats::Cursor &cursor, const Object &object, Level level) {
    Formats::ByteFile &file = cursor.file();
    switch (actionFor(level, object.guid)) {
        case Action::Keep:
            break;
        case Action::Enter:
            if (object.size < ExtensionHead ||
                cursor.littleEndian(object.start + ExtensionHead - 4, 4,
                                    object.start + object.size) != object.size - ExtensionHead) {
                throw cursor.damaged("the header extension does not hold what it says");
            }
            cleanObjects(cursor, object.start + ExtensionHead, object.start + object.size,
                         Level::Extension);
            break;
        case Action::Zero:
            file.zero(object.start + ObjectHeader, object.size - ObjectHeader);
            break;
        case Action::FileProperties:
            if (object.size >= CreationDateAt + CreationDateLength) {
                file.zero(object.start + CreationDateAt, CreationDateLength);
            }
            break;
        case Action::Metadata:
            cleanMetadata(file, object);
            break;
        case Action::Blank:
            overwriteWithPadding(file, object);
            break;
    }
}

// The objects between `from` and `end`; every one must lie whole in them, so that a cut-short copy
// is refused.
void cleanObjects(const Formats::Cursor &cursor, std::uint64_t from, std::uint64_t end,
                  Level level) {
    for (std::uint64_t at = from; at < end;) {
        Formats::throwIfStopped();
        const Object object = objectAt(cursor, at, end);
        if (level == Level::Top && at == 0) {
            if (object.size < HeaderObjectHead) {
                throw cursor.damaged("the header is cut short");
            }
            cleanObjects(cursor, HeaderObjectHead, object.size, Level::Header);
        } else {
            visit(cursor, object, level);
        }
        at += object.size;
    }
}

}  // namespace

namespace Asf {

void clean(Formats::ByteFile &file) {
    if (file.size() < HeaderObjectHead || file.read(0, GuidLength) != HeaderObject) {
        throw Formats::Refused("not a Windows Media file");
    }
    cleanObjects(Formats::Cursor(file, "ASF"), 0, file.size(), Level::Top);
}

std::string remainingMetadata(Formats::ByteFile &file) {
    return Formats::reasonOf(findings, file);
}

}  // namespace Asf
