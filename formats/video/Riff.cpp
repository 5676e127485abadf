#include "formats/video/Riff.h"

#include "formats/core/Limits.h"

#include <algorithm>

namespace {

constexpr std::size_t ChunkHeader = 8;  // name, size
constexpr std::size_t ListHeader = 12;  // name, size, type

class Walk {
  public:
    Walk(Formats::ByteFile &file, const Riff::Family &family)
        : cursor_(file, family.kind), family_(family) {}

    void run() {
        std::uint64_t at = 0;
        do {
            at = form(at);
        } while (at < cursor_.size());
    }

  private:
    Riff::Chunk chunkAt(std::uint64_t at, std::uint64_t end, const std::string &inside) const {
        if (end - at < ChunkHeader) {
            throw cursor_.damaged("a chunk header is cut short");
        }
        Riff::Chunk chunk{cursor_.bytes(at, 4, end), {}, inside, at, 0};
        chunk.size = family_.bigEndian ? cursor_.bigEndian(at + 4, 4, end)
                                       : cursor_.littleEndian(at + 4, 4, end);
        if (chunk.size > end - at - ChunkHeader) {
            throw cursor_.damaged("a chunk runs past the end of the file");
        }
        if ((chunk.name == "LIST" || chunk.name == family_.form) && chunk.size >= 4) {
            chunk.listType = cursor_.bytes(at + ChunkHeader, 4, end);
        }
        return chunk;
    }

    // A chunk's data is padded to an even length; a missing last pad byte is forgiven.
    static std::uint64_t after(const Riff::Chunk &chunk, std::uint64_t end) {
        return std::min(chunk.start + ChunkHeader + chunk.size + chunk.size % 2, end);
    }

    // Walks the form at `at`; returns where the next one starts.
    std::uint64_t form(std::uint64_t at) {
        const Riff::Chunk outer = chunkAt(at, cursor_.size(), "");
        const auto &types = family_.formTypes;
        if (outer.name != family_.form ||
            std::find(types.begin(), types.end(), outer.listType) == types.end()) {
            throw at == 0 ? Formats::Refused("not a valid " + family_.kind + " file")
                          : cursor_.damaged("data after the end");
        }
        const std::uint64_t end = after(outer, cursor_.size());
        struct Level {
            std::uint64_t end;
            std::string type;
        };
        std::vector<Level> levels{{end, outer.listType}};
        for (std::uint64_t next = at + ListHeader; !levels.empty();) {
            Formats::throwIfStopped();
            if (next >= levels.back().end) {
                next = levels.back().end;
                levels.pop_back();
                continue;
            }
            const Riff::Chunk chunk = chunkAt(next, levels.back().end, levels.back().type);
            next = after(chunk, levels.back().end);
            if (visit(chunk, next) == Riff::Action::Enter) {
                if (levels.size() >= Formats::Limits::ContainerDepth || chunk.listType.empty()) {
                    throw cursor_.damaged("a list nests too deeply or has no type");
                }
                levels.push_back({next, chunk.listType});
                next = chunk.start + ListHeader;
            }
        }
        return end;
    }

    // `next` is where the chunk's parent goes on, after the pad byte if the parent holds it.
    Riff::Action visit(const Riff::Chunk &chunk, std::uint64_t next) {
        const Riff::Action action = family_.decide(chunk);
        switch (action) {
            case Riff::Action::Blank:
                cursor_.file().write(chunk.start, family_.padding);
                [[fallthrough]];
            case Riff::Action::Zero:
                cursor_.file().zero(chunk.start + ChunkHeader, chunk.size);
                break;
            case Riff::Action::Edit:
                family_.edit(cursor_, chunk);
                break;
            case Riff::Action::Enter:
            case Riff::Action::Keep:
                break;
        }
        zeroPadByte(chunk, next);
        return action;
    }

    // The byte that evens out a chunk of odd size is read by nobody and could hold anything.
    void zeroPadByte(const Riff::Chunk &chunk, std::uint64_t next) {
        const std::uint64_t pad = chunk.start + ChunkHeader + chunk.size;
        if (chunk.size % 2 == 1 && pad < next) {
            cursor_.file().zero(pad, 1);
        }
    }

    Formats::Cursor cursor_;
    const Riff::Family &family_;
};

}  // namespace

namespace Riff {

void clean(Formats::ByteFile &file, const Family &family) {
    Walk(file, family).run();
}

}  // namespace Riff
