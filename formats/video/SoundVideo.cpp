#include "formats/video/SoundVideo.h"

#include "formats/video/Riff.h"

#include <set>

namespace {

using Riff::Action;

bool among(const std::string &name, const std::set<std::string> &names) {
    return names.count(name) != 0;
}

Action aviAction(const Riff::Chunk &chunk) {
    if (chunk.name == "LIST") {
        if (chunk.listType == "INFO") {
            return Action::Blank;
        }
        return among(chunk.listType, {"hdrl", "strl"}) ? Action::Enter : Action::Keep;
    }
    return among(chunk.name, {"IDIT", "ISFT", "strd", "_PMX"}) ? Action::Blank : Action::Keep;
}

Action wavAction(const Riff::Chunk &chunk) {
    if (chunk.name == "LIST") {
        return chunk.listType == "INFO" ? Action::Blank : Action::Keep;
    }
    return among(chunk.name, {"bext", "iXML", "cart", "_PMX", "id3 ", "ID3 "}) ? Action::Blank
                                                                               : Action::Keep;
}

Action aiffAction(const Riff::Chunk &chunk) {
    return among(chunk.name, {"NAME", "AUTH", "(c) ", "ANNO", "COMT", "ID3 "}) ? Action::Blank
                                                                               : Action::Keep;
}

}  // namespace

void Avi::clean(Formats::ByteFile &file) {
    static const Riff::Family avi{"AVI", "RIFF", {"AVI ", "AVIX"}, false, "JUNK"};
    Riff::clean(file, avi, aviAction);
}

void Wav::clean(Formats::ByteFile &file) {
    static const Riff::Family wav{"WAV", "RIFF", {"WAVE"}, false, "JUNK"};
    Riff::clean(file, wav, wavAction);
}

// AIFF has no padding chunk of its own; "FLLR" is the filler name Apple's own writers use, and
// every reader skips a chunk it does not know.
void Aiff::clean(Formats::ByteFile &file) {
    static const Riff::Family aiff{"AIFF", "FORM", {"AIFF", "AIFC"}, true, "FLLR"};
    Riff::clean(file, aiff, aiffAction);
}
