#include "engine/MetadataFixtures.h"
#include "formats/Jpeg.h"
#include "formats/OfficeDocument.h"
#include "formats/OpenDocument.h"
#include "formats/Package.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QXmlStreamReader>

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
                             "4711"};

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

QStringList plantedIn(const Bytes &package) {
    QStringList found;
    for (const Package::Entry &entry : Package::read(package)) {
        for (const QString &value : Planted) {
            if (entry.data.find(value.toStdString()) != std::string::npos) {
                found << QString::fromStdString(entry.name) + ": " + value;
            }
        }
    }
    return found;
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
        std::string thumbnail;
    } cases[] = {{"letter.docx", Office, "docProps/thumbnail.jpeg"},
                 {"figures.xlsx", Office, "docProps/thumbnail.jpeg"},
                 {"slides.pptx", Office, "docProps/thumbnail.jpeg"},
                 {"letter.odt", Open, "Thumbnails/thumbnail.png"}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name.toStdString());
        const Bytes source = fixture(test.name);
        ASSERT_FALSE(plantedIn(source).isEmpty());
        EXPECT_NE(test.kind.check(source), "");

        const Bytes cleaned = test.kind.clean(source);
        EXPECT_EQ(test.kind.check(cleaned), "");
        EXPECT_EQ(plantedIn(cleaned).join(", ").toStdString(), "");
        EXPECT_EQ(documentText(cleaned), documentText(source));
        EXPECT_GT(documentText(cleaned).size(), 20);
        EXPECT_TRUE(unzipTestsClean(cleaned, *folder));

        const std::vector<Package::Entry> before = Package::read(source);
        const std::vector<Package::Entry> after = Package::read(cleaned);
        EXPECT_EQ(after.size(), before.size() - 1);
        EXPECT_EQ(entryNamed(after, test.thumbnail), nullptr);
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
         "still holds document properties"},
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
         "still holds document properties"},
        {"letter.odt", Open, "content.xml", "",
         "holds a reference to a missing part (content.xml)"},
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
