#include "Oracle.h"
#include "formats/office/OpenDocument.h"

// Packages are written anew, so a clean input comes out in other bytes: only the check of the
// result is asked for.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const Formats::Bytes package = Oracle::bytes(data, size);
    OpenDocument::remainingMetadata(package);
    Oracle::cleanedPassing(package, OpenDocument::clean, OpenDocument::remainingMetadata);
    return 0;
}
