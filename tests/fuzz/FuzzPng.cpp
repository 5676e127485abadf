#include "Oracle.h"
#include "formats/pictures/Png.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Png::clean, Png::remainingMetadata);
    return 0;
}
