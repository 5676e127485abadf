#include "formats/archives/EntryPaths.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace EntryPaths {

namespace {

std::vector<std::string> components(const std::string &path) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= path.size()) {
        const std::size_t slash = std::min(path.find_first_of("/\\", from), path.size());
        if (slash > from) {
            parts.push_back(path.substr(from, slash - from));
        }
        from = slash + 1;
    }
    return parts;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isDriveLetter(const std::string &part) {
    return part.size() == 2 && std::isalpha(static_cast<unsigned char>(part[0])) && part[1] == ':';
}

// The folders homes stand in, in lower case.
const std::vector<std::string> HomeParents = {"home", "users", "documents and settings"};
// Folders of a home that say nothing the file's own folders do not.
const std::vector<std::string> UsualHomeFolders = {"desktop",  "documents",    "downloads",
                                                   "pictures", "music",        "videos",
                                                   "movies",   "my documents", "my pictures"};

}  // namespace

bool isFolderData(const std::string &path) {
    const std::vector<std::string> parts = components(path);
    if (parts.empty()) {
        return false;
    }
    const std::string name = lowered(parts.back());
    return std::any_of(parts.begin(), parts.end(),
                       [](const std::string &part) { return part == "__MACOSX"; }) ||
           name.rfind("._", 0) == 0 || name == ".ds_store" || name == "thumbs.db";
}

bool isUnsafe(const std::string &path) {
    const std::vector<std::string> parts = components(path);
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
           std::find(parts.begin(), parts.end(), "..") != parts.end();
}

std::optional<std::string> withoutHome(const std::string &path) {
    std::vector<std::string> parts = components(path);
    std::size_t at = !parts.empty() && isDriveLetter(parts[0]) ? 1 : 0;
    const std::size_t drive = at;
    if (at < parts.size() && std::find(HomeParents.begin(), HomeParents.end(),
                                       lowered(parts[at])) != HomeParents.end()) {
        at += 2;  // the parent, then the person's own folder
    }
    if (at == drive) {
        if (drive == 0) {
            return std::nullopt;
        }
    } else if (at < parts.size() && std::find(UsualHomeFolders.begin(), UsualHomeFolders.end(),
                                              lowered(parts[at])) != UsualHomeFolders.end()) {
        ++at;
    }
    std::string rest;
    for (std::size_t i = std::min(at, parts.size()); i < parts.size(); ++i) {
        rest += (rest.empty() ? "" : "/") + parts[i];
    }
    if (!rest.empty() && (path.back() == '/' || path.back() == '\\')) {
        rest += '/';
    }
    return rest;
}

std::vector<std::string> shortened(const std::vector<std::string> &paths) {
    std::vector<std::string> result;
    std::map<std::string, int> uses;
    for (const std::string &path : paths) {
        result.push_back(withoutHome(path).value_or(path));
        ++uses[result.back()];
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!result[i].empty() && uses[result[i]] > 1 && result[i] != paths[i]) {
            result[i] = paths[i];
        }
    }
    return result;
}

}  // namespace EntryPaths
