#include "formats/PackageClean.h"

#include "formats/Pictures.h"

#include <QString>

namespace PackageClean {

namespace {

bool isXmlPart(const std::string &name) {
    const QString lower = QString::fromStdString(name).toLower();
    return lower.endsWith(QStringLiteral(".xml")) || lower.endsWith(QStringLiteral(".rels"));
}

}  // namespace

std::vector<Package::Entry> cleanEntries(
    const std::vector<Package::Entry> &entries,
    const std::function<bool(const std::string &name)> &dropped,
    const std::function<XmlFilter::Rules(const std::string &name)> &rulesFor) {
    std::vector<Package::Entry> cleaned;
    for (const Package::Entry &entry : entries) {
        if (dropped(entry.name)) {
            continue;
        }
        Package::Entry copy;
        copy.name = entry.name;
        copy.data = isXmlPart(entry.name)
                        ? XmlFilter::copy(entry.data, rulesFor(entry.name), entry.name)
                        : Pictures::clean(entry.data);
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
