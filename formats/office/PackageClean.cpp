#include "formats/office/PackageClean.h"

#include "formats/Kinds.h"
#include "formats/archives/EntryPaths.h"
#include "formats/core/Stop.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

namespace PackageClean {

namespace {

// Pictures and nested packages gain nothing from deflate, which would cost most of the time.
bool isCompressedAlready(const Formats::Bytes &data) {
    for (const char *signature : {"\xFF\xD8\xFF", "\x89PNG", "GIF8", "PK\x03\x04"}) {
        if (data.rfind(signature, 0) == 0) {
            return true;
        }
    }
    return data.size() >= 12 && data.rfind("RIFF", 0) == 0 && data.compare(8, 4, "WEBP") == 0;
}

// Folders and an OpenDocument file's stored media type say how the package is laid out, and
// nothing of its author.
bool isLayout(const Package::Entry &entry) {
    return entry.name == "mimetype" || entry.name.empty() || entry.name.back() == '/';
}

Formats::Bytes cleanEmbedded(const Package::Entry &entry, int depth) {
    return isLayout(entry) ? entry.data : Kinds::cleanEmbedded(entry.data, depth + 1, entry.name);
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

// A package's own parts: ODF's content.xml may open with SVG elements, and is still no drawing.
bool namedAsXml(const std::string &name) {
    const QString lower = QString::fromStdString(name).toLower();
    return lower.endsWith(QStringLiteral(".xml")) || lower.endsWith(QStringLiteral(".rels")) ||
           lower.endsWith(QStringLiteral(".psmdcp"));
}

bool isXmlType(QStringView type) {
    return type.endsWith(u"+xml") || type.endsWith(u"/xml");
}

// The parts the package itself says are XML: by the content types of an Office document (per
// part, or per extension) or by an OpenDocument manifest's media types.
class XmlParts {
  public:
    explicit XmlParts(const std::vector<Package::Entry> &entries) {
        for (const Package::Entry &entry : entries) {
            if (entry.name == "[Content_Types].xml" || entry.name == "META-INF/manifest.xml") {
                readTypes(entry.data);
            }
        }
    }

    // By the type the package gives it.
    bool contains(const std::string &name) const {
        const QString lower = QString::fromStdString(name).toLower();
        return names_.contains(partName(lower)) ||
               extensions_.contains(lower.section(QLatin1Char('.'), -1));
    }

  private:
    void readTypes(const Formats::Bytes &xml) {
        QXmlStreamReader reader(
            QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())));
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::StartElement) {
                readType(reader.name(), reader.attributes());
            }
        }
    }

    void readType(QStringView element, const QXmlStreamAttributes &attributes) {
        if (element == u"Default" && isXmlType(attributes.value(QLatin1String("ContentType")))) {
            extensions_.insert(attributes.value(QLatin1String("Extension")).toString().toLower());
        } else if (element == u"Override" &&
                   isXmlType(attributes.value(QLatin1String("ContentType")))) {
            names_.insert(partName(attributes.value(QLatin1String("PartName"))));
        } else if (element == u"file-entry" && isXmlType(valueNamed(attributes, u"media-type"))) {
            names_.insert(partName(valueNamed(attributes, u"full-path")));
        }
    }

    // By the local name alone, as the pass and the check read the manifest.
    static QString valueNamed(const QXmlStreamAttributes &attributes, QStringView name) {
        for (const QXmlStreamAttribute &attribute : attributes) {
            if (attribute.name() == name) {
                return attribute.value().toString();
            }
        }
        return {};
    }

    QSet<QString> names_;
    QSet<QString> extensions_;
};

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
    refuseSigned(entries);
    const Dropped goes = [&dropped](const std::string &name) {
        return EntryPaths::isFolderData(name) || dropped(name);
    };
    const KeptParts kept(entries, goes);
    const XmlParts xml(entries);
    std::vector<Package::Entry> cleaned;
    for (Package::Entry &entry : entries) {
        Formats::throwIfStopped();
        if (goes(entry.name)) {
            continue;
        }
        Package::Entry copy;
        copy.name = entry.name;
        // Content of a known kind (a picture, a drawing, a video, a nested package) goes through
        // its own pass whatever type the package gives it; other XML is filtered under any name,
        // for a part's name is no promise of what it holds.
        const bool filtered =
            !isOfItsOwnKind(entry) &&
            (namedAsXml(entry.name) || xml.contains(entry.name) || Package::holdsXml(entry.data));
        copy.data = filtered ? XmlFilter::copy(entry.data, rulesFor(entry.name, kept), entry.name)
                             : cleanEmbedded(entry, depth);
        copy.compressed = !isCompressedAlready(copy.data);
        Formats::Bytes().swap(entry.data);
        cleaned.push_back(std::move(copy));
    }
    return cleaned;
}

void refuseSigned(const std::vector<Package::Entry> &entries) {
    for (const Package::Entry &entry : entries) {
        const QString name = QString::fromStdString(entry.name).toLower();
        if (name.startsWith(QStringLiteral("_xmlsignatures/")) ||
            (name.startsWith(QStringLiteral("meta-inf/")) &&
             name.contains(QStringLiteral("signatures")) &&
             name.endsWith(QStringLiteral(".xml")))) {
            throw Formats::Refused("signed by a person: cleaning would break the signature",
                                   Formats::Cause::Protected);
        }
    }
}

bool isOfItsOwnKind(const Package::Entry &entry) {
    return !namedAsXml(entry.name) && Kinds::forContent(entry.data) != nullptr;
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
    // A drive letter of any alphabet, as the checks take one.
    static const QRegularExpression localPath(
        QStringLiteral(R"(^(file:|\p{L}:[\\/]|\\\\|//|/home/|/Users/|/media/|/mnt/|/tmp/))"),
        QRegularExpression::CaseInsensitiveOption);
    const QString path = value.trimmed().toString();
    if (!localPath.match(path).hasMatch()) {
        return std::nullopt;
    }
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    // "file:x.png" has no folder to cut: nothing of it stays.
    const QString name = path.mid(slash + 1);
    return localPath.match(name).hasMatch() ? QString() : name;
}

}  // namespace PackageClean
