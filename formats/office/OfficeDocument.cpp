#include "formats/office/OfficeDocument.h"

#include "formats/office/PackageCheck.h"
#include "formats/office/PackageClean.h"

#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUuid>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>

namespace OfficeDocument {

namespace {

const std::string ContentTypes = "[Content_Types].xml";

bool isWordNamespace(QStringView uri) {
    return uri == u"http://schemas.openxmlformats.org/wordprocessingml/2006/main" ||
           uri == u"http://purl.oclc.org/ooxml/wordprocessingml/main";
}

// Parts that go whole: the thumbnail, printer settings (they name the printer and its owner) and a
// shared workbook's revision log with its user names.
bool isDroppedPart(const std::string &name) {
    const QString part = QString::fromStdString(name);
    return part.startsWith(QStringLiteral("docProps/thumbnail."), Qt::CaseInsensitive) ||
           part.contains(QStringLiteral("printerSettings/"), Qt::CaseInsensitive) ||
           part.startsWith(QStringLiteral("xl/revisions/"), Qt::CaseInsensitive);
}

const QString SharePointProperties =
    QStringLiteral("http://schemas.microsoft.com/office/2006/metadata/properties");

// Document properties under any part name: Office finds them by the package's relationships, so
// a writer may name their part as it likes.
bool isPropertiesRoot(QStringView uri) {
    return uri.endsWith(u"properties", Qt::CaseInsensitive) &&
           (uri.startsWith(u"http://schemas.openxmlformats.org/") ||
            uri.startsWith(u"http://purl.oclc.org/ooxml/"));
}

// Parts whose root is kept, without attributes, and whose whole content goes.
bool isEmptiedPart(const std::string &name) {
    return name == "docProps/core.xml" || name == "docProps/app.xml" ||
           name == "docProps/custom.xml" || name == "word/people.xml" ||
           (name.rfind("package/services/metadata/core-properties/", 0) == 0 &&
            QString::fromStdString(name).endsWith(QStringLiteral(".psmdcp"), Qt::CaseInsensitive));
}

// Whether a relationship points into the package at a part that does not stay; earlier programs
// leave such links, and the removed parts leave them too.
bool linksToMissingPart(const std::string &part, const PackageClean::KeptParts &kept,
                        const QXmlStreamAttributes &attributes) {
    if (attributes.value(QLatin1String("TargetMode")) == u"External") {
        return false;
    }
    const QString target = attributes.value(QLatin1String("Target")).toString();
    const QString name = QString::fromStdString(part);
    const QString base = name.left(name.lastIndexOf(QStringLiteral("_rels/")));
    return !kept.contains(target.startsWith(QLatin1Char('/')) ? target : base + target);
}

XmlFilter::ElementAction element(const std::string &part, const PackageClean::KeptParts &kept,
                                 const QXmlStreamReader &reader, QStringView parentNamespace,
                                 QStringView parentName) {
    using Action = XmlFilter::ElementAction;
    const QStringView name = reader.name();
    const QXmlStreamAttributes attributes = reader.attributes();
    if (parentName.isEmpty() && (isEmptiedPart(part) || isPropertiesRoot(reader.namespaceUri()))) {
        return {Action::Replace, {}, false};
    }
    // SharePoint's owner, file name, document id and terms; its schema wants the elements kept.
    if (name == u"documentManagement" && parentNamespace == SharePointProperties) {
        return {Action::Blank, {}};
    }
    if ((name == u"rsids" || name == u"attachedTemplate" || name == u"docVars" ||
         name == u"printerSettings") &&
        isWordNamespace(reader.namespaceUri())) {
        return {Action::Drop, {}};
    }
    const QStringView type = attributes.value(QLatin1String("Type"));
    if (name == u"absPath" ||
        (name == u"Relationship" &&
         (type.endsWith(u"/metadata/thumbnail") || type.endsWith(u"/attachedTemplate") ||
          linksToMissingPart(part, kept, attributes))) ||
        (name == u"Override" && !kept.contains(attributes.value(QLatin1String("PartName"))))) {
        return {Action::Drop, {}};
    }
    if ((name == u"author" && parentName == u"authors") ||  // a spreadsheet's comment authors
        (parentName == u"UserInfo" && (name == u"DisplayName" || name == u"AccountId"))) {
        return {Action::Replace, {}};
    }
    return {};
}

// A database connection string without who connects and with which password.
QString withoutCredentials(const QString &connection) {
    static const QStringList Credentials = {QStringLiteral("user id"),  QStringLiteral("uid"),
                                            QStringLiteral("user"),     QStringLiteral("user name"),
                                            QStringLiteral("username"), QStringLiteral("password"),
                                            QStringLiteral("pwd")};
    QStringList kept;
    for (const QString &setting : connection.split(QLatin1Char(';'))) {
        if (!Credentials.contains(setting.section(QLatin1Char('='), 0, 0).trimmed().toLower())) {
            kept << setting;
        }
    }
    return kept.join(QLatin1Char(';'));
}

// The value with each GUID in it made anew at random, or, holding none, a new random number of
// eight hex digits below 80000000 as Word's w14:docId allows.
QString renewedId(const QString &value) {
    static const QRegularExpression guid(QStringLiteral(
        "[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}"));
    if (!guid.match(value).hasMatch()) {
        return QString::number(QRandomGenerator::system()->bounded(0x7FFFFFFF) + 1, 16)
            .toUpper()
            .rightJustified(8, QLatin1Char('0'));
    }
    QString renewed = value;
    QRegularExpressionMatchIterator matches = guid.globalMatch(value);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        renewed.replace(match.capturedStart(), match.capturedLength(),
                        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    }
    return renewed;
}

// Ids that would tie the document to its earlier copies (Word's w14/w15 docId, a workbook's
// documentId); they are kept as Office expects them, with new values.
bool isDocumentId(QStringView element, QStringView name) {
    return (element == u"docId" && name == u"val") ||
           (element == u"revisionPtr" && (name == u"documentId" || name == u"uidLastSave"));
}

std::optional<QString> attribute(const QXmlStreamReader &reader,
                                 const QXmlStreamAttribute &attribute) {
    const QStringView element = reader.name();
    const QStringView name = attribute.name();
    const QString value = attribute.value().toString();
    if (isWordNamespace(attribute.namespaceUri()) &&
        (name.startsWith(u"rsid") || name == u"date")) {
        return std::nullopt;
    }
    if (name == u"dt" || name == u"dT" || name == u"dateUtc" || name == u"refreshedBy" ||
        name == u"refreshedDate" || name == u"refreshedDateIso" ||
        (name == u"created" && (element == u"cm" || element == u"reply")) ||
        (name == u"id" && element == u"pageSetup")) {  // the printer settings' relationship
        return std::nullopt;
    }
    if (name == u"author" || name == u"initials" || name == u"userId" || name == u"providerId" ||
        name == u"userName" ||
        (name == u"name" && (element == u"cmAuthor" || element == u"author")) ||
        (name == u"displayName" && element == u"person")) {
        return QString();
    }
    if (isDocumentId(element, name)) {
        return renewedId(value);
    }
    if (name == u"connection") {
        return withoutCredentials(value);
    }
    // Links, and the connection files a workbook's data came from.
    if (name == u"Target" || name == u"odcFile" || name == u"sourceFile") {
        return PackageClean::fileNameOfLocalPath(value).value_or(value);
    }
    // Word once filled picture descriptions with the picture's own path.
    if ((name == u"descr" || name == u"title") && PackageClean::fileNameOfLocalPath(value)) {
        return QString();
    }
    return value;
}

// Field codes (LINK, INCLUDEPICTURE, HYPERLINK) quote the files they name: a quoted path on the
// author's computer keeps only its file name.
QString fieldCode(QStringView element, const QString &text) {
    static const QRegularExpression quoted(QStringLiteral(R"re("([^"]*)")re"));
    if (element != u"instrText") {
        return text;
    }
    QString result = text;
    QRegularExpressionMatchIterator matches = quoted.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const std::optional<QString> name =
            PackageClean::fileNameOfLocalPath(match.capturedView(1));
        if (name) {
            result.replace(match.captured(0), QLatin1Char('"') + *name + QLatin1Char('"'));
        }
    }
    return result;
}

XmlFilter::Rules rulesFor(const std::string &part, const PackageClean::KeptParts &kept) {
    return {[part, &kept](const QXmlStreamReader &reader, QStringView parentNamespace,
                          QStringView parentName) {
                return element(part, kept, reader, parentNamespace, parentName);
            },
            attribute,
            fieldCode,
            {}};
}

}  // namespace

Formats::Bytes cleanNested(const Formats::Bytes &package, int depth) {
    // Office keeps password-protected documents, and the old binary formats, in a compound file.
    if (package.rfind("\xD0\xCF\x11\xE0", 0) == 0) {
        throw Formats::Refused("password-protected or old-format Office document",
                               Formats::Cause::Protected);
    }
    std::vector<Package::Entry> entries = Package::read(package);
    if (!PackageClean::hasEntry(entries, ContentTypes)) {
        throw Formats::Refused("damaged Office document: no content types");
    }
    return Package::write(
        PackageClean::cleanEntries(std::move(entries), isDroppedPart, rulesFor, depth));
}

Formats::Bytes clean(const Formats::Bytes &package) {
    return cleanNested(package, 0);
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

const QStringList PathAttributes = {QStringLiteral("Target"), QStringLiteral("odcFile"),
                                    QStringLiteral("sourceFile"), QStringLiteral("descr"),
                                    QStringLiteral("title")};

const QStringList DateAttributes = {QStringLiteral("dt"), QStringLiteral("dT"),
                                    QStringLiteral("dateUtc")};

bool isWordMain(QStringView uri) {
    return uri.endsWith(u"wordprocessingml/2006/main") ||
           uri.endsWith(u"ooxml/wordprocessingml/main");
}

using Formats::Category;
using Formats::Findings;

const std::string LocalFolder = "a folder on the author's computer";

// What a document property tells, by its element's local name.
void addProperty(QStringView name, Findings &findings) {
    static const QHash<QString, std::pair<Category, std::string>> Properties = {
        {QStringLiteral("creator"), {Category::People, "author"}},
        {QStringLiteral("lastModifiedBy"), {Category::People, "last editor"}},
        {QStringLiteral("Company"), {Category::People, "company or manager"}},
        {QStringLiteral("Manager"), {Category::People, "company or manager"}},
        {QStringLiteral("created"), {Category::Dates, "document dates"}},
        {QStringLiteral("modified"), {Category::Dates, "document dates"}},
        {QStringLiteral("lastPrinted"), {Category::Dates, "document dates"}},
        {QStringLiteral("Application"), {Category::Software, "software"}},
        {QStringLiteral("AppVersion"), {Category::Software, "software"}},
        {QStringLiteral("title"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("subject"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("keywords"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("description"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("category"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("identifier"), {Category::Identifiers, "document identifier"}},
        {QStringLiteral("revision"), {Category::History, "revision number"}},
        {QStringLiteral("TotalTime"), {Category::History, "editing time"}},
        {QStringLiteral("Template"), {Category::Other, "its template's name"}},
    };
    const auto found = Properties.constFind(name.toString());
    if (found == Properties.constEnd()) {
        findings.add("document properties");
    } else {
        findings.add(found->first, found->second);
    }
}

void addAttributeFinding(QStringView element, const QXmlStreamAttribute &attribute,
                         Findings &findings) {
    const QString name = attribute.name().toString();
    const bool word = isWordMain(attribute.namespaceUri());
    if (word && name.startsWith(QStringLiteral("rsid"))) {
        findings.add(Category::History, "revision-session ids");
    } else if ((word && name == QStringLiteral("date")) || DateAttributes.contains(name) ||
               (name == QStringLiteral("created") && (element == u"cm" || element == u"reply"))) {
        findings.add(Category::Dates, "comment or revision dates");
    } else if ((PeopleAttributes.contains(name) ||
                (name == QStringLiteral("name") &&
                 (element == u"cmAuthor" || element == u"author")) ||
                (name == QStringLiteral("displayName") && element == u"person")) &&
               !attribute.value().isEmpty()) {
        findings.add(Category::People, "comment or revision authors");
    } else if (name == QStringLiteral("refreshedBy") ||
               name.startsWith(QStringLiteral("refreshedDate"))) {
        findings.add(Category::People, "who refreshed a pivot table and when");
    } else if (name == QStringLiteral("connection") &&
               attribute.value().toString().contains(QRegularExpression(
                   QStringLiteral(R"((^|;)\s*(user id|uid|user|user ?name|password|pwd)\s*=)"),
                   QRegularExpression::CaseInsensitiveOption))) {
        findings.add(Category::People, "a connection's user name or password");
    } else if (PathAttributes.contains(name)) {
        PackageCheck::addLocalPath(attribute.value(), LocalFolder, findings);
    }
}

bool isPropertyRoot(const QXmlStreamReader &reader,
                    const std::vector<PackageCheck::Ancestor> &ancestors) {
    return ancestors.empty() && PropertyNamespaces.contains(reader.namespaceUri().toString());
}

void addElementFindings(const QXmlStreamReader &reader,
                        const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings) {
    const QStringView name = reader.name();
    const QStringView type = reader.attributes().value(QLatin1String("Type"));
    const bool word = isWordMain(reader.namespaceUri());
    if (ancestors.size() == 1 && PropertyNamespaces.contains(ancestors.front().namespaceUri)) {
        addProperty(name, findings);
    } else if (isPropertyRoot(reader, ancestors) && !reader.attributes().isEmpty()) {
        findings.add("document properties");
    } else if (name == u"person" && !ancestors.empty() && ancestors.back().name == u"people") {
        findings.add(Category::People, "a people list");
    } else if (name == u"rsids" && word) {
        findings.add(Category::History, "revision-session ids");
    } else if (name == u"docVars" && word) {
        findings.add("document variables");
    } else if (name == u"attachedTemplate" || type.endsWith(u"/attachedTemplate")) {
        findings.add("its template's name");
    } else if (name == u"absPath") {
        findings.add(Category::People, "the folder it was saved in");
    } else if (type.endsWith(u"/metadata/thumbnail")) {
        findings.add(Category::Thumbnails, "a thumbnail");
    } else if ((name == u"printerSettings" && word) || type.endsWith(u"/printerSettings")) {
        findings.add(Category::Device, "printer settings");
    } else if (type.endsWith(u"/revisionHeaders") || type.endsWith(u"/usernames")) {
        findings.add(Category::History, "a shared workbook's revision log");
    }
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        addAttributeFinding(name, attribute, findings);
    }
}

// Adds each path on the author's computer that a field code quotes.
void addQuotedPaths(const QString &fieldCode, Findings &findings) {
    const QStringList pieces = fieldCode.split(QLatin1Char('"'));
    for (qsizetype index = 1; index < pieces.size(); index += 2) {
        PackageCheck::addLocalPath(pieces[index], LocalFolder, findings);
    }
}

// A value SharePoint stored with the document, by its property's name.
void addSharePointProperty(QStringView name, Findings &findings) {
    if (name.contains(u"DocId", Qt::CaseInsensitive)) {
        findings.add(Category::Identifiers, "a SharePoint document id");
    } else if (name.contains(u"Owner", Qt::CaseInsensitive) ||
               name.contains(u"Author", Qt::CaseInsensitive)) {
        findings.add(Category::People, "a SharePoint owner");
    } else {
        findings.add("SharePoint properties");
    }
}

void addTextFindings(const QXmlStreamReader &reader,
                     const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings) {
    const std::size_t depth = ancestors.size();
    if (depth >= 1 && ancestors.back().name == u"instrText") {
        addQuotedPaths(reader.text().toString(), findings);
    }
    if (depth == 1 && PropertyNamespaces.contains(ancestors.front().namespaceUri)) {
        findings.add("document properties");
    }
    if (depth >= 2 && ancestors[depth - 1].name == u"author" &&
        ancestors[depth - 2].name == u"authors") {
        findings.add(Category::People, "comment or revision authors");
    }
    if (depth >= 2 && ancestors[depth - 2].name == u"UserInfo") {
        findings.add(Category::People, "user names");
    }
    if (depth >= 3 && ancestors[1].name == u"documentManagement" &&
        ancestors[0].namespaceUri.endsWith(u"office/2006/metadata/properties")) {
        addSharePointProperty(ancestors[2].name, findings);
    }
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
                               const std::vector<PackageCheck::Ancestor> &ancestors,
                               Findings &findings) {
        if (!reader.isStartElement()) {
            addTextFindings(reader, ancestors, findings);
            return;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() == u"Override") {
            references << attributes.value(QLatin1String("PartName")).toString();
        } else if (reader.name() == u"Relationship" &&
                   attributes.value(QLatin1String("TargetMode")) != u"External") {
            const QString target = attributes.value(QLatin1String("Target")).toString();
            references << (target.startsWith(QLatin1Char('/')) ? target : base + target);
        }
        addElementFindings(reader, ancestors, findings);
    };
}

void addLayoutFindings(const std::vector<Package::Entry> &entries, Findings &findings) {
    QSet<QString> names;
    for (const Package::Entry &entry : entries) {
        names.insert(QString::fromStdString(entry.name).toLower());
    }
    if (!names.contains(QStringLiteral("[content_types].xml"))) {
        throw Formats::Refused("holds no content types");
    }
    for (const QString &name : names) {
        if (name.startsWith(QStringLiteral("docprops/thumbnail"))) {
            findings.add(Category::Thumbnails, "a thumbnail");
        }
        if (name.contains(QStringLiteral("printersettings"))) {
            findings.add(Category::Device, "printer settings");
        }
        if (name.contains(QStringLiteral("revisions/")) ||
            name.endsWith(QStringLiteral("usernames.xml"))) {
            findings.add(Category::History, "a shared workbook's revision log");
        }
    }
}

}  // namespace

Formats::Findings findings(const Formats::Bytes &package, int depth) {
    return PackageCheck::findings(package, addLayoutFindings, finderFor, depth);
}

std::string remainingMetadata(const Formats::Bytes &package) {
    return PackageCheck::reasonOf([&] { return findings(package, 0); });
}

}  // namespace OfficeDocument
