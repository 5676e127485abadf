#include "formats/Embedded.h"

#include "formats/CompoundFile.h"
#include "formats/OfficeDocument.h"
#include "formats/OpenDocument.h"
#include "formats/Package.h"
#include "formats/Pictures.h"

#include <algorithm>

namespace Embedded {

namespace {

// A nested package is an Office document when it has content types, else an OpenDocument file.
bool isOfficeDocument(const Formats::Bytes &package) {
    const std::vector<std::string> names = Package::entryNames(package);
    return std::find(names.begin(), names.end(), "[Content_Types].xml") != names.end();
}

Formats::Bytes cleanPackage(const Formats::Bytes &package, int depth) {
    return isOfficeDocument(package) ? OfficeDocument::cleanNested(package, depth)
                                     : OpenDocument::cleanNested(package, depth);
}

std::string checkPackage(const Formats::Bytes &package, int depth) {
    try {
        return isOfficeDocument(package) ? OfficeDocument::remainingMetadataNested(package, depth)
                                         : OpenDocument::remainingMetadataNested(package, depth);
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
}

// For passes that hold nothing nested.
template <Formats::Bytes (*clean)(const Formats::Bytes &)>
Formats::Bytes cleanAtAnyDepth(const Formats::Bytes &content, int) {
    return clean(content);
}
template <std::string (*check)(const Formats::Bytes &)>
std::string checkAtAnyDepth(const Formats::Bytes &content, int) {
    return check(content);
}

struct Kind {
    std::string signature;
    Formats::Bytes (*clean)(const Formats::Bytes &content, int depth);
    std::string (*remainingMetadata)(const Formats::Bytes &content, int depth);
};

// One row per kind that is told by the signature it starts with. Anything else goes to the
// picture passes, which tell pictures apart themselves and return other content as it is.
const Kind Kinds[] = {
    {"PK\x03\x04", cleanPackage, checkPackage},
    // Objects pasted from other programs, and old Office documents
    {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", cleanAtAnyDepth<CompoundFile::clean>,
     checkAtAnyDepth<CompoundFile::remainingMetadata>},
};

const Kind &kindOf(const Formats::Bytes &content) {
    static const Kind picture{
        {}, cleanAtAnyDepth<Pictures::clean>, checkAtAnyDepth<Pictures::remainingMetadata>};
    for (const Kind &kind : Kinds) {
        if (content.rfind(kind.signature, 0) == 0) {
            return kind;
        }
    }
    return picture;
}

}  // namespace

Formats::Bytes clean(const Formats::Bytes &content, int depth) {
    if (depth > MaxDepth) {
        throw Formats::Refused("documents nested too deeply");
    }
    return kindOf(content).clean(content, depth);
}

std::string remainingMetadata(const Formats::Bytes &content, int depth) {
    if (depth > MaxDepth) {
        return "documents nested too deeply";
    }
    return kindOf(content).remainingMetadata(content, depth);
}

}  // namespace Embedded
