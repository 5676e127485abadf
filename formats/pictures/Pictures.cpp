#include "formats/pictures/Pictures.h"

#include "formats/pictures/Gif.h"
#include "formats/pictures/Jpeg.h"
#include "formats/pictures/Png.h"
#include "formats/pictures/Webp.h"

#include <array>
#include <cstring>

namespace Pictures {

namespace {

struct Kind {
    const char *signature;
    std::size_t offset;  // where the signature stands
    Formats::Bytes (*clean)(const Formats::Bytes &);
    std::string (*remainingMetadata)(const Formats::Bytes &);
};

// A photo keeps its orientation, as it does through the JPEG route.
Formats::Bytes cleanJpeg(const Formats::Bytes &jpeg) {
    return Jpeg::clean(jpeg, Jpeg::orientation(jpeg));
}

// One row per kind of picture with a pass of its own.
const std::array<Kind, 4> Kinds = {{
    {"\xFF\xD8", 0, cleanJpeg, Jpeg::remainingMetadata},
    {"\x89PNG", 0, Png::clean, Png::remainingMetadata},
    {"GIF8", 0, Gif::clean, Gif::remainingMetadata},
    {"WEBP", 8, Webp::clean, Webp::remainingMetadata},  // after "RIFF" and the size
}};

const Kind *kindOf(const Formats::Bytes &picture) {
    for (const Kind &kind : Kinds) {
        const std::size_t length = std::strlen(kind.signature);
        if (picture.size() >= kind.offset + length &&
            picture.compare(kind.offset, length, kind.signature) == 0) {
            return &kind;
        }
    }
    return nullptr;
}

}  // namespace

Formats::Bytes clean(const Formats::Bytes &picture) {
    const Kind *kind = kindOf(picture);
    return kind ? kind->clean(picture) : picture;
}

std::string remainingMetadata(const Formats::Bytes &picture) {
    const Kind *kind = kindOf(picture);
    return kind ? kind->remainingMetadata(picture) : std::string();
}

}  // namespace Pictures
