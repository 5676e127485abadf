#include "MetadataFixtures.h"
#include "PdfFixtures.h"
#include "engine/Metadata.h"
#include "engine/PDF_Metadata.h"
#include "engine/Routes.h"
#include "formats/documents/Pdf.h"
#include "support/FakeDesktop.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <sys/stat.h>

#include <algorithm>

namespace {

QByteArray bytesOfLength(qint64 length) {
    QByteArray bytes(length, '\0');
    for (qint64 i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 4096) % 251);
    }
    return bytes;
}

struct ToolRun {
    int exitCode;
    QString errorText;
};

ToolRun runPdftk(const QStringList &arguments) {
    QProcess pdftk;
    pdftk.start(QStringLiteral(PARCHWIPE_BIN_DIR "/pdftk"), arguments);
    pdftk.waitForFinished(-1);
    return {pdftk.exitCode(), QString::fromUtf8(pdftk.readAllStandardError())};
}

// The words a route's step gives: empty when it was done.
QString reasonOf(const StepResult &result) {
    return result ? result->reason : QString();
}

QPDFObjectHandle firstPage(QPDF &pdf) {
    return pdf.getAllPages()[0];
}

}  // namespace

TEST(StripFile, RewritesEveryLengthWholeAndLeavesNoScratch) {
    ScratchFolder scratch;
    FakeDesktop desktop;
    for (const qint64 length : {0LL, 1LL, 4096LL, 4097LL, 10000LL}) {
        const QString path = scratch / QStringLiteral("file%1.docx").arg(length);
        writeFile(path, bytesOfLength(length));
        Metadata::StripFile(desktop, path);
        EXPECT_EQ(readFile(path), bytesOfLength(length)) << length;
    }
    EXPECT_EQ(QDir(scratch.path()).entryList({QStringLiteral("*.temp")}, QDir::Files),
              QStringList());
    EXPECT_TRUE(desktop.messages.empty());
}

TEST(StripFile, AFileThatCannotBeRewrittenKeepsItsContentAndIsReportedOnce) {
    ScratchFolder scratch;
    FakeDesktop desktop;
    Metadata::StripFile(desktop, scratch / QStringLiteral("missing.odt"));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains(
        QStringLiteral("in Quillstrip2021/08/31.Metadata.StripFile at line 100")));

    // The scratch name is taken by a folder: nothing can be written there.
    const QString path = writeFile(scratch / QStringLiteral("kept.odt"), bytesOfLength(9000));
    makeFolder(path + QStringLiteral(".temp"));
    Metadata::StripFile(desktop, path);
    EXPECT_EQ(readFile(path), bytesOfLength(9000));
    EXPECT_EQ(desktop.messages.size(), 2u);

    const QString readOnly = writeFile(scratch / QStringLiteral("ro.odt"), "content");
    ::chmod(readOnly.toLocal8Bit().constData(), 0444);
    Metadata::StripFile(desktop, readOnly);
    EXPECT_EQ(readFile(readOnly), QByteArray("content"));
    EXPECT_FALSE(QFile::exists(readOnly + QStringLiteral(".temp")));
    EXPECT_EQ(desktop.messages.size(), 3u);
}

TEST(RemovePDFMetadata, WritesTheInfoFileAndReplacesEvenAReadOnlyCopy) {
    ScratchFolder scratch;
    FakeDesktop desktop;
    const QString working = makeFolder(scratch / QStringLiteral("work folder"));
    const QString copy = makePdfWithMetadata(working + QStringLiteral("/temp.pdf"));
    ::chmod(copy.toLocal8Bit().constData(), 0444);

    EXPECT_EQ(reasonOf(PDF_Metadata::RemovePDFMetadata(desktop, QStringLiteral(PARCHWIPE_BIN_DIR),
                                                       working, copy, {})),
              QString());
    EXPECT_EQ(pdfMetadataKeys(copy), QStringList());
    EXPECT_FALSE(QFile::exists(copy + QStringLiteral("2")));
    const QByteArray info = readFile(working + QStringLiteral("/info.txt"));
    EXPECT_TRUE(info.startsWith("InfoKey: Title\r\nInfoValue: \r\nInfoKey: Subject\r\n"));
    EXPECT_TRUE(info.endsWith("InfoKey: ModDate\r\nInfoValue: \r\n\r\n"));
    EXPECT_EQ(info.count("\r\n"), 17);
    EXPECT_TRUE(desktop.messages.empty());
}

TEST(RemovePDFMetadata, WithoutTheToolkitTheCopyStaysAsItWas) {
    ScratchFolder scratch;
    ScratchFolder emptyProgramFolder;
    FakeDesktop desktop;
    const QString copy = makePdfWithMetadata(scratch / QStringLiteral("temp.pdf"));
    const QByteArray before = readFile(copy);
    EXPECT_EQ(reasonOf(PDF_Metadata::RemovePDFMetadata(desktop, emptyProgramFolder.path(),
                                                       scratch.path(), copy, {})),
              QStringLiteral("the PDF toolkit wrote no result"));
    EXPECT_EQ(readFile(copy), before);
    EXPECT_TRUE(desktop.messages.empty());
}

TEST(Pdftk, RefusesWhatItCannotCleanAndWritesNoOutput) {
    ScratchFolder scratch;
    const QString info =
        writeFile(scratch / QStringLiteral("info.txt"), PDF_Metadata::InfoFileText());
    const QString good = makePdfWithMetadata(scratch / QStringLiteral("good.pdf"));
    const QString locked = scratch / QStringLiteral("locked.pdf");
    QProcess::execute(QStringLiteral("qpdf"),
                      {QStringLiteral("--encrypt"), QStringLiteral("user"), QStringLiteral("owner"),
                       QStringLiteral("256"), QStringLiteral("--"), good, locked});
    ASSERT_TRUE(QFile::exists(locked));
    const QString text = writeFile(scratch / QStringLiteral("text.pdf"), "just words");
    const QString out = scratch / QStringLiteral("out.pdf");

    // Its exit code tells the engine why.
    const std::pair<QString, Formats::Cause> refusals[] = {
        {scratch / QStringLiteral("missing.pdf"), Formats::Cause::NotReadable},
        {locked, Formats::Cause::Protected},
        {text, Formats::Cause::Damaged},
    };
    for (const auto &[input, cause] : refusals) {
        const ToolRun run = runPdftk({input, QStringLiteral("update_info"), info,
                                      QStringLiteral("output"), out, QStringLiteral("dont_ask")});
        EXPECT_EQ(run.exitCode, Formats::toolExitCode(cause)) << input.toStdString();
        EXPECT_FALSE(run.errorText.isEmpty());
        EXPECT_FALSE(QFile::exists(out));
    }
    EXPECT_EQ(runPdftk({good, QStringLiteral("update_info"), info}).exitCode, 2);
    EXPECT_EQ(QDir(scratch.path()).entryList({QStringLiteral("out*")}), QStringList());
}

TEST(Pdftk, TheInfoFileIsTheWholeNewInformation) {
    ScratchFolder scratch;
    const QString info = writeFile(scratch / QStringLiteral("info.txt"),
                                   "InfoKey: Title\nInfoValue: New Title\nInfoKey: Author\n"
                                   "InfoValue: \n");
    const QString in = makePdfWithMetadata(scratch / QStringLiteral("in.pdf"));
    const QString out = scratch / QStringLiteral("out.pdf");
    ASSERT_EQ(runPdftk({in, QStringLiteral("update_info"), info, QStringLiteral("output"), out,
                        QStringLiteral("dont_ask")})
                  .exitCode,
              0);
    EXPECT_EQ(pdfMetadataKeys(out), QStringList{QStringLiteral("/Title")});
    EXPECT_TRUE(readFile(out).contains("New Title"));
}

// A result that no longer draws the source's pages is refused; one written differently is not.
TEST(PdfPages, ACleanedDocumentMustDrawEveryPageAsItsSourceDid) {
    ScratchFolder scratch;
    const std::string path =
        makePdf(PdfKind::Comments, scratch / QStringLiteral("source.pdf")).toStdString();
    const std::string lost = "the cleaned document lost its pages";
    using Change = void (*)(QPDF &);
    const struct {
        const char *name;
        Change change;
        std::string refusal;
    } cases[] = {
        {"nothing", [](QPDF &) {}, {}},
        {"information and comments gone",
         [](QPDF &pdf) {
             pdf.getTrailer().removeKey("/Info");
             firstPage(pdf).removeKey("/Annots");
         },
         {}},
        {"content deflated",
         [](QPDF &pdf) {
             QPDFObjectHandle contents = firstPage(pdf).getKey("/Contents");
             const std::string text =
                 "BT /F1 12 Tf 72 720 Td (Hello from the quarterly report) "
                 "Tj ET";
             contents.replaceStreamData(
                 qCompress(QByteArray::fromStdString(text)).mid(4).toStdString(),
                 QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
         },
         {}},
        {"page gone",
         [](QPDF &pdf) {
             QPDFPageDocumentHelper(pdf).removePage(QPDFPageObjectHelper(firstPage(pdf)));
         },
         lost},
        {"text changed",
         [](QPDF &pdf) {
             firstPage(pdf)
                 .getKey("/Contents")
                 .replaceStreamData("BT ET", QPDFObjectHandle::newNull(),
                                    QPDFObjectHandle::newNull());
         },
         lost},
    };
    for (const auto &testCase : cases) {
        QPDF source;
        QPDF cleaned;
        source.processFile(path.c_str());
        cleaned.processFile(path.c_str());
        testCase.change(cleaned);
        std::string refusal;
        try {
            Pdf::refuseLostPages(source, cleaned);
        } catch (const Formats::Refused &refused) {
            refusal = refused.what();
        }
        EXPECT_EQ(refusal, testCase.refusal) << testCase.name;
    }
}

TEST(Routes, EveryJpegSpellingChecksItsResultAndOtherFilesPassUnread) {
    ScratchFolder scratch;
    const QString photo = makeJpegWithMetadata(scratch / QStringLiteral("photo.jpg"));
    for (const char *extension : {"jpg", "JPEG", "Jpe"}) {
        EXPECT_TRUE(reasonOf(Routes::check(Kinds::forExtension(extension), photo))
                        .startsWith(QStringLiteral("still holds")))
            << extension;
    }
    EXPECT_EQ(reasonOf(Routes::check(Kinds::forExtension("txt"), photo)), QString());
}

TEST(Routes, OldOfficeFilesAreCheckedAsCompoundFiles) {
    ScratchFolder scratch;
    const QString file = writeFile(scratch / QStringLiteral("plain.doc"), "plain text");
    for (const char *extension : {"doc", "DOT", "xls", "xlt", "ppt", "pot", "pps"}) {
        EXPECT_EQ(reasonOf(Routes::check(Kinds::forExtension(extension), file)),
                  QStringLiteral("damaged compound file"))
            << extension;
    }
}

TEST(PdfCheck, NamesEverythingASourceHoldsInItsCategory) {
    using Formats::Category;
    ScratchFolder scratch;
    const auto pdf = [&](PdfKind kind) {
        return readFile(makePdf(kind, scratch / QStringLiteral("source.pdf")));
    };
    const struct {
        QByteArray source;
        std::vector<Formats::Finding> categorised;
        std::vector<std::string> nestedIn;  // findings of the kinds' own checks, named with where
    } cases[] = {
        {readFile(makePdfWithMetadata(scratch / QStringLiteral("information.pdf"))),
         {{Category::People, "author"},
          {Category::Software, "creating application"},
          {Category::Software, "producing application"},
          {Category::Dates, "creation date"},
          {Category::Dates, "modification date"},
          {Category::Descriptions, "title"},
          {Category::Descriptions, "subject"},
          {Category::Descriptions, "keywords"},
          {Category::Other, "XMP"}},
         {}},
        {pdf(PdfKind::Comments),
         {{Category::People, "annotation author"}, {Category::Dates, "annotation date"}},
         {}},
        {withInformationUnlinked(makePdf(PdfKind::SharedInfo, scratch / QStringLiteral("id.pdf"))),
         {{Category::Identifiers, "file identifier"}},
         {}},
        {pdf(PdfKind::AttachedNotes),
         {{Category::Other, "attachment folder"}, {Category::Dates, "creation date"}},
         {}},
        {pdf(PdfKind::PageThumbnail), {{Category::Thumbnails, "page thumbnail"}}, {}},
        {pdf(PdfKind::LocalLinks), {{Category::Other, "local path in a link"}}, {}},
        {pdf(PdfKind::XfaStream),
         {{Category::Dates, "XFA save time"}, {Category::Identifiers, "XFA document id"}},
         {}},
        {pdf(PdfKind::XfaPackets),
         {{Category::Dates, "XFA save time"}, {Category::Identifiers, "XFA document id"}},
         {}},
        {pdf(PdfKind::Jpeg2000),
         {{Category::Other, "XML in an image"}, {Category::Other, "UUID box in an image"}},
         {}},
        {pdf(PdfKind::FlatedJpeg), {}, {" in an image"}},
        {pdf(PdfKind::AttachedFiles), {}, {" in video.mp4", " in drawing.svg", " in letter.docx"}},
    };
    for (const auto &source : cases) {
        const std::vector<Formats::Finding> found =
            Pdf::remainingMetadata(source.source.toStdString()).shown();
        for (const Formats::Finding &expected : source.categorised) {
            EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&](const Formats::Finding &f) {
                return f.category == expected.category && f.name == expected.name;
            })) << expected.name;
        }
        for (const std::string &where : source.nestedIn) {
            EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&](const Formats::Finding &f) {
                return f.name.size() > where.size() &&
                       f.name.compare(f.name.size() - where.size(), where.size(), where) == 0;
            })) << where;
        }
    }
    for (const char *action : LocalLinkActions) {
        EXPECT_EQ(pdfCheck(readFile(makePdfWithLink(action, scratch / QStringLiteral("link.pdf")))),
                  "still holds local path in a link")
            << action;
    }
}

TEST(Routes, APdfIsWrittenOnlyWhenItCanBeReadBackWithoutMetadata) {
    ScratchFolder scratch;
    const Kinds::Kind *route = Kinds::forExtension("Pdf");
    EXPECT_EQ(reasonOf(Routes::check(route,
                                     makePdf(PdfKind::PageXmp, scratch / QStringLiteral("a.pdf")))),
              QStringLiteral("still holds XMP"));
    // A damaged result is not written, even one that a reader could repair.
    const QString clean = makePdf(PdfKind::UsageRights, scratch / QStringLiteral("c.pdf"));
    ASSERT_EQ(reasonOf(Routes::check(route, clean)), QString());
    QByteArray damaged = readFile(clean);
    damaged.insert(damaged.lastIndexOf("startxref") + 10, '1');
    for (const QByteArray &bytes : {QByteArray("%PDF-1.7\n"), damaged}) {
        EXPECT_TRUE(
            reasonOf(Routes::check(route, writeFile(scratch / QStringLiteral("b.pdf"), bytes)))
                .startsWith(QStringLiteral("damaged PDF: ")));
    }
}
