#include "Oracle.h"
#include "formats/pictures/Webp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Webp::clean, Webp::remainingMetadata);
    return 0;
}
