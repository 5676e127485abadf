#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string folderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

OutputFile::OutputFile(const std::string &output)
    : Pipeline("output file", nullptr), output_(output) {
    std::string name = folderOf(output) + ".pdftk-XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
        fail("cannot create a file beside");
    }
    partial_ = buffer.data();
    // mkostemp makes the file private; the output gets the usual bits for a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0) {
        fail("cannot write");
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!partial_.empty()) {
        ::unlink(partial_.c_str());
    }
}

void OutputFile::write(unsigned char const *data, size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd_, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("cannot write");
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
}

void OutputFile::commit() {
    if (::fsync(fd_) != 0) {
        fail("cannot write");
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        fail("cannot write");
    }
    if (::rename(partial_.c_str(), output_.c_str()) != 0) {
        fail("cannot write");
    }
    partial_.clear();
}

void OutputFile::fail(const std::string &what) const {
    const int error = errno;
    if (error == ENOSPC || error == EDQUOT) {
        throw DiskFull(what + " " + output_ + ": the disk is full");
    }
    throw std::runtime_error(what + " " + output_ + ": " + std::strerror(error));
}
