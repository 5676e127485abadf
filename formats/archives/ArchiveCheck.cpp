#include "formats/Kinds.h"
#include "formats/archives/Archive.h"
#include "formats/archives/ArchiveReader.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace Archive {

namespace {

using Formats::Category;

bool isFinderOrThumbnails(const std::string &path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    return path.find("__MACOSX") != std::string::npos || name.rfind("._", 0) == 0 ||
           name == ".DS_Store" || name == "Thumbs.db";
}

void checkHeader(archive_entry *entry, const std::string &path, Formats::Findings &findings) {
    if (archive_entry_uid(entry) != 0 || archive_entry_gid(entry) != 0) {
        findings.add(Category::People, "owner ids");
    }
    const char *user = archive_entry_uname(entry);
    const char *group = archive_entry_gname(entry);
    if ((user && *user) || (group && *group)) {
        findings.add(Category::People, "owner names");
    }
    if (archive_entry_mtime(entry) != FixedTime || archive_entry_mtime_nsec(entry) != 0 ||
        archive_entry_atime_is_set(entry) || archive_entry_ctime_is_set(entry) ||
        archive_entry_birthtime_is_set(entry)) {
        findings.add(Category::Dates, "entry times");
    }
    if (archive_entry_xattr_count(entry) > 0) {
        findings.add("extended attributes");
    }
    if (archive_entry_acl_count(entry, ARCHIVE_ENTRY_ACL_TYPE_ACCESS |
                                           ARCHIVE_ENTRY_ACL_TYPE_DEFAULT |
                                           ARCHIVE_ENTRY_ACL_TYPE_NFS4) > 0) {
        findings.add("access control lists");
    }
    if (startsInAHome(path)) {
        findings.add(Category::People, "a home folder in an entry's path");
    }
    for (const char *target : {archive_entry_symlink(entry), archive_entry_hardlink(entry)}) {
        if (target && startsInAHome(target)) {
            findings.add(Category::People, "a home folder in a link's target");
        }
    }
    if (isFinderOrThumbnails(path)) {
        findings.add("a Mac's or Windows' folder data");
    }
}

// gzip's own header may hold the time it was made, the packed file's name and a comment.
void checkGzipHeader(Formats::ByteFile &file, Formats::Findings &findings) {
    const Formats::Bytes header = file.readUpTo(0, 10);
    if (header.size() < 10 || header.compare(0, 2, "\x1f\x8b") != 0) {
        return;
    }
    constexpr unsigned char Name = 0x08;
    constexpr unsigned char Comment = 0x10;
    const auto flags = static_cast<unsigned char>(header[3]);
    if (header.compare(4, 4, std::string(4, '\0')) != 0) {
        findings.add(Category::Dates, "the compressed stream's time");
    }
    if (flags & (Name | Comment)) {
        findings.add("the compressed stream's file name or comment");
    }
}

}  // namespace

bool startsInAHome(std::string path) {
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::replace(path.begin(), path.end(), '\\', '/');
    // Separators and `.` folders in front lead nowhere else.
    std::size_t at = 0;
    while (path.compare(at, 1, "/") == 0 || path.compare(at, 2, "./") == 0) {
        at += path[at] == '/' ? 1 : 2;
    }
    const std::string_view rest = std::string_view(path).substr(at);
    const bool drive =
        rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':';
    return drive || rest.rfind("home/", 0) == 0 || rest.rfind("users/", 0) == 0 ||
           rest.rfind("documents and settings/", 0) == 0;
}

Formats::Findings remainingMetadata(Formats::ByteFile &file, int depth) {
    Formats::Findings findings;
    checkGzipHeader(file, findings);
    ArchiveReader reader(file);
    while (archive_entry *entry = reader.next()) {
        const char *name = archive_entry_pathname(entry);
        const std::string path = name ? name : "";
        checkHeader(entry, path, findings);
        if (archive_entry_filetype(entry) == AE_IFREG) {
            findings.addFrom(Kinds::checkEmbedded(reader.data(), depth + 1), path);
        }
    }
    return findings;
}

}  // namespace Archive
