#include "formats/archives/Archive.h"

#include "formats/Kinds.h"
#include "formats/archives/ArchiveReader.h"
#include "formats/archives/EntryPaths.h"
#include "formats/core/Stop.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Archive {

namespace {

using Formats::Bytes;

// What an entry keeps: its path, kind, permissions, link and content; nothing of its owner,
// times or attributes.
struct Entry {
    std::string path;
    mode_t type = AE_IFREG;
    mode_t permissions = 0644;
    std::string symlink;
    std::string hardlink;
    dev_t device = 0;
    Bytes data;
};

// The archive's format and compressions, so that it is written back the same way.
struct Layout {
    int format = 0;
    std::vector<int> filters;
};

std::string textOf(const char *text) {
    return text ? text : "";
}

std::vector<Entry> readEntries(Formats::ByteFile &file, Layout &layout) {
    ArchiveReader reader(file);
    std::vector<Entry> entries;
    while (archive_entry *header = reader.next()) {
        Entry entry{textOf(archive_entry_pathname(header)),
                    archive_entry_filetype(header),
                    archive_entry_perm(header),
                    textOf(archive_entry_symlink(header)),
                    textOf(archive_entry_hardlink(header)),
                    archive_entry_rdev(header),
                    {}};
        if (entry.type == AE_IFDIR && !entry.path.empty() && entry.path.back() != '/') {
            entry.path += '/';  // so that its last part is read as a folder, and cut in a home
        }
        if (EntryPaths::isFolderData(entry.path)) {
            continue;
        }
        if (EntryPaths::isUnsafe(entry.path) || EntryPaths::isUnsafe(entry.hardlink)) {
            throw Formats::Refused("unsafe path in archive");
        }
        if (entry.type == AE_IFREG && entry.hardlink.empty()) {
            entry.data = reader.data();
            if (Kinds::isMetadataItself(entry.path, entry.data)) {
                continue;
            }
        }
        entries.push_back(std::move(entry));
    }
    layout.format = archive_format(reader.handle());
    for (int i = archive_filter_count(reader.handle()) - 1; i >= 0; --i) {
        const int filter = archive_filter_code(reader.handle(), i);
        if (filter != ARCHIVE_FILTER_NONE) {
            layout.filters.push_back(filter);
        }
    }
    return entries;
}

la_ssize_t appendBlock(archive *, void *output, const void *block, size_t length) {
    static_cast<Bytes *>(output)->append(static_cast<const char *>(block), length);
    return static_cast<la_ssize_t>(length);
}

// A writer in the archive's own format; tar with extended headers only where a long name needs
// one.
archive *openWriter(const Layout &layout, Bytes &output) {
    archive *writer = archive_write_new();
    const bool sevenZip = (layout.format & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_7ZIP;
    bool ready = (sevenZip ? archive_write_set_format_7zip(writer)
                           : archive_write_set_format_pax_restricted(writer)) == ARCHIVE_OK;
    for (const int filter : layout.filters) {
        ready = ready && archive_write_add_filter(writer, filter) == ARCHIVE_OK;
    }
    if (std::find(layout.filters.begin(), layout.filters.end(), ARCHIVE_FILTER_GZIP) !=
        layout.filters.end()) {
        // Else gzip's header holds the time of the cleaning.
        ready = ready &&
                archive_write_set_filter_option(writer, "gzip", "timestamp", nullptr) == ARCHIVE_OK;
    }
    if (!layout.filters.empty()) {
        // Padding after a compressed stream is damage to some readers (zstd).
        archive_write_set_bytes_in_last_block(writer, 1);
    }
    if (!ready ||
        archive_write_open(writer, &output, nullptr, appendBlock, nullptr) != ARCHIVE_OK) {
        const Formats::Refused refused("this archive's compression cannot be written");
        archive_write_free(writer);
        throw refused;
    }
    return writer;
}

// A slice at a time: behind the slowest filters (xz) a slice takes some tens of milliseconds.
bool writeData(archive *writer, const Bytes &data) {
    constexpr std::size_t Slice = 256 << 10;
    for (std::size_t at = 0; at < data.size(); at += Slice) {
        Formats::throwIfStopped();
        const std::size_t size = std::min(Slice, data.size() - at);
        if (archive_write_data(writer, data.data() + at, size) != static_cast<la_ssize_t>(size)) {
            return false;
        }
    }
    return true;
}

// A link's target without its home: its last part may be a folder without a slash to say so, so
// it is cut as one (a link to "/home/anna" points nowhere rather than at "anna").
std::string linkWithoutHome(const std::string &target) {
    const std::optional<std::string> cut = EntryPaths::withoutHome(target + '/');
    if (!cut) {
        return target;
    }
    return cut->empty() ? *cut : cut->substr(0, cut->size() - 1);
}

void writeEntry(archive *writer, const Entry &entry, const std::string &path,
                const std::string &hardlink, const Bytes &data) {
    archive_entry *header = archive_entry_new();
    archive_entry_set_pathname(header, path.c_str());
    archive_entry_set_filetype(header, entry.type);
    archive_entry_set_perm(header, entry.permissions);
    archive_entry_set_mtime(header, FixedTime, 0);
    if (!entry.symlink.empty()) {
        archive_entry_set_symlink(header, linkWithoutHome(entry.symlink).c_str());
    }
    if (!hardlink.empty()) {
        archive_entry_set_hardlink(header, hardlink.c_str());
    }
    archive_entry_set_rdev(header, entry.device);
    archive_entry_set_size(header, static_cast<la_int64_t>(data.size()));
    const bool headed = archive_write_header(writer, header) == ARCHIVE_OK;
    archive_entry_free(header);
    if (!headed || !writeData(writer, data)) {
        throw Formats::Refused("the archive cannot be written anew: " +
                               textOf(archive_error_string(writer)));
    }
}

}  // namespace

void clean(Formats::ByteFile &file, int depth) {
    Layout layout;
    const std::vector<Entry> entries = readEntries(file, layout);
    std::vector<std::string> paths;
    for (const Entry &entry : entries) {
        paths.push_back(entry.path);
    }
    const std::vector<std::string> shortened = EntryPaths::shortened(paths);
    std::map<std::string, std::string> renamed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        renamed[paths[i]] = shortened[i];
    }
    Bytes output;
    archive *writer = openWriter(layout, output);
    try {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry &entry = entries[i];
            if (shortened[i].empty()) {
                continue;  // only the home folder itself
            }
            std::string hardlink;
            if (!entry.hardlink.empty()) {
                const auto link = renamed.find(entry.hardlink);
                if (link == renamed.end()) {
                    continue;  // a second name of what was left out (a sidecar), or of nothing
                }
                hardlink = link->second;
            }
            writeEntry(writer, entry, shortened[i], hardlink,
                       entry.data.empty()
                           ? entry.data
                           : Kinds::cleanEmbedded(entry.data, depth + 1, entry.path));
        }
    } catch (...) {
        archive_write_free(writer);
        throw;
    }
    const bool closed = archive_write_close(writer) == ARCHIVE_OK;
    archive_write_free(writer);
    if (!closed) {
        throw Formats::Refused("the archive cannot be written anew");
    }
    file.replaceAll(output);
}

}  // namespace Archive
