#include "formats/PackageCheck.h"

#include "formats/Pictures.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

namespace PackageCheck {

namespace {

bool holdsXml(const Formats::Bytes &data) {
    const std::size_t start = data.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return start != std::string::npos && data[start] == '<';
}

std::string scan(const Package::Entry &entry, const Finder &finder) {
    QXmlStreamReader reader(
        QByteArray::fromRawData(entry.data.data(), static_cast<qsizetype>(entry.data.size())));
    std::vector<Ancestor> open;
    while (!reader.atEnd()) {
        reader.readNext();
        std::string reason;
        if (reader.isStartElement()) {
            reason = finder(reader, open);
            open.push_back({reader.namespaceUri().toString(), reader.name().toString()});
        } else if (reader.isEndElement()) {
            open.pop_back();
        } else if (reader.isCharacters() && !reader.isWhitespace()) {
            reason = finder(reader, open);
        }
        if (!reason.empty()) {
            return reason;
        }
    }
    return reader.hasError() ? "damaged XML in " + entry.name : std::string();
}

// A reason when an entry keeps its own time or extra fields, or an embedded picture keeps
// metadata.
std::string entryFindings(const std::vector<Package::Entry> &entries) {
    const std::time_t written = Package::entryTime();
    for (const Package::Entry &entry : entries) {
        if (entry.modified != written) {
            return "still holds file times";
        }
        if (entry.extraFields != 0) {
            return "still holds ZIP extra fields";
        }
        const std::string picture = Pictures::remainingMetadata(entry.data);
        if (!picture.empty()) {
            return picture + " in " + entry.name;
        }
    }
    return {};
}

// Runs the finder over every entry that holds XML, until one returns a reason.
std::string scanXmlParts(const std::vector<Package::Entry> &entries, const FinderFor &finderFor,
                         QStringList &references) {
    for (const Package::Entry &entry : entries) {
        if (holdsXml(entry.data)) {
            const std::string reason = scan(entry, finderFor(entry, references));
            if (!reason.empty()) {
                return reason;
            }
        }
    }
    return {};
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

// A reason naming the first reference whose part is not in the package.
std::string missingPart(const std::vector<Package::Entry> &entries, const QStringList &references) {
    QSet<QString> names;
    for (const Package::Entry &entry : entries) {
        names.insert(partName(QString::fromStdString(entry.name)));
    }
    for (const QString &reference : references) {
        if (!names.contains(partName(reference))) {
            return "holds a reference to a missing part (" + reference.toStdString() + ")";
        }
    }
    return {};
}

}  // namespace

std::string remainingMetadata(const Formats::Bytes &package, const LayoutCheck &layout,
                              const FinderFor &finderFor) {
    std::vector<Package::Entry> entries;
    try {
        entries = Package::read(package);
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
    std::string reason = layout(entries);
    if (reason.empty()) {
        reason = entryFindings(entries);
    }
    QStringList references;
    if (reason.empty()) {
        reason = scanXmlParts(entries, finderFor, references);
    }
    return reason.empty() ? missingPart(entries, references) : reason;
}

}  // namespace PackageCheck
