#pragma once

#include "formats/Package.h"
#include "formats/XmlFilter.h"

#include <functional>
#include <string>
#include <vector>

// The cleaning both package kinds share.
namespace PackageClean {

// Leaves out the entries `dropped` names, copies each XML part (.xml, .rels) through the rules
// made for its name, and sends every other entry through the picture passes. Pictures and other
// compressed data are stored, everything else deflated.
std::vector<Package::Entry> cleanEntries(
    const std::vector<Package::Entry> &entries,
    const std::function<bool(const std::string &name)> &dropped,
    const std::function<XmlFilter::Rules(const std::string &name)> &rulesFor);

bool hasEntry(const std::vector<Package::Entry> &entries, const std::string &name);

}  // namespace PackageClean
