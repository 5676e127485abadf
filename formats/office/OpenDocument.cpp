#include "formats/office/OpenDocument.h"

#include "formats/office/PackageCheck.h"
#include "formats/office/PackageClean.h"

#include <QHash>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>

namespace OpenDocument {

namespace {

const QString Office = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString DublinCore = QStringLiteral("http://purl.org/dc/elements/1.1/");
const QString Config = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:config:1.0");
const QString Manifest = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");
const QString OpenOffice = QStringLiteral("http://openoffice.org/2009/office");

// Comment and change dates all become this one.
const QString FixedDate = QStringLiteral("1980-01-01T00:00:00");

// The thumbnail and earlier versions stored with their authors and dates: the pass drops them and
// the check names them by this one rule.
std::optional<Formats::Finding> droppedPart(QStringView path) {
    if (path.startsWith(u"Thumbnails")) {
        return Formats::Finding{Formats::Category::Thumbnails, "a thumbnail"};
    }
    if (path.startsWith(u"Version")) {
        return Formats::Finding{Formats::Category::History, "earlier versions"};
    }
    return std::nullopt;
}

bool isDroppedPart(QStringView path) {
    return droppedPart(path).has_value();
}

XmlFilter::ElementAction element(const PackageClean::KeptParts &kept,
                                 const QXmlStreamReader &reader, QStringView parentName) {
    using Action = XmlFilter::ElementAction;
    const QStringView uri = reader.namespaceUri();
    const QStringView name = reader.name();
    // Meta blocks only describe the document, in meta.xml or in any other part.
    if (uri == Office && name == u"meta") {
        return {Action::Replace, {}};
    }
    // Comments and changes have the same children whichever namespace (office, officeooo for
    // presentation comments) holds them.
    if (parentName == u"annotation" || parentName == u"change-info") {
        if (uri == DublinCore && name == u"creator") {
            return {Action::Replace, {}};
        }
        if (uri == DublinCore && name == u"date") {
            return {Action::Replace, FixedDate};
        }
        if (name == u"creator-initials" || name == u"sender-initials" || name == u"date-string") {
            return {Action::Drop, {}};
        }
    }
    const QStringView configName = reader.attributes().value(Config, QStringLiteral("name"));
    if (uri == Config && name == u"config-item" &&
        (configName == u"PrinterName" || configName == u"PrinterSetup" || configName == u"Rsid" ||
         configName == u"RsidRoot")) {
        return {Action::Drop, {}};
    }
    if (uri == Manifest && name == u"encryption-data") {
        throw Formats::Refused("encrypted document", Formats::Cause::Protected);
    }
    const QStringView path = reader.attributes().value(Manifest, QStringLiteral("full-path"));
    if (uri == Manifest && name == u"file-entry" &&
        (isDroppedPart(path) || (!path.endsWith(u'/') && !kept.contains(path)))) {
        // A folder may be listed without an entry of its own; a file must be there.
        return {Action::Drop, {}};
    }
    return {};
}

std::optional<QString> attribute(const QXmlStreamReader &, const QXmlStreamAttribute &attribute) {
    const QString value = attribute.value().toString();
    if (attribute.namespaceUri() == OpenOffice &&
        (attribute.name() == u"rsid" || attribute.name() == u"paragraph-rsid")) {
        return std::nullopt;
    }
    return attribute.name() == u"href" ? PackageClean::fileNameOfLocalPath(value).value_or(value)
                                       : value;
}

XmlFilter::Rules rulesFor(const std::string &part, const PackageClean::KeptParts &kept) {
    XmlFilter::Rules rules{
        [&kept](const QXmlStreamReader &reader, QStringView, QStringView parentName) {
            return element(kept, reader, parentName);
        },
        attribute,
        {},
        {}};
    if (part == "META-INF/manifest.xml") {
        rules.implied << QXmlStreamNamespaceDeclaration(QStringLiteral("manifest"), Manifest);
    }
    return rules;
}

}  // namespace

Formats::Bytes cleanNested(const Formats::Bytes &package, int depth) {
    std::vector<Package::Entry> entries = Package::read(package);
    if (!PackageClean::hasEntry(entries, "META-INF/manifest.xml")) {
        throw Formats::Refused("damaged OpenDocument file: no manifest");
    }
    std::vector<Package::Entry> cleaned = PackageClean::cleanEntries(
        std::move(entries),
        [](const std::string &name) { return isDroppedPart(QString::fromStdString(name)); },
        rulesFor, depth);
    // Readers tell the kind of document by a mimetype entry at a fixed place.
    const auto mimetype =
        std::find_if(cleaned.begin(), cleaned.end(),
                     [](const Package::Entry &entry) { return entry.name == "mimetype"; });
    if (mimetype != cleaned.end()) {
        mimetype->compressed = false;
        std::rotate(cleaned.begin(), mimetype, mimetype + 1);
    }
    return Package::write(cleaned);
}

Formats::Bytes clean(const Formats::Bytes &package) {
    return cleanNested(package, 0);
}

// The check below reads the package on its own and looks for the kinds of data anywhere, not only
// in the parts the cleaning works on.
namespace {

const QStringList PrinterItems = {QStringLiteral("PrinterName"), QStringLiteral("PrinterSetup")};
const QStringList RsidItems = {QStringLiteral("Rsid"), QStringLiteral("RsidRoot")};
const QStringList InitialsElements = {QStringLiteral("creator-initials"),
                                      QStringLiteral("sender-initials"),
                                      QStringLiteral("date-string")};

bool isOffice(QStringView uri) {
    return uri.startsWith(u"urn:oasis:names:tc:opendocument:xmlns:office:");
}

// Whether the element `up` levels above the innermost open one is a comment or a change's info,
// in whichever namespace (presentation comments have one of their own).
bool aboutPeople(const std::vector<PackageCheck::Ancestor> &ancestors, std::size_t up) {
    if (ancestors.size() <= up) {
        return false;
    }
    const PackageCheck::Ancestor &holder = ancestors[ancestors.size() - 1 - up];
    return holder.name == u"annotation" || holder.name == u"change-info";
}

using Formats::Category;
using Formats::Findings;

void addTextFindings(const QXmlStreamReader &reader,
                     const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings) {
    if (!aboutPeople(ancestors, 1)) {
        return;
    }
    const QStringView own = ancestors.back().name;
    if (own == u"creator") {
        findings.add(Category::People, "comment or change authors");
    } else if (own == u"date" && reader.text() != FixedDate) {
        findings.add(Category::Dates, "comment or change dates");
    }
}

// What a meta block's child tells, by its local name.
void addMeta(QStringView name, Findings &findings) {
    static const QHash<QString, std::pair<Category, std::string>> Meta = {
        {QStringLiteral("creator"), {Category::People, "author"}},
        {QStringLiteral("initial-creator"), {Category::People, "author"}},
        {QStringLiteral("printed-by"), {Category::People, "author"}},
        {QStringLiteral("creation-date"), {Category::Dates, "document dates"}},
        {QStringLiteral("date"), {Category::Dates, "document dates"}},
        {QStringLiteral("print-date"), {Category::Dates, "document dates"}},
        {QStringLiteral("generator"), {Category::Software, "software"}},
        {QStringLiteral("title"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("subject"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("keyword"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("description"), {Category::Descriptions, "title, subject or keywords"}},
        {QStringLiteral("editing-cycles"), {Category::History, "editing history"}},
        {QStringLiteral("editing-duration"), {Category::History, "editing history"}},
        {QStringLiteral("template"), {Category::Other, "its template's name"}},
        {QStringLiteral("user-defined"), {Category::Other, "custom properties"}},
    };
    const auto found = Meta.constFind(name.toString());
    if (found == Meta.constEnd()) {
        findings.add("document properties");
    } else {
        findings.add(found->first, found->second);
    }
}

void addDroppedPart(QStringView path, Findings &findings) {
    if (const std::optional<Formats::Finding> dropped = droppedPart(path)) {
        findings.add(dropped->category, dropped->name);
    }
}

void addAttributeFinding(const QXmlStreamAttribute &attribute, Findings &findings,
                         QStringList &references) {
    const QStringView name = attribute.name();
    const QStringView value = attribute.value();
    if (name.endsWith(u"rsid") || (name == u"name" && RsidItems.contains(value.toString()))) {
        findings.add(Category::History, "revision-session ids");
    } else if (name == u"name" && PrinterItems.contains(value.toString())) {
        findings.add(Category::Device, "printer settings");
    } else if (name == u"href") {
        PackageCheck::addLocalPath(value, "a folder on the author's computer", findings);
    } else if (name == u"full-path") {
        addDroppedPart(value, findings);
    }
    if (name == u"full-path" && value != u"/" && !value.endsWith(u"/")) {
        references << value.toString();
    }
}

void addElementFindings(const QXmlStreamReader &reader,
                        const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings,
                        QStringList &references) {
    if (!ancestors.empty() && ancestors.back().name == u"meta" &&
        isOffice(ancestors.back().namespaceUri)) {
        addMeta(reader.name(), findings);
    }
    if (aboutPeople(ancestors, 0) && InitialsElements.contains(reader.name().toString())) {
        findings.add(Category::People, "comment or change authors");
    }
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        addAttributeFinding(attribute, findings, references);
    }
}

void addLayoutFindings(const std::vector<Package::Entry> &entries, Findings &findings) {
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const Package::Entry &entry = entries[index];
        addDroppedPart(QString::fromStdString(entry.name), findings);
        if (entry.name == "mimetype" && (index != 0 || entry.compressed)) {
            throw Formats::Refused("holds its mimetype out of place");
        }
    }
}

PackageCheck::Finder finderFor(const Package::Entry &entry, QStringList &references) {
    if (PackageClean::isOfItsOwnKind(entry)) {
        return {};
    }
    return [&references](const QXmlStreamReader &reader,
                         const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings) {
        if (reader.isStartElement()) {
            addElementFindings(reader, ancestors, findings, references);
        } else {
            addTextFindings(reader, ancestors, findings);
        }
    };
}

}  // namespace

Formats::Findings findings(const Formats::Bytes &package, int depth) {
    return PackageCheck::findings(package, addLayoutFindings, finderFor, depth);
}

std::string remainingMetadata(const Formats::Bytes &package) {
    return PackageCheck::reasonOf([&] { return findings(package, 0); });
}

}  // namespace OpenDocument
