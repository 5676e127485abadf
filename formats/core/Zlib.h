#pragma once

#include "formats/core/Formats.h"

#include <cstdint>
#include <string_view>

namespace Formats {

// The bytes a zlib stream (or with `raw`, deflated data without zlib's header, as in a ZIP entry)
// unpacks to, which must be exactly `size`: within the limits on what packed data may grow to,
// else Refused with `what` ("damaged PowerPoint object").
Bytes inflated(std::string_view packed, std::uint64_t size, const std::string &what,
               bool raw = false);

// The bytes as a zlib stream.
Bytes deflated(std::string_view bytes);

// The bytes' CRC-32, as PNG chunks and ZIP entries keep it.
std::uint32_t crc32Of(std::string_view bytes);

}  // namespace Formats
