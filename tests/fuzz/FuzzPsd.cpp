#include "Oracle.h"
#include "formats/pictures/Psd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Psd::clean, Psd::remainingMetadata);
    return 0;
}
