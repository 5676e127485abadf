#include "Oracle.h"
#include "formats/pictures/JpegXl.h"

namespace {

// A check that cannot read its input names why, as the route does.
std::string reasonOf(const Formats::Bytes &jxl) {
    try {
        return JpegXl::remainingMetadata(jxl).reason();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), JpegXl::clean, reasonOf);
    return 0;
}
