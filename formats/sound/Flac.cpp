#include "formats/sound/Flac.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/sound/TagCheck.h"
#include "formats/sound/TagSpan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace {

const std::string_view Marker = "fLaC";
constexpr std::size_t BlockHeaderSize = 4;
constexpr std::size_t Id3HeaderSize = 10;
constexpr std::size_t Id3v1Size = 128;
constexpr std::size_t EnhancedId3v1Size = 227;
constexpr std::string_view Lyrics3End = "LYRICS200";
constexpr std::size_t Lyrics3TrailerSize = 15;  // six digits of size, then the end mark
constexpr unsigned StreamInfo = 0;
constexpr unsigned SeekTable = 3;
constexpr unsigned VorbisComments = 4;
constexpr unsigned CueSheet = 5;
constexpr unsigned Picture = 6;
constexpr unsigned char LastBlock = 0x80;

std::uint32_t bigEndian24(const Formats::Bytes &bytes, std::size_t at) {
    return Formats::byteAt(bytes, at) << 16 | Formats::bigEndian16(bytes, at + 1);
}

// Where the stream marker lies, past any ID3v2 tags some taggers put in front.
std::size_t markerAt(const Formats::Bytes &flac) {
    std::size_t at = 0;
    while (at < flac.size() && flac.size() - at >= Id3HeaderSize &&
           flac.compare(at, 3, "ID3") == 0) {
        std::size_t size = 0;
        for (std::size_t i = 6; i < Id3HeaderSize; ++i) {
            size = size << 7 | (Formats::byteAt(flac, at + i) & 0x7F);
        }
        at += Id3HeaderSize + size;
    }
    if (at >= flac.size() || flac.compare(at, Marker.size(), Marker) != 0) {
        throw Formats::Refused("not a FLAC stream");
    }
    return at;
}

// The CRC-8 (polynomial x^8 + x^2 + x + 1) that closes a frame header.
unsigned headerCrc(std::string_view header) {
    unsigned crc = 0;
    for (const char byte : header) {
        crc ^= static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc << 1 ^ ((crc & 0x80) != 0 ? 0x07 : 0)) & 0xFF;
        }
    }
    return crc;
}

// The length of the frame header that starts `audio`, without its CRC: the sync code and the
// codes of block size, rate, channels and depth, the frame's number coded as UTF-8 is, and the
// block size and rate when their codes say they follow; 0 when no sync code starts it.
std::size_t frameHeaderLength(std::string_view audio) {
    if (audio.size() < 5 || static_cast<unsigned char>(audio[0]) != 0xFF ||
        (static_cast<unsigned char>(audio[1]) & 0xFE) != 0xF8) {
        return 0;
    }
    std::size_t leadingOnes = 0;
    while (leadingOnes < 8 && (static_cast<unsigned char>(audio[4]) << leadingOnes & 0x80) != 0) {
        ++leadingOnes;
    }
    if (leadingOnes == 1 || leadingOnes == 8) {
        return 0;
    }
    const unsigned blockSize = static_cast<unsigned char>(audio[2]) >> 4;
    const unsigned rate = static_cast<unsigned char>(audio[2]) & 0x0F;
    return 4 + std::max<std::size_t>(leadingOnes, 1) + (blockSize == 6 ? 1 : 0) +
           (blockSize == 7 ? 2 : 0) + (rate == 12 ? 1 : 0) + (rate == 13 || rate == 14 ? 2 : 0);
}

// Where the first frame starts, at `at` or after bytes that are no sound (the text of a tag once
// written over, say): the first sync code whose header's CRC holds. Dropping those bytes keeps
// the seek table right, which counts from the first frame. Refused when bytes follow the blocks
// but no frame does.
std::size_t firstFrameAt(const Formats::Bytes &flac, std::size_t at) {
    if (at == flac.size()) {
        return at;
    }
    for (std::size_t sync = flac.find('\xFF', at); sync != std::string::npos;
         sync = flac.find('\xFF', sync + 1)) {
        const std::string_view rest = std::string_view(flac).substr(sync);
        const std::size_t length = frameHeaderLength(rest);
        if (length != 0 && rest.size() > length &&
            headerCrc(rest.substr(0, length)) == static_cast<unsigned char>(rest[length])) {
            return sync;
        }
    }
    throw Formats::Refused("damaged FLAC: no frame follows the blocks");
}

bool isPlayingBlock(unsigned type) {
    return type == StreamInfo || type == SeekTable || type == CueSheet;
}

// The check's own reading of the tags some taggers put in front of the marker, each named.
std::size_t pastLeadingId3(const Formats::Bytes &flac, Formats::Findings &findings) {
    std::size_t at = 0;
    while (flac.size() - at >= Id3HeaderSize && flac.compare(at, 3, "ID3") == 0) {
        std::uint64_t size = 0;
        for (std::size_t i = 6; i < Id3HeaderSize; ++i) {
            size = size << 7 | (Formats::byteAt(flac, at + i) & 0x7F);
        }
        const std::size_t end = static_cast<std::size_t>(
            std::min<std::uint64_t>(at + Id3HeaderSize + size, flac.size()));
        TagCheck::nameId3Frames(std::string_view(flac).substr(at, end - at), findings);
        at = end;
    }
    return at;
}

// Whether `audio` opens with a frame: its sync code, a header as long as its own codes make it
// and the CRC-8 of that header after it.
bool opensWithFrame(std::string_view audio) {
    static constexpr std::array<std::uint8_t, 16> sizeBytes = {0, 0, 0, 0, 0, 0, 1, 2,
                                                               0, 0, 0, 0, 0, 0, 0, 0};
    static constexpr std::array<std::uint8_t, 16> rateBytes = {0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 1, 2, 2, 0};
    if (audio.size() < 6 || audio.substr(0, 1) != "\xFF" || (audio[1] | 1) != '\xF9') {
        return false;
    }
    const auto lead = static_cast<std::uint8_t>(audio[4]);
    std::size_t numberBytes = 1;
    if (lead >= 0xC0) {
        numberBytes = lead >= 0xFE   ? 7
                      : lead >= 0xFC ? 6
                      : lead >= 0xF8 ? 5
                      : lead >= 0xF0 ? 4
                      : lead >= 0xE0 ? 3
                                     : 2;
    }
    const auto codes = static_cast<std::uint8_t>(audio[2]);
    const std::size_t size = 4 + numberBytes + sizeBytes[codes >> 4] + rateBytes[codes & 0x0F];
    if (lead == 0xFF || (lead & 0xC0) == 0x80 || audio.size() <= size) {
        return false;
    }
    std::uint8_t crc = 0;
    for (const char byte : audio.substr(0, size)) {
        crc = static_cast<std::uint8_t>(crc ^ static_cast<std::uint8_t>(byte));
        for (int i = 0; i < 8; ++i) {
            crc = static_cast<std::uint8_t>((crc & 0x80) != 0 ? crc << 1 ^ 0x07 : crc << 1);
        }
    }
    return crc == static_cast<std::uint8_t>(audio[size]);
}

// Names the tags taggers append after the frames, wherever they stand among or after them.
void nameAppendedTags(std::string_view audio, Formats::Findings &findings) {
    for (std::size_t at = audio.find("ID3"); at != std::string_view::npos;
         at = audio.find("ID3", at + 1)) {
        if (TagCheck::isId3v2Header(audio, at)) {
            TagCheck::nameId3Frames(audio.substr(at), findings);
        }
    }
    if (audio.find("APETAGEX") != std::string_view::npos) {
        findings.add("an APE tag");
    }
    if (audio.size() >= Id3v1Size && audio.substr(audio.size() - Id3v1Size, 3) == "TAG") {
        findings.add("an ID3v1 tag");
    }
    if (audio.size() >= EnhancedId3v1Size &&
        audio.substr(audio.size() - EnhancedId3v1Size, 4) == "TAG+") {
        findings.add("an enhanced ID3v1 tag");
    }
    if (audio.size() >= Lyrics3TrailerSize &&
        audio.substr(audio.size() - Lyrics3End.size()) == Lyrics3End) {
        findings.add("a Lyrics3 tag");
    }
    if (audio.size() >= Id3HeaderSize && audio.substr(audio.size() - Id3HeaderSize, 3) == "3DI") {
        findings.add("an ID3 tag's footer");
    }
}

}  // namespace

namespace Flac {

Formats::Bytes clean(const Formats::Bytes &flac) {
    std::size_t at = markerAt(flac) + Marker.size();
    Formats::Bytes result(Marker);
    std::size_t lastKept = 0;
    for (bool last = false; !last;) {
        if (flac.size() - at < BlockHeaderSize) {
            throw Formats::Refused("damaged FLAC: a block runs past the end");
        }
        const unsigned type = Formats::byteAt(flac, at) & 0x7F;
        last = (Formats::byteAt(flac, at) & LastBlock) != 0;
        const std::size_t length = BlockHeaderSize + bigEndian24(flac, at + 1);
        if (length > flac.size() - at) {
            throw Formats::Refused("damaged FLAC: a block runs past the end");
        }
        if ((result.size() == Marker.size()) != (type == StreamInfo)) {
            throw Formats::Refused("damaged FLAC: the stream information is not first");
        }
        if (isPlayingBlock(type)) {
            lastKept = result.size();
            result.append(flac, at, length);
            result[lastKept] = static_cast<char>(type);
        }
        at += length;
    }
    result[lastKept] = static_cast<char>(result[lastKept] | LastBlock);
    at = firstFrameAt(flac, at);
    const std::size_t end = TagSpan::endBeforeTags(flac, at, TagSpan::Frames::Unwalked);
    if (TagSpan::holdsTagWithin(flac, at, end)) {
        throw Formats::Refused("FLAC holds a tag among its frames", Formats::Cause::Unsupported);
    }
    return result.append(flac, at, end - at);
}

Formats::Findings check(const Formats::Bytes &flac) {
    static const char *const names[] = {"stream information", "padding",         "application data",
                                        "seek table",         "Vorbis comments", "cue sheet",
                                        "cover picture"};
    Formats::Findings findings;
    std::size_t at = pastLeadingId3(flac, findings);
    if (flac.compare(at, Marker.size(), Marker) != 0) {
        throw Formats::Refused("is not a FLAC stream");
    }
    at += Marker.size();
    for (bool last = false; !last;) {
        if (at + BlockHeaderSize > flac.size() ||
            bigEndian24(flac, at + 1) > flac.size() - at - BlockHeaderSize) {
            throw Formats::Refused("FLAC ends inside a block");
        }
        const unsigned type = Formats::byteAt(flac, at) & 0x7F;
        const std::string_view block =
            std::string_view(flac).substr(at + BlockHeaderSize, bigEndian24(flac, at + 1));
        last = (Formats::byteAt(flac, at) & LastBlock) != 0;
        if (type == VorbisComments) {  // a block that does not read is named all the same
            TagCheck::nameVorbisComments(block, findings);
        }
        if (type == Picture) {
            findings.add(Formats::Category::Thumbnails, names[type]);
        } else if (type != StreamInfo && type != SeekTable && type != CueSheet) {
            findings.add(type < std::size(names) ? names[type] : "an unknown block");
        }
        at += BlockHeaderSize + block.size();
    }
    const std::string_view audio = std::string_view(flac).substr(at);
    if (!audio.empty() && !opensWithFrame(audio)) {
        findings.add("bytes that are not sound before the first frame");
    }
    nameAppendedTags(audio, findings);
    return findings;
}

std::string remainingMetadata(const Formats::Bytes &flac) {
    return Formats::reasonOf(check, flac);
}

}  // namespace Flac
