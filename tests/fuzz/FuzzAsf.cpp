#include "Oracle.h"
#include "formats/video/Asf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanInPlaceThenCheck(Oracle::bytes(data, size), Asf::clean, Asf::remainingMetadata);
    return 0;
}
