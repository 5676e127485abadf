#include "formats/OfficeDocument.h"

#include "formats/PackageCheck.h"
#include "formats/PackageClean.h"

#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>

namespace OfficeDocument {

namespace {

const std::string ContentTypes = "[Content_Types].xml";

bool isWordNamespace(QStringView uri) {
    return uri == u"http://schemas.openxmlformats.org/wordprocessingml/2006/main" ||
           uri == u"http://purl.oclc.org/ooxml/wordprocessingml/main";
}

bool isThumbnail(const QString &partName) {
    return partName.startsWith(QStringLiteral("docProps/thumbnail."), Qt::CaseInsensitive);
}

// Parts whose root is kept and whose whole content goes.
bool isEmptiedPart(const std::string &name) {
    return name == "docProps/core.xml" || name == "docProps/app.xml" ||
           name == "docProps/custom.xml" || name == "word/people.xml";
}

XmlFilter::ElementAction element(const std::string &part, const PackageClean::KeptParts &kept,
                                 const QXmlStreamReader &reader, QStringView parentName) {
    using Action = XmlFilter::ElementAction;
    const QStringView name = reader.name();
    const QXmlStreamAttributes attributes = reader.attributes();
    if (parentName.isEmpty() && isEmptiedPart(part)) {
        return {Action::Replace, {}};
    }
    if ((name == u"rsids" || name == u"attachedTemplate") &&
        isWordNamespace(reader.namespaceUri())) {
        return {Action::Drop, {}};
    }
    if (name == u"absPath" ||
        (name == u"Relationship" &&
         (attributes.value(QLatin1String("Type")).endsWith(u"/metadata/thumbnail") ||
          attributes.value(QLatin1String("Type")).endsWith(u"/attachedTemplate"))) ||
        (name == u"Override" && !kept.contains(attributes.value(QLatin1String("PartName"))))) {
        return {Action::Drop, {}};
    }
    if (name == u"author" && parentName == u"authors") {  // a spreadsheet's comment authors
        return {Action::Replace, {}};
    }
    return {};
}

XmlFilter::AttributeAction attribute(const QXmlStreamReader &reader,
                                     const QXmlStreamAttribute &attribute) {
    using Action = XmlFilter::AttributeAction;
    const QStringView element = reader.name();
    const QStringView name = attribute.name();
    if (isWordNamespace(attribute.namespaceUri()) &&
        (name.startsWith(u"rsid") || name == u"date")) {
        return Action::Drop;
    }
    if (name == u"dt" || name == u"dT" || name == u"dateUtc" ||
        (name == u"created" && (element == u"cm" || element == u"reply"))) {
        return Action::Drop;
    }
    if (name == u"author" || name == u"initials" || name == u"userId" || name == u"providerId" ||
        name == u"userName" ||
        (name == u"name" && (element == u"cmAuthor" || element == u"author")) ||
        (name == u"displayName" && element == u"person")) {
        return Action::Blank;
    }
    return Action::Keep;
}

XmlFilter::Rules rulesFor(const std::string &part, const PackageClean::KeptParts &kept) {
    return {[part, &kept](const QXmlStreamReader &reader, QStringView, QStringView parentName) {
                return element(part, kept, reader, parentName);
            },
            attribute};
}

}  // namespace

Formats::Bytes clean(const Formats::Bytes &package) {
    // Office keeps password-protected documents, and the old binary formats, in a compound file.
    if (package.rfind("\xD0\xCF\x11\xE0", 0) == 0) {
        throw Formats::Refused("password-protected or old-format Office document");
    }
    const std::vector<Package::Entry> entries = Package::read(package);
    if (!PackageClean::hasEntry(entries, ContentTypes)) {
        throw Formats::Refused("damaged Office document: no content types");
    }
    return Package::write(PackageClean::cleanEntries(
        entries, [](const std::string &name) { return isThumbnail(QString::fromStdString(name)); },
        rulesFor));
}

// The check below reads the package on its own: it finds the properties by their namespaces, not
// by the part names the cleaning uses.
namespace {

const QStringList PropertyNamespaces = {
    QStringLiteral("http://schemas.openxmlformats.org/package/2006/metadata/core-properties"),
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/extended-properties"),
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/custom-properties"),
    QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/extendedProperties"),
    QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/customProperties"),
};

const QStringList PeopleAttributes = {QStringLiteral("author"), QStringLiteral("initials"),
                                      QStringLiteral("userId"), QStringLiteral("providerId"),
                                      QStringLiteral("userName")};

const QStringList DateAttributes = {QStringLiteral("dt"), QStringLiteral("dT"),
                                    QStringLiteral("dateUtc")};

bool isWordMain(QStringView uri) {
    return uri.endsWith(u"wordprocessingml/2006/main") ||
           uri.endsWith(u"ooxml/wordprocessingml/main");
}

std::string attributeFinding(QStringView element, const QXmlStreamAttribute &attribute) {
    const QString name = attribute.name().toString();
    const bool word = isWordMain(attribute.namespaceUri());
    if (word && name.startsWith(QStringLiteral("rsid"))) {
        return "still holds revision-session ids";
    }
    if ((word && name == QStringLiteral("date")) || DateAttributes.contains(name) ||
        (name == QStringLiteral("created") && (element == u"cm" || element == u"reply"))) {
        return "still holds comment or revision dates";
    }
    const bool person =
        PeopleAttributes.contains(name) ||
        (name == QStringLiteral("name") && (element == u"cmAuthor" || element == u"author")) ||
        (name == QStringLiteral("displayName") && element == u"person");
    if (person && !attribute.value().isEmpty()) {
        return "still holds comment or revision authors";
    }
    return {};
}

std::string elementFinding(const QXmlStreamReader &reader,
                           const std::vector<PackageCheck::Ancestor> &ancestors) {
    const QStringView name = reader.name();
    if (ancestors.size() == 1 && PropertyNamespaces.contains(ancestors.front().namespaceUri)) {
        return "still holds document properties";
    }
    if (name == u"person" && !ancestors.empty() && ancestors.back().name == u"people") {
        return "still holds a people list";
    }
    if (name == u"rsids" && isWordMain(reader.namespaceUri())) {
        return "still holds revision-session ids";
    }
    if (name == u"attachedTemplate" ||
        reader.attributes().value(QLatin1String("Type")).endsWith(u"/attachedTemplate")) {
        return "still names its template";
    }
    if (name == u"absPath") {
        return "still names the folder it was saved in";
    }
    if (reader.attributes().value(QLatin1String("Type")).endsWith(u"/metadata/thumbnail")) {
        return "still holds a thumbnail";
    }
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        const std::string finding = attributeFinding(name, attribute);
        if (!finding.empty()) {
            return finding;
        }
    }
    return {};
}

std::string textFinding(const std::vector<PackageCheck::Ancestor> &ancestors) {
    const std::size_t depth = ancestors.size();
    if (depth == 1 && PropertyNamespaces.contains(ancestors.front().namespaceUri)) {
        return "still holds document properties";
    }
    if (depth >= 2 && ancestors[depth - 1].name == u"author" &&
        ancestors[depth - 2].name == u"authors") {
        return "still holds comment or revision authors";
    }
    return {};
}

// The folder a relationship part's targets are relative to: "word/_rels/document.xml.rels" ->
// "word/".
QString relationshipBase(const QString &relationshipPart) {
    const int rels = relationshipPart.lastIndexOf(QStringLiteral("_rels/"));
    return relationshipPart.left(rels);
}

// Collects the parts the content types and relationships point at, and looks for what remains.
PackageCheck::Finder finderFor(const Package::Entry &entry, QStringList &references) {
    const QString base = relationshipBase(QString::fromStdString(entry.name));
    return [&references, base](const QXmlStreamReader &reader,
                               const std::vector<PackageCheck::Ancestor> &ancestors) {
        if (!reader.isStartElement()) {
            return textFinding(ancestors);
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() == u"Override") {
            references << attributes.value(QLatin1String("PartName")).toString();
        } else if (reader.name() == u"Relationship" &&
                   attributes.value(QLatin1String("TargetMode")) != u"External") {
            const QString target = attributes.value(QLatin1String("Target")).toString();
            references << (target.startsWith(QLatin1Char('/')) ? target : base + target);
        }
        return elementFinding(reader, ancestors);
    };
}

std::string layoutFinding(const std::vector<Package::Entry> &entries) {
    const auto named = [&entries](const auto &matches) {
        return std::any_of(entries.begin(), entries.end(), [&matches](const Package::Entry &entry) {
            return matches(QString::fromStdString(entry.name));
        });
    };
    if (!named([](const QString &name) { return name == QStringLiteral("[Content_Types].xml"); })) {
        return "holds no content types";
    }
    if (named([](const QString &name) {
            return name.startsWith(QStringLiteral("docProps/thumbnail"), Qt::CaseInsensitive);
        })) {
        return "still holds a thumbnail";
    }
    return {};
}

}  // namespace

std::string remainingMetadata(const Formats::Bytes &package) {
    return PackageCheck::remainingMetadata(package, layoutFinding, finderFor);
}

}  // namespace OfficeDocument
