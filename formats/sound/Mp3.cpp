#include "formats/sound/Mp3.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/sound/TagCheck.h"
#include "formats/sound/TagSpan.h"

#include <algorithm>
#include <array>

namespace {

bool isFrameSync(const Formats::Bytes &mp3, std::size_t at) {
    return mp3.size() - at >= 2 && Formats::byteAt(mp3, at) == 0xFF &&
           (Formats::byteAt(mp3, at + 1) & 0xE0) == 0xE0;
}

// The LAME tag after the Xing/Info fields: encoder, gapless delay and padding, gain, checksums.
constexpr std::size_t LameTagSize = 36;

// Side information before a Layer III frame's data: MPEG-1 or not, one channel or more.
std::size_t sideInfoSize(bool mpeg1, bool mono) {
    return mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

// The length of the Layer III frame that starts the audio, or 0 when it is none.
std::size_t layerThreeFrameLength(const Formats::Bytes &audio) {
    static constexpr std::array<std::array<std::uint32_t, 15>, 2> kilobits = {{
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    }};
    static constexpr std::array<std::uint32_t, 3> rates = {44100, 48000, 32000};
    const unsigned version = Formats::byteAt(audio, 1) >> 3 & 3;  // 0: 2.5, 2: 2, 3: 1
    const unsigned bitrate = Formats::byteAt(audio, 2) >> 4;
    const unsigned rate = Formats::byteAt(audio, 2) >> 2 & 3;
    if ((Formats::byteAt(audio, 1) >> 1 & 3) != 1 || version == 1 || bitrate == 0 ||
        bitrate == 15 || rate == 3) {
        return 0;
    }
    const bool mpeg1 = version == 3;
    const std::uint32_t hertz = rates[rate] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    return (mpeg1 ? 144 : 72) * kilobits[mpeg1 ? 0 : 1][bitrate] * 1000 / hertz +
           (Formats::byteAt(audio, 2) >> 1 & 1);
}

// Zeros what follows the Xing/Info fields and the LAME tag in the first frame: players skip that
// frame, so text a tagger leaves there is never heard and never shown.
void zeroInfoFramePadding(Formats::Bytes &audio) {
    const std::size_t length = audio.size() >= 4 ? layerThreeFrameLength(audio) : 0;
    if (length == 0) {
        return;
    }
    const bool mpeg1 = (Formats::byteAt(audio, 1) >> 3 & 3) == 3;
    const std::size_t info = 4 + sideInfoSize(mpeg1, Formats::byteAt(audio, 3) >> 6 == 3);
    const std::size_t end = std::min(length, audio.size());
    if (info + 8 > end ||
        (audio.compare(info, 4, "Xing") != 0 && audio.compare(info, 4, "Info") != 0)) {
        return;
    }
    const std::uint32_t flags = Formats::bigEndian32(audio, info + 4);
    const std::size_t fields =
        (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    const std::size_t used = info + 8 + fields + LameTagSize;
    if (used < end) {
        std::fill(audio.begin() + static_cast<std::ptrdiff_t>(used),
                  audio.begin() + static_cast<std::ptrdiff_t>(end), '\0');
    }
}

}  // namespace

namespace Mp3 {

Formats::Bytes clean(const Formats::Bytes &mp3) {
    std::size_t start = 0;
    while (const std::size_t length = TagSpan::id3v2Length(mp3, start)) {
        start += length;
    }
    const std::size_t end = TagSpan::endBeforeTags(mp3, start);
    if (end <= start || !isFrameSync(mp3, start)) {
        throw Formats::Refused("damaged MP3: no audio frame where the tags end");
    }
    Formats::Bytes audio = mp3.substr(start, end - start);
    zeroInfoFramePadding(audio);
    return audio;
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

// Whether the Xing/Info frame at `at`, `length` long, holds anything past its fields and its
// LAME tag: text a tagger hid where no player looks.
bool holdsTextInInfoPadding(const Formats::Bytes &mp3, std::size_t at, std::size_t length) {
    const unsigned second = Formats::byteAt(mp3, at + 1);
    const bool mpeg1 = (second >> 3 & 3) == 3, mono = Formats::byteAt(mp3, at + 3) >> 6 == 3;
    const std::size_t tag = at + 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    const std::size_t end = at + std::min(length, mp3.size() - at);
    if ((second >> 1 & 3) != 1 || tag + 8 > end ||
        (mp3.compare(tag, 4, "Xing") != 0 && mp3.compare(tag, 4, "Info") != 0)) {
        return false;
    }
    const std::uint32_t flags = Formats::bigEndian32(mp3, tag + 4);
    std::size_t used = tag + 8 + 36;  // the fields' header, then the LAME tag after the fields
    for (const auto &[flag, size] : {std::pair{1u, 4u}, {2u, 4u}, {4u, 100u}, {8u, 4u}}) {
        used += (flags & flag) != 0 ? size : 0;
    }
    return std::any_of(mp3.begin() + static_cast<std::ptrdiff_t>(std::min(used, end)),
                       mp3.begin() + static_cast<std::ptrdiff_t>(end),
                       [](char byte) { return byte != 0; });
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
        std::uint64_t size = 0;
        for (std::size_t i = 6; i < 10; ++i) {
            size = size << 7 | (Formats::byteAt(mp3, at + i) & 0x7F);
        }
        const std::size_t end =
            static_cast<std::size_t>(std::min<std::uint64_t>(at + 10 + size, mp3.size()));
        TagCheck::nameId3Frames(std::string_view(mp3).substr(at, end - at), findings);
        at = end;
    }
    return at;
}

}  // namespace

namespace Mp3 {

Formats::Findings check(const Formats::Bytes &mp3) {
    if (mp3.empty()) {
        throw Formats::Refused("MP3 holds no audio frame");
    }
    Formats::Findings findings;
    std::size_t at = pastLeadingTags(mp3, findings);
    for (const std::size_t first = at; at < mp3.size();) {
        const std::size_t length = frameLength(mp3, at);
        if (length == 0) {
            nameTrailingData(std::string_view(mp3).substr(at), findings);
            break;
        }
        if (at == first && holdsTextInInfoPadding(mp3, at, length)) {
            findings.add("text in the info frame's padding");
        }
        // A last frame cut short is common and carries nothing but sound.
        at += std::min(length, mp3.size() - at);
    }
    // A cut-short last frame may have hidden a tag behind its supposed length.
    static const std::array<std::pair<std::string_view, std::size_t>, 4> endMarks = {
        {{"TAG", 128}, {"APETAGEX", 32}, {"LYRICS200", 9}, {"3DI", 10}}};
    for (const auto &[mark, distance] : endMarks) {
        if (mp3.size() >= distance && mp3.compare(mp3.size() - distance, mark.size(), mark) == 0) {
            findings.add("a tag at the end");
        }
    }
    return findings;
}

std::string remainingMetadata(const Formats::Bytes &mp3) {
    return Formats::reasonOf(check, mp3);
}

}  // namespace Mp3
