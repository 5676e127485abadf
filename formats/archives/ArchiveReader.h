#pragma once

#include "formats/core/ByteFile.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>

// An archive read through libarchive straight from a byte source, a block at a time.
class ArchiveReader {
  public:
    // Throws Formats::Refused when libarchive knows neither the compression nor the format.
    explicit ArchiveReader(Formats::ByteFile &file);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    // The next entry, or null at the end; Refused for damage or a password.
    archive_entry *next();
    // The entry's data, whose total over the archive may not pass what a package may unpack to.
    Formats::Bytes data();

    archive *handle() const { return archive_; }

  private:
    static la_ssize_t readBlock(archive *, void *reader, const void **block);
    // 7z keeps its directory at the end.
    static la_int64_t seek(archive *, void *reader, la_int64_t offset, int whence);

    Formats::ByteFile &file_;
    archive *archive_;
    std::uint64_t offset_ = 0;
    std::uint64_t unpacked_ = 0;
    Formats::Bytes block_;
};
