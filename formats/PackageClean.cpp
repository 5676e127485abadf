#include "formats/PackageClean.h"

#include "formats/Embedded.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace PackageClean {

namespace {

bool isXmlPart(const std::string &name) {
    const QString lower = QString::fromStdString(name).toLower();
    return lower.endsWith(QStringLiteral(".xml")) || lower.endsWith(QStringLiteral(".rels")) ||
           lower.endsWith(QStringLiteral(".psmdcp"));
}

// Pictures and nested packages gain nothing from deflate, which would cost most of the time.
bool isCompressedAlready(const Formats::Bytes &data) {
    for (const char *signature : {"\xFF\xD8\xFF", "\x89PNG", "GIF8", "PK\x03\x04"}) {
        if (data.rfind(signature, 0) == 0) {
            return true;
        }
    }
    return data.size() >= 12 && data.rfind("RIFF", 0) == 0 && data.compare(8, 4, "WEBP") == 0;
}

Formats::Bytes cleanEmbedded(const Package::Entry &entry, int depth) {
    try {
        return Embedded::clean(entry.data, depth + 1);
    } catch (const Formats::Refused &refused) {
        throw Formats::Refused(refused.what() + (" in " + entry.name));
    }
}

// "/word/../word/Document.xml" -> "word/document.xml".
QString partName(QStringView path) {
    QStringList resolved;
    const QString decoded = QUrl::fromPercentEncoding(path.toUtf8()).toLower();
    for (const QString &segment : decoded.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QStringLiteral("..") && !resolved.isEmpty()) {
            resolved.removeLast();
        } else if (segment != QStringLiteral(".") && segment != QStringLiteral("..")) {
            resolved << segment;
        }
    }
    return resolved.join(QLatin1Char('/'));
}

}  // namespace

KeptParts::KeptParts(const std::vector<Package::Entry> &entries, const Dropped &dropped) {
    for (const Package::Entry &entry : entries) {
        if (!dropped(entry.name)) {
            names_.insert(partName(QString::fromStdString(entry.name)));
        }
    }
}

bool KeptParts::contains(QStringView path) const {
    return names_.contains(partName(path));
}

std::vector<Package::Entry> cleanEntries(std::vector<Package::Entry> entries,
                                         const Dropped &dropped, const RulesFor &rulesFor,
                                         int depth) {
    const KeptParts kept(entries, dropped);
    std::vector<Package::Entry> cleaned;
    for (Package::Entry &entry : entries) {
        if (dropped(entry.name)) {
            continue;
        }
        Package::Entry copy;
        copy.name = entry.name;
        copy.data = isXmlPart(entry.name)
                        ? XmlFilter::copy(entry.data, rulesFor(entry.name, kept), entry.name)
                        : cleanEmbedded(entry, depth);
        copy.compressed = !isCompressedAlready(copy.data);
        Formats::Bytes().swap(entry.data);
        cleaned.push_back(std::move(copy));
    }
    return cleaned;
}

bool hasEntry(const std::vector<Package::Entry> &entries, const std::string &name) {
    for (const Package::Entry &entry : entries) {
        if (entry.name == name) {
            return true;
        }
    }
    return false;
}

std::optional<QString> fileNameOfLocalPath(QStringView value) {
    static const QRegularExpression localPath(
        QStringLiteral(R"(^(file:|[A-Za-z]:[\\/]|\\\\|//|/home/|/Users/|/media/|/mnt/|/tmp/))"),
        QRegularExpression::CaseInsensitiveOption);
    const QString path = value.trimmed().toString();
    if (!localPath.match(path).hasMatch()) {
        return std::nullopt;
    }
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

}  // namespace PackageClean
