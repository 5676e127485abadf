#include "formats/archives/EntryPaths.h"

#include "formats/core/Formats.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace EntryPaths {

namespace {

// The folders and the name of a path, without empty ones and `.`, which say nothing.
std::vector<std::string> components(const std::string &path) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= path.size()) {
        const std::size_t slash = std::min(path.find_first_of("/\\", from), path.size());
        if (slash > from && path.compare(from, slash - from, ".") != 0) {
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

// A drive letter, with or without a separator after it: `C:\data`, `c:notes.txt`.
bool startsWithDrive(const std::string &part) {
    return part.size() >= 2 && std::isalpha(static_cast<unsigned char>(part[0])) && part[1] == ':';
}

bool isAmong(const std::vector<std::string> &names, const std::string &part) {
    return std::find(names.begin(), names.end(), lowered(part)) != names.end();
}

// The folders homes stand in, in lower case.
const std::vector<std::string> HomeParents = {"home", "users", "documents and settings"};
// Folders of a home that say nothing the file's own folders do not.
const std::vector<std::string> UsualHomeFolders = {"desktop",  "documents",    "downloads",
                                                   "pictures", "music",        "videos",
                                                   "movies",   "my documents", "my pictures"};

// Cuts a drive and a home folder (its parent, the person's folder, the usual folder of the home
// after it) from the front of `parts`, from `at` on; whether it cut anything. Only folders are cut:
// a file named `home` stays. `folder`: whether the path's last part is one.
bool cutHome(std::vector<std::string> &parts, std::size_t &at, bool folder) {
    const auto isFolder = [&](std::size_t i) {
        return i + 1 < parts.size() || (i + 1 == parts.size() && folder);
    };
    bool cut = false;
    if (at < parts.size() && startsWithDrive(parts[at])) {
        parts[at].erase(0, 2);
        at += parts[at].empty() || parts[at] == "." ? 1 : 0;
        cut = true;
    }
    if (isFolder(at) && isAmong(HomeParents, parts[at])) {
        at += isFolder(at + 1) ? 2 : 1;
        at += isFolder(at) && isAmong(UsualHomeFolders, parts[at]) ? 1 : 0;
        cut = true;
    }
    return cut;
}

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
    const bool folder = !path.empty() && (path.back() == '/' || path.back() == '\\');
    std::size_t at = 0;
    bool cut = false;
    while (cutHome(parts, at, folder)) {  // what is left may start in a home again
        cut = true;
    }
    if (!cut) {
        return std::nullopt;
    }
    std::string rest;
    for (std::size_t i = at; i < parts.size(); ++i) {
        rest += (rest.empty() ? "" : "/") + parts[i];
    }
    return rest.empty() || !folder ? rest : rest + '/';
}

std::vector<std::string> shortened(const std::vector<std::string> &paths) {
    std::vector<std::string> result;
    std::map<std::string, std::string> firstPath;  // by shortened path
    for (const std::string &path : paths) {
        result.push_back(withoutHome(path).value_or(path));
        const std::string &name = result.back();
        if (isUnsafe(name)) {  // a drive cut from `C:..`
            throw Formats::Refused("unsafe path in archive");
        }
        const bool folder = name.empty() || name.back() == '/';  // folders merge
        if (!folder && firstPath.emplace(name, path).first->second != path) {
            throw Formats::Refused("two entries would have one name without their home folders");
        }
    }
    return result;
}

}  // namespace EntryPaths
