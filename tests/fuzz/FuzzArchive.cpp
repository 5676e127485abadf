#include "Oracle.h"
#include "formats/archives/Archive.h"

namespace {

std::string reasonOf(Formats::ByteFile &archive) {
    try {
        return Archive::remainingMetadata(archive, 0).reason();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
}

void clean(Formats::ByteFile &archive) {
    Archive::clean(archive, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // An archive is written anew by libarchive, whoever wrote it first.
    Oracle::cleanInPlaceThenCheck(Oracle::bytes(data, size), clean, reasonOf,
                                  Oracle::Passed::MayBeRewritten);
    return 0;
}
