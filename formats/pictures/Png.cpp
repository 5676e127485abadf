#include "formats/pictures/Png.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"
#include "formats/pictures/ExifDirectory.h"

#include <map>
#include <set>

namespace {

const Formats::Bytes Signature("\x89PNG\r\n\x1a\n", 8);
constexpr std::size_t ChunkFrame = 12;  // length, type and CRC around the data

// The first letter's case marks a chunk a decoder cannot do without.
bool isCritical(const std::string &type) {
    return type[0] >= 'A' && type[0] <= 'Z';
}

// A viewer refuses a picture with another critical chunk, so none can be needed to draw it.
bool isKnownCritical(const std::string &type) {
    return type == "IHDR" || type == "PLTE" || type == "IDAT" || type == "IEND";
}

bool isLetters(const std::string &type) {
    for (char c : type) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
            return false;
        }
    }
    return true;
}

bool changesTheLook(const std::string &type) {
    static const std::set<std::string> kept = {"tRNS", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT",
                                               "pHYs", "bKGD", "cICP", "acTL", "fcTL", "fdAT"};
    return kept.count(type) != 0;
}

}  // namespace

namespace Png {

Formats::Bytes clean(const Formats::Bytes &png) {
    if (png.compare(0, Signature.size(), Signature) != 0) {
        throw Formats::Refused("not a PNG picture");
    }
    Formats::Bytes result = Signature;
    std::size_t at = Signature.size();
    std::string type;
    while (type != "IEND") {
        Formats::throwIfStopped();
        if (png.size() - at < ChunkFrame ||
            Formats::bigEndian32(png, at) > png.size() - at - ChunkFrame) {
            throw Formats::Refused("damaged PNG: a chunk runs past the end");
        }
        const std::size_t chunkSize = ChunkFrame + Formats::bigEndian32(png, at);
        type = png.substr(at + 4, 4);
        if (!isLetters(type)) {
            throw Formats::Refused("damaged PNG: a chunk has no valid name");
        }
        if (isCritical(type) && !isKnownCritical(type)) {
            throw Formats::Refused("PNG holds a chunk no viewer can draw: " + type,
                                   Formats::Cause::Unsupported);
        }
        if (isCritical(type) || changesTheLook(type)) {
            result.append(png, at, chunkSize);
        }
        at += chunkSize;
    }
    return result;
}

namespace {

using Formats::Category;

// A text chunk's category, told by its keyword (the text before its first zero byte).
Category textCategory(std::string_view data) {
    static const std::map<std::string_view, Category> keywords = {
        {"Author", Category::People},           {"Copyright", Category::People},
        {"Title", Category::Descriptions},      {"Description", Category::Descriptions},
        {"Comment", Category::Descriptions},    {"Creation Time", Category::Dates},
        {"Software", Category::Software},       {"Source", Category::Device},
        {"Disclaimer", Category::Descriptions}, {"Warning", Category::Descriptions}};
    const auto found = keywords.find(data.substr(0, data.find('\0')));
    return found == keywords.end() ? Category::Other : found->second;
}

// Names a chunk no picture needs: text by its keyword, Exif by its tags, time as a date.
void nameChunk(const std::string &type, std::string_view data, Formats::Findings &findings) {
    if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
        findings.add(textCategory(data), type);
    } else if (type == "tIME") {
        findings.add(Category::Dates, type);
    } else if (type == "eXIf") {
        try {
            ExifDirectory::nameTags(data, findings);
        } catch (const Formats::Refused &) {
            // What a damaged Exif holds beyond what was named cannot be told.
        }
        findings.add(type);
    } else {
        findings.add(type);
    }
}

}  // namespace

// Reads the result on its own terms: every chunk by name, and what lies after the end.
Formats::Findings check(const Formats::Bytes &png) {
    static const std::set<std::string> drawing = {"IHDR", "PLTE", "IDAT", "IEND", "tRNS", "gAMA",
                                                  "cHRM", "sRGB", "iCCP", "sBIT", "pHYs", "bKGD",
                                                  "cICP", "acTL", "fcTL", "fdAT"};
    if (png.compare(0, Signature.size(), Signature) != 0) {
        throw Formats::Refused("is not a PNG picture");
    }
    Formats::Findings findings;
    std::size_t next = Signature.size();
    for (;;) {
        Formats::throwIfStopped();
        if (next + 8 > png.size()) {
            throw Formats::Refused("PNG ends inside a chunk");
        }
        const std::uint64_t end =
            std::uint64_t{next} + ChunkFrame + Formats::bigEndian32(png, next);
        const std::string name = png.substr(next + 4, 4);
        if (end > png.size()) {
            throw Formats::Refused("PNG ends inside a chunk");
        }
        if (drawing.count(name) == 0) {
            nameChunk(name, std::string_view(png).substr(next + 8, end - ChunkFrame - next),
                      findings);
        }
        next = static_cast<std::size_t>(end);
        if (name == "IEND") {
            break;
        }
    }
    if (next != png.size()) {
        findings.add("data after the end");
    }
    return findings;
}

std::string remainingMetadata(const Formats::Bytes &png) {
    return Formats::reasonOf(check, png);
}

}  // namespace Png
