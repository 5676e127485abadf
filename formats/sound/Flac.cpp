#include "formats/sound/Flac.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"

namespace {

const std::string_view Marker = "fLaC";
constexpr std::size_t BlockHeaderSize = 4;
constexpr std::size_t Id3HeaderSize = 10;
constexpr std::size_t Id3v1Size = 128;
constexpr unsigned StreamInfo = 0;
constexpr unsigned SeekTable = 3;
constexpr unsigned CueSheet = 5;
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

bool isPlayingBlock(unsigned type) {
    return type == StreamInfo || type == SeekTable || type == CueSheet;
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
    std::size_t end = flac.size();
    if (end - at >= Id3v1Size && flac.compare(end - Id3v1Size, 3, "TAG") == 0) {
        end -= Id3v1Size;
    }
    return result.append(flac, at, end - at);
}

std::string remainingMetadata(const Formats::Bytes &flac) {
    if (flac.compare(0, Marker.size(), Marker) != 0) {
        return flac.compare(0, 3, "ID3") == 0 ? "still holds an ID3 tag" : "is not a FLAC stream";
    }
    static const char *const names[] = {"stream information",
                                        "padding",
                                        "application data",
                                        "seek table",
                                        "Vorbis comments (title, artist, date)",
                                        "cue sheet",
                                        "cover picture"};
    Formats::Findings findings;
    std::size_t at = Marker.size();
    for (bool last = false; !last;) {
        if (at + BlockHeaderSize > flac.size() ||
            bigEndian24(flac, at + 1) > flac.size() - at - BlockHeaderSize) {
            return "FLAC ends inside a block";
        }
        const unsigned type = Formats::byteAt(flac, at) & 0x7F;
        last = (Formats::byteAt(flac, at) & LastBlock) != 0;
        if (type != StreamInfo && type != SeekTable && type != CueSheet) {
            findings.add(type < std::size(names) ? names[type] : "an unknown block");
        }
        at += BlockHeaderSize + bigEndian24(flac, at + 1);
    }
    if (flac.size() >= Id3v1Size && flac.compare(flac.size() - Id3v1Size, 3, "TAG") == 0) {
        findings.add("an ID3v1 tag");
    }
    return findings.reason();
}

}  // namespace Flac
