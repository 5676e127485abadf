#include "Oracle.h"
#include "formats/documents/Rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Rtf::clean, Rtf::remainingMetadata);
    return 0;
}
