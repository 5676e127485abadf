#include "Oracle.h"
#include "formats/office/CompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), CompoundFile::clean,
                           CompoundFile::remainingMetadata);
    return 0;
}
