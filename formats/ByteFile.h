#pragma once

#include "formats/Formats.h"

#include <cstdint>
#include <fstream>
#include <string>

namespace Formats {

// A file walked where it lies, for kinds too large to hold in memory (video, sound): read and
// overwritten at offsets, never loaded whole unless asked. A read past the end throws Refused, so
// a walk that trusts a length it read fails with a reason instead of reading garbage.
class ByteFile {
  public:
    enum class Mode { Read, ReadWrite };

    // Throws Refused when the file cannot be opened.
    ByteFile(const std::string &path, Mode mode);

    std::uint64_t size() const { return size_; }

    // Exactly length bytes from offset; Refused ("ends early") when the file is shorter.
    Bytes read(std::uint64_t offset, std::size_t length);
    // Up to length bytes from offset: fewer at the end of the file.
    Bytes readUpTo(std::uint64_t offset, std::size_t length);
    Bytes readAll();

    // Overwrites bytes inside the file; it never grows. Throws std::runtime_error when the write
    // fails.
    void write(std::uint64_t offset, const Bytes &bytes);
    // Overwrites length bytes from offset with zeros, a block at a time.
    void zero(std::uint64_t offset, std::uint64_t length);
    // Replaces the whole content, for passes that rebuild the file in memory.
    void replaceAll(const Bytes &bytes);

  private:
    std::string path_;
    std::fstream stream_;
    std::uint64_t size_ = 0;
};

}  // namespace Formats
