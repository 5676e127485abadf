#include "formats/sound/TagCheck.h"

#include "formats/core/ByteOrder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <string>

namespace TagCheck {

namespace {

using Formats::Category;

constexpr std::size_t Id3HeaderSize = 10;
// A Vorbis comment key longer than this is no key a player shows, only a hiding place.
constexpr std::size_t LongestKeyShown = 32;

// What an ID3v2 frame or a Vorbis comment field holds, by its name: ID3v2.3/2.4 frame ids, their
// ID3v2.2 three-letter twins, and the upper-case keys of Vorbis comments.
Category categoryOf(const std::string &name) {
    static const std::map<std::string, Category> names = {
        {"TPE1", Category::People},
        {"TPE2", Category::People},
        {"TPE3", Category::People},
        {"TPE4", Category::People},
        {"TCOM", Category::People},
        {"TEXT", Category::People},
        {"TOPE", Category::People},
        {"TOWN", Category::People},
        {"TCOP", Category::People},
        {"TP1", Category::People},
        {"TP2", Category::People},
        {"TCM", Category::People},
        {"TIT1", Category::Descriptions},
        {"TIT2", Category::Descriptions},
        {"TIT3", Category::Descriptions},
        {"TALB", Category::Descriptions},
        {"COMM", Category::Descriptions},
        {"USLT", Category::Descriptions},
        {"TT2", Category::Descriptions},
        {"TAL", Category::Descriptions},
        {"COM", Category::Descriptions},
        {"TDRC", Category::Dates},
        {"TYER", Category::Dates},
        {"TDAT", Category::Dates},
        {"TIME", Category::Dates},
        {"TDRL", Category::Dates},
        {"TDEN", Category::Dates},
        {"TDTG", Category::Dates},
        {"TORY", Category::Dates},
        {"TDOR", Category::Dates},
        {"TYE", Category::Dates},
        {"TENC", Category::Software},
        {"TSSE", Category::Software},
        {"TEN", Category::Software},
        {"TSS", Category::Software},
        {"APIC", Category::Thumbnails},
        {"PIC", Category::Thumbnails},
        {"PRIV", Category::Identifiers},
        {"UFID", Category::Identifiers},
        {"ARTIST", Category::People},
        {"ALBUMARTIST", Category::People},
        {"PERFORMER", Category::People},
        {"COMPOSER", Category::People},
        {"COPYRIGHT", Category::People},
        {"TITLE", Category::Descriptions},
        {"ALBUM", Category::Descriptions},
        {"COMMENT", Category::Descriptions},
        {"DESCRIPTION", Category::Descriptions},
        {"LYRICS", Category::Descriptions},
        {"DATE", Category::Dates},
        {"YEAR", Category::Dates},
        {"ENCODER", Category::Software},
        {"ENCODED_BY", Category::Software},
        {"METADATA_BLOCK_PICTURE", Category::Thumbnails},
        {"COVERART", Category::Thumbnails}};
    const auto found = names.find(name);
    return found == names.end() ? Category::Other : found->second;
}

bool isFrameId(std::string_view id) {
    return std::all_of(id.begin(), id.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// An ID3v2 size: 28 bits in four bytes of seven.
std::size_t syncSafe(std::string_view bytes, std::size_t at) {
    std::size_t size = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        size = size << 7 | (Formats::byteAt(bytes, at + i) & 0x7F);
    }
    return size;
}

// Names the ID3v2 frames of a tag of `version`, from `at` up to `end`, until padding or damage;
// false when there is none.
bool nameFrames(std::string_view tag, unsigned version, std::size_t at, std::size_t end,
                Formats::Findings &findings) {
    bool named = false;
    const std::size_t idSize = version == 2 ? 3 : 4;
    const std::size_t headerSize = version == 2 ? 6 : 10;
    while (at + headerSize <= end) {
        const std::string_view id = tag.substr(at, idSize);
        if (!isFrameId(id)) {
            return named;
        }
        const std::size_t size =
            version == 2   ? Formats::byteAt(tag, at + 3) << 16 | Formats::bigEndian16(tag, at + 4)
            : version == 4 ? syncSafe(tag, at + 4)
                           : Formats::bigEndian32(tag, at + 4);
        findings.add(categoryOf(std::string(id)), "ID3 " + std::string(id));
        named = true;
        if (size > end - at - headerSize) {
            return named;
        }
        at += headerSize + size;
    }
    return named;
}

}  // namespace

bool isId3v2Header(std::string_view bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < Id3HeaderSize || bytes.substr(at, 3) != "ID3") {
        return false;
    }
    const unsigned version = Formats::byteAt(bytes, at + 3);
    bool sizeBytes = true;
    for (std::size_t i = 6; i < Id3HeaderSize; ++i) {
        sizeBytes = sizeBytes && Formats::byteAt(bytes, at + i) < 0x80;
    }
    return version >= 2 && version <= 4 && Formats::byteAt(bytes, at + 4) == 0 &&
           (Formats::byteAt(bytes, at + 5) & 0x0F) == 0 && sizeBytes;
}

void nameId3Frames(std::string_view tag, Formats::Findings &findings) {
    bool named = false;
    if (tag.size() >= Id3HeaderSize && tag.substr(0, 3) == "ID3") {
        const unsigned version = Formats::byteAt(tag, 3);
        const unsigned flags = Formats::byteAt(tag, 5);
        const std::size_t end = std::min(tag.size(), Id3HeaderSize + syncSafe(tag, 6));
        std::size_t at = Id3HeaderSize;
        if (version >= 3 && (flags & 0x40) != 0 && at + 4 <= end) {  // an extended header
            at += version == 4 ? syncSafe(tag, at) : 4 + Formats::bigEndian32(tag, at);
        }
        if (version >= 2 && version <= 4 && (flags & 0x80) == 0) {
            named = nameFrames(tag, version, at, end, findings);
        }
    }
    if (!named) {
        findings.add("ID3 tag");
    }
}

bool nameVorbisComments(std::string_view block, Formats::Findings &findings) {
    if (block.size() < 8 || Formats::littleEndian32(block, 0) > block.size() - 8) {
        return false;
    }
    std::size_t at = 4 + Formats::littleEndian32(block, 0);
    const std::uint32_t count = Formats::littleEndian32(block, at);
    at += 4;
    for (std::uint32_t field = 0; field < count; ++field) {
        if (block.size() - at < 4 || Formats::littleEndian32(block, at) > block.size() - at - 4) {
            return false;
        }
        const std::string_view text = block.substr(at + 4, Formats::littleEndian32(block, at));
        std::string key(text.substr(0, std::min(text.find('='), LongestKeyShown)));
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        findings.add(categoryOf(key), "Vorbis comment " + key);
        at += 4 + text.size();
    }
    return true;
}

void nameTrailingData(std::string_view rest, Formats::Findings &findings) {
    static const std::array<std::pair<std::string_view, const char *>, 4> tags = {{
        {"ID3", "ID3 tag"},
        {"APETAGEX", "APE tag"},
        {"LYRICSBEGIN", "Lyrics3 tag"},
        {"3DI", "ID3 tag"},
    }};
    bool named = false;
    for (const auto &[signature, name] : tags) {
        if (rest.find(signature) != std::string_view::npos) {
            findings.add(name);
            named = true;
        }
    }
    if (rest.size() >= 128 && rest.substr(rest.size() - 128, 3) == "TAG") {
        findings.add("ID3v1 tag");
        named = true;
    }
    if (!named) {
        findings.add("data that is not audio");
    }
}

}  // namespace TagCheck
