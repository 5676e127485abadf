#include "formats/video/Riff.h"

#include "formats/core/Limits.h"

#include <algorithm>
#include <map>

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
        } while (at < cursor_.size() && !endsAt(at));
    }

  private:
    bool isForm(const std::string &name) const {
        const auto &large = family_.largeForms;
        return name == family_.form || std::find(large.begin(), large.end(), name) != large.end();
    }

    // Whether the file ends after the form that ends at `at`: zeros that pad it are kept, the
    // family's trailing tag is cut off.
    bool endsAt(std::uint64_t at) {
        const std::uint64_t size = cursor_.size();
        if (cursor_.allZero(at, size - at, size)) {
            return true;
        }
        const auto &tags = family_.trailingTags;
        if (size - at < 4 ||
            std::find(tags.begin(), tags.end(), cursor_.bytes(at, 4, size)) == tags.end()) {
            return false;
        }
        if (after(chunkAt(at, size, ""), size) != size) {
            throw cursor_.damaged("data after the end");
        }
        cursor_.file().truncate(at);
        return true;
    }

    // A large form states its sizes once more in 64 bits, in a ds64 chunk first in it: its own,
    // the sound data's, then a table of the other chunks too large for 32 bits.
    void readLargeSizes(const std::string &form, std::uint64_t at) {
        const std::uint64_t head = at + ListHeader, size = cursor_.size();
        if (cursor_.bytes(head, 4, size) != "ds64") {
            throw cursor_.damaged("a large form does not start with its sizes");
        }
        const std::uint64_t data = head + ChunkHeader;
        const std::uint64_t end = data + cursor_.littleEndian(head + 4, 4, size);
        largeSizes_ = {{form, cursor_.littleEndian(data, 8, end)},
                       {"data", cursor_.littleEndian(data + 8, 8, end)}};
        const std::uint64_t count = cursor_.littleEndian(data + 24, 4, end);
        for (std::uint64_t i = 0; i < count; ++i) {
            Formats::throwIfStopped();
            const std::uint64_t entry = data + 28 + 12 * i;
            largeSizes_[cursor_.bytes(entry, 4, end)] = cursor_.littleEndian(entry + 4, 8, end);
        }
    }

    // `end` may lie past the file by as much as a form's size may overstate it.
    Riff::Chunk chunkAt(std::uint64_t at, std::uint64_t end, const std::string &inside) const {
        constexpr std::uint64_t SizeInLargeForm = 0xFFFFFFFF;
        if (end - at < ChunkHeader) {
            throw cursor_.damaged("a chunk header is cut short");
        }
        Riff::Chunk chunk{cursor_.bytes(at, 4, end), {}, inside, at, 0};
        chunk.size = family_.bigEndian ? cursor_.bigEndian(at + 4, 4, end)
                                       : cursor_.littleEndian(at + 4, 4, end);
        if (chunk.size == SizeInLargeForm && !largeSizes_.empty()) {
            const auto large = largeSizes_.find(chunk.name);
            if (large == largeSizes_.end()) {
                throw cursor_.damaged("a chunk's size is in no ds64 entry");
            }
            chunk.size = large->second;
        }
        if (chunk.size > end - at - ChunkHeader) {
            throw cursor_.damaged("a chunk runs past the end of the file");
        }
        if ((chunk.name == "LIST" || isForm(chunk.name)) && chunk.size >= 4) {
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
        const std::string name = cursor_.bytes(at, 4, cursor_.size());
        largeSizes_.clear();
        if (name != family_.form && isForm(name)) {
            readLargeSizes(name, at);
        }
        const Riff::Chunk outer =
            chunkAt(at, cursor_.size() + Formats::Limits::FormSizeOverstated, "");
        const auto &types = family_.formTypes;
        if (!isForm(outer.name) ||
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
    std::map<std::string, std::uint64_t> largeSizes_;  // by chunk name, in a large form
};

}  // namespace

namespace Riff {

void clean(Formats::ByteFile &file, const Family &family) {
    Walk(file, family).run();
}

}  // namespace Riff
