// The check of a cleaned JPEG. It reads the file on its own, without the walk that cleaning uses,
// so that a fault in one cannot hide in the other.

#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"
#include "formats/pictures/ExifDirectory.h"
#include "formats/pictures/Jpeg.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace Jpeg {

namespace {

using Formats::Category;
using namespace std::string_view_literals;

// What a segment holds, told by its marker and the first bytes of its content.
struct Kind {
    int marker;
    std::string_view signature;
    Category category;
    std::string_view name;
};

constexpr std::array<Kind, 9> Kinds{{
    {0xE0, "JFIF\0"sv, Category::Thumbnails, "a thumbnail"},
    {0xE0, "JFXX\0"sv, Category::Thumbnails, "a thumbnail"},
    {0xE1, "Exif\0"sv, Category::Other, "Exif"},
    {0xE1, "http://ns.adobe.com/xap/1.0/\0"sv, Category::Other, "XMP"},
    {0xE1, "http://ns.adobe.com/xmp/extension/\0"sv, Category::Other, "extended XMP"},
    {0xE2, "MPF\0"sv, Category::Other, "a multi-picture index"},
    {0xE2, "FPXR\0"sv, Category::Other, "FlashPix data"},
    {0xED, "Photoshop 3.0\0"sv, Category::Other, "Photoshop/IPTC data"},
    {0xFE, ""sv, Category::Descriptions, "a comment"},
}};

// The only Exif a cleaned file may carry: one IFD whose one entry is the Orientation (the value
// byte, at OrientationAt, follows).
constexpr std::string_view OrientationExif =
    "Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0"sv;
constexpr std::size_t OrientationAt = OrientationExif.size();
constexpr std::size_t ExifHeaderSize = 6;

Formats::Refused damaged() {
    return Formats::Refused("damaged JPEG header");
}

// Names an Exif segment by the tags it holds; one that names nothing, or cannot be read past its
// header, is still Exif.
void nameExif(std::string_view content, Formats::Findings &findings) {
    Formats::Findings tags;
    try {
        ExifDirectory::nameTags(content.substr(std::min(content.size(), ExifHeaderSize)), tags);
    } catch (const Formats::Refused &) {
        tags.add("Exif");
    }
    if (tags.empty()) {
        tags.add("Exif");
    }
    for (const Formats::Finding &finding : tags.shown()) {
        findings.add(finding.category, finding.name);
    }
}

void name(int marker, std::string_view content, Formats::Findings &findings) {
    if (marker >= 0xF0 && marker <= 0xFD) {
        findings.add("a JPEG extension segment");
        return;
    }
    for (const Kind &kind : Kinds) {
        if (kind.marker == marker && content.substr(0, kind.signature.size()) == kind.signature) {
            if (kind.name == "Exif") {
                nameExif(content, findings);
            } else {
                findings.add(kind.category, std::string(kind.name));
            }
            return;
        }
    }
    findings.add("an APP" + std::to_string(marker - 0xE0) + " segment");
}

bool isOrientationOnly(std::string_view content) {
    return content.size() == OrientationAt + 7 &&
           content.substr(0, OrientationAt) == OrientationExif && content[OrientationAt] >= 2 &&
           content[OrientationAt] <= 8 &&
           content.substr(OrientationAt + 1) == std::string_view("\0\0\0\0\0\0", 6);
}

bool isBareJfif(std::string_view content) {
    return content.size() == 14 && content.substr(0, 5) == "JFIF\0"sv && content[12] == 0 &&
           content[13] == 0;
}

// Reads a JPEG from its start to its end, one marker at a time.
class Inspection {
  public:
    explicit Inspection(std::string_view file) : file_(file) {}

    Formats::Findings run() {
        if (file_.substr(0, 2) != "\xFF\xD8"sv) {
            throw Formats::Refused("not a JPEG file");
        }
        position_ = 2;
        while (position_ < file_.size() && !ended_) {
            Formats::throwIfStopped();
            nextMarker();
        }
        if (position_ != file_.size()) {
            findings_.add("bytes after the image");
        }
        return findings_;
    }

  private:
    int byte(std::size_t at) const { return static_cast<unsigned char>(file_[at]); }

    void nextMarker() {
        if (byte(position_) != 0xFF) {
            throw damaged();
        }
        while (position_ + 1 < file_.size() && byte(position_ + 1) == 0xFF) {
            ++position_;
        }
        if (position_ + 1 >= file_.size()) {
            throw damaged();
        }
        const int marker = byte(position_ + 1);
        position_ += 2;
        if (marker == 0xD9) {
            ended_ = true;
            return;
        }
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            return;
        }
        if (marker == 0x00 || marker == 0xD8 || position_ + 2 > file_.size()) {
            throw damaged();
        }
        const std::size_t length = Formats::bigEndian16(file_, position_);
        if (length < 2 || position_ + length > file_.size()) {
            throw damaged();
        }
        const std::string_view content = file_.substr(position_ + 2, length - 2);
        position_ += length;
        if (marker == 0xDA) {
            skipScan();
        }
        judge(marker, content);
    }

    // Past the entropy-coded data, where the next marker other than a restart begins.
    void skipScan() {
        for (;;) {
            position_ = file_.find('\xFF', position_);
            if (position_ == std::string_view::npos || position_ + 1 >= file_.size()) {
                position_ = file_.size();
                return;
            }
            const int next = byte(position_ + 1);
            if (next != 0 && (next < 0xD0 || next > 0xD7)) {
                return;
            }
            position_ += 2;
        }
    }

    void judge(int marker, std::string_view content) {
        const bool application = marker >= 0xE0 && marker <= 0xEF;
        if (marker == 0xE1 && isOrientationOnly(content) && !orientationSeen_) {
            orientationSeen_ = true;
            return;
        }
        if ((marker == 0xE0 && isBareJfif(content)) ||
            (marker == 0xE2 && content.substr(0, 12) == "ICC_PROFILE\0"sv) ||
            (marker == 0xEE && content.size() == 12 && content.substr(0, 5) == "Adobe"sv) ||
            (!application && marker != 0xFE && !(marker >= 0xF0 && marker <= 0xFD))) {
            return;
        }
        name(marker, content, findings_);
    }

    std::string_view file_;
    std::size_t position_ = 0;
    bool ended_ = false;
    bool orientationSeen_ = false;
    Formats::Findings findings_;
};

}  // namespace

Formats::Findings check(const Formats::Bytes &jpeg) {
    return Inspection(jpeg).run();
}

std::string remainingMetadata(const Formats::Bytes &jpeg) {
    return Formats::reasonOf(check, jpeg);
}

}  // namespace Jpeg
