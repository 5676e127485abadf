#include "Oracle.h"
#include "formats/video/IsoBmff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanInPlaceThenCheck(Oracle::bytes(data, size), IsoBmff::clean,
                                  IsoBmff::remainingMetadata);
    return 0;
}
