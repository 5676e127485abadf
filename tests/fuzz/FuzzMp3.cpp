#include "Oracle.h"
#include "formats/sound/Mp3.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Mp3::clean, Mp3::remainingMetadata);
    return 0;
}
