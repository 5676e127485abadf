#include "Oracle.h"
#include "formats/pictures/Gif.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Gif::clean, Gif::remainingMetadata);
    return 0;
}
