#include "formats/pictures/Jpeg.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace Jpeg {

namespace {

using Formats::bigEndian16;
using Formats::byteAt;
using Formats::Bytes;
using Formats::Refused;
using namespace std::string_literals;
using namespace std::string_view_literals;

constexpr unsigned char SOI = 0xD8;
constexpr unsigned char EOI = 0xD9;
constexpr unsigned char SOS = 0xDA;
constexpr unsigned char APP0 = 0xE0;
constexpr unsigned char APP1 = 0xE1;
constexpr unsigned char APP2 = 0xE2;
constexpr unsigned char APP14 = 0xEE;
constexpr unsigned char APP15 = 0xEF;
constexpr unsigned char COM = 0xFE;
// JPG0..JPG13: extensions no baseline or progressive decoder reads, free to carry anything.
constexpr unsigned char FirstExtension = 0xF0;
constexpr unsigned char LastExtension = 0xFD;
// JPEG-LS puts its frame header among those extensions: without it nothing would be drawn.
constexpr unsigned char JpegLsFrame = 0xF7;
// What the scan data of a picture is filed under in a walk.
constexpr unsigned char ScanData = 0x00;

// The JFIF header without a thumbnail: identifier, version, units, densities, thumbnail size 0x0.
constexpr std::size_t JfifHeaderSize = 14;
// Adobe's colour segment: identifier, version, two flag words and the colour transform.
constexpr std::size_t AdobeSegmentSize = 12;

// One piece of a JPEG in file order: a marker segment with its marker and length bytes, a
// marker that stands alone, or (marker ScanData) the entropy-coded bytes that follow a scan header.
struct Piece {
    unsigned char marker;
    std::string_view bytes;

    // A segment's content after its marker and length.
    std::string_view payload() const { return bytes.substr(4); }
};

// Markers without a length: restart markers and TEM.
bool standsAlone(unsigned char marker) {
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

// Where the entropy-coded data that starts at `from` ends: at the first 0xFF that is neither a
// stuffed zero nor a restart marker, or at the end of a file cut short.
std::size_t scanDataEnd(std::string_view jpeg, std::size_t from) {
    for (std::size_t at = jpeg.find('\xFF', from); at != std::string_view::npos;
         at = jpeg.find('\xFF', at + 1)) {
        if (at + 1 == jpeg.size()) {
            return jpeg.size();
        }
        const unsigned char next = byteAt(jpeg, at + 1);
        if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7)) {
            return at;
        }
        ++at;
    }
    return jpeg.size();
}

// Hands each piece up to and including EOI to visit, in file order, until visit returns false.
// Whatever follows EOI is never visited; a file cut short ends the walk where it ends.
template <typename Visit>
void walk(std::string_view jpeg, Visit &&visit) {
    if (jpeg.size() < 2 || byteAt(jpeg, 0) != 0xFF || byteAt(jpeg, 1) != SOI) {
        throw Refused("not a JPEG file");
    }
    std::size_t at = 2;
    bool scanFollows = false;
    while (at < jpeg.size()) {
        Formats::throwIfStopped();
        if (scanFollows) {
            const std::size_t end = scanDataEnd(jpeg, at);
            if (!visit(Piece{ScanData, jpeg.substr(at, end - at)})) {
                return;
            }
            at = end;
            scanFollows = false;
            continue;
        }
        if (byteAt(jpeg, at) != 0xFF) {
            throw Refused("damaged JPEG header");
        }
        while (at + 1 < jpeg.size() && byteAt(jpeg, at + 1) == 0xFF) {
            ++at;  // fill bytes before a marker
        }
        if (at + 1 == jpeg.size()) {
            throw Refused("damaged JPEG header");
        }
        const unsigned char marker = byteAt(jpeg, at + 1);
        std::size_t size = 2;
        if (marker == 0x00 || marker == SOI) {
            throw Refused("damaged JPEG header");
        }
        if (marker != EOI && !standsAlone(marker)) {
            if (at + 4 > jpeg.size() || bigEndian16(jpeg, at + 2) < 2 ||
                at + 2 + bigEndian16(jpeg, at + 2) > jpeg.size()) {
                throw Refused("damaged JPEG header");
            }
            size = 2 + bigEndian16(jpeg, at + 2);
        }
        if (!visit(Piece{marker, jpeg.substr(at, size)}) || marker == EOI) {
            return;
        }
        at += size;
        scanFollows = marker == SOS;
    }
}

bool isJfifHeader(const Piece &piece) {
    return piece.marker == APP0 && piece.payload().size() >= JfifHeaderSize &&
           piece.payload().substr(0, 5) == "JFIF\0"sv;
}

bool isAdobeSegment(const Piece &piece) {
    return piece.marker == APP14 && piece.payload().size() >= AdobeSegmentSize &&
           piece.payload().substr(0, 5) == "Adobe"sv;
}

// Which segments a picture needs to look the same: the JFIF header, the ICC profile, Adobe's
// colour transform and every segment that is not application data, an extension or a comment.
bool drawsThePicture(const Piece &piece) {
    if (piece.marker == APP2) {
        return piece.payload().substr(0, 12) == "ICC_PROFILE\0"sv;
    }
    if (piece.marker == APP14) {
        return isAdobeSegment(piece);
    }
    if (piece.marker == APP0) {
        return isJfifHeader(piece);
    }
    return !(piece.marker >= APP0 && piece.marker <= APP15) &&
           !(piece.marker >= FirstExtension && piece.marker <= LastExtension) &&
           piece.marker != COM;
}

// The JFIF header with any thumbnail picture it carries left out.
Bytes jfifWithoutThumbnail(const Piece &piece) {
    return "\xFF\xE0\x00\x10"s + std::string(piece.payload().substr(0, JfifHeaderSize - 2)) +
           "\x00\x00"s;
}

// An APP1 Exif segment holding one big-endian IFD with the single Orientation entry.
Bytes orientationExif(int orientation) {
    return "\xFF\xE1\x00\x22"
           "Exif\x00\x00"
           "MM\x00\x2A\x00\x00\x00\x08"
           "\x00\x01"
           "\x01\x12\x00\x03\x00\x00\x00\x01\x00"s +
           static_cast<char>(orientation) + "\x00\x00\x00\x00\x00\x00"s;
}

// The Orientation of an Exif segment's first IFD: nothing when the TIFF structure cannot be read,
// 1 when it holds no valid Orientation.
std::optional<int> exifOrientation(std::string_view tiff) {
    if (tiff.size() < 8 || (tiff.substr(0, 4) != "II*\0"sv && tiff.substr(0, 4) != "MM\0*"sv)) {
        return std::nullopt;
    }
    const bool bigEndian = tiff[0] == 'M';
    const auto u16 = [&](std::size_t at) {
        return bigEndian ? bigEndian16(tiff, at) : Formats::littleEndian16(tiff, at);
    };
    const auto u32 = [&](std::size_t at) {
        return bigEndian ? Formats::bigEndian32(tiff, at) : Formats::littleEndian32(tiff, at);
    };
    const std::size_t ifd = u32(4);
    if (ifd < 8 || ifd + 2 > tiff.size() || ifd + 2 + 12 * u16(ifd) > tiff.size()) {
        return std::nullopt;
    }
    for (std::size_t entry = ifd + 2; entry < ifd + 2 + 12 * u16(ifd); entry += 12) {
        const std::uint32_t value = u16(entry + 8);
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3 && u32(entry + 4) == 1 && value >= 1 &&
            value <= 8) {
            return static_cast<int>(value);
        }
    }
    return 1;
}

}  // namespace

int orientation(const Bytes &jpeg) {
    int found = 1;
    try {
        walk(jpeg, [&](const Piece &piece) {
            if (piece.marker == APP1 && piece.payload().substr(0, 6) == "Exif\0\0"sv) {
                if (const std::optional<int> value = exifOrientation(piece.payload().substr(6))) {
                    found = *value;
                    return false;
                }
            }
            return piece.marker != SOS;  // Exif comes before the picture
        });
    } catch (const Refused &) {
        // A damaged file has no orientation to keep beyond what was read before the damage.
    }
    return found;
}

Bytes clean(const Bytes &jpeg, int orientation) {
    Bytes cleaned = jpeg.substr(0, 2);
    cleaned.reserve(jpeg.size());
    bool exifDue = orientation >= 2 && orientation <= 8;
    walk(jpeg, [&](const Piece &piece) {
        if (piece.marker == JpegLsFrame) {
            throw Refused("JPEG-LS pictures cannot be cleaned", Formats::Cause::Unsupported);
        }
        if (!drawsThePicture(piece)) {
            return true;
        }
        if (isJfifHeader(piece)) {
            cleaned += jfifWithoutThumbnail(piece);
            return true;
        }
        if (isAdobeSegment(piece)) {  // anything after its defined bytes goes
            cleaned +=
                "\xFF\xEE\x00\x0E"s + std::string(piece.payload().substr(0, AdobeSegmentSize));
            return true;
        }
        if (exifDue) {
            cleaned += orientationExif(orientation);
            exifDue = false;
        }
        cleaned += piece.bytes;
        return true;
    });
    return cleaned;
}

}  // namespace Jpeg
