#include "PictureFixtures.h"
#include "engine/MetadataFixtures.h"
#include "formats/Kinds.h"
#include "formats/office/OfficeDocument.h"
#include "formats/office/OpenDocument.h"
#include "formats/office/Package.h"
#include "formats/office/PackageCheck.h"
#include "formats/pictures/Jpeg.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

namespace {

using Formats::Bytes;

// Values make_packages.py plants: none may remain anywhere in a cleaned package.
const QStringList Planted = {"Ann Author",
                             "Ed Editor",
                             "Carl Company",
                             "Mia Manager",
                             "Secret Title",
                             "Secret Subject",
                             "secret keywords",
                             "Secret Template",
                             "Secret Application",
                             "16.0300",
                             "Secret Client",
                             "Cora Commenter",
                             "cora@example.com",
                             "QZX",
                             "00A1B2C3",
                             "00D4E5F6",
                             "0012ab34",
                             "1194548",
                             "Office Printer 9000",
                             "T2ZmaWNlIFByaW50ZXIgOTAwMA",
                             "THUMBNAIL-BYTES",
                             "2021-08-21",
                             "4711",
                             "Nick Nobody",
                             "Secret DocVar",
                             "Dee Tee Dee",
                             "Pip Instruction",
                             "Rooted Owner",
                             "Pat Packager",
                             "Rita Refresher",
                             "44429.66",
                             "Uma Username",
                             "Secret Password",
                             "Vera Version",
                             "0077cd88"};

struct Kind {
    std::function<Bytes(const Bytes &)> clean;
    std::function<std::string(const Bytes &)> check;
};
const Kind Office{OfficeDocument::clean, OfficeDocument::remainingMetadata};
const Kind Open{OpenDocument::clean, OpenDocument::remainingMetadata};

class Packages : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new ScratchFolder;
        const QString photo = makeJpegWithMetadata(*folder / QStringLiteral("photo.jpg"));
        ASSERT_EQ(
            QProcess::execute(QStringLiteral("python3"),
                              {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_packages.py"),
                               folder->path(), photo}),
            0);
    }
    static void TearDownTestSuite() { delete folder; }

    static Bytes fixture(const QString &name) { return readFile(*folder / name).toStdString(); }
    static Bytes cleanedFixture(const QString &name) {
        return Kinds::cleanEmbedded(fixture(name), 0, name.toStdString());
    }

    static ScratchFolder *folder;
};

ScratchFolder *Packages::folder = nullptr;

const Package::Entry *entryNamed(const std::vector<Package::Entry> &entries,
                                 const std::string &name) {
    for (const Package::Entry &entry : entries) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

// The words a reader sees: every text in a text-bearing element of every part, in order.
QString documentText(const Bytes &package) {
    QString text;
    for (const Package::Entry &entry : Package::read(package)) {
        QXmlStreamReader reader(QByteArray::fromStdString(entry.data));
        QStringList open;
        while (!entry.name.empty() && entry.name.back() != '/' && !reader.atEnd()) {
            reader.readNext();
            if (reader.isStartElement()) {
                open << (reader.namespaceUri().endsWith(u"opendocument:xmlns:text:1.0")
                             ? QStringLiteral("t")
                             : reader.name().toString());
            } else if (reader.isEndElement()) {
                open.removeLast();
            } else if (reader.isCharacters() && !open.isEmpty() &&
                       QStringList({"t", "delText", "text"}).contains(open.last())) {
                text += reader.text();
            }
        }
    }
    return text;
}

// Every planted value in the package and in the packages it holds, at any depth.
QStringList plantedIn(const Bytes &package) {
    QStringList found;
    for (const Package::Entry &entry : Package::read(package)) {
        const bool nested = entry.data.rfind("PK\x03\x04", 0) == 0;
        for (const QString &value : nested ? plantedIn(entry.data) : Planted) {
            if (nested || entry.data.find(value.toStdString()) != std::string::npos) {
                found << QString::fromStdString(entry.name) + ": " + value;
            }
        }
    }
    return found;
}

// The file with every layer a byte search must see through appended, at any depth: a package's
// entries, data: URIs' base64 and an RTF object's hex.
Bytes everyLayer(const Bytes &file, int depth = 0) {
    if (depth > 4) {
        return file;
    }
    Bytes all = file;
    if (file.rfind("PK\x03\x04", 0) == 0) {
        for (const Package::Entry &entry : Package::read(file)) {
            all += everyLayer(entry.data, depth + 1);
        }
    }
    static const QRegularExpression encoded(
        QStringLiteral(R"(base64,([A-Za-z0-9+/=]+)|\\objdata\s*([0-9a-f\s]+))"));
    QRegularExpressionMatchIterator matches = encoded.globalMatch(QString::fromLatin1(file));
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QByteArray data = match.captured(1).toLatin1();
        all += everyLayer(match.hasCaptured(1)
                              ? QByteArray::fromBase64(data).toStdString()
                              : QByteArray::fromHex(match.captured(2).toLatin1()).toStdString(),
                          depth + 1);
    }
    return all;
}

// Which of the values the bytes hold, in UTF-8 or UTF-16 of either order.
QStringList heldIn(const Bytes &bytes, const QStringList &values) {
    QStringList held;
    for (const QString &value : values) {
        for (const auto encoding :
             {QStringConverter::Utf8, QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
            const QByteArray encoded = QStringEncoder(encoding).encode(value);
            if (bytes.find(encoded.toStdString()) != std::string::npos) {
                held << value;
            }
        }
    }
    return held;
}

// The package with one part changed by `edit`; a part it lacks is added, starting empty.
Bytes withPartEdited(const Bytes &package, const std::string &part,
                     const std::function<void(Bytes &)> &edit) {
    std::vector<Package::Entry> entries = Package::read(package);
    auto named = std::find_if(entries.begin(), entries.end(),
                              [&](const auto &entry) { return entry.name == part; });
    if (named == entries.end()) {
        entries.push_back({part, {}});
        named = entries.end() - 1;
    }
    edit(named->data);
    return Package::write(entries);
}

// Puts `text` just inside the part's root element, or makes it the whole of a new part.
std::function<void(Bytes &)> insideRoot(const std::string &text) {
    return [text](Bytes &xml) {
        if (xml.empty()) {
            xml = text;
            return;
        }
        const std::size_t root = xml.find('>', xml.find('<', xml.find("?>") + 1));
        xml.insert(root + 1, text);
    };
}

// Replaces the first `from` in a part with `to`.
std::function<void(Bytes &)> replacing(const std::string &from, const std::string &to) {
    return [from, to](Bytes &data) { data.replace(data.find(from), from.size(), to); };
}

bool unzipTestsClean(const Bytes &package, const ScratchFolder &folder) {
    const QString path =
        writeFile(folder / QStringLiteral("written.zip"), QByteArray::fromStdString(package));
    return QProcess::execute(QStringLiteral("unzip"), {QStringLiteral("-tqq"), path}) == 0;
}

}  // namespace

TEST_F(Packages, CleaningLeavesNoPersonalDataAndKeepsTheDocument) {
    const struct {
        QString name;
        Kind kind;
        std::vector<std::string> dropped;
        std::vector<std::string> kept;  // what the cleaning must leave in some part
    } cases[] = {
        {"letter.docx",
         Office,
         {"docProps/thumbnail.jpeg", "word/printerSettings/printerSettings1.bin"},
         {R"(Target="report.doc")", R"(title="A red barn")", "<Project",
          "INCLUDEPICTURE &quot;chart.png&quot;"}},
        {"figures.xlsx",
         Office,
         {"docProps/thumbnail.jpeg", "xl/printerSettings/printerSettings1.bin",
          "xl/revisions/revisionHeaders.xml", "xl/revisions/userNames.xml"},
         {R"(connection="DSN=Sales;DBQ=sales")", R"(odcFile="Sales.odc")"}},
        {"slides.pptx", Office, {"docProps/thumbnail.jpeg"}, {"Slide comment stays."}},
        {"letter.odt",
         Open,
         {"Thumbnails/thumbnail.png", "VersionList.xml", "Versions/Version1"},
         {R"(xlink:href="notes.odt")"}},
        {"slides.odp", Open, {}, {"Slide comment stays."}},
        {"old-manifest.odt",
         Open,
         {"Thumbnails/thumbnail.png", "VersionList.xml", "Versions/Version1"},
         {R"(xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0")"}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name.toStdString());
        const Bytes source = fixture(test.name);
        ASSERT_FALSE(plantedIn(source).isEmpty());
        EXPECT_NE(test.kind.check(source), "");

        const Bytes cleaned = test.kind.clean(source);
        EXPECT_EQ(test.kind.check(cleaned), "");
        EXPECT_EQ(plantedIn(cleaned).join(", ").toStdString(), "");
        EXPECT_EQ(documentText(cleaned), documentText(source));
        EXPECT_GT(documentText(cleaned).size(), 10);
        EXPECT_TRUE(unzipTestsClean(cleaned, *folder));

        const std::vector<Package::Entry> before = Package::read(source);
        const std::vector<Package::Entry> after = Package::read(cleaned);
        EXPECT_EQ(after.size(), before.size() - test.dropped.size());
        for (const std::string &dropped : test.dropped) {
            EXPECT_NE(entryNamed(before, dropped), nullptr) << dropped;
            EXPECT_EQ(entryNamed(after, dropped), nullptr) << dropped;
        }
        for (const std::string &kept : test.kept) {
            EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const Package::Entry &entry) {
                return entry.data.find(kept) != std::string::npos;
            })) << kept;
        }
        for (const Package::Entry &entry : after) {
            EXPECT_EQ(entry.modified, Package::entryTime()) << entry.name;
            EXPECT_EQ(entry.extraFields, 0) << entry.name;
        }
        EXPECT_EQ(after.front().name, before.front().name);
        EXPECT_EQ(after.front().compressed, before.front().name != "mimetype");
    }
}

TEST_F(Packages, AnEmbeddedPhotoLosesItsMetadataAndKeepsItsPicture) {
    const Bytes cleaned = OfficeDocument::clean(fixture("letter.docx"));
    const std::vector<Package::Entry> entries = Package::read(cleaned);
    const Package::Entry *photo = entryNamed(entries, "word/media/image1.jpeg");
    ASSERT_NE(photo, nullptr);
    const QString path =
        writeFile(*folder / QStringLiteral("embedded.jpg"), QByteArray::fromStdString(photo->data));
    EXPECT_EQ(exiv2Report(path), QString());
    const QImage picture(path);
    EXPECT_FALSE(picture.isNull());
    EXPECT_TRUE(picture == QImage(*folder / QStringLiteral("photo.jpg")));
}

TEST_F(Packages, TheCheckFindsWhatACleanPackageMustNotHold) {
    const Bytes photo = fixture(QStringLiteral("photo.jpg"));
    const std::string w =
        R"(xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")";
    const std::string r =
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
    const std::string rels =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    const std::string sheet =
        R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
    const std::string odf = R"(xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" )"
                            R"(xmlns:dc="http://purl.org/dc/elements/1.1/" )"
                            R"(xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0")";
    const struct {
        QString source;
        Kind kind;
        std::string part;
        Bytes data;  // empty: the part is removed
        std::string reason;
    } cases[] = {
        {"letter.docx", Office, "docProps/thumbnail.png", "png", "still holds a thumbnail"},
        {"letter.docx", Office, "word/media/image1.jpeg", photo,
         photoFindingsIn("word/media/image1.jpeg")},
        {"letter.docx", Office, "docProps/core.xml",
         R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties"><cp:category>x</cp:category></cp:coreProperties>)",
         "still holds title, subject or keywords"},
        {"letter.docx", Office, "word/comments.xml",
         "<w:comments " + w + R"(><w:comment w:id="0" w:author="X"/></w:comments>)",
         "still holds comment or revision authors"},
        {"letter.docx", Office, "word/comments.xml",
         "<w:comments " + w +
             R"(><w:comment w:id="0" w:author="" w:date="2020-01-01T00:00:00Z"/></w:comments>)",
         "still holds comment or revision dates"},
        {"letter.docx", Office, "word/document.xml",
         "<w:document " + w + R"(><w:body><w:p w:rsidP="001"/></w:body></w:document>)",
         "still holds revision-session ids"},
        {"letter.docx", Office, "word/people.xml",
         R"(<w15:people xmlns:w15="http://schemas.microsoft.com/office/word/2012/wordml"><w15:person w15:author=""/></w15:people>)",
         "still holds a people list"},
        {"figures.xlsx", Office, "xl/comments1.xml",
         R"(<comments xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><authors><author>X</author></authors></comments>)",
         "still holds comment or revision authors"},
        {"letter.docx", Office, "word/comments.xml", "",
         "holds a reference to a missing part (/word/comments.xml)"},
        {"letter.docx", Office, "docProps/core.xml",
         R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" owner="X"/>)",
         "still holds document properties"},
        {"letter.docx", Office, "word/settings.xml",
         "<w:settings " + w +
             R"(><w:docVars><w:docVar w:name="a" w:val="b"/></w:docVars></w:settings>)",
         "still holds document variables"},
        {"letter.docx", Office, "word/settings.xml",
         "<w:settings " + w + " " + r + R"(><w:printerSettings r:id="rId9"/></w:settings>)",
         "still holds printer settings"},
        {"letter.docx", Office, "word/printerSettings/printerSettings1.bin", "printer",
         "still holds printer settings"},
        {"letter.docx", Office, "word/comments.xml",
         R"(<?xml version="1.0"?><!DOCTYPE c [<!ENTITY e "X">]><c/>)",
         "still holds a document type declaration or processing instruction in "
         "word/comments.xml"},
        {"letter.docx", Office, "word/comments.xml", "<?owner X?><c/>",
         "still holds a document type declaration or processing instruction in "
         "word/comments.xml"},
        {"letter.docx", Office, "word/document.xml",
         R"(<w:document )" + w +
             R"( xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing"><wp:docPr id="1" name="P" descr="C:\Users\X\a.jpg"/></w:document>)",
         "still holds a folder on the author's computer"},
        {"letter.docx", Office, "word/_rels/document.xml.rels",
         rels +
             R"(<Relationship Id="rId1" Type="t/hyperlink" Target="file:///home/x/a.doc" TargetMode="External"/></Relationships>)",
         "still holds a folder on the author's computer"},
        {"letter.docx", Office, "word/document.xml",
         "<w:document " + w +
             R"(><w:instrText>LINK Excel "\\srv\x.xlsx"</w:instrText></w:document>)",
         "still holds a folder on the author's computer"},
        {"letter.docx", Office, "customXml/item1.xml",
         R"(<p xmlns:pc="urn:pc"><pc:UserInfo><pc:DisplayName>X</pc:DisplayName></pc:UserInfo></p>)",
         "still holds user names"},
        {"letter.docx", Office, "word/embeddings/Microsoft_Excel_Sheet1.xlsx",
         Package::write({{"[Content_Types].xml", "<Types/>"}, {"docProps/thumbnail.png", "png"}}),
         "still holds a thumbnail in word/embeddings/Microsoft_Excel_Sheet1.xlsx"},
        {"letter.docx", Office, "word/embeddings/oleObject1.bin", fixture("object.bin"),
         "still holds author in word/embeddings/oleObject1.bin"},
        {"slides.pptx", Office, "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx",
         Package::write({{"[Content_Types].xml", "<Types/>"}, {"xl/media/a.jpeg", photo}}),
         photoFindingsIn("xl/media/a.jpeg in ppt/embeddings/Microsoft_Excel_Sheet1.xlsx")},
        {"figures.xlsx", Office, "xl/pivotCache/pivotCacheDefinition1.xml",
         "<pivotCacheDefinition " + sheet + R"( refreshedBy="X"/>)",
         "still holds who refreshed a pivot table and when"},
        {"figures.xlsx", Office, "xl/connections.xml",
         "<connections " + sheet +
             R"(><connection><dbPr connection="DSN=a; Pwd=x"/></connection></connections>)",
         "still holds a connection's user name or password"},
        {"figures.xlsx", Office, "xl/revisions/userNames.xml", "<users " + sheet + "/>",
         "still holds a shared workbook's revision log"},
        {"slides.pptx", Office, "ppt/comments/comment1.xml", "",
         "holds a reference to a missing part (/ppt/comments/comment1.xml)"},
        {"letter.odt", Open, "settings.xml",
         "<office:document-settings " + odf +
             R"(><config:config-item config:name="PrinterName">P</config:config-item></office:document-settings>)",
         "still holds printer settings"},
        {"letter.odt", Open, "content.xml",
         "<office:document-content " + odf +
             "><office:annotation><dc:creator>X</dc:creator></office:annotation></"
             "office:document-content>",
         "still holds comment or change authors"},
        {"letter.odt", Open, "meta.xml",
         "<office:document-meta " + odf +
             "><office:meta><dc:title>X</dc:title></office:meta></office:document-meta>",
         "still holds title, subject or keywords"},
        {"letter.odt", Open, "content.xml", "",
         "holds a reference to a missing part (content.xml)"},
        {"slides.odp", Open, "content.xml",
         "<office:document-content " + odf +
             R"( xmlns:officeooo="http://openoffice.org/2009/office"><officeooo:annotation><dc:creator>X</dc:creator></officeooo:annotation></office:document-content>)",
         "still holds comment or change authors"},
        {"letter.odt", Open, "content.xml",
         "<office:document-content " + odf +
             R"( xmlns:xlink="http://www.w3.org/1999/xlink"><a xlink:href="\\server\x\a.odt"/></office:document-content>)",
         "still holds a folder on the author's computer"},
        {"letter.odt", Open, "VersionList.xml", "<v/>", "still holds earlier versions"},
        {"slides.odp", Open, "Object 1/meta.xml",
         "<office:document-meta " + odf +
             "><office:meta><dc:title>X</dc:title></office:meta></office:document-meta>",
         "still holds title, subject or keywords"},
        {"letter.odt", Open, "mimetype", "application/vnd.oasis.opendocument.text",
         "holds its mimetype out of place"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.part + ": " + test.reason);
        std::vector<Package::Entry> entries = Package::read(test.kind.clean(fixture(test.source)));
        const auto named = std::find_if(entries.begin(), entries.end(),
                                        [&](const auto &entry) { return entry.name == test.part; });
        if (named != entries.end()) {
            entries.erase(named);
        }
        if (!test.data.empty()) {
            entries.push_back({test.part, test.data});
        }
        EXPECT_EQ(test.kind.check(Package::write(entries)), test.reason);
    }
}

TEST_F(Packages, DamagedPackagesAreRefusedWithAReason) {
    const struct {
        QString name;
        Kind kind;
        std::string reason;
    } cases[] = {
        {"truncated.docx", Office, "damaged ZIP package"},
        {"broken-directory.docx", Office, "damaged ZIP package"},
        {"no-content-types.docx", Office, "damaged Office document: no content types"},
        {"protected.docx", Office, "password-protected or old-format Office document"},
        {"no-manifest.odt", Open, "damaged OpenDocument file: no manifest"},
        {"letter.odt", Office, "damaged Office document: no content types"},
        {"size-bomb.docx", Office, "damaged ZIP package: an entry is larger than it says"},
        {"ratio-bomb.docx", Office,
         "package refused: an entry unpacks to over 1024 times its packed size"},
        {"broken-embedding.docx", Office,
         "damaged ZIP package in word/embeddings/Microsoft_Excel_Sheet1.xlsx"},
        {"deep.docx", Office, "XML nested too deeply in word/document.xml"},
        {"crowded.docx", Office, "package refused: it holds more than 65,535 entries"},
        {"nested.docx", Office,
         "files nested too deeply in word/embeddings/inner.docx in word/embeddings/inner.docx "
         "in word/embeddings/inner.docx in word/embeddings/inner.docx in "
         "word/embeddings/inner.docx"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name.toStdString());
        try {
            test.kind.clean(fixture(test.name));
            ADD_FAILURE() << "cleaned";
        } catch (const Formats::Refused &refused) {
            EXPECT_EQ(refused.what(), test.reason);
        }
    }
}

TEST_F(Packages, FilesOfEveryKindInsideLoseWhatTheyHold) {
    using Formats::Category;
    struct Found {
        std::string name;                  // part of a finding's name
        std::optional<Category> category;  // where the finding's own check gives one
    };
    const struct {
        QString name;
        QStringList planted;
        std::vector<Found> found;  // what the check must name before cleaning
    } cases[] = {
        {"embedded-files.docx",
         {"TiffArtist42", "Mp4Artist42", "/home/ann/Export"},
         {{"GPS position in word/media/image2.tiff", {}},
          {"in word/media/video1.mp4", {}},
          {"a folder on the author's computer in word/media/drawing1.svg", Category::People}}},
        {"phone-video.pptx",
         {"PhoneMaker", "PhoneModel9", "+48.8584", "00A1B2C3-LIVE-PHOTO"},
         {{"GPS position in ppt/media/media1.mov", {}},
          {"device model in ppt/media/media1.mov", {}},
          {"file times", Category::Dates}}},
        {"embedded-zip.docx",
         {"JpegArtist42", "ZipComment42"},
         {{"ZIP comments in word/embeddings/archive.zip", Category::Descriptions},
          {"file times in word/embeddings/archive.zip", Category::Dates},
          {"in photo.jpg in word/embeddings/archive.zip", {}}}},
        {"object.rtf", {"RtfObjectAuthor42"}, {{"author in an embedded object", {}}}},
        {"linked-object.rtf",
         {"LinkOwner42"},
         {{"a folder on the author's computer", Category::People}, {"a network share", {}}}},
        {"styled.svg", {"JpegArtist42"}, {{"in an embedded file", {}}}},
        {"drawn.epub",
         {"JpegArtist42", "Mp4Artist42", "/home/ann/Export"},
         {{"a folder on the author's computer in OEBPS/chapter1.xhtml", Category::People},
          {"editor settings", Category::Software},
          {"in an embedded file", {}},
          {"in an embedded file in OEBPS/style.css", {}},
          {"in OEBPS/images/hidden.jpeg", {}},
          {"GPS position in OEBPS/media/clip.mp4", {}}}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name.toStdString());
        const Bytes source = fixture(test.name);
        const Kinds::Kind *kind = Kinds::forContent(source);
        ASSERT_NE(kind, nullptr);
        EXPECT_EQ(heldIn(everyLayer(source), test.planted).join(", "), test.planted.join(", "));
        Formats::ByteFile reading(source);
        const Formats::Findings before = kind->check(reading, 0);
        for (const Found &found : test.found) {
            const auto &shown = before.shown();
            const auto named = std::find_if(shown.begin(), shown.end(), [&](const auto &finding) {
                return finding.name.find(found.name) != std::string::npos;
            });
            ASSERT_NE(named, shown.end()) << found.name << " not in " << before.reason();
            EXPECT_EQ(named->category, found.category.value_or(named->category)) << found.name;
        }

        Bytes cleaned = source;
        Formats::ByteFile cleaning(cleaned);
        kind->clean(cleaning, 0);
        EXPECT_EQ(heldIn(everyLayer(cleaned), test.planted).join(", ").toStdString(), "");
        Formats::ByteFile result(std::as_const(cleaned));
        EXPECT_EQ(kind->check(result, 0).reason(), "");
    }
}

TEST_F(Packages, ADamagedFileInsideRefusesItsContainerNamingIt) {
    const struct {
        QString name;
        std::string reason;
    } cases[] = {
        {"cut-object.rtf", "damaged RTF object"},
        {"bad-uri.svg", "damaged SVG: an embedded file is not base64"},
        {"broken-zip.docx", "damaged ZIP package in word/embeddings/archive.zip"},
        {"unrecognised.zip", "package of an unrecognised layout"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name.toStdString());
        const Bytes source = fixture(test.name);
        const Kinds::Kind *kind = Kinds::forContent(source);
        ASSERT_NE(kind, nullptr);
        Formats::ByteFile reading(source);
        EXPECT_NE(PackageCheck::reasonOf([&] { return kind->check(reading, 0); }), "");
        Bytes cleaned = source;
        Formats::ByteFile cleaning(cleaned);
        try {
            kind->clean(cleaning, 0);
            ADD_FAILURE() << "cleaned";
        } catch (const Formats::Refused &refused) {
            EXPECT_EQ(refused.what(), test.reason);
        }
    }
}

TEST_F(Packages, TheCheckSortsWhatItFindsByWhatItTells) {
    using Formats::Category;
    const struct {
        QString source;
        Kind kind;
        std::function<Formats::Findings(const Bytes &, int)> findings;
        std::vector<std::string> restored;  // parts of the source put back into the cleaned package
        std::vector<std::pair<Category, std::string>> expected;
    } cases[] = {
        {"letter.docx",
         Office,
         OfficeDocument::findings,
         {"docProps/core.xml", "docProps/app.xml", "docProps/thumbnail.jpeg", "word/settings.xml"},
         {{Category::People, "author"},
          {Category::People, "last editor"},
          {Category::People, "company or manager"},
          {Category::Dates, "document dates"},
          {Category::Software, "software"},
          {Category::Descriptions, "title, subject or keywords"},
          {Category::History, "editing time"},
          {Category::Other, "its template's name"},
          {Category::Thumbnails, "a thumbnail"},
          {Category::History, "revision-session ids"},
          {Category::Device, "printer settings"},
          {Category::Other, "document variables"}}},
        {"letter.odt",
         Open,
         OpenDocument::findings,
         {"meta.xml"},
         {{Category::People, "author"},
          {Category::Dates, "document dates"},
          {Category::Software, "software"},
          {Category::Descriptions, "title, subject or keywords"},
          {Category::History, "editing history"},
          {Category::Other, "its template's name"},
          {Category::Other, "custom properties"}}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.source.toStdString());
        const std::vector<Package::Entry> source = Package::read(fixture(test.source));
        std::vector<Package::Entry> entries = Package::read(test.kind.clean(fixture(test.source)));
        for (const std::string &part : test.restored) {
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [&](const auto &entry) { return entry.name == part; }),
                          entries.end());
            entries.push_back({part, entryNamed(source, part)->data});
        }
        const Formats::Findings found = test.findings(Package::write(entries), 0);
        for (const auto &[category, name] : test.expected) {
            EXPECT_TRUE(std::any_of(found.shown().begin(), found.shown().end(),
                                    [&](const Formats::Finding &finding) {
                                        return finding.category == category && finding.name == name;
                                    }))
                << name << " in " << Formats::categoryName(category) << ": " << found.reason();
        }
    }
}

// What a Mac or Windows leaves in a package zipped on it: it goes, and is no reason to refuse.
TEST_F(Packages, FolderDataOfAMacOrWindowsGoesFromEveryPackage) {
    const QString marker = QStringLiteral("FinderOwner42");
    const Bytes utf16 =
        QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(marker)).toStdString();
    const Bytes appleDouble = Bytes("\0\x05\x16\x07\0\x02\0\0Mac OS X", 16) + marker.toStdString();
    const std::vector<Package::Entry> folderData = {{"__MACOSX/", {}},
                                                    {"__MACOSX/OPS/._fb.ncx", appleDouble + utf16},
                                                    {"__MACOSX/word/._document.xml", "<broken"},
                                                    {"OEBPS/._chapter1.xhtml", appleDouble},
                                                    {".DS_Store", Bytes("\0\0\0\1Bud1", 8) + utf16},
                                                    {"media/Thumbs.db", marker.toStdString()}};
    // Cleaned first, so that what the check finds is the folder data alone.
    for (const Bytes &source :
         {cleanedFixture("letter.docx"), cleanedFixture("letter.odt"), cleanedFixture("drawn.epub"),
          Package::write({{"notes.txt", "Notes"}})}) {
        std::vector<Package::Entry> entries = Package::read(source);
        entries.insert(entries.end(), folderData.begin(), folderData.end());
        const Bytes packed = Package::write(entries);
        const Kinds::Kind *kind = Kinds::forContent(packed);
        ASSERT_NE(kind, nullptr);
        SCOPED_TRACE(kind->name);
        Formats::ByteFile reading(packed);
        EXPECT_NE(PackageCheck::reasonOf([&] {
                      return kind->check(reading, 0);
                  }).find("a Mac's or Windows' folder data"),
                  std::string::npos);

        Bytes cleaned = packed;
        Formats::ByteFile cleaning(cleaned);
        kind->clean(cleaning, 0);
        EXPECT_EQ(heldIn(everyLayer(cleaned), {marker}).join(", ").toStdString(), "");
        Formats::ByteFile result(std::as_const(cleaned));
        EXPECT_EQ(kind->check(result, 0).reason(), "");
        EXPECT_EQ(Package::read(cleaned).size(), Package::read(source).size());
    }
}

TEST_F(Packages, APackageSignedByAPersonIsRefusedAsItWouldLoseItsSignature) {
    const Bytes signature =
        "<Signature><X509SubjectName>CN=Sig Signer</X509SubjectName></Signature>";
    const struct {
        QString source;
        std::string part;
    } cases[] = {
        {"letter.docx", "_xmlsignatures/sig1.xml"},
        {"letter.odt", "META-INF/documentsignatures.xml"},
        {"letter.odt", "META-INF/macrosignatures.xml"},
        {"drawn.epub", "META-INF/signatures.xml"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.part);
        std::vector<Package::Entry> entries = Package::read(fixture(test.source));
        entries.push_back({test.part, signature});
        Bytes packed = Package::write(entries);
        const Kinds::Kind *kind = Kinds::forContent(packed);
        ASSERT_NE(kind, nullptr);
        const std::string reason = "signed by a person: cleaning would break the signature";
        Formats::ByteFile reading(std::as_const(packed));
        EXPECT_EQ(PackageCheck::reasonOf([&] { return kind->check(reading, 0); }), reason);
        Formats::ByteFile cleaning(packed);
        try {
            kind->clean(cleaning, 0);
            ADD_FAILURE() << "cleaned";
        } catch (const Formats::Refused &refused) {
            EXPECT_EQ(refused.what(), reason);
        }
    }
}

// Places the passes once missed: each goes, is emptied, is made anew or is cut to a file name, and
// the check names it in the file as it came (ids made anew it cannot tell from others).
TEST_F(Packages, PersonalDataInLessKnownPlacesGoesAndIsNamed) {
    using Formats::Category;
    const std::string sharePoint =
        R"(<p:properties xmlns:p="http://schemas.microsoft.com/office/2006/metadata/properties" )"
        R"(xmlns:pc="http://schemas.microsoft.com/office/infopath/2007/PartnerControls">)"
        R"(<documentManagement><_dlc_DocId xmlns="urn:a">SPDOC-4711-99</_dlc_DocId>)"
        R"(<Owner xmlns="urn:a"><UserInfo><DisplayName>Sharon Pointer</DisplayName>)"
        R"(<AccountId>42</AccountId></UserInfo></Owner>)"
        R"(<OriginalFileName xmlns="urn:a">Budget_Sharon.docx</OriginalFileName>)"
        R"(<TaxKeywordTaxHTField xmlns="urn:a"><pc:Terms><pc:TermInfo><pc:TermName>Secret Term)"
        R"(</pc:TermName></pc:TermInfo></pc:Terms></TaxKeywordTaxHTField>)"
        R"(</documentManagement></p:properties>)";
    const std::string wordIds =
        R"(<w14:docId xmlns:w14="http://schemas.microsoft.com/office/word/2010/wordml" )"
        R"(w14:val="1A2B3C4D"/><w15:docId )"
        R"(xmlns:w15="http://schemas.microsoft.com/office/word/2012/wordml" )"
        R"(w15:val="{0D0C0B0A-1111-2222-3333-444455556666}"/>)";
    const std::string workbookId =
        R"(<xr:revisionPtr xmlns:xr="http://schemas.microsoft.com/office/spreadsheetml/2014/revision" )"
        R"(revIDLastSave="0" documentId="8_{ABCDEF01-2345-6789-ABCD-EF0123456789}"/>)";
    // Cleaned first, so that the check names only what is planted.
    const Bytes book = cleanedFixture("drawn.epub");
    const Bytes document = cleanedFixture("letter.docx");
    const Bytes linked = withPartEdited(
        withPartEdited(book, "OEBPS/content.opf",
                       replacing("</metadata>", R"(<link rel="onix-record" href="onix.xml"/>)"
                                                "</metadata>")),
        "OEBPS/content.opf",
        replacing("<manifest>",
                  R"(<manifest><item id="o" href="onix.xml" media-type="text/xml"/>)"));
    const Bytes onix = withPartEdited(
        linked, "OEBPS/onix.xml",
        insideRoot("<ONIXMessage><Contributor><PersonName>Onix Person</PersonName>"
                   "<EmailAddress>onix@example.com</EmailAddress></Contributor></ONIXMessage>"));
    const Bytes pageMeta = withPartEdited(
        book, "OEBPS/chapter1.xhtml",
        replacing(
            "<title>Page</title>",
            R"(<title>Page</title><meta property="dc:creator" content="Prop Person"/>)"
            R"(<meta itemprop="author" content="Item Person"/>)"
            R"(<meta name="DC.creator" content="Dc Person"/>)"
            R"(<dc:creator xmlns:dc="http://purl.org/dc/elements/1.1/">Loose Person</dc:creator>)"));
    const Bytes drawing =
        R"(<?xml version="1.0"?><?xml-stylesheet type="text/css" href="/home/ann/styles/plan.css"?>)"
        R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink">)"
        R"(<image xlink:href="file:///home/ann/Pictures/holiday.png" width="1" height="1"/>)"
        R"(<image href="C:\Users\ann\x.png" width="1" height="1"/><image href="kept.png"/><image href="file:loose.png"/>)"
        R"(<dc:creator xmlns:dc="http://purl.org/dc/elements/1.1/">Svg Person</dc:creator></svg>)";
    const Bytes letter =
        R"({\rtf1\ansi{\*\company Rtf Company}{\author Rtf Author}{\*\docvar {v}{Rtf DocVar}})"
        R"({\*\template C:\\Users\\ann\\rtf-template.dotx}{\*\protusertbl {Rtf Protector;}})"
        R"({\pict{\*\picprop{\sp{\sn wzDescription}{\sv C:\\Users\\ann\\rtf-photo.jpg}}})"
        R"(\wmetafile8 0102}Kept \crdate123456 \prdate654321 words.})";
    const struct {
        std::string name;
        Bytes source;
        QStringList planted;
        std::vector<std::pair<Category, std::string>> found;
        std::vector<std::string> kept;  // in the cleaned file, every layer seen through
    } cases[] = {
        {"SharePoint properties",
         withPartEdited(document, "customXml/item9.xml", insideRoot(sharePoint)),
         {"SPDOC-4711-99", "Sharon Pointer", "Budget_Sharon", "Secret Term"},
         {{Category::Identifiers, "a SharePoint document id"},
          {Category::People, "a SharePoint owner"},
          {Category::Other, "SharePoint properties"}},
         {"<OriginalFileName", "<pc:TermName", "<_dlc_DocId"}},
        {"properties under another part name",
         withPartEdited(document, "docProps/custom2.xml",
                        insideRoot(R"(<Properties xmlns="http://schemas.openxmlformats.org/)"
                                   R"(officeDocument/2006/custom-properties"><property )"
                                   R"(name="Client"><vt:lpwstr xmlns:vt="urn:v">Renamed )"
                                   R"(Client</vt:lpwstr></property></Properties>)")),
         {"Renamed Client"},
         {{Category::Other, "document properties"}},
         {"custom-properties"}},
        {"a people list under another part name",
         withPartEdited(document, "word/people2.xml",
                        insideRoot(R"(<w15:people xmlns:w15="http://schemas.microsoft.com/)"
                                   R"(office/word/2012/wordml"><w15:person><w15:presenceInfo/>)"
                                   R"(<Note>Pia Person</Note></w15:person></w15:people>)")),
         {"Pia Person"},
         {{Category::People, "a people list"}},
         {"<w15:people"}},
        {"OpenDocument's people, settings and meta under misspelt namespaces",
         withPartEdited(
             withPartEdited(
                 withPartEdited(cleanedFixture("letter.odt"), "content.xml",
                                insideRoot(R"(<office:annotation><dc:creator xmlns:dc="urn:d">)"
                                           R"(Misspelt Person</dc:creator></office:annotation>)")),
                 "settings.xml",
                 insideRoot(R"(<c:config-item xmlns:c="urn:c" c:name="PrinterName">)"
                            R"(Misspelt Printer</c:config-item>)")),
             "meta.xml",
             insideRoot(R"(<o:meta xmlns:o="urn:oasis:names:tc:opendocument:xmlns:office:1:0">)"
                        R"(<dc:title>Misspelt Title</dc:title></o:meta>)")),
         {"Misspelt Person", "Misspelt Printer", "Misspelt Title"},
         {{Category::People, "comment or change authors"},
          {Category::Device, "printer settings"},
          {Category::Descriptions, "title, subject or keywords"}},
         {"<o:meta", "Comment text stays."}},
        {"Word's document ids",
         withPartEdited(document, "word/settings.xml", insideRoot(wordIds)),
         {"1A2B3C4D", "0D0C0B0A-1111-2222-3333-444455556666"},
         {},
         {"<w14:docId", "<w15:docId"}},
        {"a workbook's document id",
         withPartEdited(cleanedFixture("figures.xlsx"), "xl/workbook.xml", insideRoot(workbookId)),
         {"ABCDEF01-2345-6789-ABCD-EF0123456789"},
         {},
         {R"(documentId="8_{)"}},
        {"ONIX record",
         onix,
         {"Onix Person", "onix@example.com", "onix.xml"},
         {{Category::People, "a publisher's ONIX record"}},
         {"Kept words"}},
        {"buyer's record",
         withPartEdited(book, "META-INF/rights.xml",
                        insideRoot("<rights><user>Buyer Bob</user></rights>")),
         {"Buyer Bob", "rights.xml"},
         {{Category::People, "a buyer's record"}},
         {}},
        {"page metas",
         pageMeta,
         {"Prop Person", "Item Person", "Dc Person", "Loose Person"},
         {{Category::People, "author"}},
         {"<title>Page</title>"}},
        {"modification time",
         withPartEdited(book, "OEBPS/content.opf",
                        replacing("2000-01-01T00:00:00Z", "2021-08-21T16:02:00Z")),
         {"2021-08-21"},
         {{Category::Dates, "modification time"}},
         {R"(<meta property="dcterms:modified">2000-01-01T00:00:00Z</meta>)"}},
        {"drawing",
         drawing,
         {"/home/ann", "Users\\ann", "Svg Person", "file:loose"},
         {{Category::People, "a folder on the author's computer"}, {Category::People, "author"}},
         {R"(href="plan.css")", R"(xlink:href="holiday.png")", R"(href="x.png")",
          R"(href="kept.png")"}},
        {"letter",
         letter,
         {"Rtf Company", "Rtf Author", "Rtf DocVar", "rtf-template", "Rtf Protector", "rtf-photo",
          "123456", "654321"},
         {{Category::People, "company or manager"},
          {Category::People, "author"},
          {Category::Other, "document variables"},
          {Category::Other, "its template's name"},
          {Category::People, "the users a protection names"},
          {Category::People, "a folder on the author's computer"},
          {Category::Dates, "revision dates"}},
         {"Kept ", "words.", "wzDescription", "0102"}},
        {"letter with a brace too many",
         R"({\rtf1{\info{\author Brace Author}}Brace words.}})",
         {"Brace Author"},
         {{Category::People, "document information (author, title, dates)"}},
         {"{\\rtf1 Brace words.}}"}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        const Kinds::Kind *kind = Kinds::forContent(test.source);
        ASSERT_NE(kind, nullptr);
        EXPECT_EQ(heldIn(everyLayer(test.source), test.planted), test.planted);
        Formats::ByteFile reading(test.source);
        const Formats::Findings before = kind->check(reading, 0);
        for (const auto &[category, name] : test.found) {
            EXPECT_TRUE(std::any_of(before.shown().begin(), before.shown().end(),
                                    [&](const auto &finding) {
                                        return finding.category == category && finding.name == name;
                                    }))
                << name << " not in " << before.reason();
        }

        Bytes cleaned = test.source;
        Formats::ByteFile cleaning(cleaned);
        kind->clean(cleaning, 0);
        EXPECT_EQ(heldIn(everyLayer(cleaned), test.planted).join(", ").toStdString(), "");
        for (const std::string &kept : test.kept) {
            EXPECT_NE(everyLayer(cleaned).find(kept), std::string::npos) << kept;
        }
        Formats::ByteFile result(std::as_const(cleaned));
        EXPECT_EQ(kind->check(result, 0).reason(), "");
    }
}

// An EPUB 3 must keep one modification time: the cleaned book passes epubcheck.
TEST_F(Packages, ACleanedEpub3StaysValid) {
    const std::string page =
        R"(<?xml version="1.0" encoding="UTF-8"?><html xmlns="http://www.w3.org/1999/xhtml" )"
        R"(xmlns:epub="http://www.idpf.org/2007/ops"><head><title>T</title></head><body>)";
    const Bytes book = Package::write(
        {{"mimetype", "application/epub+zip", false},
         {"META-INF/container.xml",
          R"(<?xml version="1.0"?><container version="1.0" )"
          R"(xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles><rootfile )"
          R"(full-path="EPUB/package.opf" media-type="application/oebps-package+xml"/>)"
          R"(</rootfiles></container>)"},
         {"EPUB/package.opf",
          R"(<?xml version="1.0" encoding="UTF-8"?><package xmlns="http://www.idpf.org/2007/opf" )"
          R"(version="3.0" unique-identifier="id"><metadata )"
          R"(xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:identifier id="id">urn:uuid:)"
          R"(11111111-2222-3333-4444-555555555555</dc:identifier><dc:title>Kept Title</dc:title>)"
          R"(<dc:language>en</dc:language><dc:creator>Ann Author</dc:creator><meta )"
          R"(property="dcterms:modified">2021-08-21T10:00:00Z</meta></metadata><manifest><item )"
          R"(id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/>)"
          R"(<item id="c" href="chapter.xhtml" media-type="application/xhtml+xml"/></manifest>)"
          R"(<spine><itemref idref="c"/></spine></package>)"},
         {"EPUB/nav.xhtml", page + R"(<nav epub:type="toc"><ol><li><a href="chapter.xhtml">)"
                                   R"(One</a></li></ol></nav></body></html>)"},
         {"EPUB/chapter.xhtml", page + "<p>Kept words</p></body></html>"}});
    const Bytes cleaned = Kinds::cleanEmbedded(book, 0, "book.epub");
    EXPECT_EQ(heldIn(everyLayer(cleaned), {"Ann Author", "2021-08-21"}), QStringList());
    const QString path =
        writeFile(*folder / QStringLiteral("cleaned.epub"), QByteArray::fromStdString(cleaned));
    EXPECT_EQ(QProcess::execute(
                  QStringLiteral("java"),
                  {QStringLiteral("-jar"), QStringLiteral("/usr/share/java/epubcheck.jar"), path}),
              0);
}
