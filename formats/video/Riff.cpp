#include "formats/video/Riff.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"

#include <algorithm>

namespace {

constexpr std::size_t ChunkHeader = 8;  // name, size
constexpr std::size_t ListHeader = 12;  // name, size, type
// A form holds the header LIST, which holds stream LISTs: nothing we change lies deeper.
constexpr std::size_t MaxDepth = 4;

class Walk {
  public:
    Walk(Formats::ByteFile &file, const Riff::Family &family,
         const std::function<Riff::Action(const Riff::Chunk &)> &decide)
        : file_(file), family_(family), decide_(decide) {}

    void run() {
        std::uint64_t at = 0;
        do {
            at = form(at);
        } while (at < file_.size());
    }

  private:
    Formats::Refused damaged(const std::string &why) const {
        return Formats::Refused("damaged " + family_.kind + ": " + why);
    }

    std::uint32_t number(const Formats::Bytes &bytes, std::size_t at) const {
        return family_.bigEndian ? Formats::bigEndian32(bytes, at)
                                 : Formats::littleEndian32(bytes, at);
    }

    Riff::Chunk chunkAt(std::uint64_t at, std::uint64_t end) const {
        if (end - at < ChunkHeader) {
            throw damaged("a chunk header is cut short");
        }
        const Formats::Bytes header = file_.readUpTo(at, ListHeader);
        Riff::Chunk chunk{header.substr(0, 4), {}, at, number(header, 4)};
        if (chunk.size > end - at - ChunkHeader) {
            throw damaged("a chunk runs past the end of the file");
        }
        if ((chunk.name == "LIST" || chunk.name == family_.form) && chunk.size >= 4) {
            chunk.listType = header.substr(ChunkHeader, 4);
        }
        return chunk;
    }

    // A chunk's data is padded to an even length; a missing last pad byte is forgiven.
    static std::uint64_t after(const Riff::Chunk &chunk, std::uint64_t end) {
        return std::min(chunk.start + ChunkHeader + chunk.size + chunk.size % 2, end);
    }

    // Walks the form at `at`; returns where the next one starts.
    std::uint64_t form(std::uint64_t at) {
        const Riff::Chunk outer = chunkAt(at, file_.size());
        const auto &types = family_.formTypes;
        if (outer.name != family_.form ||
            std::find(types.begin(), types.end(), outer.listType) == types.end()) {
            throw at == 0 ? Formats::Refused("not a valid " + family_.kind + " file")
                          : damaged("data after the end");
        }
        const std::uint64_t end = after(outer, file_.size());
        std::vector<std::uint64_t> ends{end};
        for (std::uint64_t next = at + ListHeader; !ends.empty();) {
            Formats::throwIfStopped();
            if (next >= ends.back()) {
                next = ends.back();
                ends.pop_back();
                continue;
            }
            next = visit(chunkAt(next, ends.back()), ends);
        }
        return end;
    }

    std::uint64_t visit(const Riff::Chunk &chunk, std::vector<std::uint64_t> &ends) {
        switch (decide_(chunk)) {
            case Riff::Action::Enter:
                if (ends.size() >= MaxDepth) {
                    throw damaged("lists nest too deeply");
                }
                if (chunk.listType.empty()) {
                    throw damaged("a list without its type");
                }
                ends.push_back(after(chunk, ends.back()));
                return chunk.start + ListHeader;
            case Riff::Action::Blank:
                blank(chunk);
                break;
            case Riff::Action::Keep:
                break;
        }
        return after(chunk, ends.back());
    }

    void blank(const Riff::Chunk &chunk) {
        file_.zero(chunk.start + ChunkHeader, chunk.size);
        file_.write(chunk.start, family_.padding);
    }

    Formats::ByteFile &file_;
    const Riff::Family &family_;
    const std::function<Riff::Action(const Riff::Chunk &)> &decide_;
};

}  // namespace

namespace Riff {

void clean(Formats::ByteFile &file, const Family &family,
           const std::function<Action(const Chunk &)> &decide) {
    Walk(file, family, decide).run();
}

}  // namespace Riff
