#include "Oracle.h"
#include "formats/Svg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Svg::clean, Svg::remainingMetadata);
    return 0;
}
