#pragma once

#include "formats/core/Formats.h"

#include <cstdint>
#include <string>

namespace Formats {

// The bytes a walk reads and overwrites at offsets: a file where it lies (video, sound, too large
// to hold in memory) or a buffer in memory (the same kinds embedded in another file), so that one
// walk serves both. A read past the end throws Refused, so a walk that trusts a length it read
// fails with a reason instead of reading garbage. A file is opened close-on-exec: a tool another
// thread starts never inherits it.
class ByteFile {
  public:
    enum class Mode { Read, ReadWrite };

    // Throws Refused (Internal) when the file cannot be opened.
    ByteFile(const std::string &path, Mode mode);
    // Walks buffer itself: writes change it, replaceAll() replaces it. It must outlive this.
    explicit ByteFile(Bytes &buffer);
    // Reads buffer, which must outlive this; a write throws std::logic_error.
    explicit ByteFile(const Bytes &buffer);
    ~ByteFile();
    ByteFile(const ByteFile &) = delete;
    ByteFile &operator=(const ByteFile &) = delete;

    std::uint64_t size() const { return size_; }

    // Exactly length bytes from offset; Refused ("ends early") when the source is shorter.
    Bytes read(std::uint64_t offset, std::size_t length);
    // Up to length bytes from offset: fewer at the end.
    Bytes readUpTo(std::uint64_t offset, std::size_t length);
    Bytes readAll();

    // Overwrites bytes inside the source; it never grows. Throws Refused (DiskFull or Internal)
    // when the write fails.
    void write(std::uint64_t offset, const Bytes &bytes);
    // Overwrites length bytes from offset with zeros, a block at a time.
    void zero(std::uint64_t offset, std::uint64_t length);
    // Cuts the source to its first `size` bytes, for a pass that drops what trails a file's
    // structure; it never grows.
    void truncate(std::uint64_t size);
    // Replaces the whole content, for passes that rebuild the file in memory.
    void replaceAll(const Bytes &bytes);

  private:
    Bytes span(std::uint64_t offset, std::size_t length);
    void walkedTo(std::uint64_t position) const;
    void readInto(std::uint64_t offset, char *into, std::size_t length);
    void readCached(std::uint64_t offset, char *into, std::size_t length);
    void writeFrom(std::uint64_t offset, const char *from, std::size_t length);

    int descriptor_ = -1;      // the file, or -1 for a buffer
    Bytes *buffer_ = nullptr;  // the buffer, or null for a file
    bool writable_ = true;
    std::uint64_t size_ = 0;
    // A file's bytes from the last small read on: a walk that reads millions of headers a field at
    // a time then makes one system call per block instead of one per field. Writes keep it true.
    Bytes block_;
    std::uint64_t blockAt_ = 0;
};

}  // namespace Formats
