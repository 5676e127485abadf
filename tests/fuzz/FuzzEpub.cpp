#include "Oracle.h"
#include "formats/documents/Epub.h"

// Books are written anew, so a clean input comes out in other bytes: only the check of the result
// is asked for.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const Formats::Bytes book = Oracle::bytes(data, size);
    Epub::remainingMetadata(book);
    Oracle::cleanedPassing(book, Epub::clean, Epub::remainingMetadata);
    return 0;
}
