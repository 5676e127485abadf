#include "formats/pictures/JpegXl.h"

#include "formats/pictures/JpegXlBoxes.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace JpegXl {

namespace {

using JpegXlBoxes::Box;

// What a decoder reads: signature, file type, level, codestream and its parts, frame index, and
// the data that rebuilds the original JPEG.
constexpr std::array<std::string_view, 7> Decoded = {"JXL ", "ftyp", "jxll", "jxlc",
                                                     "jxlp", "jxli", "jbrd"};
constexpr std::array<std::string_view, 3> Metadata = {"Exif", "xml ", "jumb"};

template <std::size_t N>
bool isOneOf(const std::string &type, const std::array<std::string_view, N> &types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

std::string boxHeader(const std::string &type, std::size_t contentSize) {
    const std::size_t size = contentSize + 8;
    std::string header;
    for (int shift = 24; shift >= 0; shift -= 8) {
        header += static_cast<char>(size >> shift & 0xFF);
    }
    return header + type;
}

// A metadata box of the same unpacked size holding nothing: an Exif box whose header offset and
// directory are zeros, XMP of spaces, JUMBF of zeros. Rebuilding the JPEG then gives segments of
// the sizes it expects.
std::string emptied(const std::string &type, std::size_t contentSize) {
    return boxHeader(type, contentSize) + std::string(contentSize, type == "xml " ? ' ' : '\0');
}

}  // namespace

Formats::Bytes clean(const Formats::Bytes &jxl) {
    if (JpegXlBoxes::isBareCodestream(jxl)) {
        return jxl;
    }
    const std::vector<Box> boxes = JpegXlBoxes::boxesOf(jxl);
    const bool rebuildsJpeg =
        std::any_of(boxes.begin(), boxes.end(), [](const Box &box) { return box.type == "jbrd"; });
    Formats::Bytes cleaned;
    for (const Box &box : boxes) {
        std::string type = box.type;
        std::size_t contentSize = box.size - box.header;
        if (type == "brob") {
            const auto [inner, content] = JpegXlBoxes::unpacked(box.payload(jxl));
            type = inner;
            contentSize = content.size();
            if (isOneOf(type, Decoded)) {
                cleaned += jxl.substr(box.at, box.size);
                continue;
            }
        }
        if (isOneOf(type, Decoded)) {
            cleaned += jxl.substr(box.at, box.size);
        } else if (isOneOf(type, Metadata) && rebuildsJpeg) {
            cleaned += emptied(type, contentSize);
        }
    }
    return cleaned;
}

}  // namespace JpegXl
