#include "formats/office/Zip.h"

#include "formats/Kinds.h"
#include "formats/archives/Archive.h"
#include "formats/archives/EntryPaths.h"
#include "formats/core/Stop.h"
#include "formats/office/Package.h"
#include "formats/office/PackageCheck.h"

#include <algorithm>
#include <set>

namespace Zip {

namespace {

// An Office, OpenDocument or EPUB package its recognition missed: cleaned as a plain archive its
// XML parts would stay as they are.
void refuseUnrecognisedPackage(const std::vector<Package::Entry> &entries) {
    for (const Package::Entry &entry : entries) {
        if (entry.name == "[Content_Types].xml" || entry.name == "META-INF/manifest.xml" ||
            entry.name == "META-INF/container.xml") {
            throw Formats::Refused("package of an unrecognised layout",
                                   Formats::Cause::Unsupported);
        }
    }
}

}  // namespace

Formats::Bytes clean(const Formats::Bytes &zip, int depth) {
    std::vector<Package::Entry> entries = Package::read(zip);
    refuseUnrecognisedPackage(entries);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const Package::Entry &entry) {
                                     return EntryPaths::isFolderData(entry.name) ||
                                            Kinds::isMetadataItself(entry.name, entry.data);
                                 }),
                  entries.end());
    std::vector<std::string> names;
    for (const Package::Entry &entry : entries) {
        if (EntryPaths::isUnsafe(entry.name)) {
            throw Formats::Refused("unsafe path in archive");
        }
        names.push_back(entry.name);
    }
    const std::vector<std::string> shortened = EntryPaths::shortened(names);
    std::vector<Package::Entry> kept;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Formats::throwIfStopped();
        Package::Entry &entry = entries[i];
        if (entry.name.empty() || entry.name.back() != '/') {
            entry.data = Kinds::cleanEmbedded(entry.data, depth + 1, entry.name);
        }
        if (!shortened[i].empty()) {  // else only the home folder itself
            entry.name = shortened[i];
            kept.push_back(std::move(entry));
        }
    }
    return Package::write(kept);
}

Formats::Findings findings(const Formats::Bytes &zip, int depth) {
    const std::vector<Package::Entry> entries = Package::read(zip);
    Formats::Findings found;
    for (const Package::Entry &entry : entries) {
        static const std::set<std::string> PackageParts = {"[Content_Types].xml", "_rels/.rels",
                                                           "META-INF/manifest.xml",
                                                           "META-INF/container.xml"};
        if (PackageParts.count(entry.name) != 0) {
            found.add("parts of a package it does not clean");
        }
        if (Archive::startsInAHome(entry.name)) {
            found.add(Formats::Category::People, "a home folder in an entry's path");
        }
    }
    PackageCheck::addArchiveFindings(zip, entries, depth, found);
    return found;
}

}  // namespace Zip
