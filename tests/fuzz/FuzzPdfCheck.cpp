#include "Oracle.h"
#include "formats/documents/Pdf.h"

// The check reads a written PDF through qpdf: whatever the bytes, it answers without failing.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Pdf::remainingMetadata(Oracle::bytes(data, size));
    return 0;
}
