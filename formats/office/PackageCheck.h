#pragma once

#include "formats/core/Findings.h"
#include "formats/office/Package.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QXmlStreamReader;

// What the checks of packages, drawings and RTF documents share. None of it is used by the
// cleaning.
namespace PackageCheck {

struct Ancestor {
    QString namespaceUri;
    QString name;
};

// Called at every element's start and at every text, with the open elements above it (for text:
// its own element last); adds what it finds.
using Finder =
    std::function<void(const QXmlStreamReader &reader, const std::vector<Ancestor> &ancestors,
                       Formats::Findings &findings)>;

// Makes the finder for one entry that holds XML, or none for an entry the pass gives to the pass of
// the kind its content is (its own check reads it); the finder adds to references the path of
// every part the entry points at.
using FinderFor = std::function<Finder(const Package::Entry &entry, QStringList &references)>;

// What a package kind requires of its entries as a whole (names, order): adds what remains, and
// throws Formats::Refused when the layout is damaged.
using LayoutCheck =
    std::function<void(const std::vector<Package::Entry> &entries, Formats::Findings &findings)>;

// Turns the entries a package hides (an EPUB's fonts) back into what they hold, so that they are
// read as what they are; throws Formats::Refused when they cannot be.
using Reveal = std::function<void(std::vector<Package::Entry> &entries)>;

// Reads the package, `depth` containers deep, and names everything that remains: the layout's
// findings, entries that keep their own times, extra fields or comments, embedded content that
// keeps metadata, XML parts that hold a DTD or processing instruction, and the finders' findings.
// Throws Formats::Refused when the package cannot be read, an XML part named as XML is damaged, or
// a reference names a part the package does not hold.
Formats::Findings findings(const Formats::Bytes &package, const LayoutCheck &layout,
                           const FinderFor &finderFor, int depth, const Reveal &reveal = {});

// What the archive and its entries keep of their own (times, extra fields, comments) and what
// each entry holds by the check of its kind, `depth` containers deep.
void addArchiveFindings(const Formats::Bytes &zip, const std::vector<Package::Entry> &entries,
                        int depth, Formats::Findings &findings);

// The same as a reason ("still holds a thumbnail"), the damage that refused it, or empty.
std::string reasonOf(const std::function<Formats::Findings()> &check);

// Adds `name` when `value` names a place on the author's computer (a drive letter, a network
// share, a file: URL or a home folder): a person's finding when it runs through a home folder,
// else an other one.
void addLocalPath(QStringView value, const std::string &name, Formats::Findings &findings);

}  // namespace PackageCheck
