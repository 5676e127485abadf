#include "formats/pictures/Gif.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"

#include <string_view>

namespace {

constexpr char Trailer = 0x3B;
constexpr char ImageSeparator = 0x2C;
constexpr char ExtensionIntroducer = 0x21;
constexpr unsigned char GraphicControl = 0xF9;
constexpr unsigned char PlainText = 0x01;
constexpr unsigned char Comment = 0xFE;
constexpr unsigned char Application = 0xFF;

// A frame's timing: flags, delay and transparent colour.
constexpr std::size_t TimingBlockSize = 4;
// The animation loop's sub-block: its id, then the loop count.
constexpr std::size_t LoopBlockSize = 3;
constexpr char LoopBlockId = 0x01;

Formats::Refused damaged() {
    return Formats::Refused("damaged GIF: a block runs past the end");
}

// Walks the picture block by block, copying the ones that draw it.
class Filter {
  public:
    explicit Filter(const Formats::Bytes &gif) : gif_(gif) {}

    Formats::Bytes run() {
        if (gif_.compare(0, 6, "GIF87a") != 0 && gif_.compare(0, 6, "GIF89a") != 0) {
            throw Formats::Refused("not a GIF picture");
        }
        keep(13 + colourTableSize(10));  // header, screen descriptor, global colour table
        for (char block = byte(at_); block != Trailer; block = byte(at_)) {
            Formats::throwIfStopped();
            if (block == ImageSeparator) {
                keep(10 + colourTableSize(at_ + 9) + 1);  // descriptor, table, code size
                keep(subBlocksSize(at_));
            } else if (block == ExtensionIntroducer) {
                extension();
            } else {
                throw Formats::Refused("damaged GIF: unknown block");
            }
        }
        keep(1);
        return result_;
    }

  private:
    void extension() {
        const auto label = static_cast<unsigned char>(byte(at_ + 1));
        const std::size_t size = 2 + subBlocksSize(at_ + 2);
        const bool application = label == Application && byte(at_ + 2) == 11;
        const Formats::Bytes identifier = application ? gif_.substr(at_ + 3, 11) : "";
        if (label == PlainText || identifier == "ICCRGBG1012") {
            keep(size);
        } else if (label == GraphicControl) {
            keepOneSubBlock(2, size,
                            [](std::string_view block) { return block.size() == TimingBlockSize; });
        } else if (identifier == "NETSCAPE2.0" || identifier == "ANIMEXTS1.0") {
            keepOneSubBlock(14, size, [](std::string_view block) {
                return block.size() == LoopBlockSize && block[0] == LoopBlockId;
            });
        } else {
            at_ += size;
        }
    }

    // Of an extension of the given size, keeps its header and the first of its sub-blocks that
    // is wanted, or nothing when none is: other sub-blocks can carry anything.
    template <typename Wanted>
    void keepOneSubBlock(std::size_t headerSize, std::size_t size, Wanted &&wanted) {
        const std::size_t end = at_ + size - 1;  // at the terminator
        for (std::size_t block = at_ + headerSize; block < end;
             block += 1 + Formats::byteAt(gif_, block)) {
            const std::string_view data(gif_.data() + block + 1, Formats::byteAt(gif_, block));
            if (wanted(data)) {
                result_.append(gif_, at_, headerSize);
                result_.append(gif_, block, 1 + data.size());
                result_ += '\0';
                break;
            }
        }
        at_ += size;
    }

    // Bytes of the colour table that the packed field at the given place announces.
    std::size_t colourTableSize(std::size_t packedAt) const {
        const auto packed = static_cast<unsigned char>(byte(packedAt));
        return (packed & 0x80) ? 3u << ((packed & 0x07) + 1) : 0;
    }

    // Bytes of the run of data sub-blocks at the given place, its terminator included.
    std::size_t subBlocksSize(std::size_t start) const {
        std::size_t at = start;
        while (const auto length = static_cast<unsigned char>(byte(at))) {
            at += 1 + length;
        }
        return at + 1 - start;
    }

    char byte(std::size_t at) const {
        if (at >= gif_.size()) {
            throw damaged();
        }
        return gif_[at];
    }

    void keep(std::size_t size) {
        if (size > gif_.size() - at_) {
            throw damaged();
        }
        result_.append(gif_, at_, size);
        at_ += size;
    }

    const Formats::Bytes &gif_;
    Formats::Bytes result_;
    std::size_t at_ = 0;
};

}  // namespace

namespace Gif {

Formats::Bytes clean(const Formats::Bytes &gif) {
    return Filter(gif).run();
}

// Reads the result on its own terms: every extension by label and identifier, and what lies
// after the trailer.
Formats::Findings check(const Formats::Bytes &gif) {
    const std::size_t size = gif.size();
    if (size < 13 || (gif.compare(0, 6, "GIF89a") != 0 && gif.compare(0, 6, "GIF87a") != 0)) {
        throw Formats::Refused("is not a GIF picture");
    }
    const auto tableAfter = [&](std::size_t flags) -> std::size_t {
        const unsigned packed = Formats::byteAt(gif, flags);
        return packed >= 0x80 ? 3 * (std::size_t{2} << (packed % 8)) : 0;
    };
    const auto skipSubBlocks = [&](std::size_t pos) {
        while (pos < size && gif[pos] != 0) {
            pos += 1 + Formats::byteAt(gif, pos);
        }
        return pos + 1;
    };
    // Whether a sub-block of the given length and then the terminator stand at `at`.
    const auto onlyOneSubBlock = [&](std::size_t at, unsigned length) {
        return at + length + 1 < size && Formats::byteAt(gif, at) == length &&
               gif[at + 1 + length] == 0;
    };
    Formats::Findings findings;
    std::size_t pos = 13 + tableAfter(10);
    while (pos < size && gif[pos] != Trailer) {
        Formats::throwIfStopped();
        if (gif[pos] == ImageSeparator && pos + 10 <= size) {
            pos = skipSubBlocks(pos + 11 + tableAfter(pos + 9));
            continue;
        }
        if (gif[pos] != ExtensionIntroducer || pos + 2 >= size) {
            throw Formats::Refused("GIF blocks cannot be read");
        }
        const unsigned label = Formats::byteAt(gif, pos + 1);
        const auto application = [&](std::string_view identifier) {
            return label == Application &&
                   std::string_view(gif).substr(pos + 2, 12) == "\x0B" + std::string(identifier);
        };
        if (label == Comment) {
            findings.add(Formats::Category::Descriptions, "a comment");
        } else if (application("NETSCAPE2.0") || application("ANIMEXTS1.0")) {
            if (!onlyOneSubBlock(pos + 14, 3) || Formats::byteAt(gif, pos + 15) != 1) {
                findings.add("extra data in the animation loop block");
            }
        } else if (label == Application) {
            if (!application("ICCRGBG1012")) {
                findings.add("application block " + gif.substr(pos + 3, 8));
            }
        } else if (label == GraphicControl && !onlyOneSubBlock(pos + 2, 4)) {
            findings.add("extra data in a frame's timing block");
        } else if (label != GraphicControl && label != PlainText) {
            findings.add("an unknown extension");
        }
        pos = skipSubBlocks(pos + 2);
    }
    if (pos >= size) {
        throw Formats::Refused("GIF ends without its trailer");
    }
    if (pos + 1 != size) {
        findings.add("data after the end");
    }
    return findings;
}

std::string remainingMetadata(const Formats::Bytes &gif) {
    return Formats::reasonOf(check, gif);
}

}  // namespace Gif
