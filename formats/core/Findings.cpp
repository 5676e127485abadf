#include "formats/core/Findings.h"

namespace Formats {

const char *categoryName(Category category) {
    switch (category) {
        case Category::Place:
            return "place";
        case Category::Device:
            return "device";
        case Category::People:
            return "people";
        case Category::Dates:
            return "dates";
        case Category::Software:
            return "software";
        case Category::Descriptions:
            return "descriptions and comments";
        case Category::Thumbnails:
            return "thumbnails";
        case Category::History:
            return "history";
        case Category::Identifiers:
            return "identifiers";
        case Category::Other:
            break;
    }
    return "other";
}

void Findings::add(Category category, const std::string &name) {
    if (seen_.insert(name).second && shown_.size() < MaxNamesShown) {
        shown_.push_back({category, name});
    }
}

void Findings::addFrom(const Findings &inner, const std::string &where) {
    for (const Finding &finding : inner.shown_) {
        add(finding.category, finding.name + " in " + where);
    }
    if (inner.seen_.size() > inner.shown_.size()) {
        add(Category::Other, "more in " + where);
    }
}

void Findings::addFrom(const std::string &reason, const std::string &where) {
    const std::string prefix = "still holds ";
    if (!reason.empty()) {
        add((reason.rfind(prefix, 0) == 0 ? reason.substr(prefix.size()) : reason) + " in " +
            where);
    }
}

std::string Findings::reason() const {
    std::string text;
    for (const Finding &finding : shown_) {
        text += (text.empty() ? "still holds " : ", ") + finding.name;
    }
    if (seen_.size() > shown_.size()) {
        text += " and " + std::to_string(seen_.size() - shown_.size()) + " more";
    }
    return text;
}

}  // namespace Formats
