#include "formats/Kinds.h"
#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Limits.h"
#include "formats/core/Zlib.h"
#include "formats/office/CompoundFile.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <string_view>
#include <vector>

namespace {

using Formats::Bytes;
using Formats::Category;
using Formats::littleEndian16;
using Formats::littleEndian32;

void require(bool holds) {
    if (!holds) {
        throw Formats::Refused("damaged compound file");
    }
}

// The bytes [at, at + size) of data, which must hold them.
Bytes slice(const Bytes &data, std::uint64_t at, std::uint64_t size) {
    require(at <= data.size() && size <= data.size() - at);
    return data.substr(at, size);
}

struct Entry {
    std::string name;  // as shown, without control characters
    std::string key;   // in lower case, to look up
    int type = 0;
    std::uint32_t left = 0, right = 0, child = 0, start = 0;
    std::uint64_t size = 0;
    bool dated = false;
    bool named = false;  // its name ends where the entry says
};

// The file read into whole tables, enough to read any stream by its entry.
class Tables {
  public:
    explicit Tables(const Bytes &file) : file_(file) {
        require(file.size() >= 512 && littleEndian32(file, 0) == 0xE011CFD0 &&
                littleEndian32(file, 4) == 0xE11AB1A1);
        const unsigned shift = littleEndian16(file, 0x1E);
        require(shift == 9 || shift == 12);
        sector_ = std::size_t{1} << shift;
        Bytes fatSectors = slice(file, 0x4C, 109 * 4);
        std::uint32_t list = littleEndian32(file, 0x44);
        const std::uint32_t fatCount = littleEndian32(file, 0x2C);
        require(fatCount <= file.size() / sector_);
        // As many list sectors as the table needs, whatever the header counts.
        while (fatSectors.size() / 4 < fatCount) {
            const Bytes listSector = sectorBytes(list);
            tableSectors_.push_back(list);
            fatSectors += listSector.substr(0, sector_ - 4);
            list = littleEndian32(listSector, sector_ - 4);
        }
        for (std::uint32_t i = 0; i < fatCount; ++i) {
            tableSectors_.push_back(littleEndian32(fatSectors, 4 * i));
            fat_ += sectorBytes(tableSectors_.back());
        }
        std::sort(tableSectors_.begin(), tableSectors_.end());
        directory_ = follow(fat_, sector_, littleEndian32(file, 0x30), nullptr);
        for (std::size_t at = 0; at + 128 <= directory_.size(); at += 128) {
            entries_.push_back(entry(directory_.substr(at, 128)));
        }
        require(!entries_.empty() && entries_[0].type == 5);
        miniFat_ = follow(fat_, sector_, littleEndian32(file, 0x3C), nullptr);
        miniStream_ = slice(follow(fat_, sector_, entries_[0].start, nullptr), 0, entries_[0].size);
    }

    const std::vector<Entry> &entries() const { return entries_; }

    // Streams of a well-formed file do not overlap, so all that a check reads stays within a few
    // times the file, however its entries point.
    Bytes stream(const Entry &entry) const {
        read_ += entry.size;
        require(entry.size <= file_.size() && read_ <= ReadBudget * file_.size());
        const Bytes bytes = entry.size < 4096 ? follow(miniFat_, 64, entry.start, &miniStream_)
                                              : follow(fat_, sector_, entry.start, nullptr);
        return slice(bytes, 0, entry.size);
    }

    // Whether what lies unused holds anything: sectors and mini sectors the tables mark free, and
    // what entries no storage reaches tell beside their links and start.
    bool unusedSpaceHolds(const std::vector<bool> &reached) const {
        const auto holds = [](const Bytes &bytes, std::uint64_t from, std::uint64_t to) {
            return from < bytes.size() && std::string_view(bytes)
                                                  .substr(from, std::min(to, bytes.size()) - from)
                                                  .find_first_not_of('\0') != Bytes::npos;
        };
        const std::size_t sectors = std::min(fat_.size() / 4, file_.size() / sector_);
        for (std::uint32_t sector = 0; sector < sectors; ++sector) {
            const std::uint64_t at = (std::uint64_t{sector} + 1) * sector_;
            if (littleEndian32(fat_, 4 * sector) == 0xFFFFFFFF &&
                !std::binary_search(tableSectors_.begin(), tableSectors_.end(), sector) &&
                holds(file_, at, at + sector_)) {
                return true;
            }
        }
        for (std::size_t mini = 0; mini < miniFat_.size() / 4; ++mini) {
            if (littleEndian32(miniFat_, 4 * mini) == 0xFFFFFFFF &&
                holds(miniStream_, 64 * mini, 64 * mini + 64)) {
                return true;
            }
        }
        for (std::size_t entry = 0; entry < entries_.size(); ++entry) {
            const std::size_t at = 128 * entry;
            if (!reached[entry] &&
                (holds(directory_, at, at + 0x44) || holds(directory_, at + 0x50, at + 0x74) ||
                 holds(directory_, at + 0x78, at + 128))) {
                return true;
            }
        }
        return false;
    }

  private:
    Bytes sectorBytes(std::uint32_t number) const {
        return slice(file_, (std::uint64_t{number} + 1) * sector_, sector_);
    }

    // The chain of units from start through table, read from source, or from the file's sectors.
    Bytes follow(const Bytes &table, std::size_t unit, std::uint32_t start,
                 const Bytes *source) const {
        Bytes bytes;
        std::size_t steps = 0;
        for (std::uint32_t at = start; at != 0xFFFFFFFE; at = littleEndian32(table, 4 * at)) {
            const Bytes &from = source ? *source : file_;
            const std::uint64_t offset = (std::uint64_t{at} + (source ? 0 : 1)) * unit;
            require(++steps <= table.size() / 4 && at < table.size() / 4 &&
                    bytes.size() < file_.size() && offset < from.size());
            bytes += from.substr(offset, unit);
            if (from.size() - offset < unit) {  // only what a chain needs of its last unit is read
                break;
            }
        }
        return bytes;
    }

    Entry entry(const Bytes &raw) const {
        Entry entry;
        std::size_t at = 0;
        for (; at < 64 && littleEndian16(raw, at) != 0; at += 2) {
            const std::uint16_t character = littleEndian16(raw, at);
            const char shown = character < 0x80 ? static_cast<char>(character) : '?';
            entry.key += static_cast<char>(std::tolower(static_cast<unsigned char>(shown)));
            if (character >= 0x20) {
                entry.name += shown;
            }
        }
        // Readers that take the size for the name's and readers that read to its zero must agree.
        entry.named = littleEndian16(raw, 0x40) == at + 2;
        entry.type = raw[0x42];
        entry.left = littleEndian32(raw, 0x44);
        entry.right = littleEndian32(raw, 0x48);
        entry.child = littleEndian32(raw, 0x4C);
        entry.dated = raw.find_first_not_of('\0', 0x64) < 0x74;
        entry.start = littleEndian32(raw, 0x74);
        entry.size = littleEndian32(raw, 0x78);
        if (sector_ == 4096) {
            entry.size |= std::uint64_t{littleEndian32(raw, 0x7C)} << 32;
        }
        return entry;
    }

    static constexpr std::uint64_t ReadBudget = 4;
    const Bytes &file_;
    mutable std::uint64_t read_ = 0;
    std::size_t sector_ = 512;
    Bytes fat_, miniFat_, miniStream_, directory_;
    std::vector<std::uint32_t> tableSectors_;  // of the sector table and the lists it needs
    std::vector<Entry> entries_;
};

// Names that differ in letter case alone are the same to Office: each one is looked at.
using Members = std::multimap<std::string, const Entry *>;

// The entries directly inside a storage, by name in lower case. Steps counts the links followed in
// every storage: each entry belongs to one and has two sibling links, so a tree that follows more
// runs in a loop.
Members members(const std::vector<Entry> &entries, const Entry &storage, std::size_t &steps) {
    Members found;
    std::vector<std::uint32_t> open{storage.child};
    for (; !open.empty(); ++steps) {
        const std::uint32_t at = open.back();
        open.pop_back();
        if (at == 0xFFFFFFFF) {
            continue;
        }
        require(steps <= 3 * entries.size() && at < entries.size() &&
                (entries[at].type == 1 || entries[at].type == 2) && entries[at].named);
        found.emplace(entries[at].key, &entries[at]);
        open.push_back(entries[at].left);
        open.push_back(entries[at].right);
    }
    return found;
}

struct Property {
    Category category;
    const char *name;
};

Property propertyNamed(const Bytes &formatId, std::uint32_t id) {
    static const Bytes summary("\xE0\x85\x9F\xF2\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9",
                               16);
    static const Bytes documentSummary(
        "\x02\xD5\xCD\xD5\x9C\x2E\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE", 16);
    static const std::map<std::uint32_t, Property> summaryNames = {
        {2, {Category::Descriptions, "title"}},    {3, {Category::Descriptions, "subject"}},
        {4, {Category::People, "author"}},         {5, {Category::Descriptions, "keywords"}},
        {6, {Category::Descriptions, "comments"}}, {7, {Category::Other, "template"}},
        {8, {Category::People, "last saved by"}},  {9, {Category::History, "revision number"}},
        {10, {Category::Dates, "edit time"}},      {11, {Category::Dates, "printing date"}},
        {12, {Category::Dates, "creation date"}},  {13, {Category::Dates, "saving date"}},
        {17, {Category::Thumbnails, "thumbnail"}}, {18, {Category::Software, "application name"}}};
    static const std::map<std::uint32_t, Property> documentNames = {
        {2, {Category::Descriptions, "category"}},
        {14, {Category::People, "manager"}},
        {15, {Category::People, "company"}}};
    const auto *names = formatId == summary           ? &summaryNames
                        : formatId == documentSummary ? &documentNames
                                                      : nullptr;
    if (!names) {
        return {Category::Other, "custom properties"};
    }
    const auto named = names->find(id);
    return named != names->end() ? named->second : Property{Category::Other, "document statistics"};
}

// Every property but the code page, in every section.
// Whether a set that holds no property but code pages is laid out as emptying leaves it: its
// sections one after another past their list, each its size, a count of one and the code page as
// a short number, or a count of none; zeros after them. Else older contents may linger.
bool emptiedForm(const Bytes &set, std::uint32_t sections) {
    std::uint64_t next = 28 + 20 * std::uint64_t{sections};
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::uint32_t at = littleEndian32(set, 28 + 20 * std::size_t{i} + 16);
        const Bytes head = slice(set, at, 8);
        const std::uint32_t size = littleEndian32(head, 4) == 0 ? 8 : 24;
        if (at != next || littleEndian32(head, 0) != size || size > set.size() - at ||
            (size == 24 &&
             (littleEndian32(set, at + 8) != 1 || littleEndian32(set, at + 12) != 16 ||
              littleEndian32(set, at + 16) != 2 || littleEndian16(set, at + 22) != 0))) {
            return false;
        }
        next += size;
    }
    return set.find_first_not_of('\0', next) == Bytes::npos;
}

void checkProperties(const Bytes &set, Formats::Findings &findings) {
    require(set.size() >= 28);
    const std::uint32_t sections = littleEndian32(set, 24);
    require(sections <= (set.size() - 28) / 20);
    bool found = false;
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::size_t listed = 28 + 20 * std::size_t{i};
        const std::uint32_t at = littleEndian32(set, listed + 16);
        const std::uint32_t count = littleEndian32(slice(set, at, 8), 4);
        const Bytes pairs = slice(set, std::uint64_t{at} + 8, std::uint64_t{count} * 8);
        for (std::size_t pair = 0; pair < pairs.size(); pair += 8) {
            if (littleEndian32(pairs, pair) != 1) {
                const Property property =
                    propertyNamed(set.substr(listed, 16), littleEndian32(pairs, pair));
                findings.add(property.category, property.name);
                found = true;
            }
        }
    }
    if (!found && !emptiedForm(set, sections)) {
        findings.add(Category::Other, "old data in document properties");
    }
}

bool blank(const Bytes &text) {
    return text.find_first_not_of(Bytes(" \0", 2)) == Bytes::npos;
}

// Whether every wide string in the list, each a count and its characters from start on, is
// blank or Word's stand-in for a missing name.
bool namesBlank(const Bytes &list, std::size_t start) {
    for (std::size_t at = start; at + 2 <= list.size();) {
        const std::size_t length = 2 * std::size_t{littleEndian16(list, at)};
        const Bytes name = slice(list, at + 2, length);
        if (!blank(name) && name != Bytes("U\0n\0k\0n\0o\0w\0n\0", 14)) {
            return false;
        }
        at += 2 + length;
    }
    return true;
}

// The initials of each comment's author, after the places of all comments, each a count and up
// to 9 wide characters in 30 bytes; and the date each was made, in 18 bytes of their own.
void checkComments(const Bytes &places, const Bytes &dates, Formats::Findings &findings) {
    const std::size_t count = places.size() < 4 ? 0 : (places.size() - 4) / 34;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 4 * (count + 1) + 30 * i;
        const std::size_t length = std::min<std::size_t>(littleEndian16(places, at), 9);
        if (!blank(places.substr(at + 2, 2 * length))) {
            findings.add(Category::People, "comment initials");
        }
    }
    for (std::size_t at = 0; at + 18 <= dates.size(); at += 18) {
        if (littleEndian32(dates, at) != 0) {
            findings.add(Category::Dates, "comment dates");
        }
    }
}

// Whether a run's character properties hold the date of a tracked change: of an insertion or a
// deletion, or 4 bytes into the operand of a change of format. Operands take 1, 2, 3 or 4 bytes by
// the kind in the property's top three bits, or count their bytes in the first.
bool revisionDated(const Bytes &properties) {
    std::size_t at = 0;
    while (at + 2 <= properties.size()) {
        const std::uint16_t property = littleEndian16(properties, at);
        const unsigned kind = property >> 13;
        std::size_t size = Bytes("\1\1\2\4\2\2\0\3", 8)[kind];
        if (kind == 6) {
            size = at + 2 < properties.size() ? 1 + Formats::byteAt(properties, at + 2)
                                              : properties.size();
        }
        if (size > properties.size() - at - 2) {
            return false;
        }
        const Bytes operand = properties.substr(at + 2, size);
        const bool dated = property == 0x6805 || property == 0x6864;
        const bool formatDated = (property == 0xCA57 || property == 0xCA89) && size >= 8;
        if ((dated && operand.find_first_not_of('\0') != Bytes::npos) ||
            (formatDated && operand.find_first_not_of('\0', 4) < 8)) {
            return true;
        }
        at += 2 + size;
    }
    return false;
}

// Whether a page of character properties names a tracked change's date: its last byte counts
// its runs, and after their places a byte for each gives in words where its properties lie.
bool pageRevisionDated(const Bytes &page) {
    const std::size_t runs = Formats::byteAt(page, 511);
    for (std::size_t run = 0; run < runs && 4 * runs + 4 + run < 511; ++run) {
        const std::size_t at = 2 * std::size_t{Formats::byteAt(page, 4 * runs + 4 + run)};
        if (at != 0 && revisionDated(slice(page, at + 1, Formats::byteAt(page, at)))) {
            return true;
        }
    }
    return false;
}

// Word's saved-by list, its table of associated names, its own dates, its comments' and those of
// its tracked changes.
void checkWord(const Tables &tables, const Members &storage, const Bytes &document,
               Formats::Findings &findings) {
    require(document.size() >= 34 && littleEndian16(document, 0) == 0xA5EC);
    const std::uint16_t flags = littleEndian16(document, 0x0A);
    const auto table = storage.find(flags & 0x0200 ? "1table" : "0table");
    require(table != storage.end() && !(flags & 0x0100));
    const Bytes tableBytes = tables.stream(*table->second);
    const std::size_t shorts = 34 + 2 * std::size_t{littleEndian16(document, 32)};
    const std::size_t longs =
        shorts + 2 + 4 * std::size_t{littleEndian16(slice(document, shorts, 2), 0)};
    // Pointers the stream does not hold are not there.
    const std::size_t pairCount = std::min<std::size_t>(
        littleEndian16(slice(document, longs, 2), 0), (document.size() - longs - 2) / 8);
    const Bytes pairs = slice(document, longs + 2, 8 * pairCount);
    // A pointer of no length points nowhere, whatever its offset says.
    const auto pointed = [&](std::size_t pair) {
        return pair < pairCount && littleEndian32(pairs, 8 * pair + 4) != 0
                   ? slice(tableBytes, littleEndian32(pairs, 8 * pair),
                           littleEndian32(pairs, 8 * pair + 4))
                   : Bytes();
    };
    if (pairCount > 71 && littleEndian32(pairs, 8 * 71 + 4) != 0) {
        findings.add(Category::People, "a saved-by list");
    }
    const Bytes names = pointed(32);
    if (names.size() >= 6) {
        const bool wide = littleEndian16(names, 0) == 0xFFFF;
        const std::size_t extra = littleEndian16(names, 4);
        std::size_t at = 6;
        for (std::uint16_t n = littleEndian16(names, 2); n > 0; --n) {
            const std::size_t length = wide
                                           ? 2 * std::size_t{littleEndian16(slice(names, at, 2), 0)}
                                           : Formats::byteAt(slice(names, at, 1), 0);
            if (length != 0) {
                findings.add(Category::People, "template or author names");
            }
            at += (wide ? 2 : 1) + length + extra;
        }
    }
    if (!pointed(27).empty() || !pointed(28).empty() || !pointed(29).empty()) {
        findings.add(Category::Device, "printer settings");
    }
    if (!namesBlank(pointed(36), 0) || !namesBlank(pointed(51), 6)) {
        findings.add(Category::People, "comment or revision authors");
    }
    const Bytes properties = pointed(31);
    if ((properties.size() >= 0x26 && properties.find_first_not_of('\0', 0x14) < 0x26) ||
        (pairCount > 87 && pairs.find_first_not_of('\0', 8 * 87) < 8 * 88)) {
        findings.add(Category::Dates, "document dates");
    }
    checkComments(pointed(4), pointed(112), findings);
    const Bytes pages = pointed(12);
    const std::size_t count = pages.size() < 4 ? 0 : (pages.size() - 4) / 8;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t page = littleEndian32(pages, 4 * (count + 1 + i)) & 0x3FFFFF;
        if (pageRevisionDated(slice(document, std::uint64_t{page} * 512, 512))) {
            findings.add(Category::Dates, "tracked-change dates");
        }
    }
}

// The user names of Excel's write-access and file-sharing records, in the globals, the authors of
// notes, in every sheet, and bytes after the last sheet.
void checkWorkbook(const Bytes &book, bool unicode, Formats::Findings &findings) {
    bool globals = true;
    for (std::size_t at = 0; at + 4 <= book.size();) {
        const std::uint16_t type = littleEndian16(book, at);
        require(!globals || type != 0x002F);  // the rest is encrypted
        const Bytes body = slice(book, at + 4, littleEndian16(book, at + 2));
        if (globals && type == 0x005C &&
            !blank(body.substr(std::min<std::size_t>(body.size(), unicode ? 3 : 1)))) {
            findings.add(Category::People, "user name");
        }
        if (globals && type == 0x005B &&
            !blank(body.substr(std::min<std::size_t>(body.size(), 7)))) {
            findings.add(Category::People, "user name");
        }
        // A note's author: a count of characters and their width, then the characters.
        if (unicode && type == 0x001C && body.size() > 11 &&
            !blank(body.substr(11, std::size_t{littleEndian16(body, 8)} *
                                       (Formats::byteAt(body, 10) & 1 ? 2 : 1)))) {
            findings.add(Category::People, "comment authors");
        }
        globals = globals && type != 0x000A;
        at += 4 + body.size();
        // After the last substream's end, where no start of another follows, lies slack.
        if (type == 0x000A && (at + 4 > book.size() || littleEndian16(book, at) != 0x0809)) {
            if (book.find_first_not_of('\0', at) != Bytes::npos) {
                findings.add(Category::Other, "old data after the workbook");
            }
            return;
        }
    }
}

// What a file inside this one holds; a file of a known kind that cannot be read refuses this one.
Formats::Findings embeddedFindings(const Bytes &content, int depth, const std::string &where) {
    try {
        return Kinds::checkEmbedded(content, depth + 1);
    } catch (const Formats::Refused &refused) {
        throw refused.in(where);
    }
}

bool holdsFolder(const Bytes &path, std::size_t unit) {
    for (std::size_t at = 0; at + unit <= path.size(); at += unit) {
        if (Bytes("\\/:").find(path[at]) != Bytes::npos && (unit == 1 || path[at + 1] == 0)) {
            return true;
        }
    }
    return false;
}

// Whether wide text names a file by a path: it holds a folder separator and is no web address,
// whose scheme (not a file's) of two letters or more comes before a colon.
bool filePath(const Bytes &text) {
    std::string scheme;
    for (std::size_t at = 0; at + 1 < text.size() && text[at + 1] == 0 &&
                             std::isalpha(static_cast<unsigned char>(text[at]));
         at += 2) {
        scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
    }
    const bool web = scheme.size() >= 2 && scheme != "file" &&
                     text.compare(2 * scheme.size(), 2, Bytes(":\0", 2)) == 0;
    return !web && holdsFolder(text, 2);
}

// Whether a picture's name among the shape properties of the record body is a path; the wide
// values follow the table of six-byte properties in its order.
bool pictureNamedByPath(const Bytes &body, unsigned count) {
    std::uint64_t value = 6 * std::uint64_t{count};
    for (std::size_t at = 0; at < 6 * std::size_t{count} && value <= body.size(); at += 6) {
        const std::uint16_t id = littleEndian16(body, at);
        const std::uint32_t size = littleEndian32(body, at + 2);
        if ((id & 0x8000) && size <= body.size() - value) {
            if ((id & 0x3FFF) == 0x0105 && filePath(body.substr(value, size))) {
                return true;
            }
            value += size;
        } else if (id & 0x8000) {
            return false;
        }
    }
    return false;
}

// What one atom of a show holds, inside a comment or the show's external objects and sounds.
void checkShowAtom(const Bytes &show, std::size_t at, bool inComment, bool inFiles,
                   Formats::Findings &findings) {
    const unsigned instance = littleEndian16(show, at) >> 4;
    const std::uint16_t type = littleEndian16(show, at + 2);
    const Bytes body = show.substr(at + 8, littleEndian32(show, at + 4));
    if (type == 0x0FBA && inComment && (instance == 0 || instance == 2) && !blank(body)) {
        findings.add(Category::People, "comment authors");
    }
    if (type == 0x2EE1 && inComment && body.size() >= 20 && body.find_first_not_of('\0', 4) < 20) {
        findings.add(Category::Dates, "comment dates");
    }
    if ((type == 0x0FBA && inFiles && filePath(body)) ||
        ((type == 0xF00B || type == 0xF121 || type == 0xF122) &&
         pictureNamedByPath(body, instance))) {
        findings.add(Category::Other, "paths of linked, played or pictured files");
    }
}

// What the storages of embedded objects hold, packed or not.
void checkShowObject(const Bytes &show, std::size_t at, std::uint64_t &unpacked, int depth,
                     const std::string &where, Formats::Findings &findings) {
    const std::string object = where + " object";
    const Bytes body = show.substr(at + 8, littleEndian32(show, at + 4));
    const bool packed = littleEndian16(show, at) >> 4 == 1;
    require(!packed || body.size() >= 4);
    unpacked += packed ? littleEndian32(body, 0) : 0;
    require(unpacked <= Formats::Limits::UnpackedSize);
    findings.addFrom(
        embeddedFindings(
            !packed ? body
                    : Formats::inflated(std::string_view(body).substr(4), littleEndian32(body, 0),
                                        "damaged PowerPoint object in " + object),
            depth, object),
        object);
}

// The author's name, initials and time of every comment on a slide, the paths of files the show
// links to, plays or took pictures from, and what the storages of embedded objects hold, wherever
// they lie.
void checkSlides(const Bytes &show, int depth, const std::string &where,
                 Formats::Findings &findings) {
    std::size_t commentEnd = 0;
    std::size_t filesEnd = 0;
    std::uint64_t unpacked = 0;  // by all objects, bounded as one package's entries are
    for (std::size_t at = 0; at + 8 <= show.size();) {
        const std::uint16_t kind = littleEndian16(show, at);
        const std::uint16_t type = littleEndian16(show, at + 2);
        const std::uint32_t length = littleEndian32(show, at + 4);
        require(length <= show.size() - at - 8);
        const bool container = (kind & 0x0F) == 0x0F || type == 0x138B;  // tag data holds records
        if (type == 0x2EE0 && container) {
            commentEnd = at + 8 + length;
        } else if ((type == 0x0409 || type == 0x07E4) && container) {
            filesEnd = at + 8 + length;
        } else if (type == 0x1011 && !container) {
            checkShowObject(show, at, unpacked, depth, where, findings);
        } else if (!container) {
            checkShowAtom(show, at, at < commentEnd, at < filesEnd, findings);
        }
        at += container ? 8 : 8 + std::size_t{length};
    }
}

// A packaged file's source and temporary paths, in single-byte and, after its content, wide
// characters, and what the file itself holds.
void checkPackage(const Bytes &package, int depth, const std::string &where,
                  Formats::Findings &findings) {
    const Bytes header = slice(package, 4, littleEndian32(slice(package, 0, 4), 0));
    const std::size_t label = header.find('\0', 2);
    const std::size_t source = header.find('\0', label + 1);
    require(label != Bytes::npos && source != Bytes::npos);
    std::size_t at = source + 5;
    const Bytes unpacked = slice(header, at + 4, littleEndian32(slice(header, at, 4), 0));
    at += 4 + unpacked.size();
    const Bytes content = slice(header, at + 4, littleEndian32(slice(header, at, 4), 0));
    findings.addFrom(embeddedFindings(content, depth, where), where);
    at += 4 + content.size();
    bool found =
        holdsFolder(header.substr(label + 1, source - label - 1), 1) || holdsFolder(unpacked, 1);
    for (int field = 0; field < 3 && at + 4 <= header.size(); ++field) {
        const Bytes text =
            slice(header, at + 4, 2 * std::uint64_t{littleEndian32(slice(header, at, 4), 0)});
        found = found || (field != 1 && holdsFolder(text, 2));
        at += 4 + text.size();
    }
    if (found) {
        findings.add(Category::Other, "a packaged file's path");
    }
}

// The paths of a linked object's file monikers, each a class, a count of parent steps, then the
// path in single-byte characters and, 20 bytes on, the size of a part that holds it in wide ones.
void checkLinks(const Bytes &ole, Formats::Findings &findings) {
    static const Bytes fileMoniker("\x03\x03\0\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16);
    bool found = false;
    for (std::size_t at = ole.find(fileMoniker); at != Bytes::npos;
         at = ole.find(fileMoniker, at + 16)) {
        const std::uint64_t path = at + 22;
        const Bytes single = slice(ole, path, littleEndian32(slice(ole, at + 18, 4), 0));
        const std::uint64_t rest = path + single.size() + 20;
        const Bytes wide = littleEndian32(slice(ole, rest, 4), 0) == 0
                               ? Bytes()
                               : slice(ole, rest + 10, littleEndian32(slice(ole, rest + 4, 4), 0));
        found =
            found || holdsFolder(single.substr(0, single.find('\0')), 1) || holdsFolder(wide, 2);
    }
    if (found) {
        findings.add(Category::Other, "a linked file's path");
    }
}

// Whether a JPEG header in the pictures still holds a segment of Exif or XMP, IPTC or a comment
// that is not all zeros. A header that does not reach its scan is taken for other bytes.
bool picturesTell(const Bytes &pictures) {
    for (std::size_t start = pictures.find("\xFF\xD8\xFF"); start != Bytes::npos;
         start = pictures.find("\xFF\xD8\xFF", start + 1)) {
        bool tells = false;
        std::size_t at = start + 2;
        while (at + 4 <= pictures.size() && Formats::byteAt(pictures, at) == 0xFF) {
            const std::uint32_t marker = Formats::byteAt(pictures, at + 1);
            const std::size_t length = marker == 0xFF ? 0 : Formats::bigEndian16(pictures, at + 2);
            if (marker != 0xFF && (length < 2 || length > pictures.size() - at - 2)) {
                break;
            }
            const bool telling = marker == 0xE1 || marker == 0xED || marker == 0xFE;
            tells =
                tells || (telling && pictures.find_first_not_of('\0', at + 4) < at + 2 + length);
            if (marker == 0xDA) {
                if (tells) {
                    return true;
                }
                break;
            }
            at += marker == 0xFF ? 1 : 2 + length;
        }
    }
    return false;
}

// Whether a PNG file in the pictures still holds a text, Exif or time chunk.
bool pngsTell(const Bytes &pictures) {
    const Bytes signature("\x89PNG\r\n\x1A\n", 8);
    for (std::size_t start = pictures.find(signature); start != Bytes::npos;
         start = pictures.find(signature, start + 1)) {
        std::size_t at = start + 8;
        while (at + 12 <= pictures.size()) {
            const std::uint64_t length = Formats::bigEndian32(pictures, at);
            const Bytes type = pictures.substr(at + 4, 4);
            if (length > pictures.size() - at - 12 || type == "IEND") {
                break;
            }
            if (type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "eXIf" ||
                type == "tIME") {
                return true;
            }
            at += 12 + length;
        }
    }
    return false;
}

void checkPictures(const Bytes &pictures, Formats::Findings &findings) {
    if (picturesTell(pictures)) {
        findings.add(Category::Other, "Exif, XMP or comments in pictures");
    }
    if (pngsTell(pictures)) {
        findings.add(Category::Other, "text, Exif or times in PNG pictures");
    }
}

// The pictures of a workbook: its globals' drawing-group records, each with the continue records
// after it, read as one.
Bytes drawingGroup(const Bytes &book) {
    Bytes group;
    std::uint16_t previous = 0;
    for (std::size_t at = 0; at + 4 <= book.size();) {
        const std::uint16_t type = littleEndian16(book, at);
        const Bytes body = slice(book, at + 4, littleEndian16(book, at + 2));
        if (type == 0x000A) {
            break;
        }
        if (type == 0x00EB || (type == 0x003C && previous == 0x00EB)) {
            group += body;
            previous = 0x00EB;
        } else {
            previous = type;
        }
        at += 4 + body.size();
    }
    return group;
}

// The last user's name, in single-byte characters and, when the record holds them, wide ones.
void checkCurrentUser(const Bytes &user, Formats::Findings &findings) {
    require(user.size() >= 28);
    const Bytes atom = user.substr(0, 8 + std::uint64_t{littleEndian32(user, 4)});
    const std::size_t length = littleEndian16(atom, 20);
    const bool hasWide = atom.size() >= 32 + 3 * length;
    if (!blank(slice(atom, 28, length)) ||
        (hasWide && !blank(atom.substr(32 + length, 2 * length)))) {
        findings.add(Category::People, "user name");
    }
}

// What each stream the check knows by name holds, from the storage it lies in.
void checkStream(const Tables &tables, const Members &storage, const Entry &entry,
                 const std::string &path, int depth, Formats::Findings &findings) {
    const std::string &name = entry.key;
    if (name == "\005summaryinformation" || name == "\005documentsummaryinformation") {
        checkProperties(tables.stream(entry), findings);
    } else if (name == "worddocument") {
        checkWord(tables, storage, tables.stream(entry), findings);
    } else if (name == "workbook" || name == "book") {
        const Bytes book = tables.stream(entry);
        checkWorkbook(book, name == "workbook", findings);
        checkPictures(drawingGroup(book), findings);
    } else if (name == "powerpoint document") {
        checkSlides(tables.stream(entry), depth, path, findings);
    } else if (name == "\001ole10native") {
        checkPackage(tables.stream(entry), depth, path, findings);
    } else if ((name == "user names" || name == "revision log") &&
               tables.stream(entry).find_first_not_of('\0') != Bytes::npos) {
        findings.add(Category::People, "shared-workbook user names");
    } else if (name == "\001ole") {
        checkLinks(tables.stream(entry), findings);
    } else if (name == "pictures" || name == "data") {
        checkPictures(tables.stream(entry), findings);
    } else if (name == "current user") {
        checkCurrentUser(tables.stream(entry), findings);
    } else if (name == "package" || name == "contents") {
        findings.addFrom(embeddedFindings(tables.stream(entry), depth, path), path);
    }
}

}  // namespace

namespace CompoundFile {

// Reads the file with its own walk: every storage from the root down, each stream by name.
Formats::Findings findings(const Bytes &file, int depth) {
    Formats::Findings findings;
    const Tables tables(file);
    const std::vector<Entry> &entries = tables.entries();
    std::vector<std::pair<const Entry *, std::string>> storages{{&entries[0], ""}};
    std::vector<bool> reached(entries.size(), false);
    reached[0] = true;
    std::size_t steps = 0;
    for (std::size_t next = 0; next < storages.size(); ++next) {
        require(next < entries.size());
        const auto inside = members(entries, *storages[next].first, steps);
        for (const auto &[key, entry] : inside) {
            const std::string folder = storages[next].second;
            const std::string path = folder + entry->name;
            reached[static_cast<std::size_t>(entry - entries.data())] = true;
            if (entry->dated) {
                findings.add(Category::Dates, "storage dates");
            }
            if (entry->type == 1) {
                storages.emplace_back(
                    entry, folder.size() < Formats::Limits::PathLength ? path + "/" : folder);
            } else {
                checkStream(tables, inside, *entry, path, depth, findings);
            }
        }
    }
    if (entries[0].dated) {
        findings.add(Category::Dates, "storage dates");
    }
    if (tables.unusedSpaceHolds(reached)) {
        findings.add(Category::Other, "old data in unused space");
    }
    return findings;
}

std::string remainingMetadata(const Bytes &file) {
    try {
        return findings(file, 0).reason();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
}

}  // namespace CompoundFile
