#include "formats/office/PackageCheck.h"

#include "formats/Kinds.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>

namespace PackageCheck {

namespace {

bool holdsXml(const Formats::Bytes &data) {
    const std::size_t start = data.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return start != std::string::npos && data[start] == '<';
}

// Whether damaged XML in the entry is a fault: other entries (drawings, binary parts) may start
// like XML without being it.
bool namedAsXml(const std::string &name) {
    const QString lower = QString::fromStdString(name).toLower();
    return lower.endsWith(QStringLiteral(".xml")) || lower.endsWith(QStringLiteral(".rels")) ||
           lower.endsWith(QStringLiteral(".psmdcp"));
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
        } else if (reader.isDTD() || reader.isProcessingInstruction()) {
            reason = "still holds a document type declaration or processing instruction in " +
                     entry.name;
        }
        if (!reason.empty()) {
            return reason;
        }
    }
    return reader.hasError() && namedAsXml(entry.name) ? "damaged XML in " + entry.name
                                                       : std::string();
}

// A reason when an entry keeps its own time or extra fields, or embedded content keeps metadata.
std::string entryFindings(const std::vector<Package::Entry> &entries, int depth) {
    const std::time_t written = Package::entryTime();
    for (const Package::Entry &entry : entries) {
        if (entry.modified != written) {
            return "still holds file times";
        }
        if (entry.extraFields != 0) {
            return "still holds ZIP extra fields";
        }
        const std::string embedded = Kinds::checkEmbedded(entry.data, depth + 1).reason();
        if (!embedded.empty()) {
            return embedded + " in " + entry.name;
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
                              const FinderFor &finderFor, int depth) {
    std::vector<Package::Entry> entries;
    try {
        entries = Package::read(package);
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
    std::string reason = layout(entries);
    if (reason.empty()) {
        reason = entryFindings(entries, depth);
    }
    QStringList references;
    if (reason.empty()) {
        reason = scanXmlParts(entries, finderFor, references);
    }
    return reason.empty() ? missingPart(entries, references) : reason;
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

}  // namespace PackageCheck
