#pragma once

#include "formats/core/Cursor.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The chunk walk shared by the kinds built of four-character chunks inside a form: RIFF (AVI,
// WAV) in little-endian order, IFF (AIFF) in big-endian order.
namespace Riff {

struct Chunk {
    std::string name;      // four characters
    std::string listType;  // for a LIST, the four characters that start its data
    std::string inside;    // the type of the list or form it lies in
    std::uint64_t start;   // of its header
    std::uint64_t size;    // of its data, as its header says
};

// Keep: as it is. Enter: a list whose chunks are decided one by one. Blank: becomes padding of the
// same size, zeroed. Zero: padding already, its data zeroed. Edit: kept, after the family's edit.
enum class Action { Keep, Enter, Blank, Zero, Edit };

struct Family {
    std::string kind;                    // in refusal reasons: "AVI", "WAV", "AIFF"
    std::string form;                    // the outer chunk: "RIFF" or "FORM"
    std::vector<std::string> formTypes;  // what may follow it: "AVI ", "AVIX", "WAVE", ...
    bool bigEndian;
    std::string padding;  // what a blanked chunk is named: "JUNK", or a name readers skip
    std::function<Action(const Chunk &)> decide;
    std::function<void(const Formats::Cursor &, const Chunk &)> edit;  // for Action::Edit
    std::vector<std::string> largeForms;  // forms whose sizes a ds64 chunk gives: "RF64", "BW64"
    // Tag chunks some writers put after the form, dropped: "ID3 ", "id3 ".
    std::vector<std::string> trailingTags;
};

// Walks every chunk of every form in the file (a large AVI has several), entering the lists that
// decide() enters, and zeroes the pad byte after each chunk of odd size. Zeros after the last form
// stay; the family's trailing tags are cut off. Throws Formats::Refused for a structure it cannot
// walk.
void clean(Formats::ByteFile &file, const Family &family);

}  // namespace Riff
