#include "formats/office/Package.h"

#include "formats/core/Limits.h"
#include "formats/core/Stop.h"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <set>

namespace Package {

namespace {

using Formats::Refused;

struct ArchiveClose {
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveClose>;

struct SourceFree {
    void operator()(zip_source_t *source) const { zip_source_free(source); }
};
using Source = std::unique_ptr<zip_source_t, SourceFree>;

struct FileClose {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using File = std::unique_ptr<zip_file_t, FileClose>;

// Opens an archive on source; on success the archive owns the source.
Archive open(Source &source, int flags) {
    zip_error_t error;
    zip_error_init(&error);
    Archive archive(zip_open_from_source(source.get(), flags, &error));
    zip_error_fini(&error);
    if (archive) {
        (void)source.release();
    }
    return archive;
}

using Formats::Limits::CompressionRatio;
using Formats::Limits::RatioCheckedFrom;
using Formats::Limits::UnpackedSize;

[[noreturn]] void refuseTooLarge() {
    throw Refused("package too large: it unpacks to more than 1 GiB", Formats::Cause::TooLarge);
}

// Where an entry's packed data lies in the archive, as far as the reading is told: its packed
// size counted after those of the entries before it.
struct PackedSpan {
    zip_uint64_t start;
    zip_uint64_t size;
};

// Reads to the end, so that libzip compares the data with its CRC, and stops as soon as the
// data grows past the size the central directory declares or past what the package may hold.
Formats::Bytes readData(zip_t *archive, zip_uint64_t index, zip_uint64_t size, zip_uint64_t allowed,
                        PackedSpan packed) {
    const File file(zip_fopen_index(archive, index, 0));
    if (!file) {
        throw Refused("damaged ZIP package");
    }
    Formats::Bytes data;
    data.reserve(size);
    char block[65536];
    zip_int64_t length = 0;
    while ((length = zip_fread(file.get(), block, sizeof block)) > 0) {
        Formats::throwIfStopped();
        Formats::walked(packed.start + packed.size * data.size() / std::max<zip_uint64_t>(size, 1));
        data.append(block, static_cast<std::size_t>(length));
        if (data.size() > allowed) {
            refuseTooLarge();
        }
        if (data.size() > size) {
            throw Refused("damaged ZIP package: an entry is larger than it says");
        }
    }
    if (length < 0 || data.size() != size) {
        throw Refused("damaged ZIP package");
    }
    return data;
}

Entry readEntry(zip_t *archive, zip_uint64_t index, zip_uint64_t &unpacked, zip_uint64_t &packed) {
    zip_stat_t stat;
    if (zip_stat_index(archive, index, 0, &stat) != 0) {
        throw Refused("damaged ZIP package");
    }
    if (stat.size > UnpackedSize - unpacked) {
        refuseTooLarge();
    }
    if (stat.size >= RatioCheckedFrom && stat.size / CompressionRatio > stat.comp_size) {
        throw Refused("package refused: an entry unpacks to over 1024 times its packed size",
                      Formats::Cause::TooLarge);
    }
    if (stat.encryption_method != ZIP_EM_NONE) {
        throw Refused("password-protected archive", Formats::Cause::Protected);
    }
    Entry entry;
    entry.name = stat.name;
    entry.data =
        readData(archive, index, stat.size, UnpackedSize - unpacked, {packed, stat.comp_size});
    unpacked += entry.data.size();
    packed += stat.comp_size;
    entry.compressed = stat.comp_method != ZIP_CM_STORE;
    entry.modified = stat.mtime;
    entry.extraFields = zip_file_extra_fields_count(archive, index, ZIP_FL_CENTRAL) +
                        zip_file_extra_fields_count(archive, index, ZIP_FL_LOCAL);
    zip_uint32_t commentLength = 0;
    entry.commented =
        zip_file_get_comment(archive, index, &commentLength, ZIP_FL_ENC_RAW) && commentLength > 0;
    return entry;
}

void add(zip_t *archive, const Entry &entry, std::time_t modified) {
    zip_int64_t index = -1;
    if (!entry.name.empty() && entry.name.back() == '/') {
        index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
        zip_source_t *data = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
        index = data ? zip_file_add(archive, entry.name.c_str(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (data && index < 0) {
            zip_source_free(data);
        }
    }
    if (index < 0 ||
        zip_set_file_compression(archive, index, entry.compressed ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                 0) != 0 ||
        zip_file_set_mtime(archive, index, modified, 0) != 0) {
        throw Refused("could not write the package");
    }
}

Formats::Bytes contents(zip_source_t *source) {
    zip_stat_t stat;
    if (zip_source_stat(source, &stat) != 0 || zip_source_open(source) != 0) {
        throw Refused("could not write the package");
    }
    Formats::Bytes bytes(stat.size, '\0');
    const zip_int64_t length = zip_source_read(source, bytes.data(), stat.size);
    zip_source_close(source);
    if (length != static_cast<zip_int64_t>(stat.size)) {
        throw Refused("could not write the package");
    }
    return bytes;
}

// Read by the central directory, as office suites do: local headers that differ from it only in
// times or extra fields are no reason to refuse; sizes and CRCs are still compared on reading.
Archive openForReading(const Formats::Bytes &zip) {
    Source source(zip_source_buffer_create(zip.data(), zip.size(), 0, nullptr));
    Archive archive = source ? open(source, ZIP_RDONLY) : nullptr;
    if (!archive) {
        throw Refused("damaged ZIP package");
    }
    return archive;
}

}  // namespace

std::vector<std::string> entryNames(const Formats::Bytes &zip) {
    const Archive archive = openForReading(zip);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    std::vector<std::string> names;
    for (zip_int64_t index = 0; index < count; ++index) {
        const char *name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(index), 0);
        if (!name) {
            throw Refused("damaged ZIP package");
        }
        names.emplace_back(name);
    }
    return names;
}

std::vector<Entry> read(const Formats::Bytes &zip) {
    const Archive archive = openForReading(zip);
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count > static_cast<zip_int64_t>(Formats::Limits::PackageEntries)) {
        throw Refused("package refused: it holds more than 65,535 entries");
    }
    std::vector<Entry> entries;
    std::set<std::string> names;
    zip_uint64_t unpacked = 0;
    zip_uint64_t packed = 0;
    for (zip_int64_t index = 0; index < count; ++index) {
        entries.push_back(
            readEntry(archive.get(), static_cast<zip_uint64_t>(index), unpacked, packed));
        if (!names.insert(entries.back().name).second) {
            throw Refused("damaged ZIP package: an entry is named twice");
        }
    }
    return entries;
}

bool hasComment(const Formats::Bytes &zip) {
    const Archive archive = openForReading(zip);
    int length = 0;
    return zip_get_archive_comment(archive.get(), &length, ZIP_FL_ENC_RAW) && length > 0;
}

Formats::Bytes write(const std::vector<Entry> &entries) {
    Source source(zip_source_buffer_create(nullptr, 0, 0, nullptr));
    zip_source_t *target = source.get();
    Archive archive = source ? open(source, ZIP_TRUNCATE) : nullptr;
    if (!archive) {
        throw Refused("could not write the package");
    }
    // The archive frees its source on close; keep it for reading the result.
    zip_source_keep(target);
    const Source result(target);
    const std::time_t modified = entryTime();  // mktime looks at the time zone file on every call
    for (const Entry &entry : entries) {
        add(archive.get(), entry, modified);
    }
    // Packing happens inside zip_close, which asks between blocks whether to go on.
    zip_register_cancel_callback_with_state(
        archive.get(), [](zip_t *, void *) { return Formats::stopRequested() ? 1 : 0; }, nullptr,
        nullptr);
    if (zip_close(archive.get()) != 0) {
        Formats::throwIfStopped();
        throw Refused("could not write the package");
    }
    (void)archive.release();
    return contents(target);
}

bool holdsXml(const Formats::Bytes &data) {
    const std::size_t start = data.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return start != std::string::npos && data[start] == '<';
}

std::time_t entryTime() {
    std::tm time{};
    time.tm_year = 80;
    time.tm_mday = 1;
    time.tm_isdst = -1;
    return std::mktime(&time);
}

}  // namespace Package
