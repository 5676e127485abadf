#include "formats/office/OfficeDocument.h"

#include "formats/office/PackageCheck.h"
#include "formats/office/PackageClean.h"

#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>
#include <QUuid>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>

namespace OfficeDocument {

namespace {

using Formats::Category;
using Formats::Finding;
using Formats::Findings;

const std::string ContentTypes = "[Content_Types].xml";

// The rules below tell what goes; the pass acts on them and the check names what they find, so
// that the two agree. Office finds parts by the package's relationships, so a writer may name them
// as it likes: a part is told by its root element, and only the parts that go whole by name.

bool isWordNamespace(QStringView uri) {
    return uri.endsWith(u"wordprocessingml/2006/main") ||
           uri.endsWith(u"ooxml/wordprocessingml/main");
}

bool isPropertiesRoot(QStringView uri) {
    return uri.endsWith(u"properties", Qt::CaseInsensitive) &&
           (uri.startsWith(u"http://schemas.openxmlformats.org/") ||
            uri.startsWith(u"http://purl.oclc.org/ooxml/"));
}

// Word's list of the people who commented or revised, with their accounts.
bool isPeopleList(QStringView uri, QStringView name) {
    return name == u"people" && uri.startsWith(u"http://schemas.microsoft.com/office/word/");
}

// Roots kept without attributes, whose whole content goes: document properties and people lists.
bool isEmptiedRoot(QStringView uri, QStringView name) {
    return isPropertiesRoot(uri) || isPeopleList(uri, name);
}

bool isSharePointProperties(QStringView uri) {
    return uri.endsWith(u"office/2006/metadata/properties");
}

// Elements whose text names a person: a spreadsheet's comment authors and SharePoint's users.
bool namesAPerson(QStringView parentName, QStringView name) {
    return (name == u"author" && parentName == u"authors") ||
           (parentName == u"UserInfo" && (name == u"DisplayName" || name == u"AccountId"));
}

// Parts that go whole: the thumbnail, printer settings (they name the printer and its owner) and a
// shared workbook's revision log with its user names.
std::optional<Finding> droppedPart(const std::string &name) {
    const QString part = QString::fromStdString(name).toLower();
    if (part.startsWith(QStringLiteral("docprops/thumbnail"))) {
        return Finding{Category::Thumbnails, "a thumbnail"};
    }
    if (part.contains(QStringLiteral("printersettings"))) {
        return Finding{Category::Device, "printer settings"};
    }
    if (part.contains(QStringLiteral("revisions/")) ||
        part.endsWith(QStringLiteral("usernames.xml"))) {
        return Finding{Category::History, "a shared workbook's revision log"};
    }
    return std::nullopt;
}

// Elements that go whole: Word's revision sessions, variables and printer, the template and the
// folder a document names, and links to a thumbnail, a template, printer settings or a shared
// workbook's revision log.
std::optional<Finding> droppedElement(const QXmlStreamReader &reader) {
    const QStringView name = reader.name();
    const QStringView type = reader.attributes().value(QLatin1String("Type"));
    const bool word = isWordNamespace(reader.namespaceUri());
    if (name == u"rsids" && word) {
        return Finding{Category::History, "revision-session ids"};
    }
    if (name == u"docVars" && word) {
        return Finding{Category::Other, "document variables"};
    }
    if (name == u"attachedTemplate" || type.endsWith(u"/attachedTemplate")) {
        return Finding{Category::Other, "its template's name"};
    }
    if (name == u"absPath") {
        return Finding{Category::People, "the folder it was saved in"};
    }
    if (type.endsWith(u"/metadata/thumbnail")) {
        return Finding{Category::Thumbnails, "a thumbnail"};
    }
    if ((name == u"printerSettings" && word) || type.endsWith(u"/printerSettings")) {
        return Finding{Category::Device, "printer settings"};
    }
    if (type.endsWith(u"/revisionHeaders") || type.endsWith(u"/usernames")) {
        return Finding{Category::History, "a shared workbook's revision log"};
    }
    return std::nullopt;
}

// What becomes of an attribute, and what the check calls it while it stays as it came.
struct AttributeRule {
    enum Kind {
        Keep,
        Drop,
        Empty,        // names a person
        NewId,        // ties the document to its earlier copies
        Credentials,  // a connection string without who connects and with which password
        FileName,     // a link or path: one on the author's computer keeps its file name
        EmptyIfPath,  // a description Word once filled with the picture's own path
    };
    Kind kind = Keep;
    Finding finding = {};
};

// Ids that would tie the document to its earlier copies (Word's w14/w15 docId, a workbook's
// documentId); they are kept as Office expects them, with new values.
bool isDocumentId(QStringView element, QStringView name) {
    return (element == u"docId" && name == u"val") ||
           (element == u"revisionPtr" && (name == u"documentId" || name == u"uidLastSave"));
}

bool namesItsAuthor(QStringView element, QStringView name) {
    return name == u"author" || name == u"initials" || name == u"userId" || name == u"providerId" ||
           name == u"userName" ||
           (name == u"name" && (element == u"cmAuthor" || element == u"author")) ||
           (name == u"displayName" && element == u"person");
}

AttributeRule attributeRule(QStringView element, const QXmlStreamAttribute &attribute) {
    using Rule = AttributeRule;
    const QStringView name = attribute.name();
    const bool word = isWordNamespace(attribute.namespaceUri());
    if (word && name.startsWith(u"rsid")) {
        return {Rule::Drop, {Category::History, "revision-session ids"}};
    }
    if ((word && name == u"date") || name == u"dt" || name == u"dT" || name == u"dateUtc" ||
        (name == u"created" && (element == u"cm" || element == u"reply"))) {
        return {Rule::Drop, {Category::Dates, "comment or revision dates"}};
    }
    if (name == u"refreshedBy" || name.startsWith(u"refreshedDate")) {
        return {Rule::Drop, {Category::People, "who refreshed a pivot table and when"}};
    }
    if (name == u"id" && element == u"pageSetup") {  // the printer settings' relationship
        return {Rule::Drop, {}};
    }
    if (namesItsAuthor(element, name)) {
        return {Rule::Empty, {Category::People, "comment or revision authors"}};
    }
    if (isDocumentId(element, name)) {
        return {Rule::NewId, {}};
    }
    if (name == u"connection") {
        return {Rule::Credentials, {Category::People, "a connection's user name or password"}};
    }
    // Links, and the connection files a workbook's data came from.
    if (name == u"Target" || name == u"odcFile" || name == u"sourceFile") {
        return {Rule::FileName, {}};
    }
    if (name == u"descr" || name == u"title") {
        return {Rule::EmptyIfPath, {}};
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
    if (parentName.isEmpty() && isEmptiedRoot(reader.namespaceUri(), name)) {
        return {Action::Replace, {}, false};
    }
    if (droppedElement(reader) ||
        (name == u"Relationship" && linksToMissingPart(part, kept, attributes)) ||
        (name == u"Override" && !kept.contains(attributes.value(QLatin1String("PartName"))))) {
        return {Action::Drop, {}};
    }
    // SharePoint's owner, file name, document id and terms; its schema wants the elements kept.
    if (name == u"documentManagement" && isSharePointProperties(parentNamespace)) {
        return {Action::Blank, {}};
    }
    if (namesAPerson(parentName, name)) {
        return {Action::Replace, {}};
    }
    return {};
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

std::optional<QString> attribute(const QXmlStreamReader &reader,
                                 const QXmlStreamAttribute &attribute) {
    const QString value = attribute.value().toString();
    switch (attributeRule(reader.name(), attribute).kind) {
        case AttributeRule::Drop:
            return std::nullopt;
        case AttributeRule::Empty:
            return QString();
        case AttributeRule::NewId:
            return renewedId(value);
        case AttributeRule::Credentials:
            return withoutCredentials(value);
        case AttributeRule::FileName:
            return PackageClean::fileNameOfLocalPath(value).value_or(value);
        case AttributeRule::EmptyIfPath:
            return PackageClean::fileNameOfLocalPath(value) ? QString() : value;
        case AttributeRule::Keep:
            break;
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
    return Package::write(PackageClean::cleanEntries(
        std::move(entries), [](const std::string &name) { return droppedPart(name).has_value(); },
        rulesFor, depth));
}

Formats::Bytes clean(const Formats::Bytes &package) {
    return cleanNested(package, 0);
}

// The check below reads the package on its own, by the rules the pass goes by.
namespace {

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
    const AttributeRule rule = attributeRule(element, attribute);
    const QString value = attribute.value().toString();
    const bool stays =
        rule.kind == AttributeRule::Drop ||
        (rule.kind == AttributeRule::Empty && !value.isEmpty()) ||
        (rule.kind == AttributeRule::Credentials && withoutCredentials(value) != value);
    if (stays && !rule.finding.name.empty()) {
        findings.add(rule.finding.category, rule.finding.name);
    } else if (rule.kind == AttributeRule::FileName || rule.kind == AttributeRule::EmptyIfPath) {
        PackageCheck::addLocalPath(value, LocalFolder, findings);
    }
}

// What an emptied root holds: a property, by its name, or the people of a people list.
void addEmptiedContent(const PackageCheck::Ancestor &root, QStringView name, Findings &findings) {
    if (isPeopleList(root.namespaceUri, root.name)) {
        findings.add(Category::People, "a people list");
    } else {
        addProperty(name, findings);
    }
}

bool isEmptiedRoot(const PackageCheck::Ancestor &element) {
    return isEmptiedRoot(element.namespaceUri, element.name);
}

void addElementFindings(const QXmlStreamReader &reader,
                        const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings) {
    const QStringView name = reader.name();
    const PackageCheck::Ancestor self{reader.namespaceUri().toString(), name.toString()};
    if (ancestors.size() == 1 && isEmptiedRoot(ancestors.front())) {
        addEmptiedContent(ancestors.front(), name, findings);
    } else if (ancestors.empty() && isEmptiedRoot(self)) {
        // The root stays, without its attributes, whatever its name.
        if (!reader.attributes().isEmpty()) {
            addEmptiedContent(self, {}, findings);
        }
    } else if (const std::optional<Finding> dropped = droppedElement(reader)) {
        findings.add(dropped->category, dropped->name);
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
    if (depth == 1 && isEmptiedRoot(ancestors.front())) {
        addEmptiedContent(ancestors.front(), {}, findings);
    }
    if (depth >= 2 && namesAPerson(ancestors[depth - 2].name, ancestors[depth - 1].name)) {
        findings.add(Category::People, ancestors[depth - 2].name == u"UserInfo"
                                           ? "user names"
                                           : "comment or revision authors");
    }
    if (depth >= 3 && ancestors[1].name == u"documentManagement" &&
        isSharePointProperties(ancestors[0].namespaceUri)) {
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
    if (PackageClean::isOfItsOwnKind(entry)) {
        return {};
    }
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
    const bool typed = std::any_of(entries.begin(), entries.end(), [](const auto &entry) {
        return QString::fromStdString(entry.name)
                   .compare(QString::fromStdString(ContentTypes), Qt::CaseInsensitive) == 0;
    });
    if (!typed) {
        throw Formats::Refused("holds no content types");
    }
    for (const Package::Entry &entry : entries) {
        if (const std::optional<Finding> dropped = droppedPart(entry.name)) {
            findings.add(dropped->category, dropped->name);
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
