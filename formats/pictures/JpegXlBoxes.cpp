#include "formats/pictures/JpegXlBoxes.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"

#include <brotli/decode.h>

namespace JpegXlBoxes {

namespace {

const Formats::Bytes Signature("\0\0\0\x0CJXL \r\n\x87\n", 12);
// More than any Exif or XMP a camera writes: a larger unpacked box is a bomb.
constexpr std::size_t MaxUnpacked = std::size_t(64) << 20;

Formats::Refused damaged(const std::string &what) {
    return Formats::Refused("damaged JPEG XL: " + what);
}

std::uint64_t bigEndian64(const Formats::Bytes &bytes, std::size_t at) {
    return std::uint64_t{Formats::bigEndian32(bytes, at)} << 32 |
           Formats::bigEndian32(bytes, at + 4);
}

}  // namespace

bool isBareCodestream(const Formats::Bytes &jxl) {
    return jxl.rfind("\xFF\x0A", 0) == 0;
}

std::vector<Box> boxesOf(const Formats::Bytes &jxl) {
    if (jxl.compare(0, Signature.size(), Signature) != 0) {
        throw damaged("no signature box");
    }
    std::vector<Box> boxes;
    for (std::size_t at = 0; at < jxl.size();) {
        Formats::throwIfStopped();
        if (jxl.size() - at < 8) {
            throw damaged("a box header runs past the end");
        }
        Box box{jxl.substr(at + 4, 4), at, 8, Formats::bigEndian32(jxl, at)};
        if (box.size == 1) {
            if (jxl.size() - at < 16) {
                throw damaged("a box header runs past the end");
            }
            const std::uint64_t large = bigEndian64(jxl, at + 8);
            box.header = 16;
            box.size = large > jxl.size() - at ? 0 : static_cast<std::size_t>(large);
            if (box.size == 0) {
                throw damaged("a box runs past the end");
            }
        } else if (box.size == 0) {
            box.size = jxl.size() - at;
        }
        if (box.size < box.header || box.size > jxl.size() - at) {
            throw damaged("a box runs past the end");
        }
        boxes.push_back(box);
        at += box.size;
    }
    return boxes;
}

std::pair<std::string, Formats::Bytes> unpacked(const std::string &brobPayload) {
    if (brobPayload.size() < 4) {
        throw damaged("a compressed box is too short");
    }
    BrotliDecoderState *state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    std::size_t availableIn = brobPayload.size() - 4;
    const auto *next = reinterpret_cast<const std::uint8_t *>(brobPayload.data() + 4);
    Formats::Bytes content;
    BrotliDecoderResult result = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
    while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT && content.size() <= MaxUnpacked) {
        std::uint8_t block[1 << 16];
        std::size_t availableOut = sizeof block;
        std::uint8_t *out = block;
        result =
            BrotliDecoderDecompressStream(state, &availableIn, &next, &availableOut, &out, nullptr);
        content.append(reinterpret_cast<const char *>(block), sizeof block - availableOut);
    }
    BrotliDecoderDestroyInstance(state);
    if (result != BROTLI_DECODER_RESULT_SUCCESS || content.size() > MaxUnpacked) {
        throw damaged("a compressed box cannot be unpacked");
    }
    return {brobPayload.substr(0, 4), content};
}

}  // namespace JpegXlBoxes
