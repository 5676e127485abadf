#include "formats/ByteFile.h"

#include "formats/Stop.h"

#include <algorithm>
#include <stdexcept>

namespace Formats {

namespace {

constexpr std::size_t ZeroBlock = 1 << 20;

std::runtime_error writeFailed() {
    return std::runtime_error("the working copy could not be written");
}

}  // namespace

ByteFile::ByteFile(const std::string &path, Mode mode) : path_(path) {
    auto openMode = std::ios::in | std::ios::binary;
    if (mode == Mode::ReadWrite) {
        openMode |= std::ios::out;
    }
    stream_.open(path, openMode);
    if (!stream_) {
        throw Refused("the working copy cannot be opened");
    }
    stream_.seekg(0, std::ios::end);
    size_ = static_cast<std::uint64_t>(stream_.tellg());
}

Bytes ByteFile::read(std::uint64_t offset, std::size_t length) {
    if (offset > size_ || length > size_ - offset) {
        throw Refused("the file ends early");
    }
    return readUpTo(offset, length);
}

Bytes ByteFile::readUpTo(std::uint64_t offset, std::size_t length) {
    if (offset >= size_) {
        return {};
    }
    Bytes bytes(static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset)), '\0');
    stream_.clear();
    stream_.seekg(static_cast<std::streamoff>(offset));
    stream_.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(stream_.gcount()) != bytes.size()) {
        throw Refused("the working copy cannot be read");
    }
    return bytes;
}

Bytes ByteFile::readAll() {
    return readUpTo(0, static_cast<std::size_t>(size_));
}

void ByteFile::write(std::uint64_t offset, const Bytes &bytes) {
    if (offset > size_ || bytes.size() > size_ - offset) {
        throw std::logic_error("a write past the end of " + path_);
    }
    stream_.clear();
    stream_.seekp(static_cast<std::streamoff>(offset));
    stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!stream_.flush()) {
        throw writeFailed();
    }
}

void ByteFile::zero(std::uint64_t offset, std::uint64_t length) {
    const Bytes zeros(static_cast<std::size_t>(std::min<std::uint64_t>(length, ZeroBlock)), '\0');
    for (std::uint64_t done = 0; done < length; done += zeros.size()) {
        throwIfStopped();
        const auto block =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - done, ZeroBlock));
        write(offset + done, block == zeros.size() ? zeros : zeros.substr(0, block));
    }
}

void ByteFile::replaceAll(const Bytes &bytes) {
    stream_.close();
    stream_.open(path_, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!stream_.flush()) {
        throw writeFailed();
    }
    size_ = bytes.size();
}

}  // namespace Formats
