#include "formats/pictures/Psd.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Findings.h"

#include <algorithm>
#include <array>
#include <cstdint>

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

// The length stored at `at` and the end of the section it opens, which must lie within `limit`.
std::size_t sectionEnd(const Bytes &psd, std::size_t at, std::size_t limit) {
    if (at + 4 > limit || Formats::bigEndian32(psd, at) > limit - at - 4) {
        throw Refused("damaged PSD: a section runs past the end");
    }
    return at + 4 + Formats::bigEndian32(psd, at);
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

// The end of the layer section that starts at `at`: its length is 4 bytes long in a PSD and 8
// in a PSB.
std::size_t layersEnd(const Bytes &psd, std::size_t at, bool large) {
    if (!large) {
        return sectionEnd(psd, at, psd.size());
    }
    if (at + 8 > psd.size() || Formats::bigEndian32(psd, at) != 0) {
        throw Refused("damaged PSD: a section runs past the end");
    }
    return sectionEnd(psd, at + 4, psd.size());
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

Bytes clean(const Bytes &image) {
    if (image.size() < HeaderSize || image.compare(0, 4, "8BPS") != 0 ||
        (Formats::bigEndian16(image, 4) != 1 && Formats::bigEndian16(image, 4) != 2)) {
        throw Refused("not a Photoshop image");
    }
    const bool large = Formats::bigEndian16(image, 4) == 2;
    const std::size_t colours = sectionEnd(image, HeaderSize, image.size());
    const std::size_t resources = sectionEnd(image, colours, image.size());
    requireWholePixels(image, layersEnd(image, resources, large), large);
    Bytes kept;
    for (std::size_t at = colours + 4; at < resources;) {
        if (!isResource(image, at)) {
            throw Refused("damaged PSD: an image resource is broken");
        }
        const std::size_t end = blockEnd(image, at, resources);
        if (drawsTheImage(Formats::bigEndian16(image, at + 4))) {
            kept.append(image, at, end - at);
        }
        at = end;
    }
    Bytes cleaned = image.substr(0, colours) + "    " + kept + image.substr(resources);
    for (int i = 0; i < 4; ++i) {
        cleaned[colours + i] = static_cast<char>(kept.size() >> (8 * (3 - i)) & 0xFF);
    }
    return cleaned;
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
constexpr std::array<Named, 18> Describing = {{
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
    {0x0421, 0x0421, Category::Software, "the software version"},
    {0x0422, 0x0423, Category::Other, "Exif"},
    {0x0424, 0x0424, Category::Other, "XMP"},
    {0x0425, 0x0425, Category::Other, "an IPTC digest"},
    {0x043A, 0x043D, Category::Device, "printer settings"},
    {0x043E, 0x043F, Category::History, "an auto-save file path"},
    {0x0FA0, 0x1F40, Category::Other, "plug-in, ImageReady or Lightroom data"},
}};

Formats::Refused brokenResource() {
    return Formats::Refused("damaged PSD: an image resource is broken");
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
        next += 4 + size + size % 2;
        for (const Named &named : Describing) {
            if (id >= named.first && id <= named.last) {
                findings.add(named.category, named.what);
            }
        }
        at = next;
    }
    if (at != to) {
        throw brokenResource();
    }
}

}  // namespace

Formats::Findings check(const Bytes &image) {
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
    return findings;
}

std::string remainingMetadata(const Bytes &image) {
    return Formats::reasonOf(check, image);
}

}  // namespace Psd
