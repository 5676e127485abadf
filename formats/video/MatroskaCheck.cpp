#include "formats/video/Matroska.h"

#include "formats/Kinds.h"
#include "formats/core/Cursor.h"
#include "formats/core/Limits.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string_view>

// The check reads the file with a walk and a keep list of its own: every element outside the list
// is named, by what it is known to hold or by its id, down to the names of the tags.
namespace {

using Formats::Category;

constexpr std::uint32_t EbmlId = 0x1A45DFA3;
constexpr std::uint32_t SegmentId = 0x18538067;
constexpr std::uint32_t SeekHeadId = 0x114D9B74;
constexpr std::uint32_t SeekId = 0x4DBB;
constexpr std::uint32_t SeekIdId = 0x53AB;
constexpr std::uint32_t InfoId = 0x1549A966;
constexpr std::uint32_t TracksId = 0x1654AE6B;
constexpr std::uint32_t TrackEntryId = 0xAE;
constexpr std::uint32_t AttachmentsId = 0x1941A469;
constexpr std::uint32_t AttachedFileId = 0x61A7;
constexpr std::uint32_t FileDataId = 0x465C;
constexpr std::uint32_t TagsId = 0x1254C367;
constexpr std::uint32_t TagId = 0x7373;
constexpr std::uint32_t SimpleTagId = 0x67C8;
constexpr std::uint32_t TagNameId = 0x45A3;
constexpr std::uint32_t ClusterId = 0x1F43B675;
constexpr std::uint32_t CuesId = 0x1C53BB6B;
constexpr std::uint32_t ChaptersId = 0x1043A770;
constexpr std::uint32_t VoidId = 0xEC;
constexpr std::uint32_t ChecksumId = 0xBF;

// What players need, by the element that holds it; an element with an entry of its own is walked,
// one without is kept whole.
const std::map<std::uint32_t, std::set<std::uint32_t>> &keeps() {
    static const std::map<std::uint32_t, std::set<std::uint32_t>> kept = {
        {0, {EbmlId, SegmentId}},
        {EbmlId, {0x4286, 0x42F7, 0x42F2, 0x42F3, 0x4282, 0x4287, 0x4285}},
        {SegmentId, {SeekHeadId, InfoId, TracksId, ClusterId, CuesId, ChaptersId, AttachmentsId}},
        {SeekHeadId, {SeekId}},
        {SeekId, {SeekIdId, 0x53AC}},
        {InfoId, {0x2AD7B1, 0x4489, 0x73A4, 0x4444, 0x3CB923, 0x3EB923, 0x6924}},
        {TracksId, {TrackEntryId}},
        {TrackEntryId,
         {0xD7,     0x73C5,   0x83, 0xB9,   0x88,     0x55AA,   0x55AB,   0x55AC,   0x55AD,
          0x55AE,   0x55AF,   0x9C, 0x6DE7, 0x6DF8,   0x23E383, 0x234E7A, 0x23314F, 0x55EE,
          0x22B59C, 0x22B59D, 0x86, 0x63A2, 0x258688, 0x7446,   0xAA,     0x6FAB,   0x56AA,
          0x56BB,   0x6624,   0xE0, 0xE1,   0xE2,     0x6D80,   0x41E4}},
        {ClusterId, {0xE7, 0xA3, 0xA0, 0xA7, 0xAB, 0x5854}},
        {AttachmentsId, {AttachedFileId}},
        {AttachedFileId, {0x466E, 0x4660, FileDataId, 0x46AE}},
    };
    return kept;
}

struct Word {
    std::uint32_t parent;
    std::uint32_t id;
    Category category;
    const char *word;
};

// What the elements outside the keep list that writers fill are known to hold.
const Word *elementWord(std::uint32_t parent, std::uint32_t id) {
    static const Word words[] = {
        {InfoId, 0x7BA9, Category::Descriptions, "title"},
        {InfoId, 0x4461, Category::Dates, "creation date"},
        {InfoId, 0x4D80, Category::Software, "encoder software"},  // muxing application
        {InfoId, 0x5741, Category::Software, "encoder software"},  // writing application
        {InfoId, 0x7384, Category::Descriptions, "file name"},
        {InfoId, 0x3C83AB, Category::Descriptions, "file name"},
        {InfoId, 0x3E83BB, Category::Descriptions, "file name"},
        {TrackEntryId, 0x536E, Category::Descriptions, "track title"},
        {AttachedFileId, 0x467E, Category::Descriptions, "attachment description"},
    };
    for (const Word &word : words) {
        if (word.parent == parent && word.id == id) {
            return &word;
        }
    }
    return nullptr;
}

std::pair<Category, std::string> tagWord(const std::string &name) {
    static const std::map<std::string, std::pair<Category, std::string>> words = {
        {"TITLE", {Category::Descriptions, "title"}},
        {"ARTIST", {Category::People, "artist"}},
        {"ALBUM_ARTIST", {Category::People, "artist"}},
        {"COMPOSER", {Category::People, "artist"}},
        {"PERFORMER", {Category::People, "artist"}},
        {"DATE", {Category::Dates, "date"}},
        {"DATE_RECORDED", {Category::Dates, "date"}},
        {"DATE_RELEASED", {Category::Dates, "date"}},
        {"CREATION_TIME", {Category::Dates, "date"}},
        {"ENCODER", {Category::Software, "encoder software"}},
        {"ENCODED_BY", {Category::Software, "encoder software"}},
        {"COMMENT", {Category::Descriptions, "comment"}},
        {"DESCRIPTION", {Category::Descriptions, "description"}},
    };
    const auto word = words.find(name);
    return word == words.end() ? std::make_pair(Category::Descriptions, "tag " + name)
                               : word->second;
}

// Elements at the segment's level, which end a cluster of unknown size.
bool isSegmentChild(std::uint32_t id) {
    return id == SegmentId || id == EbmlId || keeps().at(SegmentId).count(id) != 0 || id == TagsId;
}

struct Header {
    std::uint32_t id = 0;
    std::uint64_t dataStart = 0;
    std::uint64_t dataEnd = 0;
    bool unknownSize = false;
};

class Reader {
  public:
    explicit Reader(Formats::ByteFile &file) : cursor_(file, "Matroska") {}

    Formats::Findings run() {
        if (headerAt(0, cursor_.size()).id != EbmlId) {
            throw cursor_.damaged("no EBML header");
        }
        children(0, 0, cursor_.size(), false);
        return findings_;
    }

  private:
    unsigned widthAt(std::uint64_t at, std::uint64_t end, unsigned widest) const {
        const auto first = static_cast<unsigned>(cursor_.bigEndian(at, 1, end));
        for (unsigned width = 1; width <= widest; ++width) {
            if (first >= (0x100u >> width)) {
                return width;
            }
        }
        throw cursor_.damaged("an element header cannot be read");
    }

    Header headerAt(std::uint64_t at, std::uint64_t end) const {
        Header header;
        const unsigned idBytes = widthAt(at, end, 4);
        header.id = static_cast<std::uint32_t>(cursor_.bigEndian(at, idBytes, end));
        const unsigned sizeBytes = widthAt(at + idBytes, end, 8);
        const std::uint64_t all = (std::uint64_t{1} << (7 * sizeBytes)) - 1;
        const std::uint64_t size = cursor_.bigEndian(at + idBytes, sizeBytes, end) & all;
        header.unknownSize = size == all;
        header.dataStart = at + idBytes + sizeBytes;
        if (!header.unknownSize && size > end - header.dataStart) {
            throw cursor_.damaged("an element runs past the end of the file");
        }
        header.dataEnd = header.dataStart + size;
        return header;
    }

    // Walks what a kept element holds; returns where it ends, which for a cluster of unknown size
    // is where the next element of the segment starts. The keep lists bound the depth.
    std::uint64_t children(std::uint32_t parent, std::uint64_t from, std::uint64_t end,
                           bool unknownCluster) {
        for (std::uint64_t at = from; at < end;) {
            Formats::throwIfStopped();
            Header element = headerAt(at, end);
            if (unknownCluster && isSegmentChild(element.id)) {
                return at;
            }
            if (element.unknownSize) {
                if (element.id != SegmentId && element.id != ClusterId) {
                    throw cursor_.damaged("an element of unknown size");
                }
                element.dataEnd = end;
            }
            at = visit(parent, element);
        }
        return end;
    }

    std::uint64_t visit(std::uint32_t parent, const Header &element) {
        const auto holder = keeps().find(element.id);
        const std::uint64_t length = element.dataEnd - element.dataStart;
        if (element.id == VoidId) {
            if (!cursor_.allZero(element.dataStart, length, element.dataEnd)) {
                findings_.add("filled Void element");
            }
        } else if (element.id == ChecksumId) {
            // A checksum says nothing of its own.
        } else if (keeps().at(parent).count(element.id) == 0) {
            name(parent, element);
        } else if (element.id == SeekId && !seeksKept(element)) {
            findings_.add("seek entry to removed data");
        } else if (element.id == AttachedFileId && !isFont(element)) {
            attachment(element);
        } else if (holder != keeps().end()) {
            return children(element.id, element.dataStart, element.dataEnd,
                            element.id == ClusterId && element.unknownSize);
        }
        return element.dataEnd;
    }

    void name(std::uint32_t parent, const Header &element) {
        if (element.id == TagsId) {
            findings_.add(Category::Descriptions, "tags");
            tagNames(element, 0);
        } else if (const Word *word = elementWord(parent, element.id)) {
            findings_.add(word->category, word->word);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            std::string hex;
            for (std::uint32_t id = element.id; id != 0; id >>= 4) {
                hex.insert(hex.begin(), digits[id & 0xF]);
            }
            findings_.add("element 0x" + hex);
        }
    }

    void tagNames(const Header &holder, std::size_t depth) {
        for (std::uint64_t at = holder.dataStart; at < holder.dataEnd;) {
            const Header element = headerAt(at, holder.dataEnd);
            if (element.unknownSize) {
                throw cursor_.damaged("an element of unknown size");
            }
            if ((element.id == TagId || element.id == SimpleTagId) &&
                depth < Formats::Limits::ContainerDepth) {
                tagNames(element, depth + 1);
            } else if (element.id == TagNameId) {
                const auto word = tagWord(text(element));
                findings_.add(word.first, word.second);
            }
            at = element.dataEnd;
        }
    }

    std::string text(const Header &element) const {
        const std::string value = cursor_.bytes(
            element.dataStart,
            std::min<std::uint64_t>(element.dataEnd - element.dataStart, Formats::Limits::NameRead),
            element.dataEnd);
        return value.substr(0, value.find('\0'));
    }

    // The first child of that id among as many as the cleaning looks through.
    std::optional<Header> child(const Header &holder, std::uint32_t id) const {
        std::uint64_t at = holder.dataStart;
        for (std::size_t seen = 0; at < holder.dataEnd && seen < Formats::Limits::ChildrenJudged;
             ++seen) {
            const Header element = headerAt(at, holder.dataEnd);
            if (element.unknownSize) {
                throw cursor_.damaged("an element of unknown size");
            }
            if (element.id == id) {
                return element;
            }
            at = element.dataEnd;
        }
        return std::nullopt;
    }

    bool seeksKept(const Header &seek) const {
        const std::optional<Header> id = child(seek, SeekIdId);
        const std::uint64_t length = id ? id->dataEnd - id->dataStart : 0;
        return length >= 1 && length <= 4 &&
               keeps().at(SegmentId).count(static_cast<std::uint32_t>(
                   cursor_.bigEndian(id->dataStart, length, id->dataEnd))) != 0;
    }

    Formats::Bytes dataStart(const Header &file) const {
        const std::optional<Header> data = child(file, FileDataId);
        if (!data) {
            return {};
        }
        return cursor_.bytes(data->dataStart,
                             std::min<std::uint64_t>(data->dataEnd - data->dataStart,
                                                     Formats::Limits::RecognitionWindow),
                             data->dataEnd);
    }

    bool isFont(const Header &file) const {
        const Formats::Bytes start = dataStart(file);
        const std::string_view tag = std::string_view(start).substr(0, 4);
        return Kinds::forContent(start) == nullptr && tag.size() == 4 &&
               (tag == std::string_view("\0\1\0\0", 4) || tag == "OTTO" || tag == "true" ||
                tag == "ttcf" || tag == "wOFF" || tag == "wOF2");
    }

    void attachment(const Header &file) {
        const Kinds::Kind *kind = Kinds::forContent(dataStart(file));
        const std::string name = kind ? kind->name : "";
        if (name.size() > 7 && name.compare(name.size() - 7, 7, "picture") == 0) {
            findings_.add(Category::Thumbnails, "cover picture");
        } else {
            findings_.add(name.empty() ? "attachment" : name + " attachment");
        }
    }

    Formats::Cursor cursor_;
    Formats::Findings findings_;
};

}  // namespace

namespace Matroska {

Formats::Findings findings(Formats::ByteFile &file) {
    return Reader(file).run();
}

}  // namespace Matroska
