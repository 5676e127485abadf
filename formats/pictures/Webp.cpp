#include "formats/pictures/Webp.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"
#include "formats/pictures/ExifDirectory.h"

#include <algorithm>
#include <set>

namespace {

constexpr std::size_t RiffHeader = 12;  // "RIFF", size, "WEBP"
constexpr std::size_t ChunkHeader = 8;  // name, size
constexpr char ExifFlag = 0x08;
constexpr char XmpFlag = 0x04;

constexpr std::size_t FrameHeader = 16;  // position, size, duration and flags of a frame

bool drawsPicture(const std::string &name) {
    static const std::set<std::string> kept = {"VP8 ", "VP8L", "VP8X", "ALPH",
                                               "ANIM", "ANMF", "ICCP"};
    return kept.count(name) != 0;
}

bool drawsFrame(const std::string &name) {
    return name == "VP8 " || name == "VP8L" || name == "ALPH";
}

// Calls keep(name, at, size) for each chunk of [at, end), its pad byte included in size.
template <typename Keep>
void walkChunks(const Formats::Bytes &webp, std::size_t at, std::size_t end, Keep &&keep) {
    while (at < end) {
        Formats::throwIfStopped();
        if (end - at < ChunkHeader ||
            Formats::littleEndian32(webp, at + 4) > end - at - ChunkHeader) {
            throw Formats::Refused("damaged WebP: a chunk runs past the end");
        }
        const std::size_t dataSize = Formats::littleEndian32(webp, at + 4);
        const std::size_t chunkSize = std::min(ChunkHeader + dataSize + dataSize % 2, end - at);
        keep(webp.substr(at, 4), at, chunkSize);
        at += chunkSize;
    }
}

// An animation frame with only the chunks that draw it; its size follows.
Formats::Bytes frameWithoutMetadata(const Formats::Bytes &webp, std::size_t at, std::size_t size) {
    if (size < ChunkHeader + FrameHeader) {
        throw Formats::Refused("damaged WebP: an animation frame is too short");
    }
    Formats::Bytes frame = webp.substr(at, ChunkHeader + FrameHeader);
    walkChunks(webp, at + ChunkHeader + FrameHeader, at + size,
               [&](const std::string &name, std::size_t chunkAt, std::size_t chunkSize) {
                   if (drawsFrame(name)) {
                       frame.append(webp, chunkAt, chunkSize);
                   }
               });
    Formats::putLittleEndian32(frame, 4, static_cast<std::uint32_t>(frame.size() - ChunkHeader));
    return frame;
}

}  // namespace

namespace Webp {

Formats::Bytes clean(const Formats::Bytes &webp) {
    if (webp.size() < RiffHeader || webp.compare(0, 4, "RIFF") != 0 ||
        webp.compare(8, 4, "WEBP") != 0) {
        throw Formats::Refused("not a WebP picture");
    }
    if (Formats::littleEndian32(webp, 4) > webp.size() - 8) {
        throw Formats::Refused("damaged WebP: the file is shorter than it says");
    }
    // Bytes after the RIFF size are not the picture's.
    const std::size_t end = 8 + Formats::littleEndian32(webp, 4);
    Formats::Bytes result = webp.substr(0, RiffHeader);
    walkChunks(webp, RiffHeader, end,
               [&](const std::string &name, std::size_t at, std::size_t size) {
                   if (name == "ANMF") {
                       result += frameWithoutMetadata(webp, at, size);
                   } else if (drawsPicture(name)) {
                       result.append(webp, at, size);
                       if (name == "VP8X" && size > ChunkHeader) {
                           result[result.size() - size + ChunkHeader] &= ~(ExifFlag | XmpFlag);
                       }
                   }
               });
    Formats::putLittleEndian32(result, 4, static_cast<std::uint32_t>(result.size() - 8));
    return result;
}

}  // namespace Webp

namespace {

// Names what an Exif chunk holds by its tags; some writers put a JPEG's Exif header first.
void nameExif(std::string_view data, Formats::Findings &findings) {
    if (data.substr(0, 6) == std::string_view("Exif\0\0", 6)) {
        data.remove_prefix(6);
    }
    try {
        ExifDirectory::nameTags(data, findings);
    } catch (const Formats::Refused &) {
        // What a damaged Exif holds beyond what was named cannot be told.
    }
}

// Names a chunk the check meets, unless a picture (or a frame of one) may hold it.
void nameChunk(const std::string &name, std::string_view data, bool inFrame,
               Formats::Findings &findings) {
    static const std::set<std::string> pictureChunks = {"VP8 ", "VP8L", "VP8X", "ALPH",
                                                        "ANIM", "ANMF", "ICCP"};
    static const std::set<std::string> frameChunks = {"VP8 ", "VP8L", "ALPH"};
    if ((inFrame ? frameChunks : pictureChunks).count(name) != 0) {
        return;
    }
    if (name == "EXIF") {
        nameExif(data, findings);
    }
    const std::string where = inFrame ? " in a frame" : "";
    findings.add((name == "EXIF" ? "EXIF" : name == "XMP " ? "XMP" : "chunk " + name) + where);
}

// Names what the chunks of [from, to) hold, a frame's chunks included; false when they cannot be
// read. Frames hold no frames, so this goes one level deep at most.
bool inspectChunks(const Formats::Bytes &webp, std::uint64_t from, std::uint64_t to, bool inFrame,
                   Formats::Findings &findings) {
    std::uint64_t next = from;
    while (next + 8 <= to) {
        const std::string name = webp.substr(next, 4);
        const std::uint32_t length = Formats::littleEndian32(webp, next + 4);
        const std::uint64_t end = next + 8 + length;
        if (!inFrame && name == "ANMF" &&
            (length < 16 || end > to || !inspectChunks(webp, next + 24, end, true, findings))) {
            return false;
        }
        if (!inFrame && name == "VP8X" && length > 0 && next + 8 < to) {
            const unsigned flags = Formats::byteAt(webp, next + 8);
            if (flags & ExifFlag) {
                findings.add("the EXIF flag");
            }
            if (flags & XmpFlag) {
                findings.add("the XMP flag");
            }
        }
        if (end <= to) {
            nameChunk(name, std::string_view(webp).substr(next + 8, length), inFrame, findings);
        }
        next = end + (length & 1);
    }
    return next == to || next == to + 1;  // a missing last pad byte is forgiven
}

}  // namespace

namespace Webp {

// Reads the result on its own terms: every chunk by name, those of each animation frame too, and
// what the extended header claims.
Formats::Findings check(const Formats::Bytes &webp) {
    if (webp.size() < 12 || webp.substr(0, 4) != "RIFF" || webp.substr(8, 4) != "WEBP") {
        throw Formats::Refused("is not a WebP picture");
    }
    const std::uint64_t riffEnd = 8ull + Formats::littleEndian32(webp, 4);
    if (riffEnd > webp.size()) {
        throw Formats::Refused("WebP is shorter than its header says");
    }
    Formats::Findings findings;
    if (riffEnd < webp.size()) {
        findings.add("data after the end");
    }
    if (!inspectChunks(webp, 12, riffEnd, false, findings)) {
        throw Formats::Refused("WebP chunks cannot be read");
    }
    return findings;
}

std::string remainingMetadata(const Formats::Bytes &webp) {
    return Formats::reasonOf(check, webp);
}

}  // namespace Webp
