#include "Oracle.h"
#include "formats/documents/Svg.h"

// The drawing is written anew through an XML writer, so an input the check passes may come out in
// other bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Svg::clean, Svg::remainingMetadata,
                           Oracle::Passed::MayBeRewritten);
    return 0;
}
