#pragma once

#include "formats/core/Formats.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Fixed-width numbers inside a byte buffer, or a view of one. Callers check that the bytes exist.
namespace Formats {

inline std::uint32_t byteAt(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

inline std::uint16_t littleEndian16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(byteAt(bytes, at) | byteAt(bytes, at + 1) << 8);
}

inline std::uint32_t littleEndian32(std::string_view bytes, std::size_t at) {
    return littleEndian16(bytes, at) | static_cast<std::uint32_t>(littleEndian16(bytes, at + 2))
                                           << 16;
}

inline std::uint16_t bigEndian16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(byteAt(bytes, at) << 8 | byteAt(bytes, at + 1));
}

inline std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bigEndian16(bytes, at)) << 16 | bigEndian16(bytes, at + 2);
}

inline void putLittleEndian32(Bytes &bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

}  // namespace Formats
