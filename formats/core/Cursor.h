#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Stop.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

namespace Formats {

// Reads fields of a ByteFile inside the stretch they lie in, so that a walk trusts a length, offset
// or count it read only as far as its container reaches: a read past `end` throws Refused
// ("damaged AVI: ...") instead of reading the next structure's bytes.
class Cursor {
  public:
    Cursor(ByteFile &file, std::string kind) : file_(file), kind_(std::move(kind)) {}

    ByteFile &file() const { return file_; }
    std::uint64_t size() const { return file_.size(); }

    Refused damaged(const std::string &why) const {
        return Refused("damaged " + kind_ + ": " + why);
    }

    // Exactly length bytes at `at`, all of them before end.
    Bytes bytes(std::uint64_t at, std::uint64_t length, std::uint64_t end) const {
        after(at, length, end);
        return file_.read(at, static_cast<std::size_t>(length));
    }

    // Where the length bytes at `at` end, when they all lie before end.
    std::uint64_t after(std::uint64_t at, std::uint64_t length, std::uint64_t end) const {
        end = std::min(end, file_.size());
        if (at > end || length > end - at) {
            throw damaged("a field runs past what holds it");
        }
        return at + length;
    }

    // Unsigned numbers of `length` bytes, at most 8.
    std::uint64_t littleEndian(std::uint64_t at, std::size_t length, std::uint64_t end) const {
        const Bytes field = bytes(at, length, end);
        std::uint64_t value = 0;
        for (std::size_t i = length; i > 0; --i) {
            value = value << 8 | static_cast<unsigned char>(field[i - 1]);
        }
        return value;
    }
    std::uint64_t bigEndian(std::uint64_t at, std::size_t length, std::uint64_t end) const {
        const Bytes field = bytes(at, length, end);
        std::uint64_t value = 0;
        for (const char byte : field) {
            value = value << 8 | static_cast<unsigned char>(byte);
        }
        return value;
    }

    // Whether length bytes at `at` are all zero, read a block at a time so that a large stretch of
    // padding costs little memory.
    bool allZero(std::uint64_t at, std::uint64_t length, std::uint64_t end) const {
        constexpr std::uint64_t Block = 1 << 20;
        for (std::uint64_t done = 0; done < length; done += Block) {
            throwIfStopped();
            const Bytes block = bytes(at + done, std::min(Block, length - done), end);
            if (block.find_first_not_of('\0') != Bytes::npos) {
                return false;
            }
        }
        return true;
    }

  private:
    ByteFile &file_;
    std::string kind_;
};

}  // namespace Formats
