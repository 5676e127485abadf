#include "formats/core/ByteFile.h"

#include "formats/core/Stop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace Formats {

namespace {

constexpr std::size_t ZeroBlock = 1 << 20;
// Reads up to SmallRead bytes go through a block of ReadBlock bytes read ahead.
constexpr std::size_t ReadBlock = 64 << 10;
constexpr std::size_t SmallRead = 4 << 10;
// Bytes moved between two looks at the stop flag.
constexpr std::size_t Slice = std::size_t{16} << 20;

// Told by its cause, so that the batch meets a full disk again with the file alone.
Refused writeFailed() {
    return errno == ENOSPC || errno == EDQUOT
               ? Refused("the disk is full", Cause::DiskFull)
               : Refused("the working copy could not be written", Cause::Internal);
}

// Runs pread or pwrite until all length bytes are through; false when the file ends or fails.
template <typename Call, typename Pointer>
bool transferAll(Call call, int descriptor, Pointer bytes, std::size_t length,
                 std::uint64_t offset) {
    for (std::size_t done = 0; done < length;) {
        const ssize_t moved =
            call(descriptor, bytes + done, length - done, static_cast<off_t>(offset + done));
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

}  // namespace

ByteFile::ByteFile(const std::string &path, Mode mode) {
    const int flags = (mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    descriptor_ = ::open(path.c_str(), flags);
    struct stat status {};
    if (descriptor_ < 0 || ::fstat(descriptor_, &status) != 0) {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        throw Refused("the working copy cannot be opened", Cause::Internal);
    }
    size_ = static_cast<std::uint64_t>(status.st_size);
}

ByteFile::ByteFile(Bytes &buffer) : buffer_(&buffer), size_(buffer.size()) {}

// Never written through: every write checks writable_ first.
ByteFile::ByteFile(const Bytes &buffer)
    : buffer_(const_cast<Bytes *>(&buffer)), writable_(false), size_(buffer.size()) {}

ByteFile::~ByteFile() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

Bytes ByteFile::read(std::uint64_t offset, std::size_t length) {
    if (offset > size_ || length > size_ - offset) {
        throw Refused("the file ends early");
    }
    return readUpTo(offset, length);
}

Bytes ByteFile::readUpTo(std::uint64_t offset, std::size_t length) {
    Bytes bytes = span(offset, length);
    walkedTo(offset + bytes.size());
    return bytes;
}

// A walk tells how far it came by the bytes it reads and writes where they lie; reading or
// replacing the whole file tells nothing, as the pass that works on it in memory tells its own.
Bytes ByteFile::readAll() {
    return span(0, static_cast<std::size_t>(size_));
}

Bytes ByteFile::span(std::uint64_t offset, std::size_t length) {
    if (offset >= size_) {
        return {};
    }
    Bytes bytes(static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset)), '\0');
    readInto(offset, bytes.data(), bytes.size());
    return bytes;
}

void ByteFile::walkedTo(std::uint64_t position) const {
    if (descriptor_ >= 0) {
        walked(position);
    }
}

void ByteFile::readInto(std::uint64_t offset, char *into, std::size_t length) {
    if (buffer_ == nullptr && length <= SmallRead) {
        readCached(offset, into, length);
        return;
    }
    for (std::size_t done = 0; done < length; done += Slice) {
        throwIfStopped();
        const std::size_t part = std::min(Slice, length - done);
        if (buffer_ != nullptr) {
            std::memcpy(into + done, buffer_->data() + offset + done, part);
        } else if (!transferAll(::pread, descriptor_, into + done, part, offset + done)) {
            throw Refused("the working copy cannot be read", Cause::Internal);
        }
    }
}

// The caller has checked that the bytes lie inside the file.
void ByteFile::readCached(std::uint64_t offset, char *into, std::size_t length) {
    if (offset < blockAt_ || offset + length > blockAt_ + block_.size()) {
        block_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(ReadBlock, size_ - offset)));
        blockAt_ = offset;
        if (!transferAll(::pread, descriptor_, block_.data(), block_.size(), offset)) {
            block_.clear();
            throw Refused("the working copy cannot be read", Cause::Internal);
        }
    }
    std::memcpy(into, block_.data() + (offset - blockAt_), length);
}

void ByteFile::write(std::uint64_t offset, const Bytes &bytes) {
    if (offset > size_ || bytes.size() > size_ - offset) {
        throw std::logic_error("a write past the end of the working copy");
    }
    writeFrom(offset, bytes.data(), bytes.size());
    walkedTo(offset + bytes.size());
}

void ByteFile::writeFrom(std::uint64_t offset, const char *from, std::size_t length) {
    if (!writable_) {
        throw std::logic_error("a write to bytes that are only read");
    }
    for (std::size_t done = 0; done < length; done += Slice) {
        throwIfStopped();
        const std::size_t part = std::min(Slice, length - done);
        if (buffer_ != nullptr) {
            std::memcpy(buffer_->data() + offset + done, from + done, part);
        } else if (!transferAll(::pwrite, descriptor_, from + done, part, offset + done)) {
            block_.clear();
            throw writeFailed();
        }
    }
    const std::uint64_t start = std::max(offset, blockAt_);
    const std::uint64_t end = std::min(offset + length, blockAt_ + block_.size());
    if (start < end) {
        std::memcpy(block_.data() + (start - blockAt_), from + (start - offset), end - start);
    }
}

void ByteFile::zero(std::uint64_t offset, std::uint64_t length) {
    const Bytes zeros(static_cast<std::size_t>(std::min<std::uint64_t>(length, ZeroBlock)), '\0');
    for (std::uint64_t done = 0; done < length; done += zeros.size()) {
        const auto block =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - done, ZeroBlock));
        if (offset + done > size_ || block > size_ - offset - done) {
            throw std::logic_error("a write past the end of the working copy");
        }
        writeFrom(offset + done, zeros.data(), block);
        walkedTo(offset + done + block);
    }
}

void ByteFile::truncate(std::uint64_t size) {
    if (!writable_) {
        throw std::logic_error("a write to bytes that are only read");
    }
    if (size > size_) {
        throw std::logic_error("a truncation that would grow the working copy");
    }
    if (buffer_ != nullptr) {
        buffer_->resize(static_cast<std::size_t>(size));
    } else if (::ftruncate(descriptor_, static_cast<off_t>(size)) != 0) {
        throw writeFailed();
    }
    block_.clear();
    size_ = size;
}

void ByteFile::replaceAll(const Bytes &bytes) {
    if (!writable_) {
        throw std::logic_error("a write to bytes that are only read");
    }
    if (buffer_ != nullptr) {
        *buffer_ = bytes;
    } else {
        if (::ftruncate(descriptor_, 0) != 0) {
            throw writeFailed();
        }
        block_.clear();
        writeFrom(0, bytes.data(), bytes.size());
    }
    size_ = bytes.size();
}

}  // namespace Formats
