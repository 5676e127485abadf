#include "formats/CompoundFile.h"

#include "formats/ByteOrder.h"
#include "formats/CompoundFileReader.h"

#include <algorithm>
#include <optional>

namespace {

using CompoundFile::Reader;
using CompoundFile::Stream;
using Formats::Bytes;

constexpr std::size_t PropertySetHeader = 28;
constexpr std::size_t SectionListEntry = 20;
constexpr std::uint32_t MaxSections = 16;
constexpr std::uint32_t CodePageProperty = 1;
constexpr std::uint16_t ShortInteger = 2;

constexpr std::uint16_t WordIdentifier = 0xA5EC;
constexpr std::uint16_t WordEncrypted = 0x0100;
constexpr std::uint16_t WordTableOne = 0x0200;
constexpr std::size_t WordBaseSize = 32;
constexpr std::size_t DocumentPropertiesPair = 31;
constexpr std::size_t AssociatedNamesPair = 32;
constexpr std::size_t SavedByPair = 71;
constexpr std::size_t DocumentDates = 0x14;  // created, revised, printed, revision, edit time
constexpr std::size_t DocumentDatesSize = 18;

constexpr std::uint16_t ExcelEndOfSubstream = 0x000A;
constexpr std::uint16_t ExcelPassword = 0x002F;
constexpr std::uint16_t ExcelWriteAccess = 0x005C;

constexpr std::uint16_t CurrentUserAtom = 0x0FF6;
constexpr std::size_t CurrentUserName = 28;

std::optional<std::uint16_t> codePage(const Bytes &set, std::size_t section) {
    if (section > set.size() || set.size() - section < 8) {
        throw Formats::Refused("damaged document properties");
    }
    const std::size_t count = std::min<std::size_t>(Formats::littleEndian32(set, section + 4),
                                                    (set.size() - section - 8) / 8);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t pair = section + 8 + 8 * i;
        const std::size_t value = section + Formats::littleEndian32(set, pair + 4);
        if (Formats::littleEndian32(set, pair) == CodePageProperty && value < set.size() - 6 &&
            Formats::littleEndian16(set, value) == ShortInteger) {
            return Formats::littleEndian16(set, value + 4);
        }
    }
    return std::nullopt;
}

// The property set with its sections, each holding nothing but its code page, at the front and
// zeros after them.
Bytes emptiedPropertySet(const Bytes &set) {
    if (set.size() < PropertySetHeader || Formats::littleEndian16(set, 0) != 0xFFFE) {
        throw Formats::Refused("damaged document properties");
    }
    const std::uint32_t sections = Formats::littleEndian32(set, 24);
    std::size_t at = PropertySetHeader + SectionListEntry * std::size_t{sections};
    if (sections > MaxSections || at > set.size()) {
        throw Formats::Refused("damaged document properties");
    }
    Bytes emptied(set.size(), '\0');
    emptied.replace(0, at, set, 0, at);  // byte order, format, system, class, section list
    for (std::size_t i = 0; i < sections; ++i) {
        const std::size_t entry = PropertySetHeader + SectionListEntry * i;
        const std::optional<std::uint16_t> page =
            codePage(set, Formats::littleEndian32(set, entry + 16));
        const std::size_t size = page ? 24 : 8;
        if (size > emptied.size() - at) {
            throw Formats::Refused("damaged document properties");
        }
        Formats::putLittleEndian32(emptied, entry + 16, static_cast<std::uint32_t>(at));
        Formats::putLittleEndian32(emptied, at, static_cast<std::uint32_t>(size));
        if (page) {
            Formats::putLittleEndian32(emptied, at + 4, 1);
            Formats::putLittleEndian32(emptied, at + 8, CodePageProperty);
            Formats::putLittleEndian32(emptied, at + 12, 16);
            Formats::putLittleEndian32(emptied, at + 16, ShortInteger);
            Formats::putLittleEndian32(emptied, at + 20, *page);
        }
        at += size;
    }
    return emptied;
}

// The offset and length fields of one of a Word document's pointers into its table stream.
class WordPointers {
  public:
    explicit WordPointers(Bytes &document) : document_(document) {
        if (document.size() < WordBaseSize + 2 ||
            Formats::littleEndian16(document, 0) != WordIdentifier) {
            throw Formats::Refused("damaged Word document");
        }
        std::size_t at = WordBaseSize;
        at += 2 + 2 * std::size_t{Formats::littleEndian16(document, at)};  // short numbers
        if (at + 2 > document.size()) {
            throw Formats::Refused("damaged Word document");
        }
        at += 2 + 4 * std::size_t{Formats::littleEndian16(document, at)};  // long numbers
        if (at + 2 > document.size()) {
            throw Formats::Refused("damaged Word document");
        }
        count_ = std::min<std::size_t>(Formats::littleEndian16(document, at),
                                       (document.size() - at - 2) / 8);
        first_ = at + 2;
    }

    bool has(std::size_t pair) const { return pair < count_ && length(pair) != 0; }
    std::uint32_t offset(std::size_t pair) const {
        return Formats::littleEndian32(document_, first_ + 8 * pair);
    }
    std::uint32_t length(std::size_t pair) const {
        return Formats::littleEndian32(document_, first_ + 8 * pair + 4);
    }
    void setLength(std::size_t pair, std::uint32_t length) {
        Formats::putLittleEndian32(document_, first_ + 8 * pair + 4, length);
    }

  private:
    Bytes &document_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
};

// Where the bytes a pointer names start in the table stream, which must hold them.
std::size_t pointedOffset(const Bytes &table, const WordPointers &pointers, std::size_t pair) {
    const std::size_t offset = pointers.offset(pair);
    if (offset > table.size() || pointers.length(pair) > table.size() - offset) {
        throw Formats::Refused("damaged Word document");
    }
    return offset;
}

void zeroPointed(Bytes &table, const WordPointers &pointers, std::size_t pair) {
    std::fill_n(table.begin() + pointedOffset(table, pointers, pair), pointers.length(pair), '\0');
}

// Word keeps the names of its last savers, and a table of names (template, author, last editor,
// title, subject, keywords), apart from its document properties, and the dates in its own.
void cleanWord(Reader &reader, const Stream &stream) {
    Bytes document = reader.read(stream);
    WordPointers pointers(document);
    const std::uint16_t flags = Formats::littleEndian16(document, 0x0A);
    if (flags & WordEncrypted) {
        throw Formats::Refused("password-protected Word document");
    }
    const Stream *tableStream = reader.sibling(stream, flags & WordTableOne ? "1Table" : "0Table");
    if (!tableStream) {
        throw Formats::Refused("damaged Word document: no table stream");
    }
    Bytes table = reader.read(*tableStream);
    if (pointers.has(SavedByPair)) {
        zeroPointed(table, pointers, SavedByPair);
        pointers.setLength(SavedByPair, 0);
    }
    if (pointers.has(AssociatedNamesPair) && pointers.length(AssociatedNamesPair) >= 6) {
        const std::size_t at = pointedOffset(table, pointers, AssociatedNamesPair);
        const Bytes head = table.substr(at, 6);
        zeroPointed(table, pointers, AssociatedNamesPair);
        // The same count of names, each now empty: a length of zero and zeroed extra bytes.
        const bool wide = Formats::littleEndian16(head, 0) == 0xFFFF;
        const std::size_t emptySize =
            6 + std::size_t{Formats::littleEndian16(head, 2)} *
                    ((wide ? 2 : 1) + std::size_t{Formats::littleEndian16(head, 4)});
        if (emptySize > pointers.length(AssociatedNamesPair)) {
            throw Formats::Refused("damaged Word document");
        }
        table.replace(at, 6, head);
        pointers.setLength(AssociatedNamesPair, static_cast<std::uint32_t>(emptySize));
    }
    if (pointers.has(DocumentPropertiesPair) &&
        pointers.length(DocumentPropertiesPair) >= DocumentDates + DocumentDatesSize) {
        const std::size_t at = pointedOffset(table, pointers, DocumentPropertiesPair);
        std::fill_n(table.begin() + at + DocumentDates, DocumentDatesSize, '\0');
    }
    reader.overwrite(stream, document);
    reader.overwrite(*tableStream, table);
}

// The user name in the workbook's globals, as blanks: spaces, or wide spaces for a wide name.
void cleanWorkbook(Reader &reader, const Stream &stream) {
    Bytes book = reader.read(stream);
    const bool unicode = stream.name == "Workbook";  // older workbooks are "Book"
    for (std::size_t at = 0; at + 4 <= book.size();) {
        const std::uint16_t type = Formats::littleEndian16(book, at);
        const std::size_t length = Formats::littleEndian16(book, at + 2);
        if (length > book.size() - at - 4) {
            throw Formats::Refused("damaged Excel workbook");
        }
        if (type == ExcelPassword) {
            throw Formats::Refused("password-protected Excel workbook");
        }
        if (type == ExcelEndOfSubstream) {
            break;
        }
        const std::size_t text = unicode ? 3 : 1;  // after the length and flags
        if (type == ExcelWriteAccess && length >= text) {
            const bool wide = unicode && (Formats::byteAt(book, at + 6) & 1);
            const std::size_t wideEnd =
                wide ? 2 * std::size_t{Formats::littleEndian16(book, at + 4)} : 0;
            for (std::size_t i = 0; text + i < length; ++i) {
                book[at + 4 + text + i] = i < wideEnd && i % 2 == 1 ? '\0' : ' ';
            }
        }
        at += 4 + length;
    }
    reader.overwrite(stream, book);
}

// The name of the last user to open the show, in single-byte and wide characters, as blanks.
void cleanCurrentUser(Reader &reader, const Stream &stream) {
    Bytes user = reader.read(stream);
    if (user.size() < CurrentUserName || Formats::littleEndian16(user, 2) != CurrentUserAtom) {
        throw Formats::Refused("damaged PowerPoint show: no current user");
    }
    const std::size_t end =
        std::min<std::size_t>(user.size(), 8 + std::uint64_t{Formats::littleEndian32(user, 4)});
    const std::size_t length = Formats::littleEndian16(user, 20);
    const std::size_t wide = CurrentUserName + length + 4;
    if (CurrentUserName + length > end) {
        throw Formats::Refused("damaged PowerPoint show: no current user");
    }
    std::fill_n(user.begin() + CurrentUserName, length, ' ');
    for (std::size_t at = wide; wide + 2 * length <= end && at < wide + 2 * length; at += 2) {
        user[at] = ' ';
        user[at + 1] = '\0';
    }
    reader.overwrite(stream, user);
}

}  // namespace

namespace CompoundFile {

Bytes clean(const Bytes &file) {
    Bytes result = file;
    Reader reader(result);
    for (const Stream &stream : reader.streams()) {
        if (stream.name == "\005SummaryInformation" ||
            stream.name == "\005DocumentSummaryInformation") {
            reader.overwrite(stream, emptiedPropertySet(reader.read(stream)));
        } else if (stream.name == "WordDocument") {
            cleanWord(reader, stream);
        } else if (stream.name == "Workbook" || stream.name == "Book") {
            cleanWorkbook(reader, stream);
        } else if (stream.name == "Current User") {
            cleanCurrentUser(reader, stream);
        }
    }
    reader.zeroTimesAndFreeSpace();
    return result;
}

}  // namespace CompoundFile
