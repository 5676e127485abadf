#pragma once

#include "formats/office/Package.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QXmlStreamReader;

// What the checks of both package kinds share. None of it is used by the cleaning.
namespace PackageCheck {

struct Ancestor {
    QString namespaceUri;
    QString name;
};

// Called at every element's start and at every text, with the open elements above it (for text:
// its own element last); returns a reason to stop, or empty.
using Finder = std::function<std::string(const QXmlStreamReader &reader,
                                         const std::vector<Ancestor> &ancestors)>;

// Makes the finder for one entry that holds XML; the finder adds to references the path of every
// part the entry points at.
using FinderFor = std::function<Finder(const Package::Entry &entry, QStringList &references)>;

// What a package kind requires of its entries as a whole (names, order); a reason, or empty.
using LayoutCheck = std::function<std::string(const std::vector<Package::Entry> &entries)>;

// Reads the package, `depth` containers deep, and names the first thing that remains: the package
// cannot be read, its layout fails, an entry keeps its own time or extra fields, embedded content
// keeps metadata, an XML part holds a DTD or processing instruction, a finder returns a reason,
// or a reference names a part the package does not hold; else empty.
std::string remainingMetadata(const Formats::Bytes &package, const LayoutCheck &layout,
                              const FinderFor &finderFor, int depth);

// Whether a link or path names a place on the author's computer: a drive letter, a network share,
// a file: URL or a home folder.
bool isLocalPath(QStringView value);

}  // namespace PackageCheck
