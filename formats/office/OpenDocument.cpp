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

using Formats::Category;
using Formats::Finding;
using Formats::Findings;

const QString Manifest = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");
const QString Text = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");

// Comment and change dates all become this one.
const QString FixedDate = QStringLiteral("1980-01-01T00:00:00");

// The rules below tell what goes; the pass acts on them and the check names what they find, so
// that the two agree. They go by local names: a namespace misspelt by a byte must not let through
// what the names still say it is.

// The thumbnail and earlier versions stored with their authors and dates.
std::optional<Finding> droppedPart(QStringView path) {
    if (path.startsWith(u"Thumbnails")) {
        return Finding{Category::Thumbnails, "a thumbnail"};
    }
    if (path.startsWith(u"Version")) {
        return Finding{Category::History, "earlier versions"};
    }
    return std::nullopt;
}

bool isDroppedPart(QStringView path) {
    return droppedPart(path).has_value();
}

// Meta blocks only describe the document, in meta.xml or in any other part; only the text
// namespace has inline `meta` elements of its own, which hold the body's words.
bool isMetaBlock(QStringView uri, QStringView name) {
    return name == u"meta" && uri != Text;
}

// What becomes of a comment's or change's child, in whichever namespace (office, officeooo for
// presentation comments) they stand.
struct PersonRule {
    enum Kind { Keep, Empty, FixDate, Drop };
    Kind kind = Keep;
    Finding finding = {};
};

PersonRule personRule(QStringView parentName, QStringView name) {
    if (parentName != u"annotation" && parentName != u"change-info") {
        return {};
    }
    const Finding authors{Category::People, "comment or change authors"};
    if (name == u"creator") {
        return {PersonRule::Empty, authors};
    }
    if (name == u"date") {
        return {PersonRule::FixDate, {Category::Dates, "comment or change dates"}};
    }
    if (name == u"creator-initials" || name == u"sender-initials" || name == u"date-string") {
        return {PersonRule::Drop, authors};
    }
    return {};
}

// Settings that name the printer or tie the document to its editing sessions, by the name an
// element gives them.
std::optional<Finding> droppedSetting(const QXmlStreamAttributes &attributes) {
    for (const QXmlStreamAttribute &attribute : attributes) {
        const QStringView value = attribute.value();
        if (attribute.name() != u"name") {
            continue;
        }
        if (value == u"PrinterName" || value == u"PrinterSetup") {
            return Finding{Category::Device, "printer settings"};
        }
        if (value == u"Rsid" || value == u"RsidRoot") {
            return Finding{Category::History, "revision-session ids"};
        }
    }
    return std::nullopt;
}

bool isRsid(const QXmlStreamAttribute &attribute) {
    return attribute.name().endsWith(u"rsid");
}

// The paths of the parts a manifest entry lists.
QStringList fullPaths(const QXmlStreamAttributes &attributes) {
    QStringList paths;
    for (const QXmlStreamAttribute &attribute : attributes) {
        if (attribute.name() == u"full-path") {
            paths << attribute.value().toString();
        }
    }
    return paths;
}

// A folder may be listed without an entry of its own; a file must be there.
bool isFile(QStringView path) {
    return !path.endsWith(u'/');
}

XmlFilter::ElementAction element(const PackageClean::KeptParts &kept,
                                 const QXmlStreamReader &reader, QStringView parentName) {
    using Action = XmlFilter::ElementAction;
    const QStringView name = reader.name();
    const QXmlStreamAttributes attributes = reader.attributes();
    if (isMetaBlock(reader.namespaceUri(), name)) {
        return {Action::Replace, {}};
    }
    switch (personRule(parentName, name).kind) {
        case PersonRule::Empty:
            return {Action::Replace, {}};
        case PersonRule::FixDate:
            return {Action::Replace, FixedDate};
        case PersonRule::Drop:
            return {Action::Drop, {}};
        case PersonRule::Keep:
            break;
    }
    if (name == u"encryption-data") {
        throw Formats::Refused("encrypted document", Formats::Cause::Protected);
    }
    const QStringList paths = fullPaths(attributes);
    const bool listsMissingPart =
        std::any_of(paths.begin(), paths.end(), [&kept](const auto &path) {
            return isDroppedPart(path) || (isFile(path) && !kept.contains(path));
        });
    if (droppedSetting(attributes) || listsMissingPart) {
        return {Action::Drop, {}};
    }
    return {};
}

std::optional<QString> attribute(const QXmlStreamReader &, const QXmlStreamAttribute &attribute) {
    const QString value = attribute.value().toString();
    if (isRsid(attribute)) {
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

// What the rule for a comment's or change's child finds in the text of the innermost open element.
void addTextFindings(const QXmlStreamReader &reader,
                     const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings) {
    const std::size_t depth = ancestors.size();
    if (depth < 2) {
        return;
    }
    const PersonRule rule = personRule(ancestors[depth - 2].name, ancestors[depth - 1].name);
    if (rule.kind == PersonRule::Empty ||
        (rule.kind == PersonRule::FixDate && reader.text() != FixedDate)) {
        findings.add(rule.finding.category, rule.finding.name);
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

void add(const std::optional<Finding> &finding, Findings &findings) {
    if (finding) {
        findings.add(finding->category, finding->name);
    }
}

void addAttributeFindings(const QXmlStreamAttributes &attributes, Findings &findings,
                          QStringList &references) {
    for (const QXmlStreamAttribute &attribute : attributes) {
        if (isRsid(attribute)) {
            findings.add(Category::History, "revision-session ids");
        } else if (attribute.name() == u"href") {
            PackageCheck::addLocalPath(attribute.value(), "a folder on the author's computer",
                                       findings);
        }
    }
    for (const QString &path : fullPaths(attributes)) {
        add(droppedPart(path), findings);
        if (isFile(path)) {
            references << path;
        }
    }
}

void addElementFindings(const QXmlStreamReader &reader,
                        const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings,
                        QStringList &references) {
    const QXmlStreamAttributes attributes = reader.attributes();
    if (!ancestors.empty() && isMetaBlock(ancestors.back().namespaceUri, ancestors.back().name)) {
        addMeta(reader.name(), findings);
    }
    const PersonRule rule =
        personRule(ancestors.empty() ? QString() : ancestors.back().name, reader.name());
    if (rule.kind == PersonRule::Drop) {
        findings.add(rule.finding.category, rule.finding.name);
    }
    add(droppedSetting(attributes), findings);
    addAttributeFindings(attributes, findings, references);
}

void addLayoutFindings(const std::vector<Package::Entry> &entries, Findings &findings) {
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const Package::Entry &entry = entries[index];
        add(droppedPart(QString::fromStdString(entry.name)), findings);
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
