#include "formats/sound/Flac.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/sound/TagCheck.h"
#include "formats/sound/TagSpan.h"

#include <algorithm>

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
    nameAppendedTags(std::string_view(flac).substr(at), findings);
    return findings;
}

std::string remainingMetadata(const Formats::Bytes &flac) {
    return Formats::reasonOf(check, flac);
}

}  // namespace Flac
