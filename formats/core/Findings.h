#pragma once

#include "formats/core/Formats.h"

#include <set>
#include <string>
#include <vector>

namespace Formats {

// What a finding tells about the person behind a file, for the closing message's details.
enum class Category {
    Place,
    Device,
    People,
    Dates,
    Software,
    Descriptions,
    Thumbnails,
    History,
    Identifiers,
    Other,
};

// "place", "descriptions and comments", …: how the details name a category.
const char *categoryName(Category category);

struct Finding {
    Category category;
    std::string name;  // "GPS position", "Exif in word/media/image1.tiff"
};

// What a check found, each name once, in the order found. A check collects every finding rather
// than stopping at the first, so that the details can say all that a file held.
class Findings {
  public:
    // A hostile file can hold thousands of distinct names; the closing message shows this many.
    static constexpr std::size_t MaxNamesShown = 16;

    void add(Category category, const std::string &name);
    // For a finding no category fits.
    void add(const std::string &name) { add(Category::Other, name); }
    // What an embedded part's own check found, each as "NAME in WHERE", in its own category.
    void addFrom(const Findings &inner, const std::string &where);
    // The same from a check that still answers with a reason ("still holds Exif").
    void addFrom(const std::string &reason, const std::string &where);

    bool empty() const { return seen_.empty(); }
    const std::vector<Finding> &shown() const { return shown_; }

    // "still holds tEXt, eXIf", "still holds a, b, ... and 12 more", or empty when nothing was
    // found.
    std::string reason() const;

  private:
    std::set<std::string> seen_;
    std::vector<Finding> shown_;
};

// A check's answer for callers that take a reason: what it found ("still holds a, b"), empty for
// nothing, or the damage that made the input unreadable.
template <typename Check, typename Input>
std::string reasonOf(Check &&check, Input &&input) {
    try {
        return check(input).reason();
    } catch (const Refused &refused) {
        return refused.what();
    }
}

}  // namespace Formats
