#include "formats/sound/Mp3.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"
#include "formats/sound/TagCheck.h"
#include "formats/sound/TagSpan.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// The LAME tag after the Xing/Info fields: encoder, gapless delay and padding, gain, checksums.
constexpr std::size_t LameTagSize = 36;

// Side information before a Layer III frame's data: MPEG-1 or not, one channel or more.
std::size_t sideInfoSize(bool mpeg1, bool mono) {
    return mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

// Bit rates by MPEG version and layer, and MPEG-1's sample rates (halved and quartered for
// MPEG-2 and 2.5): the frame length follows from them. Pass and check read frames apart.
constexpr std::array<std::array<std::uint16_t, 15>, 5> Kilobits = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // 1, I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // 1, II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // 1, III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // 2, I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // 2, II and III
}};
constexpr std::array<std::uint32_t, 3> Mpeg1Rates = {44100, 48000, 32000};

// The pass's own reading of an MPEG audio frame header at `at`: the frame's length, or 0 when none
// starts there (free-format frames, whose header gives no length, among them).
std::size_t frameLengthAt(const Formats::Bytes &mp3, std::size_t at) {
    if (mp3.size() - at < 4 || Formats::byteAt(mp3, at) != 0xFF ||
        (Formats::byteAt(mp3, at + 1) & 0xE0) != 0xE0) {
        return 0;
    }
    const unsigned version = Formats::byteAt(mp3, at + 1) >> 3 & 3;      // 0: 2.5, 2: 2, 3: 1
    const unsigned layer = 4 - (Formats::byteAt(mp3, at + 1) >> 1 & 3);  // 4 for the reserved one
    const unsigned bitrate = Formats::byteAt(mp3, at + 2) >> 4;
    const unsigned rate = Formats::byteAt(mp3, at + 2) >> 2 & 3;
    if (version == 1 || layer == 4 || bitrate == 0 || bitrate == 15 || rate == 3) {
        return 0;
    }
    const bool mpeg1 = version == 3;
    const std::uint32_t bitsPerSecond =
        Kilobits[mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4)][bitrate] * 1000u;
    const std::uint32_t hertz = Mpeg1Rates[rate] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const std::uint32_t padding = Formats::byteAt(mp3, at + 2) >> 1 & 1;
    if (layer == 1) {
        return (12 * bitsPerSecond / hertz + padding) * 4;
    }
    return (layer == 3 && !mpeg1 ? 72 : 144) * bitsPerSecond / hertz + padding;
}

// Zeros what follows the Xing/Info fields and the LAME tag in the first frame: players skip that
// frame, so text a tagger leaves there is never heard and never shown. A file whose info frame is
// cut short holds no sound and is refused.
void zeroInfoFramePadding(Formats::Bytes &audio) {
    const std::size_t length = frameLengthAt(audio, 0);
    if (length == 0 || (Formats::byteAt(audio, 1) >> 1 & 3) != 1) {  // Layer III alone has one
        return;
    }
    const bool mpeg1 = (Formats::byteAt(audio, 1) >> 3 & 3) == 3;
    const std::size_t info = 4 + sideInfoSize(mpeg1, Formats::byteAt(audio, 3) >> 6 == 3);
    const std::size_t end = std::min(length, audio.size());
    if (info + 8 > end ||
        (audio.compare(info, 4, "Xing") != 0 && audio.compare(info, 4, "Info") != 0)) {
        return;
    }
    if (length > audio.size()) {
        throw Formats::Refused("damaged MP3: its info frame is cut short");
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

// What the pass keeps: the frames of [start, end), ID3v2 tags among them cut out (joined files
// carry them), and where the last of them starts.
struct KeptFrames {
    Formats::Bytes audio;
    std::size_t lastFrame = 0;
};

// Refused where neither a frame nor a tag starts. A last frame cut short stays.
KeptFrames framesWithoutTags(const Formats::Bytes &mp3, std::size_t start, std::size_t end) {
    constexpr int FramesBetweenStopChecks = 4096;
    KeptFrames frames;
    frames.audio.reserve(end - start);
    for (int count = 0; start < end; ++count) {
        if (count % FramesBetweenStopChecks == 0) {
            Formats::throwIfStopped();
        }
        if (const std::size_t tag = TagSpan::id3v2Length(mp3, start)) {
            start += tag;
            continue;
        }
        const std::size_t length =
            end - start < 4 ? 0 : std::min(frameLengthAt(mp3, start), end - start);
        if (length == 0) {
            throw Formats::Refused(count == 0 ? "damaged MP3: no audio frame where the tags end"
                                              : "damaged MP3: data that is not audio among its "
                                                "frames");
        }
        frames.lastFrame = frames.audio.size();
        frames.audio.append(mp3, start, length);
        start += length;
    }
    return frames;
}

}  // namespace

namespace Mp3 {

Formats::Bytes clean(const Formats::Bytes &mp3) {
    const std::size_t start = TagSpan::afterLeadingTags(mp3);
    KeptFrames frames =
        framesWithoutTags(mp3, start, TagSpan::endBeforeTags(mp3, start, TagSpan::Frames::Walked));
    if (frames.audio.empty()) {
        throw Formats::Refused("damaged MP3: no audio frame where the tags end");
    }
    zeroInfoFramePadding(frames.audio);
    // A tag without a footer appended inside what the last frame claims cannot be told from sound.
    // Sought in what the pass gives: zeros in an info frame that is also the last can complete the
    // header of one.
    if (TagSpan::holdsTagWithin(frames.audio, frames.lastFrame, frames.audio.size())) {
        throw Formats::Refused("damaged MP3: a tag inside its last frame");
    }
    return std::move(frames.audio);
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
    const bool mpeg1 = version == 3;
    const std::uint32_t table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
    const std::uint32_t bitsPerSecond = Kilobits[table][bitrateIndex] * 1000;
    const std::uint32_t rate = Mpeg1Rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
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

// Names a tag that starts inside the last frame, where the frame's supposed length hides it.
void nameTagsInLastFrame(std::string_view frame, Formats::Findings &findings) {
    for (std::size_t at = frame.find("ID3"); at != std::string_view::npos;
         at = frame.find("ID3", at + 1)) {
        if (TagCheck::isId3v2Header(frame, at)) {
            findings.add("ID3 tag");
        }
    }
    if (frame.find("APETAGEX") != std::string_view::npos) {
        findings.add("APE tag");
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
        Formats::throwIfStopped();
        const std::size_t length = frameLength(mp3, at);
        if (length == 0) {
            TagCheck::nameTrailingData(std::string_view(mp3).substr(at), findings);
            break;
        }
        if (at == first && holdsTextInInfoPadding(mp3, at, length)) {
            findings.add("text in the info frame's padding");
        }
        if (length >= mp3.size() - at) {  // a tag appended without a footer may hide here
            nameTagsInLastFrame(std::string_view(mp3).substr(at), findings);
        }
        // A last frame cut short is common and carries nothing but sound.
        at += std::min(length, mp3.size() - at);
    }
    // A cut-short last frame may have hidden a tag behind its supposed length.
    static const std::array<std::pair<std::string_view, std::size_t>, 5> endMarks = {
        {{"TAG", 128}, {"TAG+", 227}, {"APETAGEX", 32}, {"LYRICS200", 9}, {"3DI", 10}}};
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
