#include "formats/office/CompoundFile.h"

#include "formats/Kinds.h"
#include "formats/core/ByteOrder.h"
#include "formats/core/Limits.h"
#include "formats/core/Stop.h"
#include "formats/core/Zlib.h"
#include "formats/office/CompoundFileReader.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>
#include <string_view>

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
constexpr std::size_t PrinterPairs[] = {27, 28, 29};  // driver, portrait and landscape settings
constexpr std::size_t CommentOwnersPair = 36;
constexpr std::size_t RevisionAuthorsPair = 51;
constexpr std::size_t SavingTimePair = 87;
constexpr std::size_t CommentPlacesPair = 4;  // places, then each comment's initials and more
constexpr std::size_t CommentSize = 30;
constexpr std::size_t CommentInitialsLength = 9;
constexpr std::size_t CommentDatesPair = 112;  // each comment's date and threading
constexpr std::size_t CommentDateSize = 18;
constexpr std::size_t StringTableHeader = 6;
constexpr std::size_t CharacterPagesPair = 12;  // places, then the page of each run's properties
constexpr std::size_t PropertyPage = 512;
constexpr std::uint32_t PageNumber = 0x3FFFFF;
constexpr std::uint16_t RevisionDates[] = {0x6805, 0x6864};  // of an insertion, of a deletion
constexpr std::uint16_t FormatRevisions[] = {0xCA57, 0xCA89};
constexpr std::size_t FormatRevisionDate = 4;  // after size, flag and author
constexpr std::size_t DocumentDates = 0x14;    // created, revised, printed, revision, edit time
constexpr std::size_t DocumentDatesSize = 18;

constexpr std::uint16_t ExcelEndOfSubstream = 0x000A;
constexpr std::uint16_t ExcelStartOfSubstream = 0x0809;
constexpr std::uint16_t ExcelPassword = 0x002F;
constexpr std::uint16_t ExcelWriteAccess = 0x005C;
constexpr std::uint16_t ExcelFileSharing = 0x005B;
constexpr std::size_t ExcelFileSharingUser = 4;  // after read-only flag and password hash
constexpr std::uint16_t ExcelNote = 0x001C;
constexpr std::uint16_t ExcelDrawingGroup = 0x00EB;
constexpr std::uint16_t ExcelContinue = 0x003C;
constexpr std::size_t ExcelNoteAuthor = 8;  // after row, column, flags and drawing object

constexpr std::uint16_t SlideComment = 0x2EE0;
constexpr std::uint16_t SlideTagData = 0x138B;  // an atom that holds records, comments among them
constexpr std::uint16_t SlideText = 0x0FBA;
constexpr std::uint16_t SlideObjectStorage = 0x1011;
constexpr unsigned CompressedInstance = 1;  // the storage follows its unpacked size, packed
constexpr std::uint16_t SlidePersistDirectory = 0x1772;
constexpr std::uint16_t SlideUserEdit = 0x0FF5;
constexpr std::size_t UserEditOffsets = 16;  // the last edit's, then the persist directory's
constexpr std::size_t CurrentEditOffset = 16;
constexpr std::uint16_t SlideCommentAtom = 0x2EE1;
constexpr std::size_t CommentTime = 4;  // after the comment's number, 16 bytes
constexpr std::size_t CommentTimeSize = 16;
constexpr std::uint16_t SlideExternalObjects = 0x0409;
constexpr std::uint16_t SlideSounds = 0x07E4;
constexpr std::uint16_t DrawingProperties[] = {0xF00B, 0xF121, 0xF122};
constexpr std::size_t DrawingProperty = 6;  // a number and a value, or a complex value's size
constexpr std::uint16_t ComplexProperty = 0x8000;
constexpr std::uint16_t PropertyNumber = 0x3FFF;
constexpr std::uint16_t PictureName = 0x0105;
constexpr unsigned CommentAuthorName = 0;
constexpr unsigned CommentAuthorInitials = 2;

constexpr std::size_t PackageWideFields = 3;  // temporary path, label, source path
constexpr std::size_t PackageWideLabel = 1;

// A file moniker's class, then a count of parent steps, the path's size and the path; after it,
// server and version marks and reserved bytes, the size of what follows, the wide path's size, a
// key, and the wide path.
constexpr char FileMonikerClass[] = "\x03\x03\0\0\0\0\0\0\xC0\0\0\0\0\0\0\x46";
constexpr std::size_t MonikerPath = 16 + 2 + 4;
constexpr std::size_t MonikerWideSize = 2 + 2 + 16;  // after the path
constexpr std::size_t MonikerWidePath = 4 + 4 + 2;   // after the size of what follows

constexpr char PngStart[] = "\x89PNG\r\n\x1A\n";
constexpr std::string_view PngTellingChunks[] = {"tEXt", "zTXt", "iTXt", "eXIf", "tIME"};
constexpr char PngHiddenChunk[] = "zeRo";  // ancillary, private, safe to copy
constexpr char JpegStart[] = "\xFF\xD8\xFF";
constexpr unsigned char JpegScan = 0xDA;
constexpr unsigned char JpegExif = 0xE1;  // and XMP
constexpr unsigned char JpegIptc = 0xED;
constexpr unsigned char JpegComment = 0xFE;

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
    // Both fields as zeros, where the header has them: some pairs hold a time instead.
    void clear(std::size_t pair) {
        if (pair < count_) {
            std::fill_n(document_.begin() + static_cast<std::ptrdiff_t>(first_ + 8 * pair), 8,
                        '\0');
        }
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

// A byte of a name as the blank given, unless it is blank already (a space or a zero): a name
// once blanked stays as it is.
void blankByte(char &byte, char blank) {
    if (byte != ' ' && byte != '\0') {
        byte = blank;
    }
}

// The wide characters in size bytes from at, as wide spaces.
void blankWide(Bytes &bytes, std::size_t at, std::size_t size) {
    for (std::size_t i = 0; i + 2 <= size; i += 2) {
        blankByte(bytes[at + i], ' ');
        blankByte(bytes[at + i + 1], '\0');
    }
}

// The characters in size bytes from at as spaces.
void blankNarrow(Bytes &bytes, std::size_t at, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        blankByte(bytes[at + i], ' ');
    }
}

// What follows the last folder separator of a path in units of one or two bytes.
Bytes fileName(const Bytes &path, std::size_t unit) {
    std::size_t start = 0;
    for (std::size_t at = 0; at + unit <= path.size(); at += unit) {
        const char character = path[at];
        if ((character == '\\' || character == '/' || character == ':') &&
            (unit == 1 || path[at + 1] == '\0')) {
            start = at + unit;
        }
    }
    return path.substr(start);
}

// The path of size bytes from at as its file name, and zeros to its old size.
void cutToFileName(Bytes &bytes, std::size_t at, std::size_t size, std::size_t unit) {
    Bytes name = fileName(bytes.substr(at, size), unit);
    name.resize(size, '\0');
    bytes.replace(at, size, name);
}

// Each wide string of a list, a count and its characters from start on, as as many wide spaces,
// so that comments and revisions keep an author to point to.
void blankPointedNames(Bytes &table, const WordPointers &pointers, std::size_t pair,
                       std::size_t start) {
    const std::size_t first = pointedOffset(table, pointers, pair);
    const std::size_t end = first + pointers.length(pair);
    for (std::size_t at = first + start; at + 2 <= end;) {
        const std::size_t length = 2 * std::size_t{Formats::littleEndian16(table, at)};
        if (length > end - at - 2) {
            throw Formats::Refused("damaged Word document");
        }
        blankWide(table, at + 2, length);
        at += 2 + length;
    }
}

void cleanProperties(Reader &reader, const Stream &stream, int) {
    reader.overwrite(stream, emptiedPropertySet(reader.read(stream)));
}

// The same count of associated names, each now empty: a length of zero and zeroed extra bytes.
void emptyAssociatedNames(Bytes &table, WordPointers &pointers) {
    const std::size_t at = pointedOffset(table, pointers, AssociatedNamesPair);
    const Bytes head = table.substr(at, 6);
    zeroPointed(table, pointers, AssociatedNamesPair);
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

// Each comment keeps its author's initials after the places of all comments, and, in a table of
// its own, when it was made: the initials as wide spaces, the dates as zeros.
void cleanCommentRecords(Bytes &table, const WordPointers &pointers) {
    if (pointers.has(CommentPlacesPair) && pointers.length(CommentPlacesPair) >= 4) {
        const std::size_t at = pointedOffset(table, pointers, CommentPlacesPair);
        const std::size_t count = (pointers.length(CommentPlacesPair) - 4) / (4 + CommentSize);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t initials = at + 4 * (count + 1) + CommentSize * i;
            blankWide(table, initials + 2,
                      2 * std::min<std::size_t>(Formats::littleEndian16(table, initials),
                                                CommentInitialsLength));
        }
    }
    if (pointers.has(CommentDatesPair)) {
        const std::size_t at = pointedOffset(table, pointers, CommentDatesPair);
        for (std::size_t i = 0; i < pointers.length(CommentDatesPair) / CommentDateSize; ++i) {
            std::fill_n(table.begin() + at + CommentDateSize * i, 4, '\0');
        }
    }
}

// How many bytes a property's operand takes, by the kind in its top three bits; those of variable
// size count theirs in their first byte. None when that byte lies at or past end.
std::optional<std::size_t> operandSize(const Bytes &page, std::size_t at, std::size_t end,
                                       std::uint16_t property) {
    constexpr std::size_t Sizes[] = {1, 1, 2, 4, 2, 2, 0, 3};
    if (Sizes[property >> 13] != 0) {
        return Sizes[property >> 13];
    }
    if (at >= end) {
        return std::nullopt;
    }
    return 1 + std::size_t{Formats::byteAt(page, at)};
}

// The dates of tracked changes among one run's character properties, from at to end, as zeros.
// A property cut short ends the list.
void zeroRevisionDates(Bytes &document, std::size_t at, std::size_t end) {
    while (at + 2 <= end) {
        const std::uint16_t property = Formats::littleEndian16(document, at);
        const std::optional<std::size_t> size = operandSize(document, at + 2, end, property);
        if (!size || *size > end - at - 2) {
            return;
        }
        const auto zero = [&](std::size_t from, std::size_t count) {
            std::fill_n(document.begin() + static_cast<std::ptrdiff_t>(at + 2 + from), count, '\0');
        };
        if (std::find(std::begin(RevisionDates), std::end(RevisionDates), property) !=
            std::end(RevisionDates)) {
            zero(0, *size);
        } else if (std::find(std::begin(FormatRevisions), std::end(FormatRevisions), property) !=
                       std::end(FormatRevisions) &&
                   *size >= FormatRevisionDate + 4) {
            zero(FormatRevisionDate, 4);
        }
        at += 2 + *size;
    }
}

// Each page of character properties the document lists: a count of runs at its end, and after
// the runs' places an offset in words to each run's properties, a size and the properties.
void zeroCharacterRevisionDates(Bytes &document, const Bytes &table, const WordPointers &pointers) {
    if (!pointers.has(CharacterPagesPair) || pointers.length(CharacterPagesPair) < 4) {
        return;
    }
    const std::size_t at = pointedOffset(table, pointers, CharacterPagesPair);
    const std::size_t pages = (pointers.length(CharacterPagesPair) - 4) / 8;
    for (std::size_t i = 0; i < pages; ++i) {
        const std::size_t page =
            PropertyPage * (Formats::littleEndian32(table, at + 4 * (pages + 1 + i)) & PageNumber);
        if (page > document.size() || document.size() - page < PropertyPage) {
            throw Formats::Refused("damaged Word document");
        }
        const std::size_t runs = Formats::byteAt(document, page + PropertyPage - 1);
        for (std::size_t run = 0; run < runs && 4 * (runs + 1) + run < PropertyPage - 1; ++run) {
            const std::size_t offset =
                2 * std::size_t{Formats::byteAt(document, page + 4 * (runs + 1) + run)};
            if (offset == 0) {
                continue;
            }
            const std::size_t end = page + offset + 1 + Formats::byteAt(document, page + offset);
            if (end > page + PropertyPage) {
                throw Formats::Refused("damaged Word document");
            }
            zeroRevisionDates(document, page + offset + 1, end);
        }
    }
}

// What one pointer's bytes become may not change how another's read: pointers whose bytes the
// pass changes must not share any.
void refuseSharedBytes(const Bytes &table, const WordPointers &pointers) {
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (const std::size_t pair : {SavedByPair, PrinterPairs[0], PrinterPairs[1], PrinterPairs[2],
                                   CommentOwnersPair, RevisionAuthorsPair, AssociatedNamesPair,
                                   CommentPlacesPair, CommentDatesPair, CharacterPagesPair}) {
        if (pointers.has(pair)) {
            const std::size_t at = pointedOffset(table, pointers, pair);
            spans.emplace_back(at, at + pointers.length(pair));
        }
    }
    if (pointers.has(DocumentPropertiesPair) &&
        pointers.length(DocumentPropertiesPair) >= DocumentDates + DocumentDatesSize) {
        const std::size_t at = pointedOffset(table, pointers, DocumentPropertiesPair);
        spans.emplace_back(at + DocumentDates, at + DocumentDates + DocumentDatesSize);
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].first < spans[i - 1].second) {
            throw Formats::Refused("damaged Word document");
        }
    }
}

// Word keeps the names of its last savers, and a table of names (template, author, last editor,
// title, subject, keywords), apart from its document properties, the dates in its own settings,
// the time it was last saved in its header, and the dates of tracked changes.
void cleanWord(Reader &reader, const Stream &stream, int) {
    Bytes document = reader.read(stream);
    WordPointers pointers(document);
    const std::uint16_t flags = Formats::littleEndian16(document, 0x0A);
    if (flags & WordEncrypted) {
        throw Formats::Refused("password-protected Word document", Formats::Cause::Protected);
    }
    const Stream *tableStream = reader.sibling(stream, flags & WordTableOne ? "1Table" : "0Table");
    if (!tableStream) {
        throw Formats::Refused("damaged Word document: no table stream");
    }
    Bytes table = reader.read(*tableStream);
    refuseSharedBytes(table, pointers);
    for (const std::size_t pair :
         {SavedByPair, PrinterPairs[0], PrinterPairs[1], PrinterPairs[2]}) {
        if (pointers.has(pair)) {
            zeroPointed(table, pointers, pair);
            pointers.setLength(pair, 0);
        }
    }
    pointers.clear(SavingTimePair);
    if (pointers.has(CommentOwnersPair)) {
        blankPointedNames(table, pointers, CommentOwnersPair, 0);
    }
    if (pointers.has(RevisionAuthorsPair)) {
        blankPointedNames(table, pointers, RevisionAuthorsPair, StringTableHeader);
    }
    cleanCommentRecords(table, pointers);
    zeroCharacterRevisionDates(document, table, pointers);
    if (pointers.has(AssociatedNamesPair) && pointers.length(AssociatedNamesPair) >= 6) {
        emptyAssociatedNames(table, pointers);
    }
    if (pointers.has(DocumentPropertiesPair) &&
        pointers.length(DocumentPropertiesPair) >= DocumentDates + DocumentDatesSize) {
        const std::size_t at = pointedOffset(table, pointers, DocumentPropertiesPair);
        std::fill_n(table.begin() + at + DocumentDates, DocumentDatesSize, '\0');
    }
    reader.overwrite(stream, document);
    reader.overwrite(*tableStream, table);
}

struct Segment {
    unsigned char marker;
    std::size_t payload;
    std::size_t size;
};

// The segments of the JPEG header that starts at `at`, up to its scan; none when what follows is
// no whole header.
std::vector<Segment> jpegSegments(const Bytes &bytes, std::size_t at) {
    std::vector<Segment> segments;
    for (std::size_t marker = at + 2; marker + 4 <= bytes.size() && bytes[marker] == '\xFF';) {
        const auto type = static_cast<unsigned char>(bytes[marker + 1]);
        if (type == 0xFF) {  // fill
            ++marker;
            continue;
        }
        const std::size_t length = Formats::bigEndian16(bytes, marker + 2);
        if (length < 2 || length > bytes.size() - marker - 2) {
            break;
        }
        segments.push_back({type, marker + 4, length - 2});
        if (type == JpegScan) {
            return segments;
        }
        marker += 2 + length;
    }
    return {};
}

// Each text, Exif and time chunk of the PNG file that starts at `at` as a chunk of zeros of the
// same size, of a private kind that readers skip. A chunk that runs past the bytes ends the walk.
void hidePngChunks(Bytes &bytes, std::size_t at) {
    for (std::size_t chunk = at + 8; chunk + 12 <= bytes.size();) {
        const std::size_t length = Formats::bigEndian32(bytes, chunk);
        if (length > bytes.size() - chunk - 12) {
            return;
        }
        const std::string_view type = std::string_view(bytes).substr(chunk + 4, 4);
        if (type == "IEND") {
            return;
        }
        if (std::find(std::begin(PngTellingChunks), std::end(PngTellingChunks), type) !=
            std::end(PngTellingChunks)) {
            bytes.replace(chunk + 4, 4 + length, Bytes(PngHiddenChunk) + Bytes(length, '\0'));
            const std::uint32_t crc =
                Formats::crc32Of(std::string_view(bytes).substr(chunk + 4, 4 + length));
            for (std::size_t i = 0; i < 4; ++i) {
                bytes[chunk + 8 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
            }
        }
        chunk += 12 + length;
    }
}

// Each JPEG's Exif, XMP, IPTC and comments as zeros, and each PNG's text, Exif and times as hidden
// chunks of zeros, so that nothing moves.
void hidePictureMetadata(Bytes &pictures) {
    for (std::size_t at = pictures.find(PngStart); at != Bytes::npos;
         at = pictures.find(PngStart, at + 1)) {
        Formats::throwIfStopped();
        hidePngChunks(pictures, at);
    }
    for (std::size_t at = pictures.find(JpegStart); at != Bytes::npos;
         at = pictures.find(JpegStart, at + 1)) {
        Formats::throwIfStopped();
        for (const Segment &segment : jpegSegments(pictures, at)) {
            if (segment.marker == JpegExif || segment.marker == JpegIptc ||
                segment.marker == JpegComment) {
                std::fill_n(pictures.begin() + segment.payload, segment.size, '\0');
            }
        }
    }
}

// Excel keeps its pictures in the drawing group of its globals: records continued by as many
// others as it takes, read as one and written back where each piece lay.
void hideDrawingGroupPictures(Bytes &book) {
    std::vector<std::pair<std::size_t, std::size_t>> pieces;
    Bytes group;
    bool inGroup = false;
    for (std::size_t at = 0; at + 4 <= book.size();) {
        const std::uint16_t type = Formats::littleEndian16(book, at);
        const std::size_t length = Formats::littleEndian16(book, at + 2);
        if (length > book.size() - at - 4 || type == ExcelEndOfSubstream) {
            break;
        }
        inGroup = type == ExcelDrawingGroup || (inGroup && type == ExcelContinue);
        if (inGroup) {
            pieces.emplace_back(at + 4, length);
            group.append(book, at + 4, length);
        }
        at += 4 + length;
    }
    hidePictureMetadata(group);
    std::size_t from = 0;
    for (const auto &[at, length] : pieces) {
        book.replace(at, length, group, from, length);
        from += length;
    }
}

// The text of an Excel string from at to end, after its length and flags, as blanks: spaces, or
// wide spaces for wide characters.
void blankExcelString(Bytes &book, std::size_t at, std::size_t end) {
    const bool wide = Formats::byteAt(book, at + 2) & 1;
    const std::size_t wideEnd = wide ? 2 * std::size_t{Formats::littleEndian16(book, at)} : 0;
    for (std::size_t i = 0; at + 3 + i < end; ++i) {
        blankByte(book[at + 3 + i], i < wideEnd && i % 2 == 1 ? '\0' : ' ');
    }
}

bool startsSubstream(const Bytes &book, std::size_t at) {
    return at + 4 <= book.size() && Formats::littleEndian16(book, at) == ExcelStartOfSubstream;
}

// The user names in the workbook's globals (who saved it, who reserved it) and the authors of the
// notes in its sheets, as blanks; the metadata of its pictures and the slack after its last
// substream, as zeros.
void cleanWorkbook(Reader &reader, const Stream &stream, int) {
    Bytes book = reader.read(stream);
    const bool unicode = CompoundFile::sameName(stream.name, "Workbook");  // older ones are "Book"
    bool globals = true;
    for (std::size_t at = 0; at + 4 <= book.size();) {
        const std::uint16_t type = Formats::littleEndian16(book, at);
        const std::size_t length = Formats::littleEndian16(book, at + 2);
        if (length > book.size() - at - 4) {
            throw Formats::Refused("damaged Excel workbook");
        }
        if (globals && type == ExcelPassword) {
            throw Formats::Refused("password-protected Excel workbook", Formats::Cause::Protected);
        }
        if (globals && type == ExcelWriteAccess && !unicode && length >= 1) {
            blankNarrow(book, at + 5, length - 1);
        } else if (globals && type == ExcelWriteAccess && length >= 3) {
            blankExcelString(book, at + 4, at + 4 + length);
        } else if (globals && type == ExcelFileSharing && length >= ExcelFileSharingUser + 3) {
            blankExcelString(book, at + 4 + ExcelFileSharingUser, at + 4 + length);
        } else if (unicode && type == ExcelNote && length >= ExcelNoteAuthor + 3) {
            // Only the name's own characters: a zero byte follows it.
            const std::size_t name = at + 4 + ExcelNoteAuthor;
            const std::size_t characters = Formats::littleEndian16(book, name);
            blankExcelString(
                book, name,
                std::min(at + 4 + length,
                         name + 3 + characters * (Formats::byteAt(book, name + 2) & 1 ? 2 : 1)));
        }
        globals = globals && type != ExcelEndOfSubstream;
        at += 4 + length;
        if (type == ExcelEndOfSubstream && !startsSubstream(book, at)) {
            // What lies after the last substream is slack, where older contents may linger.
            std::fill(book.begin() + static_cast<std::ptrdiff_t>(at), book.end(), '\0');
            break;
        }
    }
    hideDrawingGroupPictures(book);
    reader.overwrite(stream, book);
}

Bytes littleEndian32Bytes(std::size_t value) {
    Bytes bytes(4, '\0');
    Formats::putLittleEndian32(bytes, 0, static_cast<std::uint32_t>(value));
    return bytes;
}

// Whether the wide text of size bytes from at is a web address: a scheme of two letters or more,
// other than a file's, before a colon.
bool webAddress(const Bytes &bytes, std::size_t at, std::size_t size) {
    std::string scheme;
    for (std::size_t i = 0; i + 2 <= size && bytes[at + i + 1] == '\0'; i += 2) {
        const auto character = static_cast<unsigned char>(bytes[at + i]);
        if (character == ':') {
            return scheme.size() >= 2 && scheme != "file";
        }
        if (!std::isalpha(character)) {
            break;
        }
        scheme += static_cast<char>(std::tolower(character));
    }
    return false;
}

// Where a file's path may lie in wide text: in the shows's external objects (links, hyperlinks,
// sound and video), the sounds it holds, and pictures' names among shapes' properties.
void cutPathToFileName(Bytes &show, std::size_t at, std::size_t size) {
    if (!webAddress(show, at, size)) {
        cutToFileName(show, at, size, 2);
    }
}

// The wide values of shape properties follow their table, in its order; a picture's name may be
// the path it was inserted from. A table or value that runs past the record is read no further.
void cutPictureNames(Bytes &show, std::size_t at, std::size_t length, unsigned count) {
    if (DrawingProperty * std::size_t{count} > length) {
        return;
    }
    std::size_t value = at + DrawingProperty * count;
    for (std::size_t property = at; property < at + DrawingProperty * count;
         property += DrawingProperty) {
        const std::uint16_t id = Formats::littleEndian16(show, property);
        const std::size_t size = Formats::littleEndian32(show, property + 2);
        if (!(id & ComplexProperty)) {
            continue;
        }
        if (size > at + length - value) {
            return;
        }
        if ((id & PropertyNumber) == PictureName) {
            cutPathToFileName(show, value, size);
        }
        value += size;
    }
}

// What one record of a show tells of people and files, within comments or external objects as
// the walk found it.
void cleanShowRecord(Bytes &show, std::size_t at, std::size_t length, bool inComment,
                     bool inFiles) {
    const unsigned instance = Formats::littleEndian16(show, at) >> 4;
    const std::uint16_t type = Formats::littleEndian16(show, at + 2);
    if (type == SlideText && inComment &&
        (instance == CommentAuthorName || instance == CommentAuthorInitials)) {
        blankWide(show, at + 8, length);
    } else if (type == SlideCommentAtom && inComment && length >= CommentTime + CommentTimeSize) {
        std::fill_n(show.begin() + static_cast<std::ptrdiff_t>(at + 8 + CommentTime),
                    CommentTimeSize, '\0');
    } else if (type == SlideText && inFiles) {
        cutPathToFileName(show, at + 8, length);
    } else if (std::find(std::begin(DrawingProperties), std::end(DrawingProperties), type) !=
               std::end(DrawingProperties)) {
        cutPictureNames(show, at + 8, length, instance);
    }
}

// The name, initials and time of each comment, as wide spaces and zeros; the paths of files the
// show links to, plays or took pictures from, cut to the files' names. Records are walked flat:
// containers are stepped into, so nesting takes no depth.
void cleanShowRecords(Bytes &show) {
    std::size_t commentEnd = 0;
    std::size_t filesEnd = 0;
    for (std::size_t at = 0; at + 8 <= show.size();) {
        const std::uint16_t type = Formats::littleEndian16(show, at + 2);
        const std::size_t length = Formats::littleEndian32(show, at + 4);
        const bool container =
            (Formats::littleEndian16(show, at) & 0x0F) == 0x0F || type == SlideTagData;
        if (length > show.size() - at - 8) {
            throw Formats::Refused("damaged PowerPoint show");
        }
        if (container && type == SlideComment) {
            commentEnd = at + 8 + length;
        } else if (container && (type == SlideExternalObjects || type == SlideSounds)) {
            filesEnd = at + 8 + length;
        } else if (!container) {
            cleanShowRecord(show, at, length, at < commentEnd, at < filesEnd);
        }
        at += container ? 8 : 8 + length;
    }
}

// Where the records at the top of a show start.
std::vector<std::size_t> topRecords(const Bytes &show) {
    std::vector<std::size_t> records;
    for (std::size_t at = 0; at + 8 <= show.size();) {
        const std::size_t length = Formats::littleEndian32(show, at + 4);
        if (length > show.size() - at - 8) {
            throw Formats::Refused("damaged PowerPoint show");
        }
        records.push_back(at);
        at += 8 + length;
    }
    return records;
}

// How far the bytes of a show moved when the objects before them changed size.
class Shifts {
  public:
    // Objects are added in the order they lie.
    void add(std::size_t after, std::int64_t by) {
        if (by != 0) {
            moved_.emplace_back(after, (moved_.empty() ? 0 : moved_.back().second) + by);
        }
    }
    bool empty() const { return moved_.empty(); }
    // The offset at `at` made to point where what it pointed to lies now.
    void move(Bytes &bytes, std::size_t at) const {
        const std::uint32_t offset = Formats::littleEndian32(bytes, at);
        const auto after = std::lower_bound(
            moved_.begin(), moved_.end(), offset,
            [](const auto &shift, std::uint32_t value) { return shift.first < value; });
        const std::int64_t moved =
            offset + (after == moved_.begin() ? 0 : std::prev(after)->second);
        if (moved < 0 || moved > std::int64_t{0xFFFFFFFF}) {
            throw Formats::Refused("damaged PowerPoint show");
        }
        Formats::putLittleEndian32(bytes, at, static_cast<std::uint32_t>(moved));
    }

  private:
    // Where each object that changed size lay, and how far all after it moved.
    std::vector<std::pair<std::size_t, std::int64_t>> moved_;
};

// An embedded object's storage, packed or not, through the pass of its kind: the record as it
// was when the pass leaves it as it is. `unpacked` counts what the show's objects unpack to.
Bytes cleanedObject(const Bytes &record, int depth, const std::string &where,
                    std::uint64_t &unpacked) {
    const bool packed = Formats::littleEndian16(record, 0) >> 4 == CompressedInstance;
    if (packed && record.size() < 12) {
        throw Formats::Refused("damaged PowerPoint object in " + where);
    }
    unpacked += packed ? Formats::littleEndian32(record, 8) : 0;
    if (unpacked > Formats::Limits::UnpackedSize) {
        throw Formats::Refused("PowerPoint objects that unpack to too much in " + where,
                               Formats::Cause::TooLarge);
    }
    const Bytes storage = packed ? Formats::inflated(std::string_view(record).substr(12),
                                                     Formats::littleEndian32(record, 8),
                                                     "damaged PowerPoint object in " + where)
                                 : record.substr(8);
    const Bytes cleaned = Kinds::cleanEmbedded(storage, depth + 1, where);
    if (cleaned == storage) {
        return record;
    }
    const Bytes body =
        packed ? littleEndian32Bytes(cleaned.size()) + Formats::deflated(cleaned) : cleaned;
    return record.substr(0, 4) + littleEndian32Bytes(body.size()) + body;
}

// The show with each object it embeds cleaned; the records that follow one that changed size
// move, and shifts says how far.
Bytes withObjectsCleaned(const Bytes &show, int depth, const std::string &where, Shifts &shifts) {
    Bytes result;
    std::size_t copied = 0;
    std::uint64_t unpacked = 0;
    for (const std::size_t at : topRecords(show)) {
        const std::size_t size = 8 + std::size_t{Formats::littleEndian32(show, at + 4)};
        if (Formats::littleEndian16(show, at + 2) == SlideObjectStorage &&
            (Formats::littleEndian16(show, at) & 0x0F) != 0x0F) {
            const Bytes record =
                cleanedObject(show.substr(at, size), depth, where + " object", unpacked);
            result.append(show, copied, at - copied);
            result += record;
            copied = at + size;
            shifts.add(at,
                       static_cast<std::int64_t>(record.size()) - static_cast<std::int64_t>(size));
        }
    }
    return result + show.substr(copied);
}

// Each place the show keeps an offset of its own records: each persistent object's in the persist
// directories, the last edit's and the directory's in each user edit.
template <typename Visit>
void forEachOffset(const Bytes &show, Visit &&visit) {
    for (const std::size_t at : topRecords(show)) {
        const std::uint16_t type = Formats::littleEndian16(show, at + 2);
        const std::size_t end = at + 8 + Formats::littleEndian32(show, at + 4);
        if (type == SlidePersistDirectory) {
            for (std::size_t entry = at + 8; entry + 4 <= end;) {
                const std::size_t count = Formats::littleEndian32(show, entry) >> 20;
                if (count > (end - entry - 4) / 4) {
                    throw Formats::Refused("damaged PowerPoint show");
                }
                for (std::size_t i = 1; i <= count; ++i) {
                    visit(entry + 4 * i);
                }
                entry += 4 + 4 * count;
            }
        } else if (type == SlideUserEdit && end - at >= UserEditOffsets + 8) {
            visit(at + UserEditOffsets);
            visit(at + UserEditOffsets + 4);
        }
    }
}

// Where the walk of the show's top records meets one that runs past its end, or the end.
std::size_t walkableEnd(const Bytes &show) {
    std::size_t at = 0;
    while (at + 8 <= show.size() && Formats::littleEndian32(show, at + 4) <= show.size() - at - 8) {
        at += 8 + std::size_t{Formats::littleEndian32(show, at + 4)};
    }
    return at + 8 <= show.size() ? at : show.size();
}

// A show whose last save was cut short, or that has slack at its end, ends in a record that runs
// past it. Readers then take the last whole user edit for the current one, so what follows is
// zeroed, as long as no offset points into it, and the current edit made that last whole one.
void cutUnwalkableTail(Bytes &show, Bytes &user) {
    const std::size_t end = walkableEnd(show);
    if (end == show.size()) {
        return;
    }
    std::fill(show.begin() + static_cast<std::ptrdiff_t>(end), show.end(), '\0');
    forEachOffset(show, [&](std::size_t at) {
        if (Formats::littleEndian32(show, at) >= end) {
            throw Formats::Refused("damaged PowerPoint show");
        }
    });
    std::vector<std::uint32_t> edits;
    for (const std::size_t at : topRecords(show)) {
        if (Formats::littleEndian16(show, at + 2) == SlideUserEdit) {
            edits.push_back(static_cast<std::uint32_t>(at));
        }
    }
    if (edits.empty()) {
        throw Formats::Refused("damaged PowerPoint show");
    }
    if (!user.empty() &&
        std::find(edits.begin(), edits.end(), Formats::littleEndian32(user, CurrentEditOffset)) ==
            edits.end()) {
        Formats::putLittleEndian32(user, CurrentEditOffset, edits.back());
    }
}

// Comment authors and times blanked, paths cut to file names, and the objects the show embeds
// (whole documents, packed or not) through the passes of their kinds. Where an object changes
// size, the offsets that point past it move with what they point to, the current edit's in the
// sibling "Current User" too.
void cleanSlides(Reader &reader, const Stream &stream, int depth) {
    Bytes show = reader.read(stream);
    const Stream *current = reader.sibling(stream, "Current User");
    Bytes user = current ? reader.read(*current) : Bytes();
    if (current && user.size() < CurrentEditOffset + 4) {
        throw Formats::Refused("damaged PowerPoint show: no current user");
    }
    cutUnwalkableTail(show, user);
    cleanShowRecords(show);
    Shifts shifts;
    show = withObjectsCleaned(show, depth, stream.path, shifts);
    if (!shifts.empty()) {
        forEachOffset(show, [&](std::size_t at) { shifts.move(show, at); });
        if (current) {
            shifts.move(user, CurrentEditOffset);
        }
    }
    if (current) {
        reader.overwrite(*current, user);
    }
    reader.overwrite(stream, show);
}

// Reads a packaged file's header field by field, refusing what runs past its end.
class PackageFields {
  public:
    explicit PackageFields(const Bytes &package) : package_(package) {
        if (Formats::littleEndian32(package, 0) > package.size() - 4) {
            throw Formats::Refused("damaged packaged file");
        }
        end_ = 4 + Formats::littleEndian32(package, 0);
    }
    // Fewer bytes than a count are left: what follows the last field is no field.
    bool atEnd() const { return end_ - at_ < 4; }
    Bytes take(std::size_t size) {
        if (size > end_ - at_) {
            throw Formats::Refused("damaged packaged file");
        }
        at_ += size;
        return package_.substr(at_ - size, size);
    }
    std::uint32_t number() { return Formats::littleEndian32(take(4), 0); }
    Bytes text() {
        const std::size_t length = std::min(package_.find('\0', at_), end_) - at_;
        return take(length + 1).substr(0, length);
    }

  private:
    const Bytes &package_;
    std::size_t at_ = 4;
    std::size_t end_ = 0;
};

// A linked object names the file it shows by file monikers (one relative, one absolute, others in
// composites), each a path in single-byte and wide characters: the paths keep only the file's
// name, and nothing moves.
void cleanLinks(Reader &reader, const Stream &stream, int) {
    Bytes ole = reader.read(stream);
    const std::string_view fileMoniker(FileMonikerClass, sizeof FileMonikerClass - 1);
    for (std::size_t at = ole.find(fileMoniker); at != Bytes::npos;
         at = ole.find(fileMoniker, at + fileMoniker.size())) {
        const std::size_t path = at + MonikerPath;
        if (path > ole.size()) {
            throw Formats::Refused("damaged linked object");
        }
        const std::size_t pathSize = Formats::littleEndian32(ole, path - 4);
        if (pathSize > ole.size() - path || MonikerWideSize + 4 > ole.size() - path - pathSize) {
            throw Formats::Refused("damaged linked object");
        }
        cutToFileName(ole, path, pathSize, 1);
        const std::size_t wideSize = path + pathSize + MonikerWideSize;
        if (Formats::littleEndian32(ole, wideSize) != 0) {  // the wide path is there
            const std::size_t wide = wideSize + MonikerWidePath;
            if (wide > ole.size() ||
                Formats::littleEndian32(ole, wideSize + 4) > ole.size() - wide) {
                throw Formats::Refused("damaged linked object");
            }
            cutToFileName(ole, wide, Formats::littleEndian32(ole, wideSize + 4), 2);
        }
    }
    reader.overwrite(stream, ole);
}

// A packaged file keeps the paths it was packaged from and unpacked to: they keep only the file's
// name, and the file itself goes through the pass of its kind. The fields after them move up and
// zeros fill the stream's end, unless the file grew.
void cleanPackage(Reader &reader, const Stream &stream, int depth) {
    const Bytes package = reader.read(stream);
    if (package.size() < 6) {
        throw Formats::Refused("damaged packaged file");
    }
    PackageFields fields(package);
    Bytes header = fields.take(2);   // flags
    header += fields.text() + '\0';  // label
    header += fileName(fields.text(), 1) + '\0';
    header += fields.take(4);
    const Bytes counted = fields.take(fields.number());  // ends in a zero
    const Bytes unpacked = fileName(counted.substr(0, counted.find('\0')), 1);
    header += littleEndian32Bytes(unpacked.size() + 1) + unpacked + '\0';
    const Bytes content =
        Kinds::cleanEmbedded(fields.take(fields.number()), depth + 1, stream.path);
    header += littleEndian32Bytes(content.size()) + content;
    for (std::size_t field = 0; field < PackageWideFields && !fields.atEnd(); ++field) {
        const Bytes text = fields.take(2 * std::size_t{fields.number()});
        const Bytes kept = field == PackageWideLabel ? text : fileName(text, 2);
        header += littleEndian32Bytes(kept.size() / 2) + kept;
    }
    Bytes cleaned = littleEndian32Bytes(header.size()) + header;
    cleaned.resize(std::max(cleaned.size(), package.size()), '\0');
    reader.overwrite(stream, cleaned);
}

// The name of the last user to open the show, in single-byte and wide characters, as blanks.
void cleanCurrentUser(Reader &reader, const Stream &stream, int) {
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
    blankNarrow(user, CurrentUserName, length);
    if (wide + 2 * length <= end) {
        blankWide(user, wide, 2 * length);
    }
    reader.overwrite(stream, user);
}

// Pictures keep their blips (JPEG and PNG files) one after another, and a Word document's data its
// pictures.
void cleanPictures(Reader &reader, const Stream &stream, int) {
    Bytes pictures = reader.read(stream);
    hidePictureMetadata(pictures);
    reader.overwrite(stream, pictures);
}

// A stream that holds a whole file: an Office package embedded in a workbook, or an object's
// content (a PDF).
void cleanEmbeddedFile(Reader &reader, const Stream &stream, int depth) {
    reader.overwrite(stream, Kinds::cleanEmbedded(reader.read(stream), depth + 1, stream.path));
}

using StreamPass = void (*)(Reader &, const Stream &, int depth);

// Streams by name, wherever they lie: documents embedded in others keep theirs in a storage.
const std::pair<const char *, StreamPass> Passes[] = {
    {"\005SummaryInformation", cleanProperties},
    {"\005DocumentSummaryInformation", cleanProperties},
    {"WordDocument", cleanWord},
    {"Workbook", cleanWorkbook},
    {"Book", cleanWorkbook},
    {"PowerPoint Document", cleanSlides},
    {"\001Ole10Native", cleanPackage},
    {"Current User", cleanCurrentUser},
    {"Package", cleanEmbeddedFile},
    {"CONTENTS", cleanEmbeddedFile},
    {"\001Ole", cleanLinks},
    {"Pictures", cleanPictures},
    {"Data", cleanPictures},
};

}  // namespace

namespace CompoundFile {

Bytes clean(const Bytes &file) {
    return cleanNested(file, 0);
}

Bytes cleanNested(const Bytes &file, int depth) {
    Bytes result = file;
    Reader reader(result);
    for (const Stream &stream : reader.streams()) {
        for (const auto &[name, pass] : Passes) {
            if (sameName(stream.name, name)) {
                pass(reader, stream, depth);
            }
        }
    }
    reader.finish();
    return result;
}

}  // namespace CompoundFile
