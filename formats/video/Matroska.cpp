#include "formats/video/Matroska.h"

#include "formats/Kinds.h"
#include "formats/core/Cursor.h"
#include "formats/core/Limits.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

using Formats::Refused;

constexpr std::size_t MaxIdLength = 4;
constexpr std::size_t MaxSizeLength = 8;
constexpr std::uint64_t UnknownSize = ~std::uint64_t{0};

enum Id : std::uint32_t {
    Root = 0,
    EbmlHeader = 0x1A45DFA3,
    Segment = 0x18538067,
    SeekHead = 0x114D9B74,
    Seek = 0x4DBB,
    SeekId = 0x53AB,
    Info = 0x1549A966,
    Tracks = 0x1654AE6B,
    TrackEntry = 0xAE,
    Attachments = 0x1941A469,
    AttachedFile = 0x61A7,
    FileData = 0x465C,
    Tags = 0x1254C367,
    Cluster = 0x1F43B675,
    Cues = 0x1C53BB6B,
    Chapters = 0x1043A770,
    Crc32 = 0xBF,
    Void = 0xEC,
};

struct Element {
    std::uint32_t id = 0;
    std::uint64_t start = 0;
    std::uint64_t dataStart = 0;
    std::uint64_t size = 0;  // UnknownSize when the element runs to where its parent goes on
    std::uint64_t end() const { return dataStart + size; }
};

// Bytes in a variable-length number whose first byte is first; 0 when it is not valid.
std::size_t vintLength(unsigned first, std::size_t longest) {
    for (std::size_t length = 1; length <= longest; ++length) {
        if (first & (0x80u >> (length - 1))) {
            return length;
        }
    }
    return 0;
}

Element readElement(const Formats::Cursor &cursor, std::uint64_t at, std::uint64_t limit) {
    const std::size_t idLength = vintLength(cursor.bigEndian(at, 1, limit), MaxIdLength);
    if (idLength == 0) {
        throw cursor.damaged("an element header cannot be read");
    }
    Element element;
    element.start = at;
    element.id = static_cast<std::uint32_t>(cursor.bigEndian(at, idLength, limit));
    const std::size_t sizeLength =
        vintLength(cursor.bigEndian(at + idLength, 1, limit), MaxSizeLength);
    if (sizeLength == 0) {
        throw cursor.damaged("an element size cannot be read");
    }
    const std::uint64_t marker = std::uint64_t{1} << (7 * sizeLength);
    const std::uint64_t size = cursor.bigEndian(at + idLength, sizeLength, limit) & (marker - 1);
    element.dataStart = at + idLength + sizeLength;
    element.size = size == marker - 1 ? UnknownSize : size;
    if (element.size != UnknownSize && size > limit - element.dataStart) {
        throw cursor.damaged("an element runs past the end of the file");
    }
    return element;
}

// A Void element header for exactly length bytes: its ID, then the smallest size field that fits.
Formats::Bytes voidHeader(std::uint64_t length) {
    for (std::size_t sizeLength = 1; sizeLength <= MaxSizeLength && 1 + sizeLength <= length;
         ++sizeLength) {
        const std::uint64_t dataSize = length - 1 - sizeLength;
        const std::uint64_t marker = std::uint64_t{1} << (7 * sizeLength);
        if (dataSize < marker - 1) {
            Formats::Bytes header(1 + sizeLength, '\0');
            header[0] = static_cast<char>(Void);
            const std::uint64_t field = dataSize | marker;
            for (std::size_t i = 0; i < sizeLength; ++i) {
                header[1 + i] = static_cast<char>(field >> (8 * (sizeLength - 1 - i)) & 0xFF);
            }
            return header;
        }
    }
    throw Refused("damaged Matroska: an element too short to blank");
}

// Keep: as it is. Enter: its children are decided one by one. The judged ones are entered or
// blanked whole by one of their children.
enum class Action { Keep, Enter, Blank, JudgeSeek, JudgeAttachment };

Action actionFor(std::uint32_t parent, std::uint32_t child) {
    struct Rule {
        std::uint32_t parent;
        std::vector<std::uint32_t> children;
        Action action;
    };
    // Elements of the header, the segment's information, a track and a cluster that players need;
    // an element they need not is blanked, whether it is known to hold metadata or not known at
    // all.
    static const std::vector<Rule> rules = {
        {Root, {EbmlHeader, Segment}, Action::Enter},
        {EbmlHeader,
         {0x4286, 0x42F7, 0x42F2, 0x42F3, 0x4282, 0x4287, 0x4285},  // versions, lengths, type
         Action::Keep},
        {Segment, {SeekHead, Info, Tracks, Cluster}, Action::Enter},
        {Segment, {Cues, Chapters}, Action::Keep},
        {Segment, {Attachments}, Action::Enter},
        {SeekHead, {Seek}, Action::JudgeSeek},
        {Seek, {SeekId, 0x53AC}, Action::Keep},
        // Timestamp scale, duration, segment, family and neighbour ids, chapter translation.
        {Info, {0x2AD7B1, 0x4489, 0x73A4, 0x4444, 0x3CB923, 0x3EB923, 0x6924}, Action::Keep},
        {Tracks, {TrackEntry}, Action::Enter},
        {TrackEntry,
         {0xD7,     0x73C5,   0x83, 0xB9,   0x88,     0x55AA,   0x55AB,   0x55AC,   0x55AD,
          0x55AE,   0x55AF,   0x9C, 0x6DE7, 0x6DF8,   0x23E383, 0x234E7A, 0x23314F, 0x55EE,
          0x22B59C, 0x22B59D, 0x86, 0x63A2, 0x258688, 0x7446,   0xAA,     0x6FAB,   0x56AA,
          0x56BB,   0x6624,   0xE0, 0xE1,   0xE2,     0x6D80,   0x41E4},
         Action::Keep},
        // Timestamp, simple blocks, block groups, position, previous size, silent tracks.
        {Cluster, {0xE7, 0xA3, 0xA0, 0xA7, 0xAB, 0x5854}, Action::Keep},
        {Attachments, {AttachedFile}, Action::JudgeAttachment},
        // File name, media type, data, id: not its description.
        {AttachedFile, {0x466E, 0x4660, FileData, 0x46AE}, Action::Keep},
    };
    for (const Rule &rule : rules) {
        if (rule.parent == parent &&
            std::find(rule.children.begin(), rule.children.end(), child) != rule.children.end()) {
            return rule.action;
        }
    }
    return Action::Blank;
}

// Seek entries that point at what stays; one that points at tags would lead a reader to a Void.
bool seeksKept(std::uint32_t id) {
    return id == SeekHead || id == Info || id == Tracks || id == Cluster || id == Cues ||
           id == Chapters || id == Attachments;
}

// Subtitles need their fonts; a font is known by how its data starts, and is of no other kind.
bool isFont(const Formats::Bytes &start) {
    static const Formats::Bytes signatures[] = {
        Formats::Bytes("\0\1\0\0", 4), "OTTO", "true", "ttcf", "wOFF", "wOF2"};
    return Kinds::forContent(start) == nullptr &&
           std::any_of(
               std::begin(signatures), std::end(signatures),
               [&](const Formats::Bytes &signature) { return start.rfind(signature, 0) == 0; });
}

// Elements that end a cluster of unknown size: its siblings in the segment.
bool endsUnknownCluster(std::uint32_t id) {
    return id == Cluster || id == Cues || id == Tags || id == Info || id == Tracks ||
           id == SeekHead || id == Attachments || id == Chapters || id == EbmlHeader ||
           id == Segment;
}

class Cleaner {
  public:
    explicit Cleaner(Formats::ByteFile &file) : cursor_(file, "Matroska") {}

    void run() {
        const Element header = readElement(cursor_, 0, cursor_.size());
        if (header.id != EbmlHeader || header.size == UnknownSize) {
            throw Refused("not a Matroska or WebM file");
        }
        Element root;
        root.size = cursor_.size();
        stack_.push_back({root, Root, false, std::nullopt, false});
        for (std::uint64_t at = 0; !stack_.empty();) {
            Formats::throwIfStopped();
            at = step(at);
        }
    }

  private:
    struct Frame {
        Element element;
        std::uint32_t id;
        bool unknownSize;
        std::optional<Element> checksum;  // a changed child makes it wrong
        bool changed;
    };

    // Handles the element at `at` in the innermost open element; returns where the walk goes on.
    std::uint64_t step(std::uint64_t at) {
        Frame &parent = stack_.back();
        const std::uint64_t parentEnd = parent.element.end();
        if (at == parentEnd) {
            stack_.pop_back();
            return at;
        }
        Element child = readElement(cursor_, at, parentEnd);
        if (parent.id == Cluster && parent.unknownSize && endsUnknownCluster(child.id)) {
            stack_.pop_back();
            return at;
        }
        const bool unknownSize = child.size == UnknownSize;
        if (unknownSize) {
            if (child.id != Segment && child.id != Cluster) {
                throw cursor_.damaged("an element of unknown size");
            }
            child.size = parentEnd - child.dataStart;
        }
        if (child.id == Void) {
            zeroVoid(child);
        } else if (child.id == Crc32) {
            noteChecksum(parent, child);
        } else if (enters(parent.id, child)) {
            if (stack_.size() >= Formats::Limits::ContainerDepth) {
                throw cursor_.damaged("elements nest too deeply");
            }
            stack_.push_back({child, child.id, unknownSize, std::nullopt, false});
            return child.dataStart;
        }
        return child.end();
    }

    // Whether the walk goes into the child; a child not entered is kept or blanked here.
    bool enters(std::uint32_t parent, const Element &child) {
        switch (actionFor(parent, child.id)) {
            case Action::Enter:
                return true;
            case Action::Keep:
                return false;
            case Action::JudgeSeek: {
                const std::optional<Element> id = childWithId(child, SeekId);
                if (id && id->size >= 1 && id->size <= MaxIdLength &&
                    seeksKept(static_cast<std::uint32_t>(
                        cursor_.bigEndian(id->dataStart, id->size, id->end())))) {
                    return true;
                }
                break;
            }
            case Action::JudgeAttachment: {
                const std::optional<Element> data = childWithId(child, FileData);
                if (data &&
                    isFont(cursor_.bytes(
                        data->dataStart,
                        std::min<std::uint64_t>(data->size, Formats::Limits::RecognitionWindow),
                        data->end()))) {
                    return true;
                }
                break;
            }
            case Action::Blank:
                break;
        }
        blank(child);
        return false;
    }

    // The first child with this id, if the element has one among the first it looks through.
    std::optional<Element> childWithId(const Element &element, std::uint32_t id) const {
        std::uint64_t at = element.dataStart;
        for (std::size_t i = 0; i < Formats::Limits::ChildrenJudged && at < element.end(); ++i) {
            const Element child = readElement(cursor_, at, element.end());
            if (child.size == UnknownSize) {
                throw cursor_.damaged("an element of unknown size");
            }
            if (child.id == id) {
                return child;
            }
            at = child.end();
        }
        return std::nullopt;
    }

    void noteChecksum(Frame &parent, const Element &checksum) {
        if (parent.changed) {
            overwriteWithVoid(checksum);
        } else {
            parent.checksum = checksum;
        }
    }

    void zeroVoid(const Element &element) {
        if (!cursor_.allZero(element.dataStart, element.size, element.end())) {
            cursor_.file().zero(element.dataStart, element.size);
            changed();
        }
    }

    void blank(const Element &element) {
        overwriteWithVoid(element);
        changed();
    }

    // Every element around a change has a wrong checksum now, if it has one.
    void changed() {
        for (Frame &frame : stack_) {
            frame.changed = true;
            if (frame.checksum) {
                overwriteWithVoid(*frame.checksum);
                frame.checksum.reset();
            }
        }
    }

    void overwriteWithVoid(const Element &element) {
        const std::uint64_t length = element.end() - element.start;
        cursor_.file().zero(element.start, length);
        cursor_.file().write(element.start, voidHeader(length));
    }

    Formats::Cursor cursor_;
    std::vector<Frame> stack_;
};

}  // namespace

namespace Matroska {

void clean(Formats::ByteFile &file) {
    Cleaner(file).run();
}

std::string remainingMetadata(Formats::ByteFile &file) {
    return Formats::reasonOf(findings, file);
}

}  // namespace Matroska
