#pragma once

#include "formats/core/Formats.h"

#include <ctime>
#include <string>
#include <vector>

// A ZIP package (Office Open XML, OpenDocument) read whole into memory and written anew.
namespace Package {

struct Entry {
    std::string name;  // folders end with "/"
    Formats::Bytes data;
    bool compressed = true;
    // As read; a written entry always has entryTime(), no extra fields and no comment.
    std::time_t modified = 0;
    int extraFields = 0;
    bool commented = false;
};

// Every entry, in the archive's order, as the central directory lists it; each entry's data is
// checked against its size and CRC. Refused when the archive is damaged, encrypted, unpacks to
// more than 1 GiB or an entry to over 1024 times its packed size, holds more than 65,535 entries,
// or names an entry twice.
std::vector<Entry> read(const Formats::Bytes &zip);

// The entry names the central directory lists, without unpacking anything. Refused when the
// archive cannot be opened.
std::vector<std::string> entryNames(const Formats::Bytes &zip);

// Whether the archive itself carries a comment. Refused when the archive cannot be opened.
bool hasComment(const Formats::Bytes &zip);

// A new archive holding the entries in order, each with entryTime(), no extra fields and no
// comment; data is deflated unless the entry says otherwise.
Formats::Bytes write(const std::vector<Entry> &entries);

// Whether the data starts as XML does, after white space or a byte order mark.
bool holdsXml(const Formats::Bytes &data);

// The one time every written entry carries: 1980-01-01 00:00, the earliest a ZIP can hold.
std::time_t entryTime();

}  // namespace Package
