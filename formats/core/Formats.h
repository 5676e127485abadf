#pragma once

#include <stdexcept>
#include <string>

// Byte-level knowledge of each kind of file Parchwipe cleans: walk its structure, filter out what
// identifies people, places and devices, and check a result. Plain C++ on byte buffers, so that the
// engine and our PDF toolkit can share it.
namespace Formats {

// A whole file, or an embedded stream, as raw bytes.
using Bytes = std::string;

// A file whose structure cannot be walked. what() is the short reason the closing message shows,
// such as "damaged JPEG header".
class Refused : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace Formats
