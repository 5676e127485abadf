#include "Oracle.h"
#include "formats/pictures/Jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const Formats::Bytes jpeg = Oracle::bytes(data, size);
    Oracle::cleanThenCheck(
        jpeg,
        [](const Formats::Bytes &input) { return Jpeg::clean(input, Jpeg::orientation(input)); },
        Jpeg::remainingMetadata, Oracle::Passed::MayBeRewritten);
    return 0;
}
