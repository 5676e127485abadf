#include "formats/Pictures.h"

#include <array>

namespace Pictures {

namespace {

struct Kind {
    const char *signature;
    Formats::Bytes (*clean)(const Formats::Bytes &);
    std::string (*remainingMetadata)(const Formats::Bytes &);
};

// One row per kind of picture with a pass of its own.
const std::array<Kind, 0> Kinds = {};

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
