#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <cstdint>
#include <string_view>

// The directories of a TIFF structure as the checks read them (a TIFF picture, or the Exif a
// JPEG, PNG or WebP carries): bounded reads, and what each tag tells about the person behind the
// file. The cleaning passes walk on their own, so that a fault in one cannot hide in the other.
namespace ExifDirectory {

// Where a tag stands: the same number means different things in each directory.
enum class Directory { Picture, Exif, Gps, Interoperability };

// Numbers in the structure's byte order; a read past the end throws Formats::Refused.
class Reader {
  public:
    // Throws Formats::Refused unless `tiff` opens with a TIFF header.
    explicit Reader(std::string_view tiff);

    std::uint64_t size() const { return tiff_.size(); }
    bool holds(std::uint64_t at, std::uint64_t size) const {
        return at <= tiff_.size() && size <= tiff_.size() - at;
    }
    std::uint32_t u16(std::uint64_t at) const;
    std::uint32_t u32(std::uint64_t at) const;

  private:
    std::string_view tiff_;
    bool little_ = false;
};

// The finding a metadata tag of a directory stands for, or null for a tag this table does not
// name (a GPS directory's tags are all the place).
const Formats::Finding *named(unsigned tag, Directory in);

// Which directory a pointer tag leads to, or false when the tag is no pointer.
bool leadsTo(unsigned tag, Directory &to);

// Names what the Exif structure holds: camera, place, dates, people, software, descriptions and
// thumbnail, by following the first directory's chain and its Exif, GPS and interoperability
// pointers. What it read before damage stays named; the damage throws Formats::Refused.
void nameTags(std::string_view tiff, Formats::Findings &findings);

}  // namespace ExifDirectory
