#include "support/JpegSegments.h"

#include <stdexcept>

namespace {

constexpr std::size_t JfifEnd = 20;  // SOI and a JFIF header without a thumbnail

// Where the scan header number `scan` (from 0) starts; a scan header's length is under 256.
std::size_t scanStart(const std::string &jpeg, int scan) {
    std::size_t at = 0;
    for (int i = 0; i <= scan; ++i) {
        at = jpeg.find(std::string("\xFF\xDA\x00", 3), at + 1);
        if (at == std::string::npos) {
            throw std::runtime_error("no such scan in the test picture");
        }
    }
    return at;
}

}  // namespace

std::string jpegSegment(int marker, const std::string &payload) {
    const std::size_t length = payload.size() + 2;
    return std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                       static_cast<char>(length & 0xFF)} +
           payload;
}

std::string spliced(std::string jpeg, Place place, const std::string &bytes) {
    if (jpeg.compare(0, 11, std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11)) != 0) {
        throw std::runtime_error("the test picture does not start with a JFIF header");
    }
    switch (place) {
        case Place::AfterSoi:
            return jpeg.insert(2, bytes);
        case Place::AfterJfif:
            return jpeg.insert(JfifEnd, bytes);
        case Place::InsteadOfJfif:
            return jpeg.replace(2, JfifEnd - 2, bytes);
        case Place::BeforeFirstScan:
            return jpeg.insert(scanStart(jpeg, 0), bytes);
        case Place::BetweenScans:
            return jpeg.insert(scanStart(jpeg, 1), bytes);
        case Place::AfterEoi:
            return jpeg + bytes;
    }
    return jpeg;
}
