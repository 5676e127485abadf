#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/video/SoundVideo.h"
#include "formats/core/Stop.h"

#include <map>
#include <vector>

// The checks list every chunk with a walk of their own, looking inside every list but the movie
// data, so that a chunk the cleaning did not enter is still seen.
namespace {

constexpr std::size_t MaxListDepth = 6;

struct Damaged {
    std::string why;
};

struct Seen {
    std::string name;    // the chunk's four characters
    std::string inside;  // the type of the list it lies in, empty at the top of a form
};

struct Layout {
    std::string form;
    bool bigEndian;
};

std::vector<Seen> chunksOf(Formats::ByteFile &file, const Layout &layout) {
    std::vector<Seen> seen;
    struct Level {
        std::uint64_t end;
        std::string type;
    };
    std::vector<Level> levels;
    if (file.size() == 0) {
        throw Damaged{"the file is empty"};
    }
    std::uint64_t at = 0;
    while (at < file.size() || !levels.empty()) {
        Formats::throwIfStopped();
        if (!levels.empty() && at >= levels.back().end) {
            at = levels.back().end;
            levels.pop_back();
            continue;
        }
        const std::uint64_t limit = levels.empty() ? file.size() : levels.back().end;
        if (limit - at < 8) {
            throw Damaged{"a chunk header is cut short"};
        }
        const Formats::Bytes header = file.readUpTo(at, 12);
        const std::uint64_t size =
            layout.bigEndian ? Formats::bigEndian32(header, 4) : Formats::littleEndian32(header, 4);
        const std::string name = header.substr(0, 4);
        if (size > limit - at - 8) {
            throw Damaged{"a chunk runs past the end of the file"};
        }
        const bool isList = name == layout.form || name == "LIST";
        if (levels.empty() && name != layout.form) {
            throw Damaged{at == 0 ? "it does not start as one" : "data after the end"};
        }
        if (isList && size >= 4 && header.substr(8, 4) != "movi") {
            if (levels.size() == MaxListDepth) {
                throw Damaged{"lists nest too deeply"};
            }
            seen.push_back({name, levels.empty() ? "" : levels.back().type});
            levels.push_back({std::min(at + 8 + size + size % 2, limit), header.substr(8, 4)});
            at += 12;
            continue;
        }
        seen.push_back({isList && size >= 4 ? header.substr(8, 4) : name,
                        levels.empty() ? "" : levels.back().type});
        at = std::min(at + 8 + size + size % 2, limit);
    }
    return seen;
}

std::string check(Formats::ByteFile &file, const std::string &kind, const Layout &layout,
                  const std::map<std::string, std::string> &words) {
    static const std::map<std::string, std::string> infoWords = {
        {"INAM", "title"},         {"IART", "artist"},
        {"ICRD", "creation date"}, {"ISFT", "encoder software"},
        {"ICMT", "comment"},       {"ICOP", "copyright"},
        {"IENG", "engineer"},      {"IPRD", "album"},
        {"IKEY", "keywords"},      {"ISBJ", "subject"},
    };
    try {
        Formats::Findings findings;
        for (const Seen &chunk : chunksOf(file, layout)) {
            const auto word = words.find(chunk.name);
            if (word != words.end()) {
                findings.add(word->second);
            } else if (chunk.inside == "INFO") {
                const auto info = infoWords.find(chunk.name);
                findings.add(info == infoWords.end() ? "text " + chunk.name : info->second);
            }
        }
        return findings.reason();
    } catch (const Damaged &damaged) {
        return "damaged " + kind + ": " + damaged.why;
    } catch (const Formats::Refused &) {
        return "damaged " + kind + ": the file ends early";
    }
}

}  // namespace

std::string Avi::remainingMetadata(Formats::ByteFile &file) {
    static const std::map<std::string, std::string> words = {
        {"IDIT", "creation date"},
        {"ISFT", "encoder software"},
        {"strd", "camera data"},
        {"_PMX", "XMP"},
    };
    return check(file, "AVI", {"RIFF", false}, words);
}

std::string Wav::remainingMetadata(Formats::ByteFile &file) {
    static const std::map<std::string, std::string> words = {
        {"bext", "broadcast description (originator, date)"},
        {"iXML", "iXML production notes"},
        {"cart", "cart description"},
        {"_PMX", "XMP"},
        {"id3 ", "ID3 tags"},
        {"ID3 ", "ID3 tags"},
    };
    return check(file, "WAV", {"RIFF", false}, words);
}

std::string Aiff::remainingMetadata(Formats::ByteFile &file) {
    static const std::map<std::string, std::string> words = {
        {"NAME", "title"},   {"AUTH", "author"},  {"(c) ", "copyright"},
        {"ANNO", "comment"}, {"COMT", "comment"}, {"ID3 ", "ID3 tags"},
    };
    return check(file, "AIFF", {"FORM", true}, words);
}
