#pragma once

#include "formats/core/Formats.h"

#include <string>
#include <vector>

// The boxes of a JPEG XL container, for its pass and its check alike: where each lies and what it
// is, and the content of a Brotli-compressed one.
namespace JpegXlBoxes {

struct Box {
    std::string type;
    std::size_t at = 0;      // where its header starts
    std::size_t header = 8;  // 16 with a 64-bit size
    std::size_t size = 0;    // header included
    std::string payload(const Formats::Bytes &file) const {
        return file.substr(at + header, size - header);
    }
};

// Whether the picture is a bare codestream rather than a container.
bool isBareCodestream(const Formats::Bytes &jxl);

// The container's boxes in order; Refused when one runs past the end or the signature is missing.
std::vector<Box> boxesOf(const Formats::Bytes &jxl);

// A brob box's payload: the type of the box it stands for, then that box's content unpacked.
// Refused when the Brotli stream is damaged or unpacks to more than a picture's metadata may.
std::pair<std::string, Formats::Bytes> unpacked(const std::string &brobPayload);

}  // namespace JpegXlBoxes
