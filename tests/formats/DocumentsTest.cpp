#include "PictureFixtures.h"
#include "engine/MetadataFixtures.h"
#include "formats/documents/Epub.h"
#include "formats/documents/Rtf.h"
#include "formats/documents/Svg.h"
#include "formats/office/Package.h"
#include "formats/pictures/Jpeg.h"
#include "formats/pictures/Png.h"
#include "formats/pictures/Psd.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QImage>
#include <QProcess>
#include <QStringEncoder>
#include <QXmlStreamReader>

#include <functional>

namespace {

using Formats::Bytes;

// Values make_documents.py plants: none may remain in a cleaned file.
const QStringList Planted = {"Ann Author",         "Ed Editor",     "Secret Publisher",
                             "Secret Application", "2021-08-21",    "secret keywords",
                             "/home/ann",          "Secret Source", "11111111-2222",
                             "9781234567897",      "1194548"};

struct Kind {
    std::function<Bytes(const Bytes &)> clean;
    std::function<std::string(const Bytes &)> check;
};
const Kind Book{Epub::clean, Epub::remainingMetadata};
const Kind Drawing{Svg::clean, Svg::remainingMetadata};
const Kind Letter{Rtf::clean, Rtf::remainingMetadata};
const Kind Picture{Psd::clean, Psd::remainingMetadata};

class Documents : public ::testing::Test {
  public:
    static void SetUpTestSuite() {
        folder = new ScratchFolder;
        const QString photo = makeJpegWithMetadata(*folder / QStringLiteral("photo.jpg"));
        ASSERT_EQ(
            QProcess::execute(QStringLiteral("python3"),
                              {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_documents.py"),
                               folder->path(), photo}),
            0);
    }
    static void TearDownTestSuite() { delete folder; }

    static Bytes fixture(const QString &name) { return readFile(*folder / name).toStdString(); }

    static ScratchFolder *folder;
};

ScratchFolder *Documents::folder = nullptr;

// The file's bytes, or every entry's of a package, for looking for planted values.
Bytes contentOf(const Bytes &file) {
    if (file.rfind("PK", 0) != 0) {
        return file;
    }
    Bytes all;
    for (const Package::Entry &entry : Package::read(file)) {
        all += entry.name + '\n' + entry.data;
    }
    return all;
}

QStringList plantedIn(const Bytes &file) {
    QStringList found;
    const Bytes content = contentOf(file);
    for (const QString &value : Planted) {
        if (content.find(value.toStdString()) != std::string::npos) {
            found << value;
        }
    }
    return found;
}

Bytes entry(const Bytes &package, const std::string &name) {
    for (const Package::Entry &each : Package::read(package)) {
        if (each.name == name) {
            return each.data;
        }
    }
    return {};
}

// Every text of an XML document, in order.
QString xmlText(const Bytes &xml) {
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    QString text;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::Characters) {
            text += reader.text();
        }
    }
    return text.simplified();
}

// A font as the book hides it, unhidden with the book's identifier.
Bytes unhidden(Bytes font, const QString &identifier) {
    const QByteArray key = QCryptographicHash::hash(identifier.toUtf8(), QCryptographicHash::Sha1);
    for (std::size_t i = 0; i < 1040 && i < font.size(); ++i) {
        font[i] = static_cast<char>(font[i] ^ key[static_cast<qsizetype>(i % 20)]);
    }
    return font;
}

void expectTheSameBook(const Bytes &source, const Bytes &cleaned) {
    for (const char *part : {"OEBPS/chapter1.xhtml", "OEBPS/toc.ncx"}) {
        EXPECT_EQ(xmlText(entry(cleaned, part)).remove("Ann Author"),
                  xmlText(entry(source, part)).remove("Ann Author"))
            << part;
    }
    const QString metadata = xmlText(entry(cleaned, "OEBPS/content.opf"));
    EXPECT_TRUE(metadata.startsWith(QStringLiteral("Kept Titleen urn:uuid:")))
        << metadata.toStdString();
    // The book's new identifier, then the one modification time an EPUB 3 keeps.
    EXPECT_TRUE(metadata.endsWith(QStringLiteral(" 2000-01-01T00:00:00Z")))
        << metadata.toStdString();
    EXPECT_EQ(metadata.size(), QStringLiteral("Kept Titleen urn:uuid:").size() + 36 + 21);
    EXPECT_NE(entry(cleaned, "OEBPS/content.opf").find(R"(unique-identifier="BookId")"),
              std::string::npos);
    const Bytes font =
        unhidden(entry(cleaned, "OEBPS/fonts/kept.otf"), metadata.section(' ', -2, -2));
    EXPECT_EQ(font.substr(0, 4), "OTTO");
    EXPECT_EQ(font, unhidden(entry(source, "OEBPS/fonts/kept.otf"),
                             "urn:uuid:11111111-2222-3333-4444-555555555555"));
    const std::vector<Package::Entry> entries = Package::read(cleaned);
    EXPECT_EQ(entries.front().name, "mimetype");
    EXPECT_FALSE(entries.front().compressed);
    EXPECT_EQ(Jpeg::remainingMetadata(entry(cleaned, "OEBPS/images/cover.jpeg")), "");
}

// The drawing as librsvg renders it.
QImage rendered(const Bytes &svg, const ScratchFolder &folder) {
    const QString path =
        writeFile(folder / QStringLiteral("drawing.svg"), QByteArray::fromStdString(svg));
    runTool(QStringLiteral("rsvg-convert"), {path, QStringLiteral("-o"), path + ".png"});
    return QImage(path + ".png");
}

void expectTheSameDrawing(const Bytes &source, const Bytes &cleaned) {
    const QImage before = rendered(source, *Documents::folder);
    EXPECT_FALSE(before.isNull());
    EXPECT_TRUE(rendered(cleaned, *Documents::folder) == before);
    for (const char *kept : {"<title id=\"title1\">Kept plan</title>", "A kept description"}) {
        EXPECT_EQ(cleaned.find(kept) == std::string::npos, source.find(kept) == std::string::npos);
    }
}

// The text LibreOffice reads from both documents, source first.
QStringList textsOf(const Bytes &source, const Bytes &cleaned, const ScratchFolder &folder) {
    QStringList texts, paths;
    for (const auto &[name, bytes] : {std::pair{"source", source}, std::pair{"cleaned", cleaned}}) {
        paths << writeFile(folder / QStringLiteral("%1.rtf").arg(name),
                           QByteArray::fromStdString(bytes));
    }
    runTool(
        QStringLiteral("soffice"),
        QStringList{"--headless", "--convert-to", "txt:Text", "--outdir", folder.path()} + paths);
    for (const char *name : {"source", "cleaned"}) {
        texts << QString::fromUtf8(readFile(folder / QStringLiteral("%1.txt").arg(name)));
    }
    return texts;
}

void expectTheSameText(const Bytes &source, const Bytes &cleaned) {
    const QStringList texts = textsOf(source, cleaned, *Documents::folder);
    EXPECT_TRUE(texts[0].contains(
        QStringLiteral("bold words and italic.removed textinserted text\nCafés €")));
    EXPECT_EQ(texts[1], texts[0]);
    EXPECT_NE(cleaned.find("{\\*\\revtbl {Unknown;}{Unknown;}{Unknown;}}"), std::string::npos);
}

// The composite image as ImageMagick reads it.
QImage composite(const Bytes &psd, const ScratchFolder &folder) {
    const QString path =
        writeFile(folder / QStringLiteral("composite.psd"), QByteArray::fromStdString(psd));
    runTool(QStringLiteral("convert"), {path + "[0]", QStringLiteral("-strip"), path + ".png"});
    return QImage(path + ".png");
}

void expectTheSamePicture(const Bytes &source, const Bytes &cleaned) {
    const QImage before = composite(source, *Documents::folder);
    EXPECT_FALSE(before.isNull());
    EXPECT_TRUE(composite(cleaned, *Documents::folder) == before);
    EXPECT_EQ(cleaned.substr(cleaned.size() - 2000), source.substr(source.size() - 2000));
    for (const char *kept : {"8BIM\x03\xED", "8BIM\x04\x0F", "mntrRGB XYZ ", "8BIM\x04\x21"}) {
        EXPECT_NE(cleaned.find(kept), std::string::npos) << kept;
    }
    // The version information stays for its flag, without the applications' names.
    const QByteArray secret =
        QStringEncoder(QStringConverter::Utf16BE).encode(QStringLiteral("Secret"));
    EXPECT_NE(source.find(secret.toStdString()), std::string::npos);
    EXPECT_EQ(cleaned.find(secret.toStdString()), std::string::npos);
}

Bytes withEntry(const Bytes &package, const std::string &name, const Bytes &data,
                bool compressed = true) {
    std::vector<Package::Entry> entries = Package::read(package);
    const auto named = std::find_if(entries.begin(), entries.end(),
                                    [&](const auto &each) { return each.name == name; });
    if (named != entries.end()) {
        named->data = data;
        named->compressed = compressed;
    } else {
        entries.push_back({name, data, compressed});
    }
    return Package::write(entries);
}

}  // namespace

TEST_F(Documents, CleaningLeavesNoPlantedValueAndKeepsTheContent) {
    const struct {
        QString name;
        Kind kind;
        std::function<void(const Bytes &, const Bytes &)> expectTheSame;
    } cases[] = {{"book.epub", Book, expectTheSameBook},
                 {"plan.svg", Drawing, expectTheSameDrawing},
                 {"illustrated.svg", Drawing, expectTheSameDrawing},
                 {"letter.rtf", Letter, expectTheSameText},
                 {"picture.psd", Picture, expectTheSamePicture}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name.toStdString());
        const Bytes source = fixture(test.name);
        ASSERT_GE(plantedIn(source).size(), 3);
        EXPECT_NE(test.kind.check(source), "");

        const Bytes cleaned = test.kind.clean(source);
        EXPECT_EQ(test.kind.check(cleaned), "");
        EXPECT_EQ(plantedIn(cleaned).join(", ").toStdString(), "");
        test.expectTheSame(source, cleaned);
    }
}

TEST_F(Documents, TheCheckNamesWhatRemains) {
    const Bytes book = Epub::clean(fixture("book.epub"));
    // The picture with only the reader's name left in its version information.
    Bytes readerNamed = fixture("picture.psd");
    const Bytes writer =
        QByteArray(QStringEncoder(QStringConverter::Utf16BE)(QStringLiteral("Secret Application")))
            .toStdString();
    readerNamed.replace(readerNamed.find(writer), writer.size(), Bytes(writer.size(), '\0'));
    const std::string opf =
        R"(<package xmlns="http://www.idpf.org/2007/opf"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">)";
    const struct {
        Kind kind;
        Bytes file;
        std::string reason;
    } cases[] = {
        {Book,
         withEntry(book, "OEBPS/content.opf",
                   opf + "<dc:creator>X</dc:creator></metadata></package>"),
         "still holds author"},
        {Book,
         withEntry(book, "OEBPS/content.opf",
                   opf + "<dc:identifier>a</dc:identifier><dc:identifier>b</dc:identifier></"
                         "metadata></package>"),
         "still holds identifiers"},
        {Book,
         withEntry(book, "OEBPS/content.opf",
                   opf + R"(<meta property="dcterms:modified">x</meta></metadata></package>)"),
         "still holds modification time"},
        {Book, withEntry(book, "OEBPS/toc.ncx", "<ncx><docAuthor><text>X</text></docAuthor></ncx>"),
         "still holds author"},
        {Book,
         withEntry(book, "OEBPS/chapter1.xhtml",
                   R"(<html><head><meta name="generator" content="X"/></head></html>)"),
         "still holds software"},
        {Book, withEntry(book, "iTunesMetadata.plist", "<plist/>"), "still holds shop records"},
        {Book, withEntry(book, "OEBPS/images/plan.svg", "<svg><!-- x --></svg>"),
         "still holds comments in OEBPS/images/plan.svg"},
        {Book, withEntry(book, "OEBPS/images/cover.jpeg", fixture("photo.jpg")),
         photoFindingsIn("OEBPS/images/cover.jpeg")},
        {Book, withEntry(book, "mimetype", "application/epub+zip", true),
         "holds its mimetype out of place"},
        {Book,
         withEntry(book, "META-INF/container.xml",
                   R"(<container><rootfile full-path="lost.opf"/></container>)"),
         "holds a reference to a missing part (lost.opf)"},
        {Drawing, R"(<svg><!-- x --><?xpacket x?><metadata/></svg>)",
         "still holds comments, processing instructions, metadata (RDF, Dublin Core, XMP)"},
        {Drawing,
         R"(<!DOCTYPE svg [<!ENTITY a "b">]><svg xmlns:i="http://ns.adobe.com/AdobeIllustrator/10.0/"><i:pgf/></svg>)",
         "still holds a document type declaration, Illustrator's private data"},
        {Drawing,
         R"(<svg xmlns:s="http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd" xmlns:i="http://www.inkscape.org/namespaces/inkscape" s:docname="a" i:version="1" i:export-xdpi="9"><s:namedview/></svg>)",
         "still holds file names, software version, export file names and resolutions, editor "
         "settings"},
        {Drawing,
         "<svg><image href=\"data:image/jpeg;base64," +
             QByteArray::fromStdString(fixture("photo.jpg")).toBase64().toStdString() +
             "\"/></svg>",
         photoFindingsIn("an embedded file")},
        {Drawing, "<svg><title>x</title>", "damaged SVG"},
        {Letter, R"({\rtf1{\info{\author X}}})",
         "still holds document information (author, title, dates)"},
        {Letter, R"({\rtf1{\*\generator X}{\*\userprops x}\insrsid5 a\revdttm5{\*\blipuid 1}})",
         "still holds software, custom properties, revision-session ids, revision dates, picture "
         "identifiers"},
        {Letter, R"({\rtf1{\*\revtbl {Unknown;}{\'c4nn;}}{\*\atnauthor X}{\*\atndate 5}})",
         "still holds revision authors, comment authors, comment dates"},
        {Letter,
         R"({\rtf1{\*\revtbl {Unknown;}{Ann{\*\revtbl x}}}{\pict{\*\picprop{\sv C:\\Users\\a{\sv x}}}}})",
         "still holds revision authors, a folder on the author's computer"},
        {Letter,
         R"({\rtf1{\pict\jpegblip )" +
             QByteArray::fromStdString(fixture("photo.jpg")).toHex().toStdString() + "}}",
         photoFindingsIn("a picture")},
        {Letter, R"({\rtf1{\field{\*\fldinst {LINK Excel "\\\\srv\\a.xlsx"}}}})",
         "still holds a folder on the author's computer"},
        {Letter, R"({\rtf1 a\bin9 {{})", "damaged RTF: cut short"},
        {Picture, fixture("picture.psd"),
         "still holds IPTC, Exif, XMP, a thumbnail, a caption, URLs, the software version"},
        {Picture, readerNamed,
         "still holds IPTC, Exif, XMP, a thumbnail, a caption, URLs, the software version"},
        {Picture, fixture("broken-resource.psd"), "damaged PSD: an image resource is broken"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.reason);
        EXPECT_EQ(test.kind.check(test.file), test.reason);
    }
}

TEST_F(Documents, DamagedFilesAreRefusedWithAReason) {
    const struct {
        QString name;
        Kind kind;
        std::string reason;
    } cases[] = {
        {"truncated-book.epub", Book, "damaged ZIP package"},
        {"no-container.epub", Book, "damaged EPUB: no container"},
        {"locked.epub", Book, "encrypted EPUB"},
        {"truncated-plan.svg", Drawing, "damaged SVG: "},
        {"truncated-letter.rtf", Letter, "damaged RTF: cut short"},
        {"deep.rtf", Letter, "RTF nested too deeply"},
        {"deep.svg", Drawing, "SVG nested too deeply"},
        {"bad-picture.rtf", Letter, "damaged RTF picture"},
        {"format-3-object.rtf", Letter, "damaged RTF object"},
        {"truncated-picture.psd", Picture, "damaged PSD: a section runs past the end"},
        {"broken-resource.psd", Picture, "damaged PSD: a section runs past the end"},
        {"cut-pixels.psd", Picture, "damaged PSD: the pixels are cut short"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name.toStdString());
        EXPECT_NE(test.kind.check(fixture(test.name)), "");
        try {
            test.kind.clean(fixture(test.name));
            ADD_FAILURE() << "cleaned";
        } catch (const Formats::Refused &refused) {
            EXPECT_EQ(std::string(refused.what()).substr(0, test.reason.size()), test.reason);
        }
    }
}

TEST_F(Documents, TheCheckSortsWhatItFindsByWhatItTells) {
    using Formats::Category;
    const std::string opf = entry(fixture("book.epub"), "OEBPS/content.opf");
    const struct {
        std::function<Formats::Findings(const Bytes &, int)> findings;
        Bytes file;
        std::vector<std::pair<Category, std::string>> expected;
    } cases[] = {
        {Epub::findings,
         withEntry(Epub::clean(fixture("book.epub")), "OEBPS/content.opf", opf),
         {{Category::People, "author"},
          {Category::People, "publisher"},
          {Category::Dates, "dates"},
          {Category::Descriptions, "description"},
          {Category::Identifiers, "identifiers"}}},
        {Svg::findings,
         fixture("plan.svg"),
         {{Category::People, "a folder on the author's computer"},
          {Category::Other, "export file names and resolutions"},
          {Category::Software, "software version"},
          {Category::Descriptions, "comments"},
          {Category::Descriptions, "metadata (RDF, Dublin Core, XMP)"}}},
        {Rtf::findings,
         fixture("letter.rtf"),
         {{Category::People, "document information (author, title, dates)"},
          {Category::Software, "software"},
          {Category::History, "revision-session ids"},
          {Category::Dates, "revision dates"},
          {Category::People, "revision authors"},
          {Category::Identifiers, "picture identifiers"}}},
    };
    for (const auto &test : cases) {
        const Formats::Findings found = test.findings(test.file, 0);
        for (const auto &[category, name] : test.expected) {
            EXPECT_TRUE(std::any_of(found.shown().begin(), found.shown().end(),
                                    [&](const Formats::Finding &finding) {
                                        return finding.category == category && finding.name == name;
                                    }))
                << name << " in " << Formats::categoryName(category) << ": " << found.reason();
        }
    }
}
