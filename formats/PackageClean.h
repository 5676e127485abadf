#pragma once

#include "formats/Package.h"
#include "formats/XmlFilter.h"

#include <QSet>
#include <QString>

#include <functional>
#include <string>
#include <vector>

// The cleaning both package kinds share.
namespace PackageClean {

using Dropped = std::function<bool(const std::string &name)>;

// The entries that stay, so that content types and manifest entries naming no part can go too.
class KeptParts {
  public:
    KeptParts(const std::vector<Package::Entry> &entries, const Dropped &dropped);

    // Whether a path as content types and manifests write it ("/word/document.xml",
    // "content.xml", percent escapes, any letter case) names an entry that stays.
    bool contains(QStringView path) const;

  private:
    QSet<QString> names_;
};

// Leaves out the entries `dropped` names, copies each XML part (.xml, .rels) through the rules
// made for its name, and sends every other entry through the picture passes. Pictures and other
// compressed data are stored, everything else deflated.
std::vector<Package::Entry> cleanEntries(
    const std::vector<Package::Entry> &entries, const Dropped &dropped,
    const std::function<XmlFilter::Rules(const std::string &name, const KeptParts &kept)>
        &rulesFor);

bool hasEntry(const std::vector<Package::Entry> &entries, const std::string &name);

}  // namespace PackageClean
