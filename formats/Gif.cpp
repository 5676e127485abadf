#include "formats/Gif.h"

#include "formats/ByteOrder.h"
#include "formats/Findings.h"

namespace {

constexpr char Trailer = 0x3B;
constexpr char ImageSeparator = 0x2C;
constexpr char ExtensionIntroducer = 0x21;
constexpr unsigned char GraphicControl = 0xF9;
constexpr unsigned char PlainText = 0x01;
constexpr unsigned char Comment = 0xFE;
constexpr unsigned char Application = 0xFF;

// Application blocks a viewer needs: the animation loop (two spellings) and the ICC profile.
bool isKeptApplication(const Formats::Bytes &identifier) {
    return identifier == "NETSCAPE2.0" || identifier == "ANIMEXTS1.0" ||
           identifier == "ICCRGBG1012";
}

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
        const bool kept = label == GraphicControl || label == PlainText ||
                          (label == Application && byte(at_ + 2) == 11 &&
                           isKeptApplication(gif_.substr(at_ + 3, 11)));
        if (kept) {
            keep(size);
        } else {
            at_ += size;
        }
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
std::string remainingMetadata(const Formats::Bytes &gif) {
    const std::size_t size = gif.size();
    if (size < 13 || (gif.compare(0, 6, "GIF89a") != 0 && gif.compare(0, 6, "GIF87a") != 0)) {
        return "is not a GIF picture";
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
    Formats::Findings findings;
    std::size_t pos = 13 + tableAfter(10);
    while (pos < size && gif[pos] != Trailer) {
        if (gif[pos] == ImageSeparator && pos + 10 <= size) {
            pos = skipSubBlocks(pos + 11 + tableAfter(pos + 9));
            continue;
        }
        if (gif[pos] != ExtensionIntroducer || pos + 2 >= size) {
            return "GIF blocks cannot be read";
        }
        const unsigned label = Formats::byteAt(gif, pos + 1);
        if (label == Comment) {
            findings.add("a comment");
        } else if (label == Application) {
            const std::string name = gif.substr(pos + 3, 8);
            if (name != "NETSCAPE" && name != "ANIMEXTS" && name != "ICCRGBG1") {
                findings.add("application block " + name);
            }
        } else if (label != GraphicControl && label != PlainText) {
            findings.add("an unknown extension");
        }
        pos = skipSubBlocks(pos + 2);
    }
    if (pos >= size) {
        return "GIF ends without its trailer";
    }
    if (pos + 1 != size) {
        findings.add("data after the end");
    }
    return findings.reason();
}

}  // namespace Gif
