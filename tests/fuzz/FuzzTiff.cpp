#include "Oracle.h"
#include "formats/pictures/Tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Tiff::clean, Tiff::remainingMetadata);
    return 0;
}
