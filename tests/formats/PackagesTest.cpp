#include "engine/MetadataFixtures.h"
#include "formats/office/OfficeDocument.h"
#include "formats/office/OpenDocument.h"
#include "formats/office/Package.h"
#include "formats/pictures/Jpeg.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>

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
                             "Vera Version"};

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

// The reason a check gives for what a file inside it holds.
std::string nested(const Formats::Findings &inner, const std::string &where) {
    Formats::Findings outer;
    outer.addFrom(inner, where);
    return outer.reason();
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
         {R"(Target="report.doc")", R"(title="A red barn")", "Kept project data",
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
         Jpeg::remainingMetadata(photo) + " in word/media/image1.jpeg"},
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
         fixture("figures.xlsx"),
         nested(OfficeDocument::findings(fixture("figures.xlsx"), 1),
                "word/embeddings/Microsoft_Excel_Sheet1.xlsx")},
        {"letter.docx", Office, "word/embeddings/oleObject1.bin", fixture("object.bin"),
         "still holds author in word/embeddings/oleObject1.bin"},
        {"slides.pptx", Office, "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx",
         Package::write({{"[Content_Types].xml", "<Types/>"}, {"xl/media/a.jpeg", photo}}),
         Jpeg::remainingMetadata(photo) +
             " in xl/media/a.jpeg in ppt/embeddings/Microsoft_Excel_Sheet1.xlsx"},
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
