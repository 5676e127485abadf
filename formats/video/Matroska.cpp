#include "formats/video/Matroska.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"

#include <optional>
#include <vector>

namespace {

using Formats::Refused;

// Tracks hold track entries, entries hold their name: nothing we change lies deeper than this.
constexpr std::size_t MaxDepth = 6;
constexpr std::size_t MaxIdLength = 4;
constexpr std::size_t MaxSizeLength = 8;
constexpr std::size_t MaxMediaTypeLength = 255;
constexpr std::uint64_t UnknownSize = ~std::uint64_t{0};

enum Id : std::uint32_t {
    Root = 0,
    EbmlHeader = 0x1A45DFA3,
    Segment = 0x18538067,
    SeekHead = 0x114D9B74,
    Seek = 0x4DBB,
    SeekId = 0x53AB,
    Info = 0x1549A966,
    Title = 0x7BA9,
    DateUtc = 0x4461,
    MuxingApp = 0x4D80,
    WritingApp = 0x5741,
    Tracks = 0x1654AE6B,
    TrackEntry = 0xAE,
    TrackName = 0x536E,
    Attachments = 0x1941A469,
    AttachedFile = 0x61A7,
    FileMediaType = 0x4660,
    Tags = 0x1254C367,
    Cluster = 0x1F43B675,
    Cues = 0x1C53BB6B,
    Chapters = 0x1043A770,
    Crc32 = 0xBF,
    Void = 0xEC,
};

Refused damaged(const std::string &why) {
    return Refused("damaged Matroska: " + why);
}

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

Element readElement(Formats::ByteFile &file, std::uint64_t at, std::uint64_t limit) {
    const Formats::Bytes head = file.readUpTo(at, MaxIdLength + MaxSizeLength);
    const std::size_t idLength =
        head.empty() ? 0 : vintLength(Formats::byteAt(head, 0), MaxIdLength);
    if (idLength == 0 || head.size() <= idLength) {
        throw damaged("an element header cannot be read");
    }
    const std::size_t sizeLength = vintLength(Formats::byteAt(head, idLength), MaxSizeLength);
    if (sizeLength == 0 || head.size() < idLength + sizeLength) {
        throw damaged("an element size cannot be read");
    }
    Element element;
    element.start = at;
    for (std::size_t i = 0; i < idLength; ++i) {
        element.id = element.id << 8 | Formats::byteAt(head, i);
    }
    std::uint64_t size = Formats::byteAt(head, idLength) & (0xFFu >> sizeLength);
    bool allOnes = size == (0xFFu >> sizeLength);
    for (std::size_t i = 1; i < sizeLength; ++i) {
        const unsigned byte = Formats::byteAt(head, idLength + i);
        size = size << 8 | byte;
        allOnes = allOnes && byte == 0xFF;
    }
    element.dataStart = at + idLength + sizeLength;
    element.size = allOnes ? UnknownSize : size;
    if (element.dataStart > limit || (!allOnes && size > limit - element.dataStart)) {
        throw damaged("an element runs past the end of the file");
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
    throw damaged("an element too short to blank");
}

enum class Action { Skip, Enter, Blank, BlankParentIfTags, BlankParentIfPicture, NoteChecksum };

Action actionFor(std::uint32_t parent, std::uint32_t child) {
    struct Rule {
        std::uint32_t parent;
        std::uint32_t child;
        Action action;
    };
    static const Rule rules[] = {
        {Root, Segment, Action::Enter},
        {Segment, SeekHead, Action::Enter},
        {Segment, Info, Action::Enter},
        {Segment, Tracks, Action::Enter},
        {Segment, Attachments, Action::Enter},
        {Segment, Tags, Action::Blank},
        {SeekHead, Seek, Action::Enter},
        {Seek, SeekId, Action::BlankParentIfTags},
        {Info, Title, Action::Blank},
        {Info, DateUtc, Action::Blank},
        {Info, MuxingApp, Action::Blank},
        {Info, WritingApp, Action::Blank},
        {Tracks, TrackEntry, Action::Enter},
        {TrackEntry, TrackName, Action::Blank},
        {Attachments, AttachedFile, Action::Enter},
        {AttachedFile, FileMediaType, Action::BlankParentIfPicture},
    };
    if (child == Crc32) {
        return Action::NoteChecksum;
    }
    for (const Rule &rule : rules) {
        if (rule.parent == parent && rule.child == child) {
            return rule.action;
        }
    }
    return Action::Skip;
}

// Elements that end a cluster of unknown size: its siblings in the segment.
bool endsUnknownCluster(std::uint32_t id) {
    return id == Cluster || id == Cues || id == Tags || id == Info || id == Tracks ||
           id == SeekHead || id == Attachments || id == Chapters || id == EbmlHeader ||
           id == Segment;
}

class Cleaner {
  public:
    explicit Cleaner(Formats::ByteFile &file) : file_(file) {}

    void run() {
        const Element header = readElement(file_, 0, file_.size());
        if (header.id != EbmlHeader || header.size == UnknownSize) {
            throw Refused("not a Matroska or WebM file");
        }
        Element root;
        root.size = file_.size();
        stack_.push_back({root, Root, std::nullopt});
        for (std::uint64_t at = header.end(); !stack_.empty();) {
            Formats::throwIfStopped();
            at = step(at);
        }
    }

  private:
    struct Frame {
        Element element;
        std::uint32_t id;
        std::optional<Element> checksum;  // a changed child makes it wrong
    };

    // Handles the element at `at` in the innermost open element; returns where the walk goes on.
    std::uint64_t step(std::uint64_t at) {
        Frame &parent = stack_.back();
        const std::uint64_t parentEnd = parent.element.end();
        if (at == parentEnd) {
            stack_.pop_back();
            return at;
        }
        const Element child = readElement(file_, at, parentEnd);
        if (parent.id == Cluster && endsUnknownCluster(child.id)) {
            stack_.pop_back();
            return at;
        }
        if (child.size == UnknownSize) {
            return openUnknownSize(child, parentEnd);
        }
        switch (actionFor(parent.id, child.id)) {
            case Action::Enter:
                enter(child);
                return child.dataStart;
            case Action::Blank:
                blank(child);
                break;
            case Action::NoteChecksum:
                parent.checksum = child;
                break;
            case Action::BlankParentIfTags:
                if (child.size == 4 &&
                    Formats::bigEndian32(file_.read(child.dataStart, 4), 0) == Tags) {
                    return blankInnermost();
                }
                break;
            case Action::BlankParentIfPicture:
                if (file_
                        .read(child.dataStart,
                              std::min<std::uint64_t>(child.size, MaxMediaTypeLength))
                        .rfind("image/", 0) == 0) {
                    return blankInnermost();
                }
                break;
            case Action::Skip:
                break;
        }
        return child.end();
    }

    // A segment of unknown size runs to the end of the file; a cluster to its next sibling.
    std::uint64_t openUnknownSize(Element child, std::uint64_t parentEnd) {
        if (child.id != Segment && child.id != Cluster) {
            throw damaged("an element of unknown size");
        }
        child.size = parentEnd - child.dataStart;
        enter(child);
        return child.dataStart;
    }

    void enter(const Element &element) {
        if (stack_.size() >= MaxDepth) {
            throw damaged("elements nest too deeply");
        }
        stack_.push_back({element, element.id, std::nullopt});
    }

    std::uint64_t blankInnermost() {
        const Element element = stack_.back().element;
        stack_.pop_back();
        blank(element);
        return element.end();
    }

    void blank(const Element &element) {
        overwriteWithVoid(element);
        for (Frame &frame : stack_) {
            if (frame.checksum) {
                overwriteWithVoid(*frame.checksum);
                frame.checksum.reset();
            }
        }
    }

    void overwriteWithVoid(const Element &element) {
        const std::uint64_t length = element.end() - element.start;
        file_.zero(element.start, length);
        file_.write(element.start, voidHeader(length));
    }

    Formats::ByteFile &file_;
    std::vector<Frame> stack_;
};

}  // namespace

namespace Matroska {

void clean(Formats::ByteFile &file) {
    Cleaner(file).run();
}

}  // namespace Matroska
