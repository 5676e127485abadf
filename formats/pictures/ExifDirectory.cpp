#include "formats/pictures/ExifDirectory.h"

#include "formats/core/ByteOrder.h"
#include "formats/core/Limits.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace ExifDirectory {

namespace {

using Formats::Category;
using Formats::Finding;

constexpr std::uint64_t EntrySize = 12;

const Finding GpsPosition{Category::Place, "GPS position"};
const Finding Thumbnail{Category::Thumbnails, "an Exif thumbnail"};

// Tag numbers of the picture and Exif directories do not overlap, so one table names both.
const std::map<unsigned, Finding> &tagTable() {
    static const std::map<unsigned, Finding> tags = {
        {269, {Category::Descriptions, "DocumentName"}},
        {270, {Category::Descriptions, "ImageDescription"}},
        {271, {Category::Device, "Make"}},
        {272, {Category::Device, "Model"}},
        {285, {Category::Descriptions, "PageName"}},
        {305, {Category::Software, "Software"}},
        {306, {Category::Dates, "DateTime"}},
        {315, {Category::People, "Artist"}},
        {316, {Category::Device, "HostComputer"}},
        {700, {Category::Other, "XMP"}},
        {33432, {Category::People, "Copyright"}},
        {33723, {Category::Other, "IPTC"}},
        {34377, {Category::Other, "Photoshop"}},
        {34665, {Category::Other, "Exif"}},
        {34853, GpsPosition},
        {36867, {Category::Dates, "DateTimeOriginal"}},
        {36868, {Category::Dates, "DateTimeDigitized"}},
        {36880, {Category::Dates, "OffsetTime"}},
        {36881, {Category::Dates, "OffsetTimeOriginal"}},
        {36882, {Category::Dates, "OffsetTimeDigitized"}},
        {37500, {Category::Device, "MakerNote"}},
        {37510, {Category::Descriptions, "UserComment"}},
        {37520, {Category::Dates, "SubSecTime"}},
        {37521, {Category::Dates, "SubSecTimeOriginal"}},
        {37522, {Category::Dates, "SubSecTimeDigitized"}},
        {40091, {Category::Descriptions, "XPTitle"}},
        {40092, {Category::Descriptions, "XPComment"}},
        {40093, {Category::People, "XPAuthor"}},
        {40094, {Category::Descriptions, "XPKeywords"}},
        {40095, {Category::Descriptions, "XPSubject"}},
        {40964, {Category::Other, "RelatedSoundFile"}},
        {40965, {Category::Other, "Exif"}},
        {42016, {Category::Identifiers, "ImageUniqueID"}},
        {42032, {Category::People, "CameraOwnerName"}},
        {42033, {Category::Device, "BodySerialNumber"}},
        {42034, {Category::Device, "LensInfo"}},
        {42035, {Category::Device, "LensMake"}},
        {42036, {Category::Device, "LensModel"}},
        {42037, {Category::Device, "LensSerialNumber"}},
        {50735, {Category::Device, "CameraSerialNumber"}},
    };
    return tags;
}

// One directory to read: where it lies, what it holds, and whether it is the thumbnail's.
struct Pending {
    std::uint32_t at;
    Directory holds;
    bool thumbnail;
};

class Walk {
  public:
    Walk(std::string_view tiff, Formats::Findings &findings) : reader_(tiff), findings_(findings) {}

    void run() {
        pending_.push_back({reader_.u32(4), Directory::Picture, false});
        while (!pending_.empty()) {
            const Pending next = pending_.back();
            pending_.pop_back();
            if (next.at != 0 && seen_.insert(next.at).second) {
                if (seen_.size() > Formats::Limits::ExifDirectories) {
                    throw Formats::Refused("damaged Exif: too many directories");
                }
                read(next);
            }
        }
    }

  private:
    void read(const Pending &directory) {
        const std::uint64_t count = reader_.u16(directory.at);
        const std::uint64_t end = directory.at + 2 + EntrySize * count;
        if (!reader_.holds(directory.at, end + 4 - directory.at)) {
            throw Formats::Refused("damaged Exif: a directory runs past the end");
        }
        if (directory.thumbnail && count != 0) {
            findings_.add(Thumbnail.category, Thumbnail.name);
        }
        for (std::uint64_t entry = directory.at + 2; entry < end; entry += EntrySize) {
            const unsigned tag = reader_.u16(entry);
            if (const Finding *finding = named(tag, directory.holds)) {
                findings_.add(finding->category, finding->name);
            }
            Directory to;
            if (leadsTo(tag, to)) {
                pending_.push_back({reader_.u32(entry + 8), to, false});
            }
        }
        // The first directory's successor is the thumbnail's; a chain past it is refused above
        // once it grows beyond reason.
        if (directory.holds == Directory::Picture) {
            pending_.push_back({reader_.u32(end), Directory::Picture, true});
        }
    }

    Reader reader_;
    Formats::Findings &findings_;
    std::vector<Pending> pending_;
    std::set<std::uint32_t> seen_;
};

}  // namespace

Reader::Reader(std::string_view tiff) : tiff_(tiff) {
    if (tiff.substr(0, 4) == std::string_view("II*\0", 4)) {
        little_ = true;
    } else if (tiff.substr(0, 4) != std::string_view("MM\0*", 4) || tiff.size() < 8) {
        throw Formats::Refused("damaged Exif: no TIFF header");
    }
}

std::uint32_t Reader::u16(std::uint64_t at) const {
    if (!holds(at, 2)) {
        throw Formats::Refused("damaged Exif: a value runs past the end");
    }
    return little_ ? Formats::littleEndian16(tiff_, at) : Formats::bigEndian16(tiff_, at);
}

std::uint32_t Reader::u32(std::uint64_t at) const {
    if (!holds(at, 4)) {
        throw Formats::Refused("damaged Exif: a value runs past the end");
    }
    return little_ ? Formats::littleEndian32(tiff_, at) : Formats::bigEndian32(tiff_, at);
}

const Finding *named(unsigned tag, Directory in) {
    if (in == Directory::Gps) {
        return &GpsPosition;
    }
    const auto found = tagTable().find(tag);
    return found == tagTable().end() ? nullptr : &found->second;
}

bool leadsTo(unsigned tag, Directory &to) {
    static const std::map<unsigned, Directory> pointers = {
        {34665, Directory::Exif}, {34853, Directory::Gps}, {40965, Directory::Interoperability}};
    const auto found = pointers.find(tag);
    if (found == pointers.end()) {
        return false;
    }
    to = found->second;
    return true;
}

void nameTags(std::string_view tiff, Formats::Findings &findings) {
    Walk(tiff, findings).run();
}

}  // namespace ExifDirectory
