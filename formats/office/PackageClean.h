#pragma once

#include "formats/office/Package.h"
#include "formats/office/XmlFilter.h"

#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The cleaning both package kinds share.
namespace PackageClean {

using Dropped = std::function<bool(const std::string &name)>;

// The entries that stay, so that content types, relationships and manifest entries naming no
// part can go too.
class KeptParts {
  public:
    KeptParts(const std::vector<Package::Entry> &entries, const Dropped &dropped);

    // Whether a path as content types and manifests write it ("/word/document.xml",
    // "content.xml", percent escapes, "." and "..", any letter case) names an entry that stays.
    bool contains(QStringView path) const;

  private:
    QSet<QString> names_;
};

using RulesFor = std::function<XmlFilter::Rules(const std::string &name, const KeptParts &kept)>;

// Leaves out the entries `dropped` names and a Mac's or Windows' folder data, and copies the
// package's own XML parts (named .xml, .rels or .psmdcp) through the rules made for them. Of the
// other entries, content of a known kind goes through that kind's pass at depth + 1, whatever type
// the package gives it; other parts the content types or manifest call XML go through the rules;
// the rest goes to the registry, which keeps and notes content of no known kind. Pictures and other
// compressed data are stored, everything else deflated. The source entries' data is released as it
// is cleaned.
std::vector<Package::Entry> cleanEntries(std::vector<Package::Entry> entries,
                                         const Dropped &dropped, const RulesFor &rulesFor,
                                         int depth);

// Whether an entry goes through the pass of the kind its content is (a drawing, say) rather than
// through the package's rules: content of a known kind under a name that does not call it XML.
bool isOfItsOwnKind(const Package::Entry &entry);

bool hasEntry(const std::vector<Package::Entry> &entries, const std::string &name);

// Refused when a person signed the package (OpenDocument's and EPUB's META-INF/*signatures*.xml,
// Office's _xmlsignatures/): any change would break the signature.
void refuseSigned(const std::vector<Package::Entry> &entries);

// A link or path that names a file on the author's computer ("C:\Users\ann\x.jpg",
// "\\server\share\x", "file:///...", "/home/ann/x") becomes its file name alone; anything else
// gives none.
std::optional<QString> fileNameOfLocalPath(QStringView value);

}  // namespace PackageClean
