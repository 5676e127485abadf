#include "formats/sound/Ogg.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"
#include "formats/sound/TagCheck.h"

#include <taglib/flacpicture.h>
#include <taglib/oggfile.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>

namespace {

constexpr std::size_t PageHeaderSize = 27;
constexpr unsigned BeginsStream = 0x02;  // a page's header flag for a logical stream's first page

// The first packet of the first page, which names the codec.
Formats::Bytes firstPacketStart(const Formats::Bytes &ogg) {
    if (ogg.size() < PageHeaderSize || ogg.compare(0, 4, "OggS") != 0) {
        throw Formats::Refused("not an Ogg stream");
    }
    const std::size_t start = PageHeaderSize + Formats::byteAt(ogg, 26);
    return start < ogg.size() ? ogg.substr(start, 8) : Formats::Bytes();
}

// Whether a logical stream begins after another has begun to play: a chained file, whose later
// links TagLib would leave with their comments.
bool isChained(const Formats::Bytes &ogg) {
    bool playing = false;
    for (std::size_t at = 0;
         ogg.size() - at >= PageHeaderSize && ogg.compare(at, 4, "OggS") == 0;) {
        Formats::throwIfStopped();
        const std::size_t segments = Formats::byteAt(ogg, at + 26);
        if (ogg.size() - at < PageHeaderSize + segments) {
            break;
        }
        const bool begins = (Formats::byteAt(ogg, at + 5) & BeginsStream) != 0;
        if (begins && playing) {
            return true;
        }
        playing = playing || !begins;
        std::size_t length = PageHeaderSize + segments;
        for (std::size_t i = 0; i < segments; ++i) {
            length += Formats::byteAt(ogg, at + PageHeaderSize + i);
        }
        at = std::min(at + length, ogg.size());
    }
    return false;
}

std::unique_ptr<TagLib::Ogg::File> openStream(TagLib::IOStream &stream,
                                              const Formats::Bytes &codec) {
    if (codec.compare(0, 7, "\x01vorbis") == 0) {
        return std::make_unique<TagLib::Ogg::Vorbis::File>(&stream, false);
    }
    if (codec.compare(0, 8, "OpusHead") == 0) {
        return std::make_unique<TagLib::Ogg::Opus::File>(&stream, false);
    }
    // TagLib writes an Ogg FLAC comment block without the last-block flag, which breaks the
    // stream: such files are refused rather than written broken.
    throw Formats::Refused("an Ogg stream of a kind Parchwipe cannot clean",
                           Formats::Cause::Unsupported);
}

}  // namespace

namespace {

std::uint32_t pageChecksum(std::string_view page) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t value = i << 24;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & 0x80000000U) ? (value << 1) ^ 0x04C11DB7U : value << 1;
            }
            entries[i] = value;
        }
        return entries;
    }();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < page.size(); ++i) {
        const std::uint32_t byte = (i >= 22 && i < 26) ? 0 : Formats::byteAt(page, i);
        crc = crc << 8 ^ table[(crc >> 24 ^ byte) & 0xFF];
    }
    return crc;
}

// The header packets of every logical stream, read page by page; audio packets are skipped.
class HeaderReader {
  public:
    explicit HeaderReader(const Formats::Bytes &ogg) : ogg_(ogg) {}

    Formats::Findings run() {
        std::size_t at = 0;
        while (at < ogg_.size()) {
            if (ogg_.size() - at < PageHeaderSize || ogg_.compare(at, 4, "OggS") != 0) {
                throw Formats::Refused(
                    "damaged Ogg: a page does not start where the last one ends");
            }
            const std::size_t segments = Formats::byteAt(ogg_, at + 26);
            if (ogg_.size() - at < PageHeaderSize + segments) {
                throw Formats::Refused("damaged Ogg: a page runs past the end");
            }
            std::size_t length = PageHeaderSize + segments;
            for (std::size_t i = 0; i < segments; ++i) {
                length += Formats::byteAt(ogg_, at + PageHeaderSize + i);
            }
            if (length > ogg_.size() - at) {
                throw Formats::Refused("damaged Ogg: a page runs past the end");
            }
            const std::string_view page = std::string_view(ogg_).substr(at, length);
            if (pageChecksum(page) != Formats::littleEndian32(page, 22)) {
                throw Formats::Refused("damaged Ogg: a page fails its checksum");
            }
            readPage(page, segments);
            at += length;
        }
        return findings_;
    }

    std::size_t streamCount() const { return streams_.size(); }

  private:
    struct Stream {
        int packets = 0;
        Formats::Bytes packet;
        std::string codec;
        bool done = false;
    };

    void readPage(std::string_view page, std::size_t segments) {
        Stream &stream = streams_[Formats::littleEndian32(page, 14)];
        if ((Formats::byteAt(page, 5) & BeginsStream) != 0) {
            stream = Stream{};  // a chained link may reuse the serial of the one before it
        }
        std::size_t at = PageHeaderSize + segments;
        for (std::size_t i = 0; i < segments && !stream.done; ++i) {
            const std::size_t lacing = Formats::byteAt(page, PageHeaderSize + i);
            stream.packet.append(page.substr(at, lacing));
            at += lacing;
            if (lacing < 255) {
                headerPacket(stream);
                stream.packet.clear();
                ++stream.packets;
            }
        }
    }

    void headerPacket(Stream &stream) {
        const Formats::Bytes &packet = stream.packet;
        if (stream.packets == 0) {
            stream.codec = codecOf(packet);
            stream.done = stream.codec.empty();
            if (stream.done) {
                findings_.add("a stream Parchwipe cannot read");
            }
        } else if (stream.codec == "flac") {
            flacBlock(stream);
        } else {
            static const std::map<std::string, std::string> commentPrefix = {
                {"vorbis", "\x03vorbis"}, {"opus", "OpusTags"}, {"theora", "\x81theora"}};
            const std::string &prefix = commentPrefix.at(stream.codec);
            if (packet.compare(0, prefix.size(), prefix) != 0) {
                findings_.add("a damaged comment header");
            } else {
                comments(packet, prefix.size());
            }
            stream.done = true;
        }
    }

    void flacBlock(Stream &stream) {
        const Formats::Bytes &block = stream.packet;
        if (block.empty()) {
            findings_.add("a damaged FLAC header");
            stream.done = true;
            return;
        }
        const unsigned type = Formats::byteAt(block, 0) & 0x7F;
        if (type == 127) {  // an audio frame where a block should be: the last flag is missing
            findings_.add("a damaged FLAC header");
        } else if (type == 4) {
            comments(block, 4);
        } else if (type == 6) {
            findings_.add(Formats::Category::Thumbnails, "cover picture");
        } else if (type == 2) {
            findings_.add("application data");
        }
        stream.done = (Formats::byteAt(block, 0) & 0x80) != 0;
    }

    void comments(const Formats::Bytes &packet, std::size_t at) {
        if (!TagCheck::nameVorbisComments(std::string_view(packet).substr(at), findings_)) {
            findings_.add("a damaged comment header");
        }
    }

    static std::string codecOf(const Formats::Bytes &packet) {
        static const std::array<std::pair<std::string_view, const char *>, 4> codecs = {{
            {"\x01vorbis", "vorbis"},
            {"OpusHead", "opus"},
            {"\x7F"
             "FLAC",
             "flac"},
            {"\x80theora", "theora"},
        }};
        for (const auto &[signature, codec] : codecs) {
            if (packet.compare(0, signature.size(), signature) == 0) {
                return codec;
            }
        }
        return {};
    }

    const Formats::Bytes &ogg_;
    std::map<std::uint32_t, Stream> streams_;
    Formats::Findings findings_;
};

}  // namespace

namespace Ogg {

Formats::Bytes clean(const Formats::Bytes &ogg) {
    if (isChained(ogg)) {
        throw Formats::Refused("chained Ogg streams cannot be cleaned",
                               Formats::Cause::Unsupported);
    }
    const Formats::Bytes codec = firstPacketStart(ogg);
    // TagLib rewrites the first logical stream alone and copies pages it cannot read as it finds
    // them, so damaged pages or further streams would leave with the result.
    HeaderReader pages(ogg);
    pages.run();
    if (pages.streamCount() > 1) {
        throw Formats::Refused("Ogg files of several streams cannot be cleaned",
                               Formats::Cause::Unsupported);
    }
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(ogg.data(), static_cast<unsigned int>(ogg.size())));
    const auto file = openStream(stream, codec);
    auto *comments = dynamic_cast<TagLib::Ogg::XiphComment *>(file->tag());
    if (!file->isValid() || comments == nullptr) {
        throw Formats::Refused("damaged Ogg stream");
    }
    comments->removeAllFields();
    comments->removeAllPictures();
    if (!file->save()) {
        throw Formats::Refused("damaged Ogg stream: its header pages could not be written");
    }
    const TagLib::ByteVector &result = *stream.data();
    return Formats::Bytes(result.data(), result.size());
}

Formats::Findings check(const Formats::Bytes &ogg) {
    if (ogg.compare(0, 4, "OggS") != 0) {
        throw Formats::Refused("is not an Ogg stream");
    }
    return HeaderReader(ogg).run();
}

std::string remainingMetadata(const Formats::Bytes &ogg) {
    return Formats::reasonOf(check, ogg);
}

}  // namespace Ogg
