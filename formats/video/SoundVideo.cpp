#include "formats/video/SoundVideo.h"

#include "formats/video/Riff.h"

#include <algorithm>
#include <vector>

namespace {

using Riff::Action;

constexpr std::size_t ChunkHeader = 8;
constexpr std::size_t MarkerHead = 6;  // id, position; then the name's length and the name

struct Rule {
    const char *inside;  // the type of the list or form the chunk lies in
    const char *what;    // the chunk's name, or "LIST " and its type
    Action action;
};

std::string what(const Riff::Chunk &chunk) {
    return chunk.name == "LIST" ? "LIST " + chunk.listType : chunk.name;
}

// A chunk the rules do not name is blanked: what a reader needs is known, what else a writer put
// there is not.
Action decide(const Riff::Chunk &chunk, const std::vector<Rule> &rules,
              const std::string &padding) {
    if (chunk.name == padding) {
        return Action::Zero;
    }
    for (const Rule &rule : rules) {
        if (chunk.inside == rule.inside && what(chunk) == rule.what) {
            return rule.action;
        }
    }
    return Action::Blank;
}

Action aviAction(const Riff::Chunk &chunk) {
    // The movie data is kept whole: its chunks are the frames and sound.
    static const std::vector<Rule> rules = {
        {"AVI ", "LIST hdrl", Action::Enter},
        {"AVI ", "LIST movi", Action::Keep},
        {"AVI ", "idx1", Action::Keep},
        {"AVIX", "LIST movi", Action::Keep},
        {"hdrl", "avih", Action::Keep},
        {"hdrl", "LIST strl", Action::Enter},
        {"hdrl", "LIST odml", Action::Enter},
        {"odml", "dmlh", Action::Keep},
        {"strl", "strh", Action::Keep},
        {"strl", "strf", Action::Keep},
        {"strl", "indx", Action::Keep},
        // The video's frame and aspect ratio, which players use to show it.
        {"strl", "vprp", Action::Keep},
    };
    return decide(chunk, rules, "JUNK");
}

Action wavAction(const Riff::Chunk &chunk) {
    static const std::vector<Rule> rules = {
        {"WAVE", "fmt ", Action::Keep}, {"WAVE", "data", Action::Keep},
        {"WAVE", "fact", Action::Keep}, {"WAVE", "cue ", Action::Keep},
        {"WAVE", "smpl", Action::Keep}, {"WAVE", "inst", Action::Keep},
        {"WAVE", "ds64", Action::Keep},
    };
    return decide(chunk, rules, "JUNK");
}

Action aiffAction(const Riff::Chunk &chunk) {
    static const std::vector<Rule> rules = {
        {"AIFF", "COMM", Action::Keep}, {"AIFF", "SSND", Action::Keep},
        {"AIFF", "INST", Action::Keep}, {"AIFF", "FVER", Action::Keep},
        {"AIFF", "MARK", Action::Edit}, {"AIFC", "COMM", Action::Keep},
        {"AIFC", "SSND", Action::Keep}, {"AIFC", "INST", Action::Keep},
        {"AIFC", "FVER", Action::Keep}, {"AIFC", "MARK", Action::Edit},
    };
    return decide(chunk, rules, "FLLR");
}

// Markers keep their places in the sound; their names, the bytes that even them out and whatever
// follows the last one are zeroed.
void blankMarkerNames(const Formats::Cursor &cursor, const Riff::Chunk &chunk) {
    const std::uint64_t end = chunk.start + ChunkHeader + chunk.size;
    std::uint64_t at = chunk.start + ChunkHeader;
    const std::uint64_t count = cursor.bigEndian(at, 2, end);
    at += 2;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t length = cursor.bigEndian(at + MarkerHead, 1, end);
        const std::uint64_t name = at + MarkerHead + 1;
        cursor.bytes(name, length, end);
        at = std::min(name + length + (length % 2 == 0 ? 1 : 0), end);
        cursor.file().zero(name, at - name);
    }
    cursor.file().zero(at, end - at);
}

}  // namespace

void Avi::clean(Formats::ByteFile &file) {
    static const Riff::Family avi{"AVI", "RIFF", {"AVI ", "AVIX"}, false, "JUNK", aviAction, {},
                                  {},    {}};
    Riff::clean(file, avi);
}

void Wav::clean(Formats::ByteFile &file) {
    static const Riff::Family wav{"WAV",     "RIFF", {"WAVE"},         false,           "JUNK",
                                  wavAction, {},     {"RF64", "BW64"}, {"id3 ", "ID3 "}};
    Riff::clean(file, wav);
}

// AIFF has no padding chunk of its own; "FLLR" is the filler name Apple's own writers use, and
// every reader skips a chunk it does not know.
void Aiff::clean(Formats::ByteFile &file) {
    static const Riff::Family aiff{
        "AIFF", "FORM", {"AIFF", "AIFC"}, true, "FLLR", aiffAction, blankMarkerNames, {}, {"ID3 "}};
    Riff::clean(file, aiff);
}

std::string Avi::remainingMetadata(Formats::ByteFile &file) {
    return Formats::reasonOf(findings, file);
}

std::string Wav::remainingMetadata(Formats::ByteFile &file) {
    return Formats::reasonOf(findings, file);
}

std::string Aiff::remainingMetadata(Formats::ByteFile &file) {
    return Formats::reasonOf(findings, file);
}
