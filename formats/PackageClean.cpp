#include "formats/PackageClean.h"

#include "formats/Pictures.h"

#include <QString>
#include <QUrl>

namespace PackageClean {

namespace {

bool isXmlPart(const std::string &name) {
    const QString lower = QString::fromStdString(name).toLower();
    return lower.endsWith(QStringLiteral(".xml")) || lower.endsWith(QStringLiteral(".rels"));
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

Formats::Bytes cleanPicture(const Package::Entry &entry) {
    try {
        return Pictures::clean(entry.data);
    } catch (const Formats::Refused &refused) {
        throw Formats::Refused(refused.what() + (" in " + entry.name));
    }
}

}  // namespace

KeptParts::KeptParts(const std::vector<Package::Entry> &entries, const Dropped &dropped) {
    for (const Package::Entry &entry : entries) {
        if (!dropped(entry.name)) {
            names_.insert(QString::fromStdString(entry.name).toLower());
        }
    }
}

bool KeptParts::contains(QStringView path) const {
    const QString name = QUrl::fromPercentEncoding(path.toUtf8()).toLower();
    return names_.contains(name.startsWith(QLatin1Char('/')) ? name.mid(1) : name);
}

std::vector<Package::Entry> cleanEntries(
    const std::vector<Package::Entry> &entries, const Dropped &dropped,
    const std::function<XmlFilter::Rules(const std::string &name, const KeptParts &kept)>
        &rulesFor) {
    const KeptParts kept(entries, dropped);
    std::vector<Package::Entry> cleaned;
    for (const Package::Entry &entry : entries) {
        if (dropped(entry.name)) {
            continue;
        }
        Package::Entry copy;
        copy.name = entry.name;
        copy.data = isXmlPart(entry.name)
                        ? XmlFilter::copy(entry.data, rulesFor(entry.name, kept), entry.name)
                        : cleanPicture(entry);
        copy.compressed = !isCompressedAlready(copy.data);
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

}  // namespace PackageClean
