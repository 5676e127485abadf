#include "Oracle.h"
#include "formats/video/Matroska.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanInPlaceThenCheck(Oracle::bytes(data, size), Matroska::clean,
                                  Matroska::remainingMetadata);
    return 0;
}
