#include "Oracle.h"
#include "formats/video/SoundVideo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanInPlaceThenCheck(Oracle::bytes(data, size), Avi::clean, Avi::remainingMetadata);
    return 0;
}
