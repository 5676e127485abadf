#include "formats/documents/Epub.h"

#include "formats/Kinds.h"
#include "formats/archives/EntryPaths.h"
#include "formats/documents/Svg.h"
#include "formats/office/Package.h"
#include "formats/office/PackageCheck.h"
#include "formats/office/PackageClean.h"
#include "formats/office/XmlFilter.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamReader>

#include <algorithm>
#include <map>
#include <memory>

namespace Epub {

namespace {

using Formats::Refused;

const QString DublinCore = QStringLiteral("http://purl.org/dc/elements/1.1/");
const std::string Container = "META-INF/container.xml";
const std::string Encryption = "META-INF/encryption.xml";
const std::string MimeType = "application/epub+zip";

// The one modification time an EPUB 3 must keep to stay valid.
const QString FixedModified = QStringLiteral("2000-01-01T00:00:00Z");

// A publisher's record of the book, with its contributors and their addresses.
bool isOnixRecord(const Formats::Bytes &data) {
    const Formats::Bytes start = data.substr(0, 4096);
    return start.find("<ONIXMessage") != std::string::npos ||
           start.find("<ONIXmessage") != std::string::npos;
}

// Records of the shop, the publisher, the buyer, the reading application and the computer it
// was packed on, not of the book.
bool isDropped(const Package::Entry &entry) {
    const std::string &name = entry.name;
    return EntryPaths::isFolderData(name) || name.find("iTunesMetadata") != std::string::npos ||
           name.find("calibre_bookmarks") != std::string::npos || name == "META-INF/rights.xml" ||
           isOnixRecord(entry.data);
}

// The entry a link in `from` names: "../onix.xml" in "OPS/content.opf" -> "onix.xml".
QString linkedEntry(const std::string &from, QStringView href) {
    return QUrl(QString::fromStdString(from))
        .resolved(QUrl(href.toString()))
        .path(QUrl::FullyDecoded);
}

bool isPage(const std::string &name) {
    const QString lower = QString::fromStdString(name).toLower();
    for (const char *extension : {".xhtml", ".html", ".htm", ".ncx"}) {
        if (lower.endsWith(QLatin1String(extension))) {
            return true;
        }
    }
    return false;
}

const Package::Entry *entryNamed(const std::vector<Package::Entry> &entries,
                                 const std::string &name) {
    const auto found =
        std::find_if(entries.begin(), entries.end(),
                     [&](const Package::Entry &entry) { return entry.name == name; });
    return found == entries.end() ? nullptr : &*found;
}

// The value of `attribute` on the first element named `element`, or empty.
QString firstAttribute(const Formats::Bytes &xml, QStringView element, const QString &attribute) {
    QXmlStreamReader reader(
        QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())));
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == element) {
            return reader.attributes().value(attribute).toString();
        }
    }
    return {};
}

// The package document, as the container names it, or none.
const Package::Entry *packageDocumentIn(const std::vector<Package::Entry> &entries) {
    const Package::Entry *container = entryNamed(entries, Container);
    if (!container) {
        return nullptr;
    }
    const QString path = firstAttribute(container->data, u"rootfile", QStringLiteral("full-path"));
    return entryNamed(entries, path.toStdString());
}

// Which entry is the package document.
std::string packageDocument(const std::vector<Package::Entry> &entries) {
    if (!entryNamed(entries, Container)) {
        throw Refused("damaged EPUB: no container");
    }
    const Package::Entry *document = packageDocumentIn(entries);
    if (!document) {
        throw Refused("damaged EPUB: no package document");
    }
    return document->name;
}

bool isMetadataHolder(QStringView name) {
    return name == u"metadata" || name == u"dc-metadata";
}

bool isModifiedMeta(const QXmlStreamReader &reader) {
    return reader.name() == u"meta" &&
           reader.attributes().value(QLatin1String("property")) == u"dcterms:modified";
}

struct PackageDocument {
    std::string path;
    QString uniqueId;
    QString identifier;            // the new one
    QSet<QString> droppedEntries;  // as linkedEntry() gives them
};

// What stays of an element of the package document's metadata: the title, the language, the
// book's own identifier (with a new value) and, as EPUB 3 requires, one modification time (a fixed
// one).
XmlFilter::ElementAction metadataElement(const PackageDocument &document, bool &modifiedKept,
                                         const QXmlStreamReader &reader) {
    using Action = XmlFilter::ElementAction;
    if (isModifiedMeta(reader) && !modifiedKept) {
        modifiedKept = true;
        return {Action::Replace, FixedModified};
    }
    const bool dublinCore = reader.namespaceUri() == DublinCore;
    if (dublinCore && (reader.name() == u"title" || reader.name() == u"language")) {
        return {};
    }
    if (dublinCore && reader.name() == u"identifier" &&
        reader.attributes().value(QLatin1String("id")) == document.uniqueId) {
        return {Action::Replace, document.identifier};
    }
    return {Action::Drop, {}};
}

// The package document keeps of its metadata what metadataElement() keeps; manifest items naming
// entries that go, and Dublin Core elements elsewhere, go too.
XmlFilter::Rules packageRules(const PackageDocument &document) {
    using Action = XmlFilter::ElementAction;
    auto modifiedKept = std::make_shared<bool>(false);
    return {[document, modifiedKept](const QXmlStreamReader &reader, QStringView,
                                     QStringView parentName) -> Action {
                const QStringView href = reader.attributes().value(QLatin1String("href"));
                if (reader.name() == u"item" &&
                    document.droppedEntries.contains(linkedEntry(document.path, href))) {
                    return {Action::Drop, {}};
                }
                if (isMetadataHolder(parentName) && reader.name() != u"dc-metadata") {
                    return metadataElement(document, *modifiedKept, reader);
                }
                return reader.namespaceUri() == DublinCore ? Action{Action::Drop, {}} : Action{};
            },
            [](const QXmlStreamReader &reader,
               const QXmlStreamAttribute &attribute) -> std::optional<QString> {
                // An ISBN scheme would no longer describe the identifier.
                if (reader.name() == u"identifier" && attribute.name() == u"scheme") {
                    return std::nullopt;
                }
                return attribute.value().toString();
            },
            {},
            {}};
}

// A page's meta naming who made it, with what, or a Dublin Core property, by any of the
// attributes pages name them with ("DC.creator", property="dc:creator", itemprop="author").
bool isPersonalMeta(const QXmlStreamReader &reader) {
    if (reader.name() != u"meta") {
        return false;
    }
    for (const char *attribute : {"name", "property", "itemprop"}) {
        const QString name =
            reader.attributes().value(QLatin1String(attribute)).toString().toLower();
        if (name == u"author" || name == u"creator" || name == u"generator" ||
            name.startsWith(u"dtb:uid") || name == u"dtb:generator" || name.startsWith(u"dc.") ||
            name.startsWith(u"dc:") || name.startsWith(u"dcterms")) {
            return true;
        }
    }
    return false;
}

// Pages and the navigation file keep everything but who made them and with what; drawings drawn
// in a page lose what a drawing of their own would, and files embedded in data: URIs go through
// their passes.
XmlFilter::Rules pageRules(int depth) {
    using Action = XmlFilter::ElementAction;
    return {[](const QXmlStreamReader &reader, QStringView, QStringView) -> Action {
                if (isPersonalMeta(reader) || reader.name() == u"docAuthor" ||
                    Svg::isPrivateElement(reader)) {
                    return {Action::Drop, {}};
                }
                return {};
            },
            [depth](const QXmlStreamReader &,
                    const QXmlStreamAttribute &attribute) -> std::optional<QString> {
                if (Svg::isPrivateAttribute(attribute)) {
                    return std::nullopt;
                }
                return Svg::cleanedAttributeValue(attribute, depth);
            },
            [depth](QStringView, const QString &text) {
                return Svg::withEmbeddedFilesCleaned(text, depth);
            },
            {}};
}

// The entries that say how the book is packed, and hold nothing of its author.
bool isPacking(const std::string &name) {
    return name == "mimetype" || name == Container || name == Encryption;
}

// Style sheets embed files in url(data:...).
bool isStyleSheet(const std::string &name) {
    return QString::fromStdString(name).endsWith(QLatin1String(".css"), Qt::CaseInsensitive);
}

// A style sheet with the files it embeds cleaned; one that embeds none keeps its bytes, whatever
// its encoding.
Formats::Bytes withEmbeddedFilesCleaned(const Formats::Bytes &sheet, int depth) {
    const QString text = QString::fromStdString(sheet);
    const QString cleaned = Svg::withEmbeddedFilesCleaned(text, depth);
    return cleaned == text ? sheet : cleaned.toStdString();
}

// Fonts a book hides from copying by mixing their first bytes with a key made from its
// identifier; with a new identifier they are hidden anew.
const QString IdpfHiding = QStringLiteral("http://www.idpf.org/2008/embedding");
const QString AdobeHiding = QStringLiteral("http://ns.adobe.com/pdf/enc#RC");
constexpr int IdpfHiddenLength = 1040;
constexpr int AdobeHiddenLength = 1024;

// Content of a known kind (a drawing, say) not named as a page goes through that kind's pass.
bool isOfItsOwnKind(const Package::Entry &entry) {
    return !isPage(entry.name) && Kinds::forContent(entry.data) != nullptr;
}

// A page, or any other XML of no kind of its own (the container among them, or a page whose name
// does not say it is one): the page rules drop its declarations too.
bool isFilteredAsPage(const Package::Entry &entry) {
    return isPage(entry.name) || (Package::holdsXml(entry.data) && !isOfItsOwnKind(entry));
}

// The fonts the book hides, by path, each true when hidden Adobe's way; refused when it encrypts
// anything for real.
std::map<std::string, bool> hiddenFonts(const Formats::Bytes &encryption) {
    QXmlStreamReader reader(
        QByteArray::fromRawData(encryption.data(), static_cast<qsizetype>(encryption.size())));
    std::map<std::string, bool> fonts;
    QString algorithm;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (reader.name() == u"EncryptionMethod") {
            algorithm = reader.attributes().value(QLatin1String("Algorithm")).toString();
        } else if (reader.name() == u"CipherReference") {
            if (algorithm != IdpfHiding && algorithm != AdobeHiding) {
                throw Refused("encrypted EPUB", Formats::Cause::Protected);
            }
            const QString uri = reader.attributes().value(QLatin1String("URI")).toString();
            fonts.emplace(QUrl::fromPercentEncoding(uri.toUtf8()).toStdString(),
                          algorithm == AdobeHiding);
        }
    }
    if (reader.hasError()) {
        throw Refused("damaged XML in META-INF/encryption.xml");
    }
    return fonts;
}

QByteArray hidingKey(const QString &identifier, bool adobe) {
    if (!adobe) {
        QString compact = identifier;
        static const QRegularExpression space(QStringLiteral("[ \\t\\r\\n]"));
        compact.remove(space);
        return QCryptographicHash::hash(compact.toUtf8(), QCryptographicHash::Sha1);
    }
    QString digits = identifier;
    digits.remove(QStringLiteral("urn:uuid:")).remove(QLatin1Char('-'));
    const QByteArray key = QByteArray::fromHex(digits.toLatin1());
    if (key.size() != 16) {
        throw Refused("EPUB with hidden fonts whose identifier is no UUID",
                      Formats::Cause::Unsupported);
    }
    return key;
}

// Hiding and revealing are the same: the first bytes mixed with the key.
void scramble(Formats::Bytes &font, const QByteArray &key, bool adobe) {
    const std::size_t length =
        std::min<std::size_t>(font.size(), adobe ? AdobeHiddenLength : IdpfHiddenLength);
    for (std::size_t i = 0; i < length; ++i) {
        font[i] = static_cast<char>(font[i] ^ key[static_cast<qsizetype>(i) % key.size()]);
    }
}

// The text of the book's identifier, the Dublin Core one whose id is `id`.
QString identifierText(const Formats::Bytes &opf, const QString &id) {
    QXmlStreamReader reader(
        QByteArray::fromRawData(opf.data(), static_cast<qsizetype>(opf.size())));
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == u"identifier" &&
            reader.namespaceUri() == DublinCore &&
            reader.attributes().value(QLatin1String("id")) == id) {
            return reader.readElementText().trimmed();
        }
    }
    return {};
}

// Where the package document is and what identifies the book, as readers find them.
struct Identity {
    std::string opf;
    QString uniqueId;
    QString identifier;
};

Identity identityOf(const std::vector<Package::Entry> &entries) {
    const std::string opf = packageDocument(entries);
    const Formats::Bytes &data = entryNamed(entries, opf)->data;
    const QString uniqueId = firstAttribute(data, u"package", QStringLiteral("unique-identifier"));
    return {opf, uniqueId, identifierText(data, uniqueId)};
}

// Reveals every entry the book hides, so that the pass and the check tell its kind by what it
// holds, not by its scrambled bytes; the entries hidden, by name, each true when hidden Adobe's
// way. Refused when the book hides how it is packed.
std::map<std::string, bool> reveal(std::vector<Package::Entry> &entries, const Identity &book) {
    const Package::Entry *encryption = entryNamed(entries, Encryption);
    const std::map<std::string, bool> fonts =
        encryption ? hiddenFonts(encryption->data) : std::map<std::string, bool>();
    for (Package::Entry &entry : entries) {
        const auto font = fonts.find(entry.name);
        if (font == fonts.end()) {
            continue;
        }
        if (isPacking(entry.name) || entry.name == book.opf) {
            throw Refused("damaged EPUB: it hides " + entry.name);
        }
        scramble(entry.data, hidingKey(book.identifier, font->second), font->second);
    }
    return fonts;
}

}  // namespace

Formats::Bytes cleanNested(const Formats::Bytes &book, int depth) {
    std::vector<Package::Entry> entries = Package::read(book);
    PackageClean::refuseSigned(entries);
    const Identity identity = identityOf(entries);
    const std::map<std::string, bool> fonts = reveal(entries, identity);
    const std::string &opf = identity.opf;
    PackageDocument document{
        opf,
        identity.uniqueId,
        QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces),
        {}};
    for (const Package::Entry &entry : entries) {
        if (isDropped(entry)) {
            document.droppedEntries.insert(QString::fromStdString(entry.name));
        }
    }
    const QString &identifier = document.identifier;
    const XmlFilter::Rules package = packageRules(document);
    const XmlFilter::Rules pages = pageRules(depth);
    std::vector<Package::Entry> cleaned;
    for (const Package::Entry &entry : entries) {
        if (isDropped(entry)) {
            continue;
        }
        Package::Entry copy{entry.name, {}, entry.compressed};
        if (entry.name == opf) {
            copy.data = XmlFilter::copy(entry.data, package, entry.name);
            if (copy.data.find(identifier.toStdString()) == std::string::npos) {
                throw Refused("damaged EPUB: no book identifier");
            }
        } else if (isFilteredAsPage(entry)) {
            copy.data = XmlFilter::copy(entry.data, pages, entry.name);
        } else if (isPacking(entry.name)) {
            copy.data = entry.data;
        } else if (isStyleSheet(entry.name)) {
            copy.data = withEmbeddedFilesCleaned(entry.data, depth);
        } else {
            copy.data = Kinds::cleanEmbedded(entry.data, depth + 1, entry.name);
        }
        const auto font = fonts.find(entry.name);
        if (font != fonts.end()) {
            scramble(copy.data, hidingKey(identifier, font->second), font->second);
        }
        cleaned.push_back(std::move(copy));
    }
    // Readers tell an EPUB by a mimetype entry at a fixed place.
    const auto mimetype = std::find_if(cleaned.begin(), cleaned.end(),
                                       [](const auto &entry) { return entry.name == "mimetype"; });
    if (mimetype == cleaned.end()) {
        cleaned.insert(cleaned.begin(), Package::Entry{"mimetype", MimeType, false});
    } else {
        mimetype->compressed = false;
        std::rotate(cleaned.begin(), mimetype, mimetype + 1);
    }
    return Package::write(cleaned);
}

Formats::Bytes clean(const Formats::Bytes &book) {
    return cleanNested(book, 0);
}

// The check below reads the book on its own, but for revealing hidden entries as the pass does,
// and looks at every XML entry, not only at the ones the cleaning works on.
namespace {

using Formats::Category;
using Formats::Findings;

// What each Dublin Core element tells.
void addDublinCore(QStringView name, Findings &findings) {
    static const QHash<QString, std::pair<Category, std::string>> Words = {
        {QStringLiteral("creator"), {Category::People, "author"}},
        {QStringLiteral("contributor"), {Category::People, "contributors"}},
        {QStringLiteral("publisher"), {Category::People, "publisher"}},
        {QStringLiteral("date"), {Category::Dates, "dates"}},
        {QStringLiteral("rights"), {Category::Other, "rights"}},
        {QStringLiteral("description"), {Category::Descriptions, "description"}},
        {QStringLiteral("subject"), {Category::Descriptions, "subjects"}},
        {QStringLiteral("source"), {Category::Identifiers, "source"}}};
    if (name == u"title" || name == u"language" || name == u"identifier") {
        return;
    }
    const auto found = Words.constFind(name.toString());
    if (found == Words.constEnd()) {
        findings.add("book properties");
    } else {
        findings.add(found->first, found->second);
    }
}

// A page's meta, whichever attribute names what it holds.
void addMeta(const QXmlStreamReader &reader, Findings &findings) {
    for (const char *attribute : {"name", "property", "itemprop"}) {
        const QString name =
            reader.attributes().value(QLatin1String(attribute)).toString().toLower();
        if (name == u"author" || name == u"creator" || name == u"dc:creator" ||
            name == u"dc.creator") {
            findings.add(Category::People, "author");
        } else if (name == u"generator" || name == u"dtb:generator") {
            findings.add(Category::Software, "software");
        } else if (name.startsWith(u"dc.") || name.startsWith(u"dc:") ||
                   name.startsWith(u"dcterms")) {
            findings.add("book properties");
        } else if (name == u"dtb:uid") {
            findings.add(Category::Identifiers, "identifier");
        }
    }
}

// What the check remembers across one entry's elements.
struct Seen {
    int identifiers = 0;
    int modifiedTimes = 0;
    bool inModifiedTime = false;
};

void addElementFindings(const QXmlStreamReader &reader,
                        const std::vector<PackageCheck::Ancestor> &ancestors, Seen &seen,
                        Findings &findings) {
    seen.inModifiedTime = false;
    const QStringView name = reader.name();
    const bool inMetadata = !ancestors.empty() && (ancestors.back().name == u"metadata" ||
                                                   ancestors.back().name == u"dc-metadata" ||
                                                   ancestors.back().name == u"x-metadata");
    if (reader.namespaceUri() == u"http://purl.org/dc/elements/1.1/") {
        seen.identifiers += name == u"identifier";
        if (seen.identifiers > 1) {
            findings.add(Category::Identifiers, "identifiers");
        }
        addDublinCore(name, findings);
    } else if (inMetadata && name == u"meta" &&
               reader.attributes().value(QLatin1String("property")) == u"dcterms:modified") {
        // Its time is looked at with its text; EPUB 3 needs one.
        seen.inModifiedTime = true;
        if (++seen.modifiedTimes > 1) {
            findings.add(Category::Dates, "modification times");
        }
    } else if (inMetadata && (name == u"meta" || name == u"link")) {
        findings.add("book properties");
    } else if (name == u"docAuthor") {
        findings.add(Category::People, "author");
    } else if (name == u"meta") {
        addMeta(reader, findings);
    }
}

// An ONIX record's root names it, in its long tags or its short ones.
bool holdsOnixRecord(const Formats::Bytes &data) {
    return QByteArray::fromStdString(data.substr(0, 4096)).toLower().contains("<onixmessage");
}

void addLayoutFindings(const std::vector<Package::Entry> &entries, int depth, Findings &findings) {
    const bool container = std::any_of(entries.begin(), entries.end(), [](const auto &entry) {
        return entry.name == "META-INF/container.xml";
    });
    if (!container) {
        throw Refused("damaged EPUB: no container");
    }
    if (entries.empty() || entries.front().name != "mimetype" || entries.front().compressed ||
        entries.front().data != MimeType) {
        throw Refused("holds its mimetype out of place");
    }
    for (const Package::Entry &entry : entries) {
        if (entry.name.find("iTunesMetadata") != std::string::npos) {
            findings.add(Category::People, "shop records");
        }
        if (entry.name.find("calibre_bookmarks") != std::string::npos) {
            findings.add("reading positions");
        }
        if (entry.name == "META-INF/rights.xml") {
            findings.add(Category::People, "a buyer's record");
        }
        if (holdsOnixRecord(entry.data)) {
            findings.add(Category::People, "a publisher's ONIX record");
        }
        if (QString::fromStdString(entry.name).toLower().endsWith(u".css")) {
            Formats::Findings inSheet;
            Svg::addEmbeddedFileFindings(QString::fromStdString(entry.data), depth, inSheet);
            findings.addFrom(inSheet, entry.name);
        }
    }
}

// A page may draw inline and embed files in data: URIs.
bool mayDraw(const std::string &name) {
    const QString lower = QString::fromStdString(name).toLower();
    return lower.endsWith(u"html") || lower.endsWith(u".htm");
}

// In a drawing drawn in the page, what a drawing would hold; anywhere, files in data: URIs.
void addPageFindings(const QXmlStreamReader &reader,
                     const std::vector<PackageCheck::Ancestor> &ancestors, int depth,
                     Findings &findings) {
    const bool drawn = reader.name() == u"svg" ||
                       std::any_of(ancestors.begin(), ancestors.end(),
                                   [](const auto &ancestor) { return ancestor.name == u"svg"; });
    if (drawn) {
        Svg::addElementFindings(reader, depth, findings);
        return;
    }
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        Svg::addEmbeddedFileFindings(attribute.value(), depth, findings);
    }
}

PackageCheck::FinderFor finderAt(int depth) {
    return [depth](const Package::Entry &entry, QStringList &references) -> PackageCheck::Finder {
        if (isOfItsOwnKind(entry)) {
            return {};  // its own check reads it
        }
        const bool container = entry.name == Container;
        const bool page = mayDraw(entry.name);
        auto seen = std::make_shared<Seen>();
        return [container, page, depth, seen, &references](
                   const QXmlStreamReader &reader,
                   const std::vector<PackageCheck::Ancestor> &ancestors, Findings &findings) {
            if (page && reader.isCharacters()) {
                Svg::addEmbeddedFileFindings(reader.text(), depth, findings);
            }
            if (seen->inModifiedTime && reader.isCharacters() &&
                reader.text().trimmed() != FixedModified) {
                findings.add(Category::Dates, "modification time");
            }
            if (!reader.isStartElement()) {
                return;
            }
            if (container && reader.name() == u"rootfile") {
                references << reader.attributes().value(QLatin1String("full-path")).toString();
            }
            if (page) {
                addPageFindings(reader, ancestors, depth, findings);
            }
            addElementFindings(reader, ancestors, *seen, findings);
        };
    };
}

}  // namespace

Formats::Findings findings(const Formats::Bytes &book, int depth) {
    const auto layout = [depth](const std::vector<Package::Entry> &entries, Findings &found) {
        addLayoutFindings(entries, depth, found);
    };
    // Hidden entries are revealed as the pass reveals them, to be read as what they hold; a book
    // without its package document is refused for the part its container names.
    const auto revealed = [](std::vector<Package::Entry> &entries) {
        if (entryNamed(entries, Encryption) && packageDocumentIn(entries)) {
            reveal(entries, identityOf(entries));
        }
    };
    return PackageCheck::findings(book, layout, finderAt(depth), depth, revealed);
}

std::string remainingMetadata(const Formats::Bytes &book) {
    return PackageCheck::reasonOf([&] { return findings(book, 0); });
}

}  // namespace Epub
