#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Findings.h"

#include <string>

namespace Formats {

// A check that collects findings, as the one line the engine's routes show: "still holds a, b",
// the damage that made it refuse, or empty when the file is clean.
template <Findings (*check)(ByteFile &)>
std::string reasonOf(ByteFile &file) {
    try {
        return check(file).reason();
    } catch (const Refused &refused) {
        return refused.what();
    }
}

}  // namespace Formats
