#pragma once

#include "formats/core/ByteFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The chunk walk shared by the kinds built of four-character chunks inside a form: RIFF (AVI,
// WAV) in little-endian order, IFF (AIFF) in big-endian order.
namespace Riff {

struct Family {
    std::string kind;                    // in refusal reasons: "AVI", "WAV", "AIFF"
    std::string form;                    // the outer chunk: "RIFF" or "FORM"
    std::vector<std::string> formTypes;  // what may follow it: "AVI ", "AVIX", "WAVE", ...
    bool bigEndian;
    std::string padding;  // what a blanked chunk is named: "JUNK", or a name readers skip
};

struct Chunk {
    std::string name;      // four characters
    std::string listType;  // for a LIST, the four characters that start its data
    std::uint64_t start;   // of its header
    std::uint64_t size;    // of its data, as its header says
};

enum class Action { Keep, Enter, Blank };

// Walks every chunk of every form in the file (a large AVI has several), entering the LISTs that
// decide() enters, and overwrites the chunks it blanks with a padding chunk of the same size whose
// data is zeroed. Throws Formats::Refused for a structure it cannot walk.
void clean(Formats::ByteFile &file, const Family &family,
           const std::function<Action(const Chunk &)> &decide);

}  // namespace Riff
