#include "formats/sound/Mp3.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"

#include <array>
#include <optional>

namespace {

constexpr std::size_t Id3HeaderSize = 10;
constexpr std::size_t Id3v1Size = 128;
constexpr std::size_t EnhancedId3v1Size = 227;
constexpr std::size_t ApeFooterSize = 32;
constexpr std::size_t Lyrics3v2TrailerSize = 15;  // six digits of size, then "LYRICS200"
constexpr int MaxTrailingTags = 16;

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
    return Formats::Refused("damaged MP3: a tag runs past the end");
}

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

// The length of the tag that ends at `end`, or 0 when none recognisably ends there.
std::size_t trailingTagLength(const Formats::Bytes &mp3, std::size_t end) {
    if (end >= EnhancedId3v1Size && startsWith(mp3, end - EnhancedId3v1Size, "TAG+")) {
        return EnhancedId3v1Size;
    }
    if (end >= Id3v1Size && startsWith(mp3, end - Id3v1Size, "TAG")) {
        return Id3v1Size;
    }
    if (end >= ApeFooterSize && startsWith(mp3, end - ApeFooterSize, "APETAGEX")) {
        const std::size_t footer = end - ApeFooterSize;
        const bool header = (Formats::littleEndian32(mp3, footer + 20) & 0x80000000U) != 0;
        const std::uint64_t length =
            std::uint64_t{Formats::littleEndian32(mp3, footer + 12)} + (header ? ApeFooterSize : 0);
        if (length < ApeFooterSize || length > end) {
            throw damagedTag();
        }
        return static_cast<std::size_t>(length);
    }
    if (end >= Lyrics3v2TrailerSize && startsWith(mp3, end - 9, "LYRICS200")) {
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
    if (end >= Id3HeaderSize && startsWith(mp3, end - Id3HeaderSize, "3DI")) {
        const auto size = syncSafe(mp3, end - 4);
        if (!size || *size + 2 * Id3HeaderSize > end) {
            throw damagedTag();
        }
        return *size + 2 * Id3HeaderSize;
    }
    return 0;
}

bool isFrameSync(const Formats::Bytes &mp3, std::size_t at) {
    return mp3.size() - at >= 2 && Formats::byteAt(mp3, at) == 0xFF &&
           (Formats::byteAt(mp3, at + 1) & 0xE0) == 0xE0;
}

}  // namespace

namespace Mp3 {

Formats::Bytes clean(const Formats::Bytes &mp3) {
    std::size_t start = 0;
    while (const std::size_t length = id3v2Length(mp3, start)) {
        start += length;
    }
    std::size_t end = mp3.size();
    for (int tags = 0; tags < MaxTrailingTags && end > start; ++tags) {
        const std::size_t length = trailingTagLength(mp3, end);
        if (length == 0 || length > end - start) {
            break;
        }
        end -= length;
    }
    if (end <= start || !isFrameSync(mp3, start)) {
        throw Formats::Refused("damaged MP3: no audio frame where the tags end");
    }
    return mp3.substr(start, end - start);
}

}  // namespace Mp3

namespace {

// The length of the MPEG audio frame whose header starts at `at`, or 0 when no valid header
// starts there (free-format frames, whose length the header does not give, count as invalid).
std::size_t frameLength(const Formats::Bytes &mp3, std::size_t at) {
    if (mp3.size() - at < 4 || Formats::byteAt(mp3, at) != 0xFF) {
        return 0;
    }
    const std::uint32_t second = Formats::byteAt(mp3, at + 1);
    const std::uint32_t third = Formats::byteAt(mp3, at + 2);
    const std::uint32_t version = second >> 3 & 3;  // 0: 2.5, 2: 2, 3: 1
    const std::uint32_t layer = second >> 1 & 3;    // 1: III, 2: II, 3: I
    const std::uint32_t bitrateIndex = third >> 4;
    const std::uint32_t rateIndex = third >> 2 & 3;
    if ((second & 0xE0) != 0xE0 || version == 1 || layer == 0 || bitrateIndex == 0 ||
        bitrateIndex == 15 || rateIndex == 3) {
        return 0;
    }
    static constexpr std::array<std::array<std::uint32_t, 15>, 5> kilobits = {{
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // 1, I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // 1, II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // 1, III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // 2, I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // 2, II and III
    }};
    static constexpr std::array<std::uint32_t, 3> mpeg1Rates = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const std::uint32_t table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
    const std::uint32_t bitsPerSecond = kilobits[table][bitrateIndex] * 1000;
    const std::uint32_t rate = mpeg1Rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const std::uint32_t padding = third >> 1 & 1;
    if (layer == 3) {
        return (12 * bitsPerSecond / rate + padding) * 4;
    }
    const std::uint32_t perSample = (layer == 1 && !mpeg1) ? 72 : 144;
    return perSample * bitsPerSecond / rate + padding;
}

// Names the tags found in what follows the last frame; anything else there is not audio either.
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

// Where the audio starts, past the ID3v2 tags in front of it.
std::size_t pastLeadingTags(const Formats::Bytes &mp3, Formats::Findings &findings) {
    std::size_t at = 0;
    while (mp3.size() - at >= 10 && mp3.compare(at, 3, "ID3") == 0) {
        findings.add("ID3 tag");
        std::uint64_t size = 0;
        for (std::size_t i = 6; i < 10; ++i) {
            size = size << 7 | (Formats::byteAt(mp3, at + i) & 0x7F);
        }
        at = static_cast<std::size_t>(std::min<std::uint64_t>(at + 10 + size, mp3.size()));
    }
    return at;
}

}  // namespace

namespace Mp3 {

std::string remainingMetadata(const Formats::Bytes &mp3) {
    Formats::Findings findings;
    std::size_t at = pastLeadingTags(mp3, findings);
    while (at < mp3.size()) {
        const std::size_t length = frameLength(mp3, at);
        if (length == 0) {
            nameTrailingData(std::string_view(mp3).substr(at), findings);
            break;
        }
        // A last frame cut short is common and carries nothing but sound.
        at += std::min(length, mp3.size() - at);
    }
    if (mp3.empty()) {
        return "MP3 holds no audio frame";
    }
    // A cut-short last frame may have hidden a tag behind its supposed length.
    static const std::array<std::pair<std::string_view, std::size_t>, 4> endMarks = {
        {{"TAG", 128}, {"APETAGEX", 32}, {"LYRICS200", 9}, {"3DI", 10}}};
    for (const auto &[mark, distance] : endMarks) {
        if (mp3.size() >= distance && mp3.compare(mp3.size() - distance, mark.size(), mark) == 0) {
            findings.add("a tag at the end");
        }
    }
    return findings.reason();
}

}  // namespace Mp3
