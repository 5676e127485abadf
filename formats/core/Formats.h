#pragma once

#include "formats/core/Cause.h"

#include <stdexcept>
#include <string>

// Byte-level knowledge of each kind of file Parchwipe cleans: walk its structure, filter out what
// identifies people, places and devices, and check a result. Plain C++ on byte buffers, so that the
// engine and our PDF toolkit can share it.
namespace Formats {

// A whole file, or an embedded stream, as raw bytes.
using Bytes = std::string;

// A file a pass cannot clean. what() is the short reason the closing message shows, such as
// "damaged JPEG header"; the cause is what the batch acts on.
class Refused : public std::runtime_error {
  public:
    explicit Refused(const std::string &reason, Cause cause = Cause::Damaged)
        : std::runtime_error(reason), cause_(cause) {}

    Cause cause() const noexcept { return cause_; }
    // The same refusal, met inside an embedded file: "damaged JPEG header in photo.jpg".
    Refused in(const std::string &where) const {
        return Refused(what() + (" in " + where), cause_);
    }

  private:
    Cause cause_;
};

}  // namespace Formats
