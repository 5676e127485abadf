#include "Oracle.h"
#include "formats/documents/Pdf.h"

// The check reads a written PDF through qpdf: whatever the bytes, it answers or refuses them as
// damaged, and never fails otherwise.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    try {
        Pdf::remainingMetadata(Oracle::bytes(data, size));
    } catch (const Formats::Refused &) {
    }
    return 0;
}
