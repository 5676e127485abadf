#include "formats/sound/Aac.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"
#include "formats/sound/TagCheck.h"
#include "formats/sound/TagSpan.h"

#include <string_view>

namespace {

constexpr std::size_t AdtsHeader = 7;
constexpr int FramesBetweenStopChecks = 4096;

// The length of the ADTS frame that starts at `at`, or 0 when none does: twelve sync bits, then
// a layer of 00 (which tells AAC from MP3), and a length that covers at least its header.
std::size_t adtsFrameLength(std::string_view aac, std::size_t at) {
    if (aac.size() - at < AdtsHeader || Formats::byteAt(aac, at) != 0xFF ||
        (Formats::byteAt(aac, at + 1) & 0xF6) != 0xF0) {
        return 0;
    }
    const std::size_t length = (Formats::byteAt(aac, at + 3) & 0x03) << 11 |
                               Formats::byteAt(aac, at + 4) << 3 |
                               Formats::byteAt(aac, at + 5) >> 5;
    return length >= AdtsHeader ? length : 0;
}

}  // namespace

namespace Aac {

Formats::Bytes clean(const Formats::Bytes &aac) {
    const std::size_t start = TagSpan::afterLeadingTags(aac);
    const std::size_t end = TagSpan::endBeforeTags(aac, start, TagSpan::Frames::Walked);
    for (std::size_t at = start, frames = 0; at < end; ++frames) {
        if (frames % FramesBetweenStopChecks == 0) {
            Formats::throwIfStopped();
        }
        const std::size_t length = adtsFrameLength(aac, at);
        if (length == 0 || length > end - at) {
            throw Formats::Refused(at == start ? "damaged AAC: no ADTS frame where the tags end"
                                               : "damaged AAC: data that is not sound among its "
                                                 "frames");
        }
        at += length;
    }
    if (end == start) {
        throw Formats::Refused("damaged AAC: no ADTS frame where the tags end");
    }
    return aac.substr(start, end - start);
}

Formats::Findings check(const Formats::Bytes &aac) {
    Formats::Findings findings;
    std::size_t at = 0;
    while (TagCheck::isId3v2Header(aac, at)) {
        const std::size_t size = (Formats::byteAt(aac, at + 6) & 0x7F) << 21 |
                                 (Formats::byteAt(aac, at + 7) & 0x7F) << 14 |
                                 (Formats::byteAt(aac, at + 8) & 0x7F) << 7 |
                                 (Formats::byteAt(aac, at + 9) & 0x7F);
        const std::size_t end = std::min(aac.size(), at + 10 + size);
        TagCheck::nameId3Frames(std::string_view(aac).substr(at, end - at), findings);
        at = end;
    }
    while (at < aac.size()) {
        const std::size_t length = adtsFrameLength(aac, at);
        if (length == 0 || length > aac.size() - at) {
            TagCheck::nameTrailingData(std::string_view(aac).substr(at), findings);
            break;
        }
        at += length;
    }
    return findings;
}

}  // namespace Aac
