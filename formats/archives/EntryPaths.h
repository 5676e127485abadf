#pragma once

#include <optional>
#include <string>
#include <vector>

// What the paths of an archive's entries tell of the person who packed it, and what goes.
namespace EntryPaths {

// Whether the entry is a Mac's or Windows' own data about other files (`__MACOSX/`, `._photo.jpg`,
// `.DS_Store`, `Thumbs.db`): it goes from every archive and package.
bool isFolderData(const std::string &path);

// Whether the path climbs out of where the archive is unpacked (`..`) or starts at the root.
bool isUnsafe(const std::string &path);

// The path without the drive and the home folder it starts in, and the usual folder of the home
// after it, again while what is left starts in one: "Users/jsmith/Desktop/trip/IMG_1.jpg" ->
// "trip/IMG_1.jpg". Empty and `.` folders and `\` as a separator count as the archive checks
// read them (`Archive::startsInAHome`); only folders are cut, so "home/notes.txt" -> "notes.txt".
// Nothing when it starts in no home.
std::optional<std::string> withoutHome(const std::string &path);

// The paths the entries get: each without its home. An entry that was only the home itself (its
// folder) gets an empty path. Throws Formats::Refused when two different paths would then name
// one file (folders may meet, and a path an archive holds twice stays one), or one climbs out.
std::vector<std::string> shortened(const std::vector<std::string> &paths);

}  // namespace EntryPaths
