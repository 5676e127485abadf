#include "BatchFixture.h"
#include "MetadataFixtures.h"
#include "PdfFixtures.h"
#include "app/ProgressBarWidget.h"
#include "engine/FailureReason.h"
#include "engine/RemovalBatch.h"
#include "engine/RemovalBatchReport.h"
#include "filelist/FileListModel.h"
#include "formats/Kinds.h"
#include "formats/PictureFixtures.h"
#include "formats/documents/Pdf.h"
#include "formats/office/OfficeDocument.h"
#include "formats/office/Package.h"
#include "formats/pictures/Jpeg.h"
#include "support/JpegSegments.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <sys/xattr.h>

namespace {

// What exiftool, reading on its own, finds of people, devices, places, times and text.
QStringList identifyingTags(const QStringList &paths) {
    QProcess exiftool;
    exiftool.start(QStringLiteral("exiftool"),
                   QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("-G1"),
                               QStringLiteral("-XMP:all"), QStringLiteral("-IPTC:all"),
                               QStringLiteral("-GPS:all"), QStringLiteral("-ExifIFD:all"),
                               QStringLiteral("-Artist"), QStringLiteral("-Author"),
                               QStringLiteral("-Make"), QStringLiteral("-Model"),
                               QStringLiteral("-Comment"), QStringLiteral("-ModifyDate"),
                               QStringLiteral("-Software"), QStringLiteral("-ImageDescription")} +
                       paths);
    exiftool.waitForFinished(-1);
    QStringList tags = QString::fromUtf8(exiftool.readAllStandardOutput()).split(QLatin1Char('\n'));
    tags.removeIf([](const QString &line) {
        return line.isEmpty() || line.startsWith(QStringLiteral("========"));
    });
    return tags;
}

}  // namespace

// The batch's own fixture: the window and its three folders.
class Batch : public BatchFixture {};

TEST_F(Batch, AJpegComesOutWithoutAnyMetadataAndTheSameImage) {
    const QString photo = makeJpegWithMetadata(sources / QStringLiteral("IMG_1.jpg"));
    const QByteArray before = readFile(photo);
    ASSERT_FALSE(exiv2Report(photo).isEmpty());
    add(photo);
    run();

    EXPECT_EQ(lastMessage(), done(1, 1));
    EXPECT_EQ(window.desktop.messages.back().title, QStringLiteral("Parchwipe"));
    EXPECT_EQ(window.desktop.messages.back().icon, MessageIcon::None);
    EXPECT_EQ(exiv2Report(out(QStringLiteral("IMG_1.jpg"))), QString());
    EXPECT_EQ(plantedValuesIn(out(QStringLiteral("IMG_1.jpg"))), QStringList());
    EXPECT_EQ(QImage(out(QStringLiteral("IMG_1.jpg"))), QImage(photo));
    EXPECT_EQ(readFile(photo), before);
}

TEST_F(Batch, AJpegIsWrittenOnlyWithWhatDrawsItAndItsOrientation) {
    const QString photo = makeJpegWithMetadata(sources / QStringLiteral("photo.jpg"));
    QProcess::execute(QStringLiteral("exiv2"),
                      {QStringLiteral("-M"), QStringLiteral("set Exif.Image.Orientation 6"),
                       QStringLiteral("mo"), photo});
    // What exiv2 leaves: a second Photoshop block and comment, a vendor's segment, a trailer.
    const std::string iptc(
        "Photoshop 3.0\0"
        "8BIM\x04\x04\0\0\0\0\0\x0F\x1C\x02\x50\0\x0A"
        "Ann Author\0",
        42);
    std::string bytes = readFile(photo).toStdString();
    bytes = spliced(bytes, Place::AfterJfif,
                    jpegSegment(0xED, iptc) + jpegSegment(0xFE, "Secret comment") +
                        jpegSegment(0xEA, "EOS 5D"));
    writeFile(photo, QByteArray::fromStdString(spliced(bytes, Place::AfterEoi, "Ann Author")));
    add(photo);
    const QString drawing = sources / QStringLiteral("drawing.jpg");
    QImage(8, 8, QImage::Format_RGB32).save(drawing, "PNG");
    add(drawing);
    run();

    EXPECT_EQ(lastMessage(),
              done(1, 2) + QStringLiteral("\r\n\r\n1 of 2 files were not cleaned:\r\n"
                                          "drawing.jpg: not a JPEG file"));
    EXPECT_EQ(entriesOf(output.path()), QStringList{QStringLiteral("photo.jpg")});
    const QString cleaned = out(QStringLiteral("photo.jpg"));
    EXPECT_EQ(Jpeg::remainingMetadata(readFile(cleaned).toStdString()), "");
    EXPECT_EQ(plantedValuesIn(cleaned), QStringList());
    EXPECT_EQ(exiv2Report(cleaned).simplified(),
              QStringLiteral("Exif.Image.Orientation Short 1 right, top"));
    EXPECT_EQ(QImage(cleaned), QImage(photo));
}

TEST_F(Batch, PicturesComeOutCleanWithTheirPixelsAndOtherKindsAreCountedAsCopied) {
    const QList<QPair<QString, QByteArray>> pictures = {
        {QStringLiteral("screen.PNG"), pngWithEveryTextChunk()},
        {QStringLiteral("moving.png"), animatedPng()},
        {QStringLiteral("loop.Gif"), gifWithCommentXmpAndLoop()},
        {QStringLiteral("photo.webp"), webpWithExifAndXmp()},
        {QStringLiteral("scan.tif"), tiffWithArtistMakeGps()},
        {QStringLiteral("pages.TIFF"), tiffWithArtistMakeGps()}};
    for (const auto &[name, bytes] : pictures) {
        add(source(name, bytes));
    }
    add(source(QStringLiteral("cut.png"), pngWithEveryTextChunk().chopped(40)));
    for (const char *name : {"raw.dng", "take.DNG", "photo.cr2", "notes.txt"}) {
        add(source(QString::fromLatin1(name)));
    }
    run();

    EXPECT_EQ(
        lastMessage(),
        done(6, 11) +
            QStringLiteral("\r\n\r\n1 of 11 files were not cleaned:\r\n"
                           "cut.png: damaged PNG: a chunk runs past the end\r\n\r\n"
                           "3 files were copied as they are (Parchwipe cannot remove metadata "
                           "from them yet):\r\n.cr2: 1\r\n.dng: 2") +
            unknown(1, QStringLiteral(".txt: 1")));
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("cut.png"))));
    QStringList sourcePaths, outputPaths;
    for (const auto &[name, bytes] : pictures) {
        sourcePaths << sources / name;
        outputPaths << out(name);
    }
    EXPECT_EQ(identifyingTags(outputPaths), QStringList());
    EXPECT_GE(identifyingTags(sourcePaths).size(), 20);
    for (const auto &[name, bytes] : pictures) {
        const QByteArray cleaned = readFile(out(name));
        EXPECT_EQ(framesOf(cleaned), framesOf(bytes)) << name.toStdString();
        for (const QString &secret : pictureSecrets()) {
            EXPECT_FALSE(cleaned.contains(secret.toUtf8())) << name.toStdString();
        }
    }
}

TEST_F(Batch, SoundAndVideoComeOutWithoutTheirTagsAndACutShortOneIsNotWritten) {
    ScratchFolder made;
    runTool(QStringLiteral("python3"),
            {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_sound_and_video.py"), made.path()});
    const QStringList names = {QStringLiteral("video.mkv"),  QStringLiteral("video.webm"),
                               QStringLiteral("video.avi"),  QStringLiteral("sound.wav"),
                               QStringLiteral("sound.aiff"), QStringLiteral("sound.wma"),
                               QStringLiteral("video.wmv")};
    for (const QString &name : names) {
        add(source(name.toUpper(), readFile(made / name)));
    }
    add(source(QStringLiteral("cut.mkv"),
               readFile(made / QStringLiteral("video.mkv")).chopped(99)));
    run();

    EXPECT_EQ(lastMessage(),
              done(7, 8) +
                  QStringLiteral("\r\n\r\n1 of 8 files were not cleaned:\r\n"
                                 "cut.mkv: damaged Matroska: an element runs past the end of the "
                                 "file"));
    for (const QString &name : names) {
        const QByteArray cleaned = readFile(out(name.toUpper()));
        EXPECT_EQ(cleaned.size(), readFile(made / name).size()) << name.toStdString();
        for (const char *secret : {"Ann Author", "Secret Title", "Said In Passing", "Lavf"}) {
            EXPECT_FALSE(cleaned.contains(secret)) << name.toStdString() << ": " << secret;
        }
    }
}

// A name that says no kind: the content decides. Metadata on its own is never written, and
// a file of no known kind is copied, not counted as cleaned.
TEST_F(Batch, ContentDecidesWhereTheNameCannotAndMetadataAloneIsNotWritten) {
    const QString video = sources / QStringLiteral("clip.mp4");
    runTool(QStringLiteral("ffmpeg"),
            {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=32x32:rate=5:duration=0.4",
             "-metadata", "title=Secret Title", "-metadata", "location=+48.8584+002.2945/", video});
    const struct {
        QString name;
        QByteArray bytes;
        QString reason;  // empty when it is written
    } files[] = {
        {QStringLiteral("IMG_0001"), readFile(makeJpegWithMetadata(sources / "p.jpg")), {}},
        {QStringLiteral("clip.mp4.part"), readFile(video), {}},
        {QStringLiteral("notes.txt"), "plain bytes", {}},
        {QStringLiteral("photo.jpg"), pngWithEveryTextChunk(), QStringLiteral("not a JPEG file")},
        {QStringLiteral("photo.xmp"), "<?xpacket begin=''?><x:xmpmeta/>",
         QStringLiteral("it is metadata itself")},
        {QStringLiteral("._photo.jpg"), QByteArray("\0\x05\x16\x07\0\x02\0\0", 8),
         QStringLiteral("it is metadata itself")},
        {QStringLiteral(".DS_Store"),
         QByteArray("\0\0\0\x01"
                    "Bud1",
                    8),
         QStringLiteral("it is metadata itself")},
    };
    QString failures;
    QStringList written;
    for (const auto &file : files) {
        add(source(QStringLiteral("in/") + file.name, file.bytes));
        if (file.reason.isEmpty()) {
            written << file.name;
        } else {
            failures += QStringLiteral("\r\n") + file.name + QStringLiteral(": ") + file.reason;
        }
    }
    run();

    EXPECT_EQ(lastMessage(), done(2, 7) + QStringLiteral("\r\n\r\n4 of 7 files were not cleaned:") +
                                 failures + unknown(1, QStringLiteral(".txt: 1")));
    written.sort(Qt::CaseInsensitive);
    EXPECT_EQ(entriesOf(output.path()), written);
    EXPECT_EQ(exiv2Report(out(QStringLiteral("IMG_0001"))), QString());
    const QByteArray clip = readFile(out(QStringLiteral("clip.mp4.part")));
    EXPECT_FALSE(clip.contains("Secret Title") || clip.contains("48.8584"));
    const QString details = window.desktop.messages.back().details;
    EXPECT_TRUE(details.contains(QStringLiteral("copied as it is into ") +
                                 out(QStringLiteral("notes.txt"))));
    EXPECT_TRUE(
        details.contains(QStringLiteral("it held: place (GPS position); device (Make, "
                                        "Model); people (Artist")))
        << details.toStdString();
}

TEST_F(Batch, APdfComesOutWithEmptyInformationAndNoXmp) {
    const QString report = makePdfWithMetadata(sources / QStringLiteral("report.Pdf"));
    const QByteArray before = readFile(report);
    ASSERT_EQ(pdfMetadataKeys(report).size(), 9);
    add(report);
    run();

    EXPECT_EQ(lastMessage(), done(1, 1));
    EXPECT_EQ(pdfMetadataKeys(out(QStringLiteral("report.Pdf"))), QStringList());
    EXPECT_EQ(plantedValuesIn(out(QStringLiteral("report.Pdf"))), QStringList());
    EXPECT_EQ(readFile(report), before);
}

TEST_F(Batch, EveryJpegSpellingAndAJpegUnderAnyOtherNameTakeTheJpegRoute) {
    const QStringList jpegNames = {QStringLiteral("a.JPG"), QStringLiteral("b.jpg"),
                                   QStringLiteral("c.JpG"), QStringLiteral("d.jpeg"),
                                   QStringLiteral("e.jpe")};
    for (const QString &name : jpegNames) {
        add(makeJpegWithMetadata(sources / name));
    }
    // A name that says no kind Parchwipe knows: the content tells, and the name stays.
    const QStringList otherNames = {QStringLiteral("IMG_0001"), QStringLiteral("f.jfif"),
                                    QStringLiteral("g.JPG_original"), QStringLiteral("h.mpo")};
    for (const QString &name : otherNames) {
        add(makeJpegWithMetadata(sources / name));
    }
    run();

    EXPECT_EQ(lastMessage(), done(9, 9));
    for (const QString &name : jpegNames + otherNames) {
        EXPECT_EQ(exiv2Report(out(name)), QString()) << name.toStdString();
    }
}

TEST_F(Batch, OutputsAreFreshFilesWithoutTheSourcesExtendedAttributes) {
    const QString download = source(QStringLiteral("notes.txt"));
    const QByteArray url = "https://example.org/notes.txt";
    const bool tagged = ::setxattr(download.toLocal8Bit().constData(), "user.xdg.origin.url",
                                   url.constData(), url.size(), 0) == 0;
    add(download);
    run();
    ASSERT_EQ(readFile(out(QStringLiteral("notes.txt"))), QByteArray("plain bytes"));
    if (!tagged) {
        GTEST_SKIP() << "not on this machine: this file system keeps no user extended attributes";
    }
    EXPECT_LT(::getxattr(out(QStringLiteral("notes.txt")).toLocal8Bit().constData(),
                         "user.xdg.origin.url", nullptr, 0),
              0);
}

TEST_F(Batch, NamesAndPlacesFollowTheRowsAndTheBoxAsItReadsThen) {
    add(source(QStringLiteral("X/a.txt"), "first"));
    add(source(QStringLiteral("readme"), "no dot"));  // no extension at all
    add(source(QStringLiteral("A.dir/readme"), "dot in folder"));
    form.Text1->setText(output.path());  // no trailing separator
    run();

    EXPECT_EQ(readFile(out(QStringLiteral("a.txt"))), QByteArray("first"));
    EXPECT_EQ(readFile(out(QStringLiteral("readme"))), QByteArray("no dot"));
    EXPECT_EQ(readFile(out(QStringLiteral("readme (2)"))), QByteArray("dot in folder"));
    EXPECT_EQ(entriesOf(output.path()).size(), 3);
    EXPECT_EQ(lastMessage(), done(0, 3) +
                                 unknown(3, QStringLiteral("(no extension): 2\r\n.txt: 1")) +
                                 QStringLiteral("\r\n\r\nWritten under numbered names, "
                                                "because other listed files have the "
                                                "same names: 1 (Show Details names them)."));
}

// Files already in the output folder, listed or not, are replaced only after one question.
TEST_F(Batch, ASourceInsideTheOutputFolderIsReplacedByItsCleanCopy) {
    const QString question = QStringLiteral(
        "2 files in %1 will be replaced by their cleaned copies (1 of them are the originals you "
        "listed; their metadata will be gone for good). Replace them?\r\n\r\n"
        "inplace.jpg (original)\r\nnotes.txt");
    for (const QString &answer : {QStringLiteral("Cancel"), QStringLiteral("Replace")}) {
        SCOPED_TRACE(answer.toStdString());
        window.desktop.messages.clear();
        form.FileList().RemoveAllRows();
        const QString photo = makeJpegWithMetadata(out(QStringLiteral("inplace.jpg")));
        writeFile(out(QStringLiteral("notes.txt")), "unrelated");
        add(photo);
        add(source(QStringLiteral("notes.txt"), "listed"));
        window.desktop.buttonAnswers = {answer};
        run();

        ASSERT_GE(window.desktop.messages.size(), 1u);
        const FakeDesktop::Message &asked = window.desktop.messages.front();
        EXPECT_EQ(asked.text, question.arg(form.Text1->text()));
        EXPECT_EQ(asked.captions,
                  QStringList({QStringLiteral("Replace"), QStringLiteral("Cancel")}));
        EXPECT_EQ(asked.defaultCaption, QStringLiteral("Cancel"));
        EXPECT_EQ(asked.escapeCaption, QStringLiteral("Cancel"));
        EXPECT_EQ(asked.icon, MessageIcon::Warning);
        const bool replaced = answer == QStringLiteral("Replace");
        EXPECT_EQ(window.desktop.messages.size(), replaced ? 2u : 1u);
        EXPECT_EQ(exiv2Report(photo).isEmpty(), replaced);
        EXPECT_EQ(readFile(out(QStringLiteral("notes.txt"))),
                  replaced ? QByteArray("listed") : QByteArray("unrelated"));
    }
    EXPECT_EQ(lastMessage(), done(1, 2) + unknown(1, QStringLiteral(".txt: 1")));
}

// The question names ten files, originals first, and counts the rest.
TEST(ReplaceQuestion, NamesTenFilesOriginalsFirst) {
    std::vector<RemovalBatchPlan::File> files;
    RemovalBatchPlan::Replacements replaced;
    for (int i = 0; i < 12; ++i) {
        const QString name = QStringLiteral("f%1.txt").arg(i);
        files.push_back({QStringLiteral("/in/") + name, name, QStringLiteral("txt"),
                         QStringLiteral("/out/") + name, 1, 0});
        (i == 11 ? replaced.originals : replaced.others).push_back(i);
    }
    EXPECT_TRUE(RemovalBatchPlan::ReplaceQuestion(replaced, files, QStringLiteral("/out"))
                    .endsWith(QStringLiteral("Replace them?\r\n\r\nf11.txt (original)\r\nf0.txt\r\n"
                                             "f1.txt\r\nf2.txt\r\nf3.txt\r\nf4.txt\r\nf5.txt\r\n"
                                             "f6.txt\r\nf7.txt\r\nf8.txt\r\n\u2026 and 2 more")));
}

// A file that takes an output's name after the question stays as it is; the output steps aside.
TEST_F(Batch, AFileThatAppearsAfterTheQuestionKeepsItsBytes) {
    add(writeFile(out(QStringLiteral("inplace.txt")), "original"));
    add(source(QStringLiteral("b.txt"), "listed"));
    window.desktop.buttonAnswers = {QStringLiteral("Replace")};
    window.desktop.onMessage = [&](const FakeDesktop::Message &) {
        if (!QFile::exists(out(QStringLiteral("b.txt")))) {
            writeFile(out(QStringLiteral("b.txt")), "appeared");
        }
    };
    run();
    EXPECT_EQ(readFile(out(QStringLiteral("b.txt"))), QByteArray("appeared"));
    EXPECT_EQ(readFile(out(QStringLiteral("b (2).txt"))), QByteArray("listed"));
    EXPECT_TRUE(window.desktop.messages.back().details.contains(
        QStringLiteral("copied as it is into %1 (a file took the name %2 in the output folder "
                       "during the batch; it stays as it was)")
            .arg(out(QStringLiteral("b (2).txt")), out(QStringLiteral("b.txt")))));
}

TEST_F(Batch, RefusesAnEmptyListFirstAndThenAMissingFolder) {
    form.Text1->setText(output / QStringLiteral("missing"));
    run();
    add(source(QStringLiteral("a.txt")));
    run();
    form.Text1->setText(QString());
    run();
    form.Text1->setText(sources / QStringLiteral("a.txt"));  // a file, not a folder
    run();
    ASSERT_EQ(window.desktop.messages.size(), 4u);
    EXPECT_EQ(window.desktop.messages[0].text, QStringLiteral("No files added."));
    // A missing folder named in full is offered to be made; declined, nothing happens.
    EXPECT_EQ(window.desktop.messages[1].text,
              QStringLiteral("The folder %1 does not exist. Create it?")
                  .arg(output / QStringLiteral("missing")));
    EXPECT_EQ(window.desktop.messages[1].buttons, MessageButtons::YesNo);
    EXPECT_FALSE(QFileInfo::exists(output / QStringLiteral("missing")));
    for (int i = 2; i < 4; ++i) {
        EXPECT_EQ(window.desktop.messages[i].text,
                  QStringLiteral("Folder does not exist. Please select another folder."));
    }
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);

    // Accepted, the folder is made ("~" is the home folder) and the batch runs.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(output.path()));
    form.Text1->setText(QStringLiteral("~/made/here"));
    window.desktop.messageAnswers = {MessageAnswer::Yes};
    run();
    qputenv("HOME", home);
    EXPECT_EQ(readFile(output / QStringLiteral("made/here/a.txt")), QByteArray("plain bytes"));
}

TEST_F(Batch, ProgressShowsEachFilesShareAndReturnsToIdle) {
    for (const char *name : {"1.txt", "2.txt", "3.txt"}) {
        add(source(QString::fromLatin1(name)));
    }
    QList<double> values;
    QStringList texts;
    QList<int> pointers;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (values.isEmpty() || values.back() != form.ProgressBar1->value()) {
            values << form.ProgressBar1->value();
            texts << form.ProgressBar1->text();
            pointers << form.MousePointer();
        }
    });
    probe.start(0);
    run();
    probe.stop();

    ASSERT_EQ(values.size(), 3);
    EXPECT_NEAR(values[0], 100.0 / 3, 1e-9);
    EXPECT_NEAR(values[1], 200.0 / 3, 1e-9);
    EXPECT_DOUBLE_EQ(values[2], 100.0);
    EXPECT_EQ(texts, QStringList({QStringLiteral("File 1 of 3: 1.txt"),
                                  QStringLiteral("File 2 of 3: 2.txt"),
                                  QStringLiteral("File 3 of 3: 3.txt")}));
    EXPECT_EQ(pointers, QList<int>({Form1::BusyPointer, Form1::BusyPointer, Form1::BusyPointer}));
    EXPECT_DOUBLE_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(form.ProgressBar1->text(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);
}

TEST_F(Batch, RowsAddedDuringABatchDoNotJoinIt) {
    add(source(QStringLiteral("1.txt")));
    add(source(QStringLiteral("2.txt")));
    const QString late = source(QStringLiteral("late.txt"));
    QTimer::singleShot(0, &form, [&] { add(late); });
    run();
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("late.txt"))));
    EXPECT_TRUE(QFile::exists(out(QStringLiteral("2.txt"))));
    ASSERT_EQ(window.desktop.messages.size(), 1u);
    EXPECT_EQ(lastMessage(), done(0, 2) + unknown(2, QStringLiteral(".txt: 2")));
}

TEST_F(Batch, FilesWhoseRouteFailedAreNotWrittenAndAreNamedWithTheirReason) {
    ScratchFolder toolless;  // a program folder with pdftk but no exiv2
    QFile::link(QStringLiteral(PARCHWIPE_BIN_DIR "/pdftk"), toolless / QStringLiteral("pdftk"));
    add(makeJpegWithMetadata(sources / QStringLiteral("photo.jpg")));
    add(source(QStringLiteral("text.jpg"), "not a picture"));
    add(source(QStringLiteral("damaged.pdf"), "%PDF-1.4\nnothing else"));
    add(source(QStringLiteral("fine.txt")));
    run();
    EXPECT_EQ(
        lastMessage(),
        done(1, 4) +
            QStringLiteral("\r\n\r\n2 of 4 files were not cleaned:\r\n"
                           "text.jpg: exiv2 failed with exit code 1: corrupted image metadata\r\n"
                           "damaged.pdf: damaged PDF file") +
            unknown(1, QStringLiteral(".txt: 1")));
    EXPECT_EQ(entriesOf(output.path()),
              QStringList({QStringLiteral("fine.txt"), QStringLiteral("photo.jpg")}));

    TestWindow bare(toolless.path());
    Form1 &other = bare.load();
    other.Text1->setText(output.path());
    other.FileList().AddFileRow(sources / QStringLiteral("photo.jpg"));
    QFile::remove(out(QStringLiteral("photo.jpg")));
    other.PushButton2_Click();
    EXPECT_EQ(bare.desktop.messages.back().text,
              QStringLiteral("Done.\r\n\r\n0 of 1 files were cleaned into ") + output.path() +
                  QStringLiteral("\r\n\r\n1 of 1 files were not cleaned:\r\n"
                                 "photo.jpg: exiv2 failed with exit code -2147221451"));
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("photo.jpg"))));
}

// The check before writing is the batch's last word: a toolkit that claims success but hands back
// its input unchanged gets no file written.
TEST_F(Batch, AResultThatFailsItsCheckIsNotWritten) {
    ScratchFolder careless;
    QFile::link(QStringLiteral(PARCHWIPE_BIN_DIR "/exiv2"), careless / QStringLiteral("exiv2"));
    const QString pdftk =
        writeFile(careless / QStringLiteral("pdftk"), "#!/bin/sh\ncp \"$1\" \"$5\"\n");
    QFile::setPermissions(pdftk, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TestWindow window2(careless.path());
    Form1 &other = window2.load();
    other.Text1->setText(output.path());
    other.FileList().AddFileRow(makePdfWithMetadata(sources / QStringLiteral("report.pdf")));
    other.PushButton2_Click();
    EXPECT_EQ(window2.desktop.messages.back().text,
              QStringLiteral("Done.\r\n\r\n0 of 1 files were cleaned into ") + output.path() +
                  QStringLiteral("\r\n\r\n1 of 1 files were not cleaned:\r\n"
                                 "report.pdf: still holds title, XMP, "
                                 "author, creating application, producing application, "
                                 "creation date, modification date, subject, keywords"));
    EXPECT_EQ(entriesOf(output.path()), QStringList());
}

namespace {

// count planned files named f1, f2, ...; the first `failed` were not cleaned.
struct Report {
    Report(int count, int failed) {
        for (int i = 1; i <= count; ++i) {
            const QString name = QStringLiteral("f%1.jpg").arg(i);
            files.push_back({QStringLiteral("/in/") + name, name, QStringLiteral("jpg"),
                             QStringLiteral("/out/") + name, 1, 0});
            outcomes.push_back(i <= failed
                                   ? Outcome{Outcome::Kind::NotCleaned,
                                             {Formats::Cause::Damaged, QStringLiteral("reason")},
                                             {},
                                             {}}
                                   : Outcome{Outcome::Kind::Cleaned,
                                             {},
                                             {{Formats::Category::Place, "GPS position"}},
                                             {}});
        }
    }
    QString message() const {
        return RemovalBatchReport::ClosingMessage(files, outcomes, QStringLiteral("/out/"));
    }
    using Outcome = RemovalBatchReport::Outcome;
    std::vector<RemovalBatchPlan::File> files;
    std::vector<Outcome> outcomes;
};

}  // namespace

TEST_F(Batch, TheClosingMessageListsTwentyFailuresAndCountsTheRest) {
    const QString message = Report(30, 23).message();
    EXPECT_TRUE(message.startsWith(
        QStringLiteral("Done.\r\n\r\n7 of 30 files were cleaned into /out/\r\n\r\n"
                       "23 of 30 files were not cleaned:\r\nf1.jpg: reason\r\n")));
    EXPECT_TRUE(message.endsWith(QStringLiteral("f20.jpg: reason\r\n\u2026 and 3 more")));
}

TEST(ClosingMessage, ListsExactlyTwentyFailuresBeforeCountingTheRest) {
    const QString twenty = Report(20, 20).message();
    EXPECT_TRUE(twenty.endsWith(QStringLiteral("\r\nf19.jpg: reason\r\nf20.jpg: reason")))
        << twenty.toStdString();
    const QString twentyOne = Report(21, 21).message();
    EXPECT_TRUE(twentyOne.endsWith(QStringLiteral("\r\nf20.jpg: reason\r\n\u2026 and 1 more")))
        << twentyOne.toStdString();
}

// The details name every file, however many, with where it went or why not.
TEST(ClosingMessage, TheDetailsAccountForEveryFile) {
    const Report report(250, 2);
    const QString details = RemovalBatchReport::Details(report.files, report.outcomes);
    for (int i = 1; i <= 250; ++i) {
        const QString name = QStringLiteral("f%1.jpg").arg(i);
        const QString expected =
            i <= 2 ? QStringLiteral("/in/%1\r\n    not cleaned: reason").arg(name)
                   : QStringLiteral(
                         "/in/%1\r\n    cleaned into /out/%1\r\n    it held: place "
                         "(GPS position)")
                         .arg(name);
        EXPECT_TRUE(details.contains(expected + QStringLiteral("\r\n")) ||
                    details.endsWith(expected))
            << name.toStdString();
    }
    EXPECT_EQ(details.count(QStringLiteral("/in/")), 250);
}

// A stopped batch says how far it came in one line; a full disk says which and what to do.
TEST(ClosingMessage, AStoppedBatchSaysHowFarItCame) {
    Report report(4, 0);
    report.outcomes[1] = {Report::Outcome::Kind::NotCleaned, FailureReason::Stopped(), {}, {}};
    report.outcomes[2] = report.outcomes[3] = RemovalBatchReport::NotStarted();
    const QString failures = QStringLiteral(
        "\r\n\r\n1 of 4 files were not cleaned:\r\nf2.jpg: stopped before it was cleaned");
    const struct {
        RemovalBatchReport::Ending ending;
        QString firstLines;
    } cases[] = {
        {{true, {}},
         QStringLiteral("Done.\r\n\r\n1 of 4 files were cleaned into /out/ before the stop; 2 "
                        "were not started")},
        {{true, QStringLiteral("/tmp")},
         QStringLiteral("Done.\r\n\r\nThe disk holding /tmp is full: 1 files were cleaned, 3 were "
                        "not; free space and press Start again.")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(RemovalBatchReport::ClosingMessage(report.files, report.outcomes,
                                                     QStringLiteral("/out/"), c.ending),
                  c.firstLines + failures);
    }
    EXPECT_TRUE(RemovalBatchReport::Details(report.files, report.outcomes)
                    .endsWith(QStringLiteral(
                        "/in/f4.jpg\r\n    not cleaned: not started before the stop")));
}

TEST(ClosingMessage, ReasonsSayWhatHappenedAndTimesAreRounded) {
    const std::pair<QString, QString> cases[] = {
        {FailureReason::ForSource(ErrorNumber::FileNotFound).reason,
         QStringLiteral("it was moved or deleted since it was listed")},
        {FailureReason::ForSource(ErrorNumber::PermissionDenied).reason,
         QStringLiteral("you may not read it (permission)")},
        {FailureReason::ForSource(ErrorNumber::DiskFull).reason,
         QStringLiteral("the disk is full")},
        {FailureReason::ForOutput(ErrorNumber::DiskFull).reason,
         QStringLiteral("the disk is full")},
        {FailureReason::ForOutput(ErrorNumber::PathNotFound).reason,
         QStringLiteral("the output folder was moved or deleted")},
        {FailureReason::ForOutput(ErrorNumber::PermissionDenied).reason,
         QStringLiteral("you may not write it into the output folder (permission)")},
        {RemovalBatchReport::TimeLeft(1200), QStringLiteral("about 5 s left")},
        {RemovalBatchReport::TimeLeft(41000), QStringLiteral("about 45 s left")},
        {RemovalBatchReport::TimeLeft(150000), QStringLiteral("about 3 min left")},
        {RemovalBatchReport::TimeLeft(7500000), QStringLiteral("about 2 h 5 min left")},
    };
    for (const auto &[said, expected] : cases) {
        EXPECT_EQ(said, expected);
    }
}

// Open Folder leaves the closing message up, and says so when no file manager could show it.
TEST_F(Batch, OpenFolderKeepsTheClosingMessageUp) {
    add(source(QStringLiteral("a.txt")));
    window.desktop.folderOpens = false;
    window.desktop.buttonAnswers = {QStringLiteral("Open Folder"), QStringLiteral("OK")};
    run();
    ASSERT_EQ(window.desktop.messages.size(), 3u);
    EXPECT_EQ(window.desktop.messages[0].text, window.desktop.messages[2].text);
    EXPECT_EQ(
        window.desktop.messages[1].text,
        QStringLiteral("No file manager could be started to show %1.").arg(form.Text1->text()));
    EXPECT_EQ(window.desktop.openedFolders, std::vector<QString>{form.Text1->text()});
}

TEST_F(Batch, AFileDeletedSinceItWasListedSaysSo) {
    add(source(QStringLiteral("gone.txt")));
    QFile::remove(sources / QStringLiteral("gone.txt"));
    run();
    EXPECT_EQ(lastMessage(),
              done(0, 1) + QStringLiteral("\r\n\r\n1 of 1 files were not cleaned:\r\n"
                                          "gone.txt: it was moved or deleted since "
                                          "it was listed"));
    EXPECT_EQ(window.desktop.messages.back().icon, MessageIcon::Warning);
}

// Each category once, in a fixed order whatever order the check found them in.
TEST(ClosingMessage, FindingsAreGroupedByWhatTheyTell) {
    using Formats::Category;
    EXPECT_EQ(RemovalBatchReport::GroupedFindings({{Category::Other, "Exif"},
                                                   {Category::Dates, "file times"},
                                                   {Category::Place, "GPS position"},
                                                   {Category::Device, "camera model"},
                                                   {Category::Place, "GPS altitude"}}),
              QStringLiteral("place (GPS position, GPS altitude); device (camera model); dates "
                             "(file times); other (Exif)"));
    EXPECT_EQ(RemovalBatchReport::GroupedFindings({}), QString());
}

TEST_F(Batch, TheWorkingFolderIsPrivateAndGoneAfterwards) {
    add(makeJpegWithMetadata(sources / QStringLiteral("p.jpg")));
    add(makePdfWithMetadata(sources / QStringLiteral("d.pdf")));
    add(source(QStringLiteral("t.txt")));
    QStringList seen;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (const QString &entry : entriesOf(temp.path())) {
            const QFileInfo info(temp / entry);
            if (!seen.contains(entry) && info.isDir()) {
                seen << entry;
                EXPECT_EQ(info.permissions() & 0x0077, 0) << "the working folder is owner-only";
            }
        }
    });
    probe.start(0);
    run();
    probe.stop();
    EXPECT_EQ(seen.size(), 1);
    EXPECT_EQ(entriesOf(temp.path()), QStringList());
    EXPECT_EQ(lastMessage(), done(2, 3) + unknown(1, QStringLiteral(".txt: 1")));
}

TEST_F(Batch, ClosingTheWindowMidBatchRemovesTheWorkingCopiesAndStops) {
    add(makeJpegWithMetadata(sources / QStringLiteral("p.jpg")));
    // Large enough that a second worker is still copying it when the window closes.
    add(source(QStringLiteral("second.bin"), QByteArray(64 << 20, 'x')));
    QTimer::singleShot(0, &form, [&] { form.close(); });
    run();
    EXPECT_EQ(window.endProgramCalls, 1);
    EXPECT_EQ(entriesOf(temp.path()), QStringList());
    EXPECT_FALSE(QFile::exists(out(QStringLiteral("second.bin"))));
    EXPECT_TRUE(window.desktop.messages.empty());
}

TEST_F(Batch, AMissingTemporaryFolderProcessesNothingAndSaysWhy) {
    add(source(QStringLiteral("a.txt")));
    qputenv("TEMP", (temp / QStringLiteral("gone")).toLocal8Bit());
    run();
    EXPECT_EQ(lastMessage(), QStringLiteral("Done.\r\n\r\nNo file was cleaned: a private working "
                                            "folder could not be made in \"") +
                                 temp / QStringLiteral("gone") + QStringLiteral("\"."));
    EXPECT_EQ(entriesOf(output.path()), QStringList());
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);
}

TEST_F(Batch, TheSampleFilesComeOutClean) {
    form.PushButton7_Click();
    ASSERT_EQ(form.FileList().FileRowCount(), 3);
    run();
    EXPECT_EQ(lastMessage(), done(3, 3));
    EXPECT_EQ(exiv2Report(out(QStringLiteral("Sample Photo.jpg"))), QString());
    EXPECT_EQ(pdfMetadataKeys(out(QStringLiteral("Sample Document.pdf"))), QStringList());
    const QByteArray letter = readFile(out(QStringLiteral("Sample Letter.docx")));
    EXPECT_EQ(OfficeDocument::remainingMetadata(letter.toStdString()), "");
    for (const Package::Entry &entry : Package::read(letter.toStdString())) {
        if (entry.name != "word/document.xml") {  // the letter is signed by its author
            EXPECT_EQ(entry.data.find("Alex Example"), std::string::npos) << entry.name;
        }
    }
}

TEST_F(Batch, ADocumentItsRouteCannotWalkIsNotWrittenAndSaysWhy) {
    add(source(QStringLiteral("notes.DOCX"), "not a ZIP archive"));
    add(source(QStringLiteral("sheet.ods"), ""));
    add(source(QStringLiteral("book.Epub"), "not a ZIP archive"));
    add(source(QStringLiteral("plan.SVG"), "<svg><g></svg>"));
    add(source(QStringLiteral("letter.rtf"), "{\\rtf1 cut"));
    add(source(QStringLiteral("layers.psd"), "8BPS"));
    run();
    EXPECT_EQ(
        lastMessage().toStdString(),
        (done(0, 6) + QStringLiteral("\r\n\r\n6 of 6 files were not cleaned:\r\n"
                                     "notes.DOCX: damaged ZIP package\r\n"
                                     "sheet.ods: damaged OpenDocument file: no manifest\r\n"
                                     "book.Epub: damaged ZIP package\r\n"
                                     "plan.SVG: damaged SVG: Opening and ending tag mismatch.\r\n"
                                     "letter.rtf: damaged RTF: cut short\r\n"
                                     "layers.psd: not a Photoshop image"))
            .toStdString());
    EXPECT_EQ(entriesOf(output.path()), QStringList());
}

// Attached files and pictures go through their own kinds' passes and come out of the same kind.
TEST_F(Batch, APdfsAttachmentsAndPicturesAreCleanedByTheirOwnPasses) {
    const QString files = makePdf(PdfKind::AttachedFiles, sources / QStringLiteral("files.pdf"));
    const QString scan = makePdf(PdfKind::Jpeg2000, sources / QStringLiteral("scan.pdf"));
    add(files);
    add(scan);
    run();

    EXPECT_EQ(lastMessage(), done(2, 2));
    for (const QString &name : {QStringLiteral("files.pdf"), QStringLiteral("scan.pdf")}) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_NE(pdfLeftovers(sources / name), QStringList());
        EXPECT_EQ(pdfLeftovers(out(name)), QStringList());
        EXPECT_TRUE(passesQpdfCheck(out(name)));
        EXPECT_EQ(pdfPageCount(out(name)), pdfPageCount(sources / name));
    }
    const QMap<QString, QByteArray> attached = pdfAttachments(files);
    const QMap<QString, QByteArray> cleaned = pdfAttachments(out(QStringLiteral("files.pdf")));
    ASSERT_EQ(cleaned.keys(), attached.keys());
    for (const QString &name : attached.keys()) {
        SCOPED_TRACE(name.toStdString());
        const Kinds::Kind *kind = Kinds::forContent(cleaned[name].toStdString());
        ASSERT_NE(kind, nullptr);
        EXPECT_EQ(kind, Kinds::forContent(attached[name].toStdString()));
        EXPECT_FALSE(Kinds::checkEmbedded(attached[name].toStdString(), 1).empty());
        EXPECT_TRUE(Kinds::checkEmbedded(cleaned[name].toStdString(), 1).empty());
    }
    // The picture keeps its codestream byte for byte.
    const QByteArray picture = pdfPictureData(scan).value(0);
    const QByteArray codestream = picture.mid(picture.indexOf("jp2c") - 4);
    ASSERT_GT(codestream.size(), 8);
    EXPECT_TRUE(pdfPictureData(out(QStringLiteral("scan.pdf"))).value(0).endsWith(codestream));
}

TEST_F(Batch, APdfKeepsWhatAReaderShowsAndNothingThatTellsWhoMadeIt) {
    const std::string signedReason = "signed document: cleaning would break its signature";
    const std::string information = "still holds title, author";
    const std::string xmp = "still holds XMP";
    const std::string xfaXmp = "still holds XMP in its XFA form, XFA save time, XFA document id";
    const std::string tooDeep =
        "files nested too deeply in nested.pdf in nested.pdf in nested.pdf "
        "in nested.pdf in nested.pdf";
    const struct {
        PdfKind kind;
        QString name;
        std::string sourceFinding;  // what the check finds in the source
        std::string refusal;        // the closing line's reason when nothing is written
    } cases[] = {
        {PdfKind::CustomInfo,
         QStringLiteral("info.pdf"),
         "still holds title, document information, author, creation date, TeX figure records",
         {}},
        {PdfKind::PageXmp, QStringLiteral("page-xmp.pdf"), xmp, {}},
        {PdfKind::ImageXmp, QStringLiteral("image-xmp.pdf"), xmp, {}},
        {PdfKind::FontXmp, QStringLiteral("font-xmp.pdf"), xmp, {}},
        {PdfKind::PieceInfo,
         QStringLiteral("piece-info.pdf"),
         "still holds application data, modification date",
         {}},
        {PdfKind::TexFigure,
         QStringLiteral("tex-figure.pdf"),
         "still holds modification date, TeX figure records, author, creation date",
         {}},
        {PdfKind::UsageRights, QStringLiteral("usage-rights.pdf"), {}, {}},
        {PdfKind::SignedField, QStringLiteral("signed.pdf"), {}, signedReason},
        {PdfKind::Certified, QStringLiteral("certified.pdf"), {}, signedReason},
        {PdfKind::IncrementalUpdate, QStringLiteral("incremental.pdf"), "still holds title", {}},
        {PdfKind::ObjectStreams,
         QStringLiteral("object-streams.pdf"),
         "still holds application data",
         {}},
        {PdfKind::OwnerPassword,
         QStringLiteral("owner-password.pdf"),
         "still holds XMP, author",
         {}},
        {PdfKind::EmbeddedJpeg, QStringLiteral("photo.pdf"), photoFindingsIn("an image"), {}},
        {PdfKind::FlatedJpeg,
         QStringLiteral("deflated-photo.pdf"),
         photoFindingsIn("an image"),
         {}},
        {PdfKind::DamagedJpeg2000, QStringLiteral("damaged-scan.pdf"), "damaged JPEG 2000 image",
         "damaged JPEG 2000 image"},
        {PdfKind::PageThumbnail, QStringLiteral("thumbnail.pdf"), "still holds page thumbnail", {}},
        {PdfKind::Comments,
         QStringLiteral("comments.pdf"),
         "still holds creation date, annotation author, annotation date",
         {}},
        {PdfKind::AttachedPhoto,
         QStringLiteral("attached-photo.pdf"),
         photoFindingsIn("site.jpg"),
         {}},
        {PdfKind::AttachedTiff,
         QStringLiteral("attached-tiff.pdf"),
         "still holds ImageDescription in scan.tif, Make in scan.tif, Model in scan.tif, Artist "
         "in scan.tif, XMP in scan.tif, IPTC in scan.tif, Exif in scan.tif, GPS position in "
         "scan.tif, "
         "UserComment in scan.tif",
         {}},
        {PdfKind::AttachedNotes,
         QStringLiteral("attached-notes.pdf"),
         "still holds attachment folder, creation date, modification date",
         {}},
        {PdfKind::AttachedPdf,
         QStringLiteral("attached-pdf.pdf"),
         "still holds author in nested.pdf",
         {}},
        {PdfKind::DeeplyAttachedPdf, QStringLiteral("attached-deeply.pdf"),
         "still holds " + tooDeep, tooDeep},
        {PdfKind::AttachedDamagedPdf, QStringLiteral("attached-damaged.pdf"),
         "damaged PDF: can't find startxref in nested.pdf",
         "damaged PDF: unable to find trailer dictionary while recovering damaged file in "
         "nested.pdf"},
        {PdfKind::AttachedOffice, QStringLiteral("attached-office.pdf"),
         "damaged ZIP package in letter.docx", "damaged ZIP package in letter.docx"},
        {PdfKind::XfaPackets, QStringLiteral("xfa-packets.pdf"), xfaXmp, {}},
        {PdfKind::XfaStream, QStringLiteral("xfa-stream.pdf"), xfaXmp, {}},
        {PdfKind::XfaDamaged, QStringLiteral("xfa-damaged.pdf"),
         "damaged PDF: getStreamData called on unfilterable stream", "damaged XFA form"},
        {PdfKind::SharedInfo, QStringLiteral("shared-info.pdf"), information, {}},
        {PdfKind::CatalogInfo,
         QStringLiteral("catalog-info.pdf"),
         "still holds title, document information",
         {}},
        {PdfKind::LocalLinks,
         QStringLiteral("local-links.pdf"),
         "still holds local path in a link",
         {}},
    };
    QString refusals;
    for (const auto &pdf : cases) {
        add(makePdf(pdf.kind, sources / pdf.name));
        if (!pdf.refusal.empty()) {
            refusals += QStringLiteral("\r\n") + pdf.name + QStringLiteral(": ") +
                        QString::fromStdString(pdf.refusal);
        }
    }
    run();

    EXPECT_EQ(lastMessage().toStdString(),
              (done(23, 30) + QStringLiteral("\r\n\r\n7 of 30 files were not cleaned:") + refusals)
                  .toStdString());
    for (const auto &pdf : cases) {
        SCOPED_TRACE(pdf.name.toStdString());
        const QString source = sources / pdf.name;
        ASSERT_NE(pdfLeftovers(source), QStringList());
        EXPECT_EQ(pdfCheck(readFile(source)), pdf.sourceFinding);
        if (!pdf.refusal.empty()) {
            EXPECT_FALSE(QFile::exists(out(pdf.name)));
            continue;
        }
        EXPECT_EQ(pdfLeftovers(out(pdf.name)), QStringList());
        EXPECT_TRUE(passesQpdfCheck(out(pdf.name)));
        EXPECT_EQ(pdfContent(out(pdf.name)), pdfContent(source));
        EXPECT_EQ(pdfPageCount(out(pdf.name)), pdfPageCount(source));
        for (const QByteArray &half : pdfIdentifier(out(pdf.name))) {
            EXPECT_FALSE(pdfIdentifier(source).contains(half));
        }
    }
    // Links to local files keep the files' names.
    EXPECT_EQ(
        pdfLinkTargets(out(QStringLiteral("local-links.pdf"))),
        QStringList({QStringLiteral("https://example.org/report"), QStringLiteral("plan.xlsx"),
                     QStringLiteral("run.exe"), QStringLiteral("report.pdf"),
                     QStringLiteral("report.pdf"), QStringLiteral("x.docx"),
                     QStringLiteral("run.exe"), QStringLiteral("outer.pdf"),
                     QStringLiteral("form.fdf"), QStringLiteral("answers.fdf")}));
    // The catalog points to the information too, so unlinking it from the trailer is not enough.
    EXPECT_EQ(pdfCheck(withInformationUnlinked(sources / QStringLiteral("shared-info.pdf"))),
              "still holds file identifier, author");
}
