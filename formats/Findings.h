#pragma once

#include <set>
#include <string>
#include <vector>

namespace Formats {

// What a check found in a result, each kind named once, in the order found.
class Findings {
  public:
    // A hostile file can hold thousands of distinct names; the closing message shows this many.
    static constexpr std::size_t MaxNamesShown = 16;

    void add(const std::string &what) {
        if (seen_.insert(what).second && shown_.size() < MaxNamesShown) {
            shown_.push_back(what);
        }
    }

    // What an embedded part's own check found ("still holds Exif"), as "Exif in <where>".
    void addFrom(const std::string &reason, const std::string &where) {
        const std::string prefix = "still holds ";
        if (!reason.empty()) {
            add((reason.rfind(prefix, 0) == 0 ? reason.substr(prefix.size()) : reason) + " in " +
                where);
        }
    }

    bool empty() const { return seen_.empty(); }

    // "still holds tEXt, eXIf", "still holds a, b, ... and 12 more", or empty when nothing was
    // found.
    std::string reason() const {
        std::string text;
        for (const std::string &name : shown_) {
            text += (text.empty() ? "still holds " : ", ") + name;
        }
        if (seen_.size() > shown_.size()) {
            text += " and " + std::to_string(seen_.size() - shown_.size()) + " more";
        }
        return text;
    }

  private:
    std::set<std::string> seen_;
    std::vector<std::string> shown_;
};

}  // namespace Formats
