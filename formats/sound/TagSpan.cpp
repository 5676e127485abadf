#include "formats/sound/TagSpan.h"

#include "formats/core/ByteOrder.h"

#include <optional>
#include <string_view>

namespace TagSpan {

namespace {

constexpr std::size_t Id3HeaderSize = 10;
constexpr std::size_t Id3v1Size = 128;
constexpr std::size_t EnhancedId3v1Size = 227;
constexpr std::size_t ApeFooterSize = 32;
constexpr std::size_t Lyrics3v2TrailerSize = 15;  // six digits of size, then "LYRICS200"

// An ID3v2 size: four bytes of seven bits each.
std::optional<std::size_t> syncSafe(const Formats::Bytes &bytes, std::size_t at) {
    std::size_t size = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto byte = Formats::byteAt(bytes, at + i);
        if (byte >= 0x80) {
            return std::nullopt;
        }
        size = size << 7 | byte;
    }
    return size;
}

bool startsWith(const Formats::Bytes &bytes, std::size_t at, std::string_view text) {
    return at <= bytes.size() && bytes.compare(at, text.size(), text) == 0;
}

Formats::Refused damagedTag() {
    return Formats::Refused("damaged tag: it runs past the sound");
}

constexpr int MaxTrailingTags = 16;

// Whether an ID3v2 header stands at `at`: a known version, revision 0, no unknown flag and a size
// of seven-bit bytes. Sound frames hold such ten bytes by chance about once in 2^46.
bool isId3v2Header(const Formats::Bytes &bytes, std::size_t at) {
    if (bytes.size() - at < Id3HeaderSize || bytes.compare(at, 3, "ID3") != 0) {
        return false;
    }
    const unsigned version = Formats::byteAt(bytes, at + 3);
    return version >= 2 && version <= 4 && bytes[at + 4] == 0 &&
           (Formats::byteAt(bytes, at + 5) & 0x0F) == 0 && syncSafe(bytes, at + 6);
}

// The length of an ID3v2 tag without a footer that ends exactly at `end` and starts after
// `start`, as some taggers append one; 0 when none does.
std::size_t appendedId3v2Length(const Formats::Bytes &bytes, std::size_t start, std::size_t end) {
    if (end < start + Id3HeaderSize) {
        return 0;
    }
    for (std::size_t at = bytes.rfind("ID3", end - Id3HeaderSize);
         at != Formats::Bytes::npos && at >= start;
         at = at == 0 ? Formats::Bytes::npos : bytes.rfind("ID3", at - 1)) {
        if (isId3v2Header(bytes, at) && *syncSafe(bytes, at + 6) + Id3HeaderSize == end - at) {
            return end - at;
        }
    }
    return 0;
}

// The length of the tag that ends at `end`, or 0 when none recognisably ends there: its
// signature must lie after `start`, in the sound, not in what comes before it.
std::size_t trailingTagLength(const Formats::Bytes &mp3, std::size_t start, std::size_t end,
                              Frames frames) {
    if (end - start >= EnhancedId3v1Size && startsWith(mp3, end - EnhancedId3v1Size, "TAG+")) {
        return EnhancedId3v1Size;
    }
    if (end - start >= Id3v1Size && startsWith(mp3, end - Id3v1Size, "TAG")) {
        return Id3v1Size;
    }
    if (end - start >= ApeFooterSize && startsWith(mp3, end - ApeFooterSize, "APETAGEX")) {
        const std::size_t footer = end - ApeFooterSize;
        const bool header = (Formats::littleEndian32(mp3, footer + 20) & 0x80000000U) != 0;
        const std::uint64_t length =
            std::uint64_t{Formats::littleEndian32(mp3, footer + 12)} + (header ? ApeFooterSize : 0);
        if (length < ApeFooterSize || length > end) {
            throw damagedTag();
        }
        return static_cast<std::size_t>(length);
    }
    if (end - start >= 9 && startsWith(mp3, end - 9, "LYRICS200")) {
        if (end - start < Lyrics3v2TrailerSize) {
            throw damagedTag();
        }
        const Formats::Bytes digits = mp3.substr(end - Lyrics3v2TrailerSize, 6);
        if (digits.find_first_not_of("0123456789") != Formats::Bytes::npos) {
            throw damagedTag();
        }
        const std::size_t length = std::stoul(digits) + Lyrics3v2TrailerSize;
        if (length > end || !startsWith(mp3, end - length, "LYRICSBEGIN")) {
            throw damagedTag();
        }
        return length;
    }
    if (end - start >= Id3HeaderSize && startsWith(mp3, end - Id3HeaderSize, "3DI")) {
        const auto size = syncSafe(mp3, end - 4);
        if (!size || *size + 2 * Id3HeaderSize > end) {
            throw damagedTag();
        }
        return *size + 2 * Id3HeaderSize;
    }
    return frames == Frames::Unwalked ? appendedId3v2Length(mp3, start, end) : 0;
}

}  // namespace

// The length of the ID3v2 tag that starts at `at`, footer included; 0 when none starts there.
std::size_t id3v2Length(const Formats::Bytes &mp3, std::size_t at) {
    if (!startsWith(mp3, at, "ID3") || mp3.size() - at < Id3HeaderSize) {
        return 0;
    }
    const auto size = syncSafe(mp3, at + 6);
    if (!size) {
        throw Formats::Refused("damaged MP3: an ID3 tag has a broken size");
    }
    const bool footer = (Formats::byteAt(mp3, at + 5) & 0x10) != 0;
    const std::size_t length = Id3HeaderSize + *size + (footer ? Id3HeaderSize : 0);
    if (length > mp3.size() - at) {
        throw damagedTag();
    }
    return length;
}

std::size_t afterLeadingTags(const Formats::Bytes &bytes) {
    std::size_t start = 0;
    while (const std::size_t length = id3v2Length(bytes, start)) {
        start += length;
    }
    return start;
}

bool holdsTagWithin(const Formats::Bytes &bytes, std::size_t start, std::size_t end) {
    const std::string_view audio = std::string_view(bytes).substr(start, end - start);
    if (audio.find("APETAGEX") != std::string_view::npos) {
        return true;
    }
    for (std::size_t at = audio.find("ID3"); at != std::string_view::npos;
         at = audio.find("ID3", at + 1)) {
        if (at + Id3HeaderSize <= audio.size() && isId3v2Header(bytes, start + at)) {
            return true;
        }
    }
    return false;
}

std::size_t endBeforeTags(const Formats::Bytes &bytes, std::size_t start, Frames frames) {
    std::size_t end = bytes.size();
    for (int tags = 0;; ++tags) {
        const std::size_t length = end > start ? trailingTagLength(bytes, start, end, frames) : 0;
        if (length == 0) {
            return end;
        }
        // A tag reaching into what comes before the sound, or one too many, would be cut only in
        // part: what stays of it could hold anything.
        if (length > end - start || tags == MaxTrailingTags) {
            throw damagedTag();
        }
        end -= length;
    }
}

}  // namespace TagSpan
