#include "formats/core/Cursor.h"
#include "formats/core/Findings.h"
#include "formats/core/Limits.h"
#include "formats/video/SoundVideo.h"

#include <algorithm>
#include <map>
#include <set>

// The checks walk every chunk with a walk of their own and name each one that is not on their own
// list of what the kind needs, so that a chunk nobody has heard of is found as surely as a title.
namespace {

using Formats::Category;

constexpr std::uint64_t ChunkHeader = 8;
constexpr std::uint64_t ListHeader = 12;
constexpr std::uint64_t MarkerHead = 6;
// What a chunk in an RF64 or BW64 form says its size is when the ds64 chunk states it.
constexpr std::uint64_t SizeInDs64 = 0xFFFFFFFF;

struct Layout {
    const char *kind;
    const char *form;
    std::set<std::string> formTypes;
    bool bigEndian;
    const char *padding;
    // By the type of a form or list, what may lie in it: chunk names, and "LIST " with a type for
    // lists, walked when their type has an entry of its own and kept whole when not.
    std::map<std::string, std::set<std::string>> keeps;
    std::set<std::string> largeForms;    // forms whose chunk sizes a ds64 chunk states in 64 bits
    std::set<std::string> trailingTags;  // tags some writers put after the form
};

struct Word {
    Category category;
    const char *word;
};

// What a text chunk of an INFO list holds.
const Word &infoWord(const std::string &name) {
    static const std::map<std::string, Word> words = {
        {"IART", {Category::People, "artist"}},
        {"IENG", {Category::People, "engineer"}},
        {"ICOP", {Category::People, "copyright"}},
        {"ITCH", {Category::People, "technician"}},
        {"ICMS", {Category::People, "commissioner"}},
        {"ICRD", {Category::Dates, "creation date"}},
        {"IDIT", {Category::Dates, "creation date"}},
        {"ISFT", {Category::Software, "encoder software"}},
        {"INAM", {Category::Descriptions, "title"}},
        {"ICMT", {Category::Descriptions, "comment"}},
        {"ISBJ", {Category::Descriptions, "subject"}},
        {"IKEY", {Category::Descriptions, "keywords"}},
        {"IPRD", {Category::Descriptions, "album"}},
        {"IGNR", {Category::Descriptions, "genre"}},
    };
    static const Word text{Category::Descriptions, "text"};
    const auto word = words.find(name);
    return word == words.end() ? text : word->second;
}

// What a chunk or list outside the keep list is known to hold; others are named by their code.
const Word *chunkWord(const std::string &what) {
    static const std::map<std::string, Word> words = {
        {"IDIT", {Category::Dates, "creation date"}},
        {"ISFT", {Category::Software, "encoder software"}},
        {"strd", {Category::Device, "camera data"}},
        {"strn", {Category::Descriptions, "stream name"}},
        {"ncdt", {Category::Device, "camera data"}},
        {"olym", {Category::Device, "camera data"}},
        {"LIST exif", {Category::Device, "camera data"}},
        {"gps0", {Category::Place, "GPS position"}},
        {"guan", {Category::Place, "GPS position"}},
        {"_PMX", {Category::Other, "XMP"}},
        {"bext", {Category::People, "broadcast description (originator, date)"}},
        {"iXML", {Category::Descriptions, "iXML production notes"}},
        {"aXML", {Category::Descriptions, "XML production notes"}},
        {"cart", {Category::Descriptions, "cart description"}},
        {"afsp", {Category::Descriptions, "text tags"}},
        {"DISP", {Category::Descriptions, "display title"}},
        {"LIST adtl", {Category::Descriptions, "cue labels"}},
        {"id3 ", {Category::Descriptions, "ID3 tags"}},
        {"ID3 ", {Category::Descriptions, "ID3 tags"}},
        {"APPL", {Category::Software, "application data"}},
        {"NAME", {Category::Descriptions, "title"}},
        {"AUTH", {Category::People, "author"}},
        {"(c) ", {Category::People, "copyright"}},
        {"ANNO", {Category::Descriptions, "comment"}},
        {"COMT", {Category::Descriptions, "comment"}},
    };
    const auto word = words.find(what);
    return word == words.end() ? nullptr : &word->second;
}

// A chunk code as the details can show it, whatever bytes it is made of.
std::string printable(const std::string &code) {
    std::string text;
    for (const char c : code) {
        text += c >= ' ' && c <= '~' ? c : '?';
    }
    return text;
}

class Walk {
  public:
    Walk(Formats::ByteFile &file, const Layout &layout)
        : cursor_(file, layout.kind), layout_(layout) {}

    Formats::Findings run() {
        if (cursor_.size() == 0) {
            throw cursor_.damaged("the file is empty");
        }
        for (std::uint64_t at = 0; at < cursor_.size() && !isLast(at);) {
            at = form(at);
        }
        return findings_;
    }

  private:
    struct Chunk {
        std::string name;
        std::uint64_t start;
        std::uint64_t size;
        std::uint64_t next;  // where its parent goes on, after its pad byte
        std::string type;    // of a list, or empty
    };

    // Whether what lies from `at`, after a form, ends the file: zeros that pad it, or the
    // layout's trailing tag, which is named.
    bool isLast(std::uint64_t at) {
        if (at == 0) {
            return false;
        }
        if (cursor_.allZero(at, cursor_.size() - at, cursor_.size())) {
            return true;
        }
        if (layout_.trailingTags.count(cursor_.bytes(at, 4, cursor_.size())) == 0) {
            return false;
        }
        const Chunk tag = chunkAt(at, cursor_.size());
        if (tag.next != cursor_.size()) {
            throw cursor_.damaged("data after the end");
        }
        findings_.add(chunkWord(tag.name)->category, chunkWord(tag.name)->word);
        return true;
    }

    // `end` may lie past the file's end by what a form's size may overstate.
    Chunk chunkAt(std::uint64_t at, std::uint64_t end) const {
        if (end - at < ChunkHeader) {
            throw cursor_.damaged("a chunk header is cut short");
        }
        Chunk chunk{cursor_.bytes(at, 4, end), at, 0, 0, {}};
        chunk.size = layout_.bigEndian ? cursor_.bigEndian(at + 4, 4, end)
                                       : cursor_.littleEndian(at + 4, 4, end);
        if (chunk.size == SizeInDs64 && !sizes64_.empty()) {
            const auto stated = sizes64_.find(chunk.name);
            if (stated == sizes64_.end()) {
                throw cursor_.damaged("a chunk's size is in no ds64 entry");
            }
            chunk.size = stated->second;
        }
        if (chunk.size > end - at - ChunkHeader) {
            throw cursor_.damaged("a chunk runs past the end of the file");
        }
        chunk.next =
            std::min({at + ChunkHeader + chunk.size + chunk.size % 2, end, cursor_.size()});
        if ((chunk.name == "LIST" || chunk.name == layout_.form ||
             layout_.largeForms.count(chunk.name) != 0) &&
            chunk.size >= 4) {
            chunk.type = cursor_.bytes(at + ChunkHeader, 4, end);
        }
        return chunk;
    }

    // The 64-bit sizes an RF64 or BW64 form keeps in the ds64 chunk that must come first in it:
    // the form's, the data's, and a table of any other chunk's.
    void readSizes64(const std::string &form, std::uint64_t at) {
        const std::uint64_t chunk = at + ListHeader;
        if (cursor_.bytes(chunk, 4, cursor_.size()) != "ds64") {
            throw cursor_.damaged("a large form does not start with its sizes");
        }
        const std::uint64_t end =
            chunk + ChunkHeader + cursor_.littleEndian(chunk + 4, 4, cursor_.size());
        sizes64_[form] = cursor_.littleEndian(chunk + 8, 8, end);
        sizes64_["data"] = cursor_.littleEndian(chunk + 16, 8, end);
        const std::uint64_t entries = cursor_.littleEndian(chunk + 32, 4, end);
        for (std::uint64_t entry = chunk + 36; entry < chunk + 36 + 12 * entries; entry += 12) {
            Formats::throwIfStopped();
            sizes64_[cursor_.bytes(entry, 4, end)] = cursor_.littleEndian(entry + 4, 8, end);
        }
    }

    std::uint64_t form(std::uint64_t at) {
        const std::string name = cursor_.bytes(at, 4, cursor_.size());
        sizes64_.clear();
        if (layout_.largeForms.count(name) != 0) {
            readSizes64(name, at);
        }
        const Chunk outer = chunkAt(at, cursor_.size() + Formats::Limits::FormSizeOverstated);
        if ((outer.name != layout_.form && layout_.largeForms.count(outer.name) == 0) ||
            layout_.formTypes.count(outer.type) == 0) {
            throw cursor_.damaged(at == 0 ? "it does not start as one" : "data after the end");
        }
        list(outer);
        return outer.next;
    }

    // The chunks of a kept form or list; the keep lists nest only a few levels deep.
    void list(const Chunk &holder) {
        const std::set<std::string> &kept = layout_.keeps.at(holder.type);
        for (std::uint64_t at = holder.start + ListHeader; at < holder.next;) {
            Formats::throwIfStopped();
            const Chunk chunk = chunkAt(at, holder.next);
            const std::string what = chunk.name == "LIST" ? "LIST " + chunk.type : chunk.name;
            if (chunk.name == layout_.padding) {
                filled(chunk.start + ChunkHeader, chunk.size, chunk.next);
            } else if (kept.count(what) == 0) {
                name(chunk, what);
            } else if (!chunk.type.empty() && layout_.keeps.count(chunk.type) != 0) {
                list(chunk);
            } else if (chunk.name == "MARK") {
                markers(chunk);
            }
            if (chunk.size % 2 == 1) {
                const std::uint64_t pad = chunk.start + ChunkHeader + chunk.size;
                filled(pad, chunk.next - pad, chunk.next);
            }
            at = chunk.next;
        }
    }

    void filled(std::uint64_t at, std::uint64_t length, std::uint64_t end) {
        if (!cursor_.allZero(at, length, end)) {
            findings_.add("filled padding");
        }
    }

    void name(const Chunk &chunk, const std::string &what) {
        if (const Word *word = chunkWord(what)) {
            findings_.add(word->category, word->word);
        } else if (!chunk.type.empty()) {
            contents(chunk);
        } else {
            findings_.add("chunk '" + printable(chunk.name) + "'");
        }
    }

    // A list outside the keep list, by what its chunks are known to hold, or by its type.
    void contents(const Chunk &list) {
        bool named = false;
        for (std::uint64_t at = list.start + ListHeader; at < list.next;) {
            const Chunk chunk = chunkAt(at, list.next);
            const Word *word = list.type == "INFO" ? &infoWord(chunk.name) : chunkWord(chunk.name);
            if (word != nullptr) {
                findings_.add(word->category, word->word);
                named = true;
            }
            at = chunk.next;
        }
        if (!named) {
            findings_.add("list '" + printable(list.type) + "'");
        }
    }

    // Markers are kept for their places; a name, or anything after the last, is not.
    void markers(const Chunk &chunk) {
        const std::uint64_t end = chunk.start + ChunkHeader + chunk.size;
        const std::uint64_t count = cursor_.bigEndian(chunk.start + ChunkHeader, 2, end);
        std::uint64_t at = chunk.start + ChunkHeader + 2;
        bool named = false;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t length = cursor_.bigEndian(at + MarkerHead, 1, end);
            const std::uint64_t name = at + MarkerHead + 1;
            at = std::min(cursor_.after(name, length, end) + 1 - length % 2, end);
            named = named || !cursor_.allZero(name, at - name, end);
        }
        if (named || !cursor_.allZero(at, end - at, end)) {
            findings_.add(Category::Descriptions, "marker names");
        }
    }

    Formats::Cursor cursor_;
    const Layout &layout_;
    Formats::Findings findings_;
    std::map<std::string, std::uint64_t> sizes64_;  // by chunk name, in a large form
};

}  // namespace

Formats::Findings Avi::findings(Formats::ByteFile &file) {
    static const Layout avi{"AVI",
                            "RIFF",
                            {"AVI ", "AVIX"},
                            false,
                            "JUNK",
                            {{"AVI ", {"LIST hdrl", "LIST movi", "idx1"}},
                             {"AVIX", {"LIST movi"}},
                             {"hdrl", {"avih", "LIST strl", "LIST odml"}},
                             {"strl", {"strh", "strf", "indx", "vprp"}},
                             {"odml", {"dmlh"}}},
                            {},
                            {}};
    return Walk(file, avi).run();
}

Formats::Findings Wav::findings(Formats::ByteFile &file) {
    static const Layout wav{"WAV",
                            "RIFF",
                            {"WAVE"},
                            false,
                            "JUNK",
                            {{"WAVE", {"fmt ", "data", "fact", "cue ", "smpl", "inst", "ds64"}}},
                            {"RF64", "BW64"},
                            {"id3 ", "ID3 "}};
    return Walk(file, wav).run();
}

Formats::Findings Aiff::findings(Formats::ByteFile &file) {
    static const std::set<std::string> kept = {"COMM", "SSND", "MARK", "INST", "FVER"};
    static const Layout aiff{"AIFF", "FORM",  {"AIFF", "AIFC"},
                             true,   "FLLR",  {{"AIFF", kept}, {"AIFC", kept}},
                             {},     {"ID3 "}};
    return Walk(file, aiff).run();
}
