#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace Formats {

// What a check found in a result, each kind named once, in the order found.
class Findings {
  public:
    void add(const std::string &what) {
        if (std::find(names_.begin(), names_.end(), what) == names_.end()) {
            names_.push_back(what);
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

    // "still holds tEXt, eXIf", or empty when nothing was found.
    std::string reason() const {
        std::string text;
        for (const std::string &name : names_) {
            text += (text.empty() ? "still holds " : ", ") + name;
        }
        return text;
    }

  private:
    std::vector<std::string> names_;
};

}  // namespace Formats
