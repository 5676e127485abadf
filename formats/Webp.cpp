#include "formats/Webp.h"

#include "formats/ByteOrder.h"
#include "formats/Findings.h"

#include <algorithm>
#include <set>

namespace {

constexpr std::size_t RiffHeader = 12;  // "RIFF", size, "WEBP"
constexpr std::size_t ChunkHeader = 8;  // name, size
constexpr char ExifFlag = 0x08;
constexpr char XmpFlag = 0x04;

bool drawsPicture(const std::string &name) {
    static const std::set<std::string> kept = {"VP8 ", "VP8L", "VP8X", "ALPH",
                                               "ANIM", "ANMF", "ICCP"};
    return kept.count(name) != 0;
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
    for (std::size_t at = RiffHeader; at < end;) {
        if (end - at < ChunkHeader ||
            Formats::littleEndian32(webp, at + 4) > end - at - ChunkHeader) {
            throw Formats::Refused("damaged WebP: a chunk runs past the end");
        }
        const std::size_t dataSize = Formats::littleEndian32(webp, at + 4);
        const std::size_t chunkSize = std::min(ChunkHeader + dataSize + dataSize % 2, end - at);
        const std::string name = webp.substr(at, 4);
        if (drawsPicture(name)) {
            result.append(webp, at, chunkSize);
            if (name == "VP8X" && dataSize > 0) {
                result[result.size() - chunkSize + ChunkHeader] &= ~(ExifFlag | XmpFlag);
            }
        }
        at += chunkSize;
    }
    Formats::putLittleEndian32(result, 4, static_cast<std::uint32_t>(result.size() - 8));
    return result;
}

// Reads the result on its own terms: every chunk by name, and what the extended header claims.
std::string remainingMetadata(const Formats::Bytes &webp) {
    if (webp.size() < 12 || webp.substr(0, 4) != "RIFF" || webp.substr(8, 4) != "WEBP") {
        return "is not a WebP picture";
    }
    const std::uint64_t riffEnd = 8ull + Formats::littleEndian32(webp, 4);
    if (riffEnd > webp.size()) {
        return "WebP is shorter than its header says";
    }
    Formats::Findings findings;
    if (riffEnd < webp.size()) {
        findings.add("data after the end");
    }
    std::uint64_t next = 12;
    while (next + 8 <= riffEnd) {
        const std::string name = webp.substr(next, 4);
        const std::uint32_t length = Formats::littleEndian32(webp, next + 4);
        if (name == "VP8X" && length > 0) {
            const unsigned flags = Formats::byteAt(webp, next + 8);
            if (flags & ExifFlag) {
                findings.add("the EXIF flag");
            }
            if (flags & XmpFlag) {
                findings.add("the XMP flag");
            }
        } else if (name == "EXIF" || name == "XMP ") {
            findings.add(name == "EXIF" ? "EXIF" : "XMP");
        } else if (name != "VP8 " && name != "VP8L" && name != "VP8X" && name != "ALPH" &&
                   name != "ANIM" && name != "ANMF" && name != "ICCP") {
            findings.add("chunk " + name);
        }
        next += 8ull + length + (length & 1);
    }
    if (next < riffEnd || next > riffEnd + 1) {  // a missing last pad byte is forgiven
        return "WebP chunks cannot be read";
    }
    return findings.reason();
}

}  // namespace Webp
