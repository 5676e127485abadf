#include "formats/video/Matroska.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"

#include <algorithm>
#include <map>
#include <vector>

// The check reads the file with a walk of its own: every element the cleaning could have missed is
// looked at again, down to the names of the tags.
namespace {

constexpr std::size_t MaxOpenElements = 8;
constexpr std::size_t MaxTextLength = 255;
constexpr std::size_t HeaderBytes = 12;  // the longest ID and the longest size field

constexpr std::uint32_t EbmlId = 0x1A45DFA3;
constexpr std::uint32_t SegmentId = 0x18538067;
constexpr std::uint32_t InfoId = 0x1549A966;
constexpr std::uint32_t TracksId = 0x1654AE6B;
constexpr std::uint32_t TrackEntryId = 0xAE;
constexpr std::uint32_t AttachmentsId = 0x1941A469;
constexpr std::uint32_t AttachedFileId = 0x61A7;
constexpr std::uint32_t TagsId = 0x1254C367;
constexpr std::uint32_t TagId = 0x7373;
constexpr std::uint32_t SimpleTagId = 0x67C8;
constexpr std::uint32_t ClusterId = 0x1F43B675;
constexpr std::uint32_t SeekHeadId = 0x114D9B74;
constexpr std::uint32_t ChaptersId = 0x1043A770;
constexpr std::uint32_t CuesId = 0x1C53BB6B;

struct Damaged {
    std::string why;
};

struct Header {
    std::uint32_t id = 0;
    std::uint64_t dataStart = 0;
    std::uint64_t dataEnd = 0;
    bool unknownSize = false;
};

unsigned leadingZeros(unsigned byte) {
    unsigned zeros = 0;
    for (unsigned mask = 0x80; mask != 0 && (byte & mask) == 0; mask >>= 1) {
        ++zeros;
    }
    return zeros;
}

Header headerAt(Formats::ByteFile &file, std::uint64_t at, std::uint64_t end) {
    const Formats::Bytes bytes = file.readUpTo(at, HeaderBytes);
    Header header;
    const unsigned idBytes = bytes.empty() ? 9 : leadingZeros(Formats::byteAt(bytes, 0)) + 1;
    if (idBytes > 4 || bytes.size() <= idBytes) {
        throw Damaged{"an element header is cut short"};
    }
    const unsigned sizeBytes = leadingZeros(Formats::byteAt(bytes, idBytes)) + 1;
    if (sizeBytes > 8 || bytes.size() < idBytes + sizeBytes) {
        throw Damaged{"an element size is cut short"};
    }
    for (unsigned i = 0; i < idBytes; ++i) {
        header.id = header.id << 8 | Formats::byteAt(bytes, i);
    }
    std::uint64_t size = 0;
    for (unsigned i = 0; i < sizeBytes; ++i) {
        size = size << 8 | Formats::byteAt(bytes, idBytes + i);
    }
    const std::uint64_t marker = std::uint64_t{1} << (7 * sizeBytes);
    size &= marker - 1;
    header.unknownSize = size == marker - 1;
    header.dataStart = at + idBytes + sizeBytes;
    if (header.dataStart > end || (!header.unknownSize && size > end - header.dataStart)) {
        throw Damaged{"an element runs past the end of the file"};
    }
    header.dataEnd = header.unknownSize ? end : header.dataStart + size;
    return header;
}

std::string wordsForTag(const std::string &name) {
    static const std::map<std::string, std::string> words = {
        {"TITLE", "title"},
        {"ARTIST", "artist"},
        {"ALBUM_ARTIST", "artist"},
        {"COMPOSER", "artist"},
        {"PERFORMER", "artist"},
        {"DATE", "date"},
        {"DATE_RECORDED", "date"},
        {"DATE_RELEASED", "date"},
        {"CREATION_TIME", "date"},
        {"ENCODER", "encoder software"},
        {"ENCODED_BY", "encoder software"},
        {"COMMENT", "comment"},
        {"DESCRIPTION", "description"},
    };
    const auto word = words.find(name);
    return word == words.end() ? "tag " + name : word->second;
}

class Reader {
  public:
    explicit Reader(Formats::ByteFile &file) : file_(file) {}

    std::string findings() {
        try {
            walk();
        } catch (const Damaged &damaged) {
            return "damaged Matroska: " + damaged.why;
        } catch (const Formats::Refused &) {
            return "damaged Matroska: the file ends early";
        }
        return findings_.reason();
    }

  private:
    struct Open {
        std::uint32_t id;
        std::uint64_t end;
        bool unknownSize;
    };

    void walk() {
        const Header ebml = headerAt(file_, 0, file_.size());
        if (ebml.id != EbmlId) {
            throw Damaged{"no EBML header"};
        }
        std::vector<Open> open{{0, file_.size(), false}};
        std::uint64_t at = ebml.dataEnd;
        while (!open.empty()) {
            Formats::throwIfStopped();
            if (at >= open.back().end) {
                open.pop_back();
                continue;
            }
            const Header element = headerAt(file_, at, open.back().end);
            if (open.back().unknownSize && open.back().id == ClusterId &&
                isSegmentChild(element.id)) {
                open.pop_back();
                continue;
            }
            note(open.back().id, element);
            if (!opens(open.back().id, element.id, element.unknownSize)) {
                if (element.unknownSize) {
                    throw Damaged{"an element of unknown size"};
                }
                at = element.dataEnd;
                continue;
            }
            if (open.size() == MaxOpenElements) {
                throw Damaged{"elements nest too deeply"};
            }
            open.push_back({element.id, element.dataEnd, element.unknownSize});
            at = element.dataStart;
        }
    }

    // What ends a cluster of unknown size: the next element at the segment's level.
    static bool isSegmentChild(std::uint32_t id) {
        static const std::uint32_t ids[] = {SeekHeadId, InfoId, TracksId,      ChaptersId,
                                            ClusterId,  CuesId, AttachmentsId, TagsId,
                                            SegmentId,  EbmlId};
        return std::find(std::begin(ids), std::end(ids), id) != std::end(ids);
    }

    // Which elements the walk looks inside: those that hold what the cleaning removes.
    static bool opens(std::uint32_t parent, std::uint32_t id, bool unknownSize) {
        switch (id) {
            case SegmentId:
                return parent == 0;
            case ClusterId:
                return parent == SegmentId && unknownSize;
            case InfoId:
            case TracksId:
            case AttachmentsId:
            case TagsId:
                return parent == SegmentId;
            case TrackEntryId:
                return parent == TracksId;
            case AttachedFileId:
                return parent == AttachmentsId;
            case TagId:
                return parent == TagsId;
            case SimpleTagId:
                return parent == TagId || parent == SimpleTagId;
            default:
                return false;
        }
    }

    void note(std::uint32_t parent, const Header &element) {
        struct Word {
            std::uint32_t parent;
            std::uint32_t id;
            const char *word;
        };
        static const Word words[] = {
            {InfoId, 0x7BA9, "title"},
            {InfoId, 0x4461, "creation date"},
            {InfoId, 0x4D80, "encoder software"},  // muxing application
            {InfoId, 0x5741, "encoder software"},  // writing application
            {TrackEntryId, 0x536E, "track title"},
            {SegmentId, TagsId, "tags"},
        };
        for (const Word &word : words) {
            if (word.parent == parent && word.id == element.id) {
                findings_.add(word.word);
            }
        }
        if (parent == AttachedFileId && element.id == 0x4660 &&  // its media type
            text(element).rfind("image/", 0) == 0) {
            findings_.add("cover picture");
        }
        if (parent == SimpleTagId && element.id == 0x45A3) {  // the tag's name
            findings_.add(wordsForTag(text(element)));
        }
    }

    std::string text(const Header &element) {
        const std::uint64_t length = element.dataEnd - element.dataStart;
        std::string value =
            file_.read(element.dataStart, std::min<std::uint64_t>(length, MaxTextLength));
        return value.substr(0, value.find('\0'));
    }

    Formats::ByteFile &file_;
    Formats::Findings findings_;
};

}  // namespace

namespace Matroska {

std::string remainingMetadata(Formats::ByteFile &file) {
    return Reader(file).findings();
}

}  // namespace Matroska
