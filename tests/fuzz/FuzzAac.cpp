#include "Oracle.h"
#include "formats/sound/Aac.h"

namespace {

std::string reasonOf(const Formats::Bytes &aac) {
    return Formats::reasonOf(Aac::check, aac);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Oracle::cleanThenCheck(Oracle::bytes(data, size), Aac::clean, reasonOf);
    return 0;
}
