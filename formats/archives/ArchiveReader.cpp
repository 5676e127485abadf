#include "formats/archives/ArchiveReader.h"

#include "formats/core/Limits.h"
#include "formats/core/Stop.h"

#include <cstdio>
#include <string>

namespace {

constexpr std::size_t BlockSize = 1 << 20;

Formats::Refused refusal(archive *archive) {
    const char *text = archive_error_string(archive);
    const std::string reason = text ? text : "it cannot be read";
    if (reason.find("ncrypt") != std::string::npos ||
        reason.find("assphrase") != std::string::npos) {
        return Formats::Refused("password-protected archive", Formats::Cause::Protected);
    }
    return Formats::Refused("damaged archive: " + reason);
}

}  // namespace

ArchiveReader::ArchiveReader(Formats::ByteFile &file) : file_(file), archive_(archive_read_new()) {
    archive_read_support_filter_all(archive_);
    archive_read_support_format_tar(archive_);
    archive_read_support_format_7zip(archive_);
    archive_read_set_callback_data(archive_, this);
    archive_read_set_read_callback(archive_, readBlock);
    archive_read_set_seek_callback(archive_, seek);
    if (archive_read_open1(archive_) != ARCHIVE_OK) {
        const Formats::Refused refused = refusal(archive_);
        archive_read_free(archive_);
        throw refused;
    }
}

ArchiveReader::~ArchiveReader() {
    archive_read_free(archive_);
}

la_ssize_t ArchiveReader::readBlock(archive *, void *reader, const void **block) {
    auto *self = static_cast<ArchiveReader *>(reader);
    self->block_ = self->file_.readUpTo(self->offset_, BlockSize);
    self->offset_ += self->block_.size();
    *block = self->block_.data();
    return static_cast<la_ssize_t>(self->block_.size());
}

la_int64_t ArchiveReader::seek(archive *, void *reader, la_int64_t offset, int whence) {
    auto *self = static_cast<ArchiveReader *>(reader);
    const std::int64_t base = whence == SEEK_SET   ? 0
                              : whence == SEEK_CUR ? static_cast<std::int64_t>(self->offset_)
                                                   : static_cast<std::int64_t>(self->file_.size());
    const std::int64_t target = base + offset;
    if (target < 0 || static_cast<std::uint64_t>(target) > self->file_.size()) {
        return ARCHIVE_FATAL;
    }
    self->offset_ = static_cast<std::uint64_t>(target);
    return target;
}

archive_entry *ArchiveReader::next() {
    Formats::throwIfStopped();
    archive_entry *entry = nullptr;
    const int status = archive_read_next_header(archive_, &entry);
    if (status == ARCHIVE_EOF) {
        return nullptr;
    }
    if (status < ARCHIVE_WARN) {
        throw refusal(archive_);
    }
    if (archive_entry_is_encrypted(entry)) {
        throw Formats::Refused("password-protected archive", Formats::Cause::Protected);
    }
    return entry;
}

Formats::Bytes ArchiveReader::data() {
    Formats::Bytes data;
    char buffer[1 << 16];
    for (;;) {
        const la_ssize_t got = archive_read_data(archive_, buffer, sizeof buffer);
        if (got < 0) {
            throw refusal(archive_);
        }
        if (got == 0) {
            return data;
        }
        unpacked_ += static_cast<std::uint64_t>(got);
        if (unpacked_ > Formats::Limits::UnpackedSize) {
            throw Formats::Refused("the archive unpacks to over 1 GiB", Formats::Cause::TooLarge);
        }
        data.append(buffer, static_cast<std::size_t>(got));
        Formats::throwIfStopped();
    }
}
