#include "Oracle.h"
#include "formats/sound/Flac.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Flac::clean, Flac::remainingMetadata);
    return 0;
}
