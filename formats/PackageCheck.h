#pragma once

#include "formats/Package.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QXmlStreamReader;

// What the checks of both package kinds share. None of it is used by the cleaning.
namespace PackageCheck {

// The entries of the package, or the reason it cannot be read.
std::string read(const Formats::Bytes &package, std::vector<Package::Entry> &entries);

// A reason when an entry keeps its own time or extra fields, or an embedded picture keeps
// metadata.
std::string entries(const std::vector<Package::Entry> &entries);

struct Ancestor {
    QString namespaceUri;
    QString name;
};

// Called at every element's start and at every text, with the open elements above it (for text:
// its own element last); returns a reason to stop, or empty.
using Finder = std::function<std::string(const QXmlStreamReader &reader,
                                         const std::vector<Ancestor> &ancestors)>;

// Runs the finder over every entry that holds XML, until one returns a reason.
std::string scanXmlParts(const std::vector<Package::Entry> &entries,
                         const std::function<Finder(const Package::Entry &entry)> &finderFor);

// The part a package path names, for comparing with entry names: no leading "/", percent
// escapes decoded, "." and ".." resolved, lower case (package names ignore case).
QString partName(const QString &path);

// A reason naming the first reference whose part is not in the package.
std::string missingPart(const std::vector<Package::Entry> &entries, const QStringList &references);

}  // namespace PackageCheck
