#include "formats/pictures/Psd.h"

#include "formats/Kinds.h"
#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"
#include "formats/core/Stop.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <set>
#include <string_view>

namespace Psd {

namespace {

using Formats::Bytes;
using Formats::Refused;

// Signature, version, reserved bytes, channels, height, width, depth, colour mode.
constexpr std::size_t HeaderSize = 26;
constexpr std::size_t ResourceHeaderSize = 4 + 2;  // signature and id, then the name

struct Range {
    std::uint16_t first;
    std::uint16_t last;
};

// The image resources a reader needs to show the image as it was made; every other one goes.
constexpr std::array<Range, 18> DrawingResources = {{
    {0x03ED, 0x03EF},  // resolution, channel names, display information
    {0x03F1, 0x03FB},  // border, background, print flags, halftoning, transfer, duotone
    {0x03FE, 0x03FE},  // quick mask
    {0x0400, 0x0400},  // layer state
    {0x0402, 0x0402},  // layer groups
    {0x0408, 0x0408},  // grid and guides
    {0x040D, 0x040D},  // global lighting angle
    {0x040F, 0x040F},  // ICC profile
    {0x0411, 0x0413},  // untagged flag, effects visible, spot halftone
    {0x0415, 0x0417},  // channel names, colour table count, transparent index
    {0x0419, 0x0419},  // global altitude
    {0x041D, 0x041D},  // channel identifiers
    {0x0426, 0x0426},  // print scale
    {0x0428, 0x042E},  // pixel aspect ratio, layer comps, alternate colours, selection, HDR
    {0x0430, 0x0436},  // layer groups enabled, samplers, measuring, timeline, display, onion
    {0x0438, 0x0438},  // count
    {0x0440, 0x0440},  // path selection
    {0x07D0, 0x0BB8},  // paths, clipping path name, origin path
}};

bool drawsTheImage(std::uint16_t id) {
    return id == 0x2710 ||  // print flags
           std::any_of(DrawingResources.begin(), DrawingResources.end(),
                       [id](const Range &range) { return id >= range.first && id <= range.last; });
}

// The length of `width` bytes stored at `at` and the end of the section it opens, which must lie
// within `limit`.
std::size_t sectionEnd(const Bytes &psd, std::size_t at, std::size_t limit, std::size_t width = 4) {
    if (at > limit || limit - at < width) {
        throw Refused("damaged PSD: a section runs past the end");
    }
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < width; ++i) {
        length = length << 8 | Formats::byteAt(psd, at + i);
    }
    if (length > limit - at - width) {
        throw Refused("damaged PSD: a section runs past the end");
    }
    return at + width + static_cast<std::size_t>(length);
}

Bytes bigEndian(std::uint64_t value, std::size_t width) {
    Bytes bytes(width, '\0');
    for (std::size_t i = 0; i < width; ++i) {
        bytes[width - 1 - i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return bytes;
}

Bytes paddedTo4(Bytes bytes) {
    bytes.resize((bytes.size() + 3) / 4 * 4, '\0');
    return bytes;
}

// The end of the resource block at `at`, within the section that ends at `end`.
std::size_t blockEnd(const Bytes &psd, std::size_t at, std::size_t end) {
    if (at + ResourceHeaderSize + 1 > end) {
        throw Refused("damaged PSD: an image resource runs past its section");
    }
    const std::size_t name = ResourceHeaderSize + ((1 + Formats::byteAt(psd, at + 6) + 1) & ~1u);
    const std::size_t data = sectionEnd(psd, at + name, end);
    return std::min(data + (data - at) % 2, end);  // data is padded to an even length
}

// Whether the resource block at `at` starts as one should.
bool isResource(const Bytes &psd, std::size_t at) {
    for (const char *signature : {"8BIM", "MeSa", "AgHg", "PHUT", "DCSR"}) {
        if (psd.compare(at, 4, signature) == 0) {
            return true;
        }
    }
    return false;
}

constexpr std::uint16_t VersionInfo = 0x0421;

// The version information tells readers whether the file's own composite image may be shown, so
// it stays with its flag and version numbers; the names of the application that wrote the file
// and of the one meant to read it become zeros of the same length.
Bytes withoutApplicationNames(const Bytes &psd, std::size_t at, std::size_t end) {
    Bytes block = psd.substr(at, end - at);
    const std::size_t data =
        ResourceHeaderSize + ((1 + Formats::byteAt(psd, at + 6) + 1) & ~1u) + 4;
    const std::size_t dataEnd = data + Formats::bigEndian32(block, data - 4);  // within the block
    std::size_t name = data + 5;  // past the version number and the flag
    for (int i = 0; i < 2; ++i) {
        if (name > dataEnd || dataEnd - name < 4 ||
            2 * std::uint64_t{Formats::bigEndian32(block, name)} > dataEnd - name - 4) {
            throw Refused("damaged PSD: the version information is broken");
        }
        const std::size_t length = 2 * std::size_t{Formats::bigEndian32(block, name)};
        std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(name + 4), length, '\0');
        name += 4 + length;
    }
    return block;
}

// The keys under which descriptors keep a linked or placed file's path.
constexpr std::array<std::string_view, 5> PathKeys = {"fullPath", "relPath", "originalPath",
                                                      "originalFileName", "fileReference"};

// A descriptor's key as it is stored: its length, its characters, then the type of its value.
Bytes storedKey(std::string_view key, std::string_view type) {
    return bigEndian(key.size(), 4) + Bytes(key) + Bytes(type);
}

// The path in the text value at `at` becomes its file name followed by zeros, as long as it was;
// whether it had folders to lose.
bool keepFileNameAt(Bytes &region, std::size_t at) {
    if (region.size() - at < 4 ||
        2 * std::uint64_t{Formats::bigEndian32(region, at)} > region.size() - at - 4) {
        throw Refused("damaged PSD: a linked file's path runs past its place");
    }
    const std::size_t units = Formats::bigEndian32(region, at);
    std::size_t folders = 0;  // units up to the last separator
    for (std::size_t unit = 0; unit < units; ++unit) {
        const std::uint16_t character = Formats::bigEndian16(region, at + 4 + 2 * unit);
        folders = character == '/' || character == '\\' ? unit + 1 : folders;
    }
    const Bytes name = region.substr(at + 4 + 2 * folders, 2 * (units - folders));
    region.replace(at + 4, 2 * units, name + Bytes(2 * folders, '\0'));
    return folders != 0;
}

// One pass of the blanking below; whether it changed anything.
bool blankedOnce(Bytes &region) {
    bool changed = false;
    const Bytes time = storedKey("layerTime", "doub");
    for (std::size_t at = region.find(time); at != Bytes::npos; at = region.find(time, at + 1)) {
        const auto value = region.begin() + static_cast<std::ptrdiff_t>(at + time.size());
        const auto valueEnd = value + std::min<std::ptrdiff_t>(8, region.end() - value);
        changed = changed || std::any_of(value, valueEnd, [](char byte) { return byte != 0; });
        std::fill(value, valueEnd, '\0');
    }
    for (const std::string_view key : PathKeys) {
        const Bytes path = storedKey(key, "TEXT");
        for (std::size_t at = region.find(path); at != Bytes::npos;
             at = region.find(path, at + 1)) {
            changed = keepFileNameAt(region, at + path.size()) || changed;
        }
    }
    return changed;
}

// Descriptors among the layers keep each layer's modification time in its metadata settings
// (`shmd`) and the paths of linked and placed files; found by their keys, they are blanked where
// they lie, so that no length changes: the time becomes zero, a path its file name. Blanked again
// until nothing changes, since a file name moved forward could itself read as a key.
Bytes withoutTimesAndPaths(Bytes region) {
    while (blankedOnce(region)) {
    }
    return region;
}

// How many bytes the length of the layer section, and of its layer information, takes.
std::size_t layersLengthWidth(bool large) {
    return large ? 8 : 4;
}

// Whether a block of additional layer information carries whole files: smart objects' contents.
bool carriesFiles(const std::string &key) {
    return key == "lnk2" || key == "lnkD" || key == "lnk3";
}

// How many bytes the length of a block of additional layer information takes.
std::size_t blockLengthWidth(const std::string &key, bool large) {
    static const std::array<const char *, 13> longer = {"LMsk", "Lr16", "Lr32", "Layr", "Mt16",
                                                        "Mt32", "Mtrn", "Alph", "FMsk", "lnk2",
                                                        "FEid", "FXid", "PxSD"};
    return large && std::find(longer.begin(), longer.end(), key) != longer.end() ? 8 : 4;
}

// One smart object's record (its length field excluded) with its file cleaned through its own
// kind's pass and its original file name left empty; its unique id, which layers refer to, stays.
Bytes cleanLinkedFile(const Bytes &data, std::size_t at, std::size_t end, int depth) {
    const auto need = [&](std::size_t from, std::size_t size) {
        if (from > end || end - from < size) {
            throw Refused("damaged PSD: a smart object runs past its block");
        }
    };
    need(at, 9);
    const bool outside = data.compare(at, 4, "liFE") == 0;
    if (!outside && data.compare(at, 4, "liFD") != 0) {
        throw Refused("Photoshop layers linked to outside files by alias cannot be cleaned",
                      Formats::Cause::Unsupported);
    }
    const std::size_t nameAt = at + 9 + Formats::byteAt(data, at + 8);
    need(nameAt, 4);
    const std::size_t typeAt = nameAt + 4 + 2 * std::size_t{Formats::bigEndian32(data, nameAt)};
    need(typeAt, 8 + 8 + 1);
    if (outside) {  // the file stays outside; its descriptors lose its path
        return data.substr(at, nameAt - at) + bigEndian(0, 4) + data.substr(typeAt, 8 + 8 + 1) +
               withoutTimesAndPaths(data.substr(typeAt + 8 + 8 + 1, end - typeAt - 8 - 8 - 1));
    }
    const std::size_t fileAt = typeAt + 8 + 8 + 1;
    const std::size_t fileEnd = sectionEnd(data, typeAt + 8, end, 8) + 1;
    if (Formats::byteAt(data, typeAt + 16) != 0) {
        throw Refused("a smart object with an open descriptor cannot be cleaned",
                      Formats::Cause::Unsupported);
    }
    need(fileAt, fileEnd - fileAt);
    const Bytes file =
        Kinds::cleanEmbedded(data.substr(fileAt, fileEnd - fileAt), depth + 1, "a smart object");
    return data.substr(at, nameAt - at) + bigEndian(0, 4) + data.substr(typeAt, 8) +
           bigEndian(file.size(), 8) + '\0' + file + data.substr(fileEnd, end - fileEnd);
}

// The records of a block of smart objects, each cleaned; one that the cleaning leaves as it was
// stays byte for byte, its padding included.
Bytes cleanLinkedFiles(const Bytes &data, int depth) {
    Bytes cleaned;
    std::size_t at = 0;
    while (data.size() - at >= 8) {
        const std::size_t end = sectionEnd(data, at, data.size(), 8);
        const std::size_t next = std::min(data.size(), (end + 3) / 4 * 4);
        const Bytes record = cleanLinkedFile(data, at + 8, end, depth);
        cleaned += record.compare(0, record.size(), data, at + 8, end - at - 8) == 0
                       ? data.substr(at, next - at)
                       : paddedTo4(bigEndian(record.size(), 8) + record);
        at = next;
    }
    return cleaned + data.substr(at);  // padding too short to be a record
}

// The layer section that starts at `at`, its smart objects' files cleaned and its length made
// right, and all that follows it.
Bytes cleanLayers(const Bytes &psd, std::size_t at, bool large, int depth) {
    const std::size_t width = layersLengthWidth(large);
    const std::size_t end = sectionEnd(psd, at, psd.size(), width);
    if (end - at == width) {
        return psd.substr(at);  // no layers
    }
    const std::size_t layerInfoEnd = sectionEnd(psd, at + width, end, width);
    std::size_t block = end - layerInfoEnd < 4 ? layerInfoEnd : sectionEnd(psd, layerInfoEnd, end);
    const std::size_t layerInfo = at + 2 * width;  // the layer records and their pixels
    Bytes section = psd.substr(at + width, width);
    section += withoutTimesAndPaths(psd.substr(layerInfo, layerInfoEnd - layerInfo));
    section.append(psd, layerInfoEnd, block - layerInfoEnd);  // the global mask
    for (; end - block >= 12; Formats::throwIfStopped()) {
        if (psd.compare(block, 4, "8BIM") != 0 && psd.compare(block, 4, "8B64") != 0) {
            throw Refused("damaged PSD: a layer block is broken");
        }
        const std::string key = psd.substr(block + 4, 4);
        const std::size_t lengthWidth = blockLengthWidth(key, large);
        const std::size_t dataAt = block + 8 + lengthWidth;
        const std::size_t dataEnd = sectionEnd(psd, block + 8, end, lengthWidth);
        const Bytes data = psd.substr(dataAt, dataEnd - dataAt);
        const Bytes files =
            carriesFiles(key) ? cleanLinkedFiles(data, depth) : withoutTimesAndPaths(data);
        if (files.size() == data.size()) {
            section.append(psd, block, dataAt - block) += files;
        } else {
            const Bytes padded = paddedTo4(files);
            section += psd.substr(block, 8) + bigEndian(padded.size(), lengthWidth) + padded;
        }
        block = dataEnd;
    }
    section.append(psd, block, end - block);  // padding too short to be a block
    return bigEndian(section.size(), width) + section + psd.substr(end);
}

// Refused unless the pixels that follow the layers are all there, as far as their compression
// tells how many there are.
void requireWholePixels(const Bytes &psd, std::size_t at, bool large) {
    if (at + 2 > psd.size()) {
        throw Refused("damaged PSD: the pixels are cut short");
    }
    const std::uint64_t rows =
        std::uint64_t{Formats::bigEndian16(psd, 12)} * Formats::bigEndian32(psd, 14);
    const std::uint64_t rowBytes =
        (std::uint64_t{Formats::bigEndian32(psd, 18)} * Formats::bigEndian16(psd, 22) + 7) / 8;
    const std::uint64_t available = psd.size() - at - 2;
    std::uint64_t needed = 0;
    if (Formats::bigEndian16(psd, at) == 0) {
        needed = rows * rowBytes;
    } else if (Formats::bigEndian16(psd, at) == 1) {  // run lengths: a table of row sizes first
        const std::uint64_t entry = large ? 4 : 2;
        needed = rows * entry;
        for (std::uint64_t row = 0; row < rows && needed <= available; ++row) {
            const std::size_t place = at + 2 + static_cast<std::size_t>(row * entry);
            needed += large ? Formats::bigEndian32(psd, place) : Formats::bigEndian16(psd, place);
        }
    }
    if (needed > available) {
        throw Refused("damaged PSD: the pixels are cut short");
    }
}

}  // namespace

Bytes cleanNested(const Bytes &image, int depth) {
    if (image.size() < HeaderSize || image.compare(0, 4, "8BPS") != 0 ||
        (Formats::bigEndian16(image, 4) != 1 && Formats::bigEndian16(image, 4) != 2)) {
        throw Refused("not a Photoshop image");
    }
    const bool large = Formats::bigEndian16(image, 4) == 2;
    const std::size_t colours = sectionEnd(image, HeaderSize, image.size());
    const std::size_t resources = sectionEnd(image, colours, image.size());
    requireWholePixels(image, sectionEnd(image, resources, image.size(), layersLengthWidth(large)),
                       large);
    Bytes kept;
    for (std::size_t at = colours + 4; at < resources;) {
        if (!isResource(image, at)) {
            throw Refused("damaged PSD: an image resource is broken");
        }
        const std::size_t end = blockEnd(image, at, resources);
        if (Formats::bigEndian16(image, at + 4) == VersionInfo) {
            kept += withoutApplicationNames(image, at, end);
        } else if (drawsTheImage(Formats::bigEndian16(image, at + 4))) {
            kept.append(image, at, end - at);
        }
        at = end;
    }
    return image.substr(0, colours) + bigEndian(kept.size(), 4) + kept +
           cleanLayers(image, resources, large, depth);
}

Bytes clean(const Bytes &image) {
    return cleanNested(image, 0);
}

// The check below walks the image on its own.
namespace {

using Formats::Category;

struct Named {
    std::uint16_t first;
    std::uint16_t last;
    Category category;
    const char *what;
};

// Image resources that describe the image or its maker.
constexpr std::array<Named, 17> Describing = {{
    {0x03E9, 0x03E9, Category::Device, "printer settings"},
    {0x03F0, 0x03F0, Category::Descriptions, "a caption"},
    {0x0404, 0x0404, Category::Other, "IPTC"},
    {0x0409, 0x0409, Category::Thumbnails, "a thumbnail"},
    {0x040A, 0x040A, Category::People, "a copyright flag"},
    {0x040B, 0x040B, Category::Other, "URLs"},
    {0x040C, 0x040C, Category::Thumbnails, "a thumbnail"},
    {0x0414, 0x0414, Category::Identifiers, "a document identifier"},
    {0x041A, 0x041A, Category::Other, "slices"},
    {0x041B, 0x041B, Category::Other, "URLs"},
    {0x041E, 0x041E, Category::Other, "URLs"},
    {0x0422, 0x0423, Category::Other, "Exif"},
    {0x0424, 0x0424, Category::Other, "XMP"},
    {0x0425, 0x0425, Category::Other, "an IPTC digest"},
    {0x043A, 0x043D, Category::Device, "printer settings"},
    {0x043E, 0x043F, Category::History, "an auto-save file path"},
    {0x0FA0, 0x1F40, Category::Other, "plug-in, ImageReady or Lightroom data"},
}};

// The image resources a cleaned image may keep, those that draw it, as the check reads them.
bool keptInAnImage(std::uint16_t id) {
    static const std::set<std::uint16_t> single = {0x03FE, 0x0400, 0x0402, 0x0408, 0x040D, 0x040F,
                                                   0x0419, 0x041D, 0x0426, 0x0438, 0x0440, 0x2710};
    static const std::array<std::pair<std::uint16_t, std::uint16_t>, 7> ranges = {{
        {0x03ED, 0x03EF},
        {0x03F1, 0x03FB},
        {0x0411, 0x0413},
        {0x0415, 0x0417},
        {0x0428, 0x042E},
        {0x0430, 0x0436},
        {0x07D0, 0x0BB8},
    }};
    return single.count(id) != 0 ||
           std::any_of(ranges.begin(), ranges.end(),
                       [id](const auto &range) { return id >= range.first && id <= range.second; });
}

// Names a resource by what it describes; one neither named nor kept is named by its number.
void nameResource(std::uint16_t id, Formats::Findings &findings) {
    for (const Named &named : Describing) {
        if (id >= named.first && id <= named.last) {
            findings.add(named.category, named.what);
            return;
        }
    }
    if (!keptInAnImage(id)) {
        findings.add("image resource " + std::to_string(id));
    }
}

Formats::Refused brokenResource() {
    return Formats::Refused("damaged PSD: an image resource is broken");
}

// Whether the version information, which stays for its flag, still names an application: the
// writer's and the reader's names, each a length and UTF-16 characters, are all zeros once clean.
bool namesApplications(std::string_view version) {
    std::size_t at = 5;  // past the version number and the flag
    for (int name = 0; name < 2; ++name) {
        if (version.size() < at + 4 ||
            2 * std::uint64_t{Formats::bigEndian32(version, at)} > version.size() - at - 4) {
            return true;  // a name that does not read is named all the same
        }
        const std::string_view characters =
            version.substr(at + 4, 2 * std::size_t{Formats::bigEndian32(version, at)});
        if (characters.find_first_not_of('\0') != std::string_view::npos) {
            return true;
        }
        at += 4 + characters.size();
    }
    return false;
}

void nameResources(const Bytes &psd, std::size_t from, std::size_t to,
                   Formats::Findings &findings) {
    std::size_t at = from;
    while (at < to) {
        if (to - at < 12 || (psd.compare(at, 4, "8BIM") != 0 && psd.compare(at, 4, "MeSa") != 0 &&
                             psd.compare(at, 4, "AgHg") != 0 && psd.compare(at, 4, "PHUT") != 0 &&
                             psd.compare(at, 4, "DCSR") != 0)) {
            throw brokenResource();
        }
        const std::uint16_t id = Formats::bigEndian16(psd, at + 4);
        std::size_t next = at + 6 + Formats::byteAt(psd, at + 6) / 2 * 2 + 2;
        if (next + 4 > to) {
            throw brokenResource();
        }
        const std::uint32_t size = Formats::bigEndian32(psd, next);
        if (size > to - next - 4) {
            throw brokenResource();
        }
        if (id != 0x0421) {  // the version information
            nameResource(id, findings);
        } else if (namesApplications(std::string_view(psd).substr(next + 4, size))) {
            findings.add(Category::Software, "the software version");
        }
        next += 4 + size + size % 2;
        at = next;
    }
    if (at != to) {
        throw brokenResource();
    }
}

// Reads forward within [at, end), refusing what runs past it.
struct Cursor {
    const Bytes &bytes;
    std::size_t at;
    std::size_t end;

    std::string_view take(std::uint64_t size) {
        if (size > end - at) {
            throw Refused("damaged PSD: a layer section is cut short");
        }
        at += static_cast<std::size_t>(size);
        return std::string_view(bytes).substr(at - size, size);
    }
    std::uint64_t number(std::size_t width) {
        std::uint64_t value = 0;
        for (const char byte : take(width)) {
            value = value << 8 | static_cast<unsigned char>(byte);
        }
        return value;
    }
    // The next `size` bytes as a cursor of their own.
    Cursor within(std::uint64_t size) {
        take(size);
        return {bytes, at - static_cast<std::size_t>(size), at};
    }
};

// Whether a text value, a length then UTF-16 characters, names a folder anywhere in it.
bool namesFolder(std::string_view text) {
    if (text.size() < 4) {
        return false;
    }
    const std::uint64_t units =
        std::min<std::uint64_t>(Formats::bigEndian32(text, 0), (text.size() - 4) / 2);
    for (std::size_t unit = 0; unit < units; ++unit) {
        const std::uint16_t character = Formats::bigEndian16(text, 4 + 2 * unit);
        if (character == '/' || character == '\\') {
            return true;
        }
    }
    return false;
}

// A layer's modification time, kept in its metadata settings, and the path of a linked or placed
// file, in the descriptors anywhere among the layers, found by their keys.
void nameTimesAndPaths(std::string_view layers, Formats::Findings &findings) {
    const std::string_view time("\0\0\0\x09layerTimedoub", 17);
    for (std::size_t at = layers.find(time); at != std::string_view::npos;
         at = layers.find(time, at + 1)) {
        if (layers.substr(at + time.size(), 8).find_first_not_of('\0') != std::string_view::npos) {
            findings.add(Category::Dates, "a layer's modification time");
        }
    }
    for (const char *key :
         {"fullPath", "relPath", "originalPath", "originalFileName", "fileReference"}) {
        const std::string stored =
            std::string(3, '\0') + static_cast<char>(std::strlen(key)) + key + "TEXT";
        for (std::size_t at = layers.find(stored); at != std::string_view::npos;
             at = layers.find(stored, at + 1)) {
            if (namesFolder(layers.substr(at + stored.size()))) {
                findings.add(Category::Other, "a linked file's folder");
            }
        }
    }
}

// One smart object's record: a file kept in the image goes through its own kind's check; a link
// to an outside file by its paths has them read for folders, and one of any other kind is named.
void nameSmartObject(Cursor record, int depth, Formats::Findings &findings) {
    const std::string_view type = record.take(4);
    record.take(4);                 // version
    record.take(record.number(1));  // the unique id layers refer to
    if (const std::uint64_t nameLength = record.number(4)) {
        record.take(2 * nameLength);
        findings.add(Category::Descriptions, "a smart object's file name");
    }
    record.take(8);  // file type and creator
    const std::uint64_t size = record.number(8);
    if (type == "liFE") {
        record.take(1);  // whether a descriptor of how to open it follows
        nameTimesAndPaths(record.take(record.end - record.at), findings);
        return;
    }
    if (type != "liFD") {
        findings.add(Category::Other, "a link to an outside file");
        return;
    }
    if (record.number(1) != 0) {
        throw Refused("damaged PSD: a smart object's file cannot be told apart");
    }
    const Bytes file(record.take(size));
    findings.addFrom(Kinds::checkEmbedded(file, depth + 1), "a smart object");
}

// The blocks after the layers and their masks, where smart objects keep their files.
void nameSmartObjects(const Bytes &psd, std::size_t at, bool large, int depth,
                      Formats::Findings &findings) {
    static const std::set<std::string_view> longLength = {"LMsk", "Lr16", "Lr32", "Layr", "Mt16",
                                                          "Mt32", "Mtrn", "Alph", "FMsk", "lnk2",
                                                          "FEid", "FXid", "PxSD"};
    Cursor file{psd, at, psd.size()};
    Cursor section = file.within(file.number(large ? 8 : 4));
    if (section.at == section.end) {
        return;
    }
    // The layer records and their pixels.
    nameTimesAndPaths(section.take(section.number(large ? 8 : 4)), findings);
    if (section.end - section.at >= 4) {
        section.take(section.number(4));  // the global mask
    }
    while (section.end - section.at >= 12) {
        const std::string_view signature = section.take(4), key = section.take(4);
        if (signature != "8BIM" && signature != "8B64") {
            throw Refused("damaged PSD: a layer block is broken");
        }
        Cursor data = section.within(section.number(large && longLength.count(key) != 0 ? 8 : 4));
        const std::size_t start = data.at;
        if (key != "lnk2" && key != "lnkD" && key != "lnk3") {
            nameTimesAndPaths(data.take(data.end - data.at), findings);
        }
        while ((key == "lnk2" || key == "lnkD" || key == "lnk3") && data.end - data.at >= 8) {
            nameSmartObject(data.within(data.number(8)), depth, findings);
            data.at = std::min(data.end, start + (data.at - start + 3) / 4 * 4);
        }
    }
}

}  // namespace

Formats::Findings checkNested(const Bytes &image, int depth) {
    if (image.size() < 34 || image.compare(0, 4, "8BPS") != 0) {
        throw Refused("not a Photoshop image");
    }
    const std::size_t resourcesAt = 30 + static_cast<std::size_t>(Formats::bigEndian32(image, 26));
    if (resourcesAt + 4 > image.size()) {
        throw Refused("damaged PSD: cut short");
    }
    const std::size_t resourcesEnd =
        resourcesAt + 4 + static_cast<std::size_t>(Formats::bigEndian32(image, resourcesAt));
    if (resourcesEnd + 4 > image.size()) {
        throw Refused("damaged PSD: cut short");
    }
    Formats::Findings findings;
    nameResources(image, resourcesAt + 4, resourcesEnd, findings);
    nameSmartObjects(image, resourcesEnd, Formats::bigEndian16(image, 4) == 2, depth, findings);
    return findings;
}

Formats::Findings check(const Bytes &image) {
    return checkNested(image, 0);
}

std::string remainingMetadata(const Bytes &image) {
    return Formats::reasonOf(check, image);
}

}  // namespace Psd
