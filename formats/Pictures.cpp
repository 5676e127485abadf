#include "formats/Pictures.h"

#include "formats/Jpeg.h"

#include <array>

namespace Pictures {

namespace {

struct Kind {
    const char *signature;
    Formats::Bytes (*clean)(const Formats::Bytes &);
    std::string (*remainingMetadata)(const Formats::Bytes &);
};

// A photo keeps its orientation, as it does through the JPEG route.
Formats::Bytes cleanJpeg(const Formats::Bytes &jpeg) {
    return Jpeg::clean(jpeg, Jpeg::orientation(jpeg));
}

// One row per kind of picture with a pass of its own.
const std::array<Kind, 1> Kinds = {{
    {"\xFF\xD8", cleanJpeg, Jpeg::remainingMetadata},
}};

const Kind *kindOf(const Formats::Bytes &picture) {
    for (const Kind &kind : Kinds) {
        if (picture.rfind(kind.signature, 0) == 0) {
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
