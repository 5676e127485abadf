#include "formats/office/PackageCheck.h"

#include "formats/Kinds.h"
#include "formats/archives/EntryPaths.h"
#include "formats/core/Stop.h"
#include "formats/core/XmlBytes.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>

namespace PackageCheck {

namespace {

// Whether damaged XML in the entry is a fault: other entries (drawings, binary parts) may start
// like XML without being it.
bool namedAsXml(const std::string &name) {
    const QString lower = QString::fromStdString(name).toLower();
    return lower.endsWith(QStringLiteral(".xml")) || lower.endsWith(QStringLiteral(".rels")) ||
           lower.endsWith(QStringLiteral(".psmdcp"));
}

void scan(const Package::Entry &entry, const Finder &finder, Formats::Findings &findings) {
    Formats::XmlBytesReader reader(entry.data);
    std::vector<Ancestor> open;
    while (reader.next()) {
        if (reader.isStartElement()) {
            finder(reader, open, findings);
            open.push_back({reader.namespaceUri().toString(), reader.name().toString()});
        } else if (reader.isEndElement()) {
            open.pop_back();
        } else if (reader.isCharacters() && !reader.isWhitespace()) {
            finder(reader, open, findings);
        } else if (reader.isDTD() || reader.isProcessingInstruction()) {
            findings.add("a document type declaration or processing instruction in " + entry.name);
        }
    }
    if (reader.hasError() && namedAsXml(entry.name)) {
        throw Formats::Refused("damaged XML in " + entry.name);
    }
}

// The part a package path names, for comparing with entry names: no leading "/", percent
// escapes decoded, "." and ".." resolved, lower case (package names ignore case).
QString partName(const QString &path) {
    QStringList resolved;
    const QString decoded = QUrl::fromPercentEncoding(path.toUtf8());
    for (const QString &segment : decoded.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QStringLiteral("..")) {
            if (!resolved.isEmpty()) {
                resolved.removeLast();
            }
        } else if (segment != QStringLiteral(".")) {
            resolved << segment;
        }
    }
    return resolved.join(QLatin1Char('/')).toLower();
}

// Refused naming the first reference whose part is not in the package.
void refuseMissingParts(const std::vector<Package::Entry> &entries, const QStringList &references) {
    QSet<QString> names;
    for (const Package::Entry &entry : entries) {
        names.insert(partName(QString::fromStdString(entry.name)));
    }
    for (const QString &reference : references) {
        if (!names.contains(partName(reference))) {
            throw Formats::Refused("holds a reference to a missing part (" +
                                   reference.toStdString() + ")");
        }
    }
}

// A signature names its signer and breaks with any change: such a package is refused, not
// cleaned.
void refuseSigned(const std::vector<Package::Entry> &entries) {
    static const QRegularExpression signature(
        QStringLiteral(R"(^(_xmlsignatures/|meta-inf/[^/]*signatures[^/]*\.xml$))"),
        QRegularExpression::CaseInsensitiveOption);
    for (const Package::Entry &entry : entries) {
        if (signature.match(QString::fromStdString(entry.name)).hasMatch()) {
            throw Formats::Refused("signed by a person: cleaning would break the signature",
                                   Formats::Cause::Protected);
        }
    }
}

bool isLocalPath(QStringView value) {
    static const QStringList Starts = {QStringLiteral("file:"),   QStringLiteral("\\\\"),
                                       QStringLiteral("//"),      QStringLiteral("/home/"),
                                       QStringLiteral("/Users/"), QStringLiteral("/media/"),
                                       QStringLiteral("/mnt/"),   QStringLiteral("/tmp/")};
    const QStringView path = value.trimmed();
    const bool drive = path.size() >= 3 && path[0].isLetter() && path[1] == u':' &&
                       (path[2] == u'\\' || path[2] == u'/');
    return drive || std::any_of(Starts.begin(), Starts.end(), [path](const QString &start) {
               return path.startsWith(start, Qt::CaseInsensitive);
           });
}

bool runsThroughHomeFolder(QStringView path) {
    static const QRegularExpression home(
        QStringLiteral(R"((^|[\\/])(home|Users|Documents and Settings)[\\/])"),
        QRegularExpression::CaseInsensitiveOption);
    return home.match(path).hasMatch();
}

}  // namespace

void addArchiveFindings(const Formats::Bytes &zip, const std::vector<Package::Entry> &entries,
                        int depth, Formats::Findings &findings) {
    const std::time_t written = Package::entryTime();
    if (Package::hasComment(zip)) {
        findings.add(Formats::Category::Descriptions, "ZIP comments");
    }
    for (const Package::Entry &entry : entries) {
        if (EntryPaths::isFolderData(entry.name)) {
            // Whatever it holds goes with it; its own form is no reason to refuse.
            findings.add("a Mac's or Windows' folder data");
            continue;
        }
        if (entry.modified != written) {
            findings.add(Formats::Category::Dates, "file times");
        }
        if (entry.extraFields != 0) {
            findings.add("ZIP extra fields");
        }
        if (entry.commented) {
            findings.add(Formats::Category::Descriptions, "ZIP comments");
        }
        findings.addFrom(Kinds::checkEmbedded(entry.data, depth + 1), entry.name);
    }
}

Formats::Findings findings(const Formats::Bytes &package, const LayoutCheck &layout,
                           const FinderFor &finderFor, int depth, const Reveal &reveal) {
    std::vector<Package::Entry> entries = Package::read(package);
    refuseSigned(entries);
    if (reveal) {
        reveal(entries);
    }
    Formats::Findings found;
    layout(entries, found);
    addArchiveFindings(package, entries, depth, found);
    QStringList references;
    for (const Package::Entry &entry : entries) {
        Formats::throwIfStopped();
        if (Package::holdsXml(entry.data) && !EntryPaths::isFolderData(entry.name)) {
            if (const Finder finder = finderFor(entry, references)) {
                scan(entry, finder, found);
            }
        }
    }
    refuseMissingParts(entries, references);
    return found;
}

std::string reasonOf(const std::function<Formats::Findings()> &check) {
    try {
        return check().reason();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
}

void addLocalPath(QStringView value, const std::string &name, Formats::Findings &findings) {
    if (isLocalPath(value)) {
        findings.add(
            runsThroughHomeFolder(value) ? Formats::Category::People : Formats::Category::Other,
            name);
    }
}

}  // namespace PackageCheck
