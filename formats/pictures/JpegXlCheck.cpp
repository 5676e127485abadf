#include "formats/pictures/JpegXl.h"
#include "formats/pictures/JpegXlBoxes.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

namespace JpegXl {

namespace {

// What each box a decoder does not need is called in a finding, when it holds anything.
const std::set<std::string> Harmless = {"JXL ", "ftyp", "jxll", "jxlc", "jxlp", "jxli", "jbrd"};

std::string findingFor(const std::string &type) {
    if (type == "Exif") {
        return "Exif";
    }
    if (type == "xml ") {
        return "XMP";
    }
    if (type == "jumb") {
        return "JUMBF (C2PA or other) data";
    }
    return "a box '" + type + "'";
}

// An emptied Exif or JUMBF box is zeros, an emptied XMP box spaces.
bool holdsAnything(const std::string &type, const Formats::Bytes &content) {
    const char blank = type == "xml " ? ' ' : '\0';
    return content.find_first_not_of(blank) != Formats::Bytes::npos;
}

}  // namespace

Formats::Findings remainingMetadata(const Formats::Bytes &jxl) {
    Formats::Findings findings;
    if (JpegXlBoxes::isBareCodestream(jxl)) {
        return findings;
    }
    const std::vector<JpegXlBoxes::Box> boxes = JpegXlBoxes::boxesOf(jxl);
    // Only a picture made from a JPEG keeps its metadata boxes, emptied, for the JPEG's sake.
    const bool keepsEmptiedBoxes =
        std::any_of(boxes.begin(), boxes.end(), [](const auto &box) { return box.type == "jbrd"; });
    for (const JpegXlBoxes::Box &box : boxes) {
        std::string type = box.type;
        Formats::Bytes content = box.payload(jxl);
        if (type == "brob") {
            std::tie(type, content) = JpegXlBoxes::unpacked(content);
        }
        const bool metadata = type == "Exif" || type == "xml " || type == "jumb";
        if (Harmless.count(type) == 0 &&
            (!metadata || !keepsEmptiedBoxes || holdsAnything(type, content))) {
            findings.add(findingFor(type));
        }
    }
    return findings;
}

}  // namespace JpegXl
