#include "BatchFixture.h"
#include "MetadataFixtures.h"
#include "app/ProgressBarWidget.h"
#include "engine/RemovalBatchJobs.h"
#include "engine/RemovalBatchPlan.h"
#include "engine/RemovalBatchReport.h"
#include "engine/Routes.h"
#include "engine/WorkingFolder.h"
#include "filelist/FileListModel.h"
#include "fsutil/Main.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace {

QByteArray noise(int kib) {
    QByteArray bytes(kib * 1024, '\0');
    QRandomGenerator(kib).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return bytes;
}

// A PDF with metadata and a stream of incompressible bytes, so that its rewrite is as large.
QString makeLargePdf(const QString &path, int kib) {
    const QString small = makePdfWithMetadata(path + QStringLiteral(".small"));
    QPDF pdf;
    pdf.processFile(small.toLocal8Bit().constData());
    const QByteArray bytes = noise(kib);
    pdf.getRoot().replaceKey("/Padding", QPDFObjectHandle::newStream(
                                             &pdf, std::string(bytes.constData(), bytes.size())));
    const QByteArray fileName = QFile::encodeName(path);  // the writer keeps the pointer
    QPDFWriter writer(pdf, fileName.constData());
    writer.write();
    QFile::remove(small);
    return path;
}

mode_t modeOf(const QString &path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

bool isRunning(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    // A zombie has ended; only its parent has not read its end yet.
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

// Waits at most `ms` for the condition, letting the event loop run.
bool waitFor(const std::function<bool()> &condition, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < ms) {
        QCoreApplication::processEvents();
        ::usleep(10000);
    }
    return condition();
}

// A program folder whose exiv2 runs until it is told to end (ten seconds at most, so that a
// regression fails fast), noting its id and whether it was asked to terminate; its pdftk is the
// real one.
struct SlowTool {
    SlowTool() {
        writeFile(folder / QStringLiteral("exiv2"),
                  "#!/bin/sh\n"
                  "trap 'echo > \"$0.terminated\"; exit 1' TERM\n"
                  "echo $$ > \"$0.pid\"\n"
                  "i=0; while [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done\n");
        ::chmod(QFile::encodeName(folder / QStringLiteral("exiv2")).constData(), 0755);
        QFile::link(QStringLiteral(PARCHWIPE_BIN_DIR "/pdftk"), folder / QStringLiteral("pdftk"));
    }
    bool started() const { return QFile::exists(folder / QStringLiteral("exiv2.pid")); }
    pid_t pid() const { return readFile(folder / QStringLiteral("exiv2.pid")).trimmed().toInt(); }
    bool terminated() const { return QFile::exists(folder / QStringLiteral("exiv2.terminated")); }

    ScratchFolder folder;
};

// The batch fixture, with small file systems mounted where a test needs them.
class Safety : public BatchFixture {
  protected:
    void TearDown() override {
        BatchFixture::TearDown();
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
            QProcess::execute(QStringLiteral("umount"), {*it});
        }
    }

    // A file system of `kib` KiB at the folder (made when missing); false when none can be made.
    bool mountSmallDisk(const QString &folder, int kib) {
        makeFolder(folder);
        if (::geteuid() != 0 ||
            QProcess::execute(
                QStringLiteral("mount"),
                {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                 QStringLiteral("size=%1k").arg(kib), QStringLiteral("tmpfs"), folder}) != 0) {
            return false;
        }
        mounts_ << folder;
        return true;
    }

  private:
    QStringList mounts_;
};

const char *const NeedsRoot =
    "not on this machine: needs root to mount a small tmpfs (CI runs as root)";

}  // namespace

TEST_F(Safety, AFullWorkingFolderNeverYieldsAnOutputAndEachFileSaysWhy) {
    if (!mountSmallDisk(temp / QStringLiteral("small"), 512)) {
        GTEST_SKIP() << NeedsRoot;
    }
    useTemp(temp / QStringLiteral("small"));
    // Each fits alone beside its scratch file, so only one working copy at a time fits.
    const QStringList fitting = {writeFile(sources / QStringLiteral("a.txt"), noise(200)),
                                 writeFile(sources / QStringLiteral("b.dat"), noise(200))};
    const QString pdf = makeLargePdf(sources / QStringLiteral("big.pdf"), 300);      // the toolkit
    const QString bin = writeFile(sources / QStringLiteral("big.bin"), noise(300));  // the strip
    const QString huge = writeFile(sources / QStringLiteral("huge.bin"), noise(600));  // the copy
    const QString last = writeFile(sources / QStringLiteral("c.txt"), noise(200));
    for (const QString &path : fitting + QStringList{pdf, bin, huge, last}) {
        add(path);
    }
    run();

    // The first file that does not fit even alone stops the batch: no file after it starts. The
    // routes' own errors are reasons, never a dialog per file.
    ASSERT_EQ(window.desktop.messages.size(), 1u)
        << window.desktop.messages.front().text.toStdString();
    const FakeDesktop::Message &closing = window.desktop.messages.back();
    EXPECT_TRUE(closing.text.startsWith(
        QStringLiteral("Done.\r\n\r\nThe disk holding %1 is full: 0 files were cleaned, 4 were "
                       "not; free space and press Start again.")
            .arg(temp / QStringLiteral("small"))))
        << closing.text.toStdString();
    EXPECT_TRUE(closing.text.contains(QStringLiteral(": the disk is full")));
    EXPECT_TRUE(closing.captions.contains(QStringLiteral("Keep Only the Files Not Cleaned")));
    EXPECT_EQ(entriesOf(output.path()),
              QStringList({QStringLiteral("a.txt"), QStringLiteral("b.dat")}));
    EXPECT_EQ(entriesOf(temp / QStringLiteral("small")), QStringList());
}

TEST_F(Safety, TheToolkitOnAFullDiskWritesNothingAndSaysWhy) {
    const QString full = temp / QStringLiteral("full");
    if (!mountSmallDisk(full, 256)) {
        GTEST_SKIP() << NeedsRoot;
    }
    QProcess pdftk;
    pdftk.start(
        QStringLiteral(PARCHWIPE_BIN_DIR "/pdftk"),
        {makeLargePdf(sources / QStringLiteral("big.pdf"), 300), QStringLiteral("update_info"),
         writeFile(sources / QStringLiteral("info.txt"), "InfoKey: Title\nInfoValue: \n"),
         QStringLiteral("output"), full + QStringLiteral("/out.pdf"), QStringLiteral("dont_ask")});
    ASSERT_TRUE(pdftk.waitForFinished(30000));
    EXPECT_EQ(pdftk.exitCode(), Formats::toolExitCode(Formats::Cause::DiskFull));
    EXPECT_TRUE(pdftk.readAllStandardError().contains("the disk is full"));
    EXPECT_EQ(entriesOf(full), QStringList());
}

TEST_F(Safety, AFullOutputFolderKeepsEverySourceWhole) {
    if (!mountSmallDisk(output.path(), 512)) {
        GTEST_SKIP() << NeedsRoot;
    }
    // A source in the output folder is replaced only by a whole clean copy.
    const QString inPlace = makeLargePdf(output / QStringLiteral("inplace.pdf"), 300);
    const QByteArray before = readFile(inPlace);
    add(inPlace);
    add(writeFile(sources / QStringLiteral("other.bin"), noise(600)));
    add(writeFile(sources / QStringLiteral("small.txt"), "fits"));
    window.desktop.buttonAnswers = {QStringLiteral("Replace")};
    run();

    // A full disk stops the batch; small.txt is written only if it was at work by then.
    EXPECT_TRUE(lastMessage().startsWith(
        QStringLiteral("Done.\r\n\r\nThe disk holding %1 is full: 0 files were cleaned, ")
            .arg(output.path())))
        << lastMessage().toStdString();
    EXPECT_EQ(readFile(inPlace), before);
    EXPECT_EQ(entriesOf(output.path()).filter(QStringLiteral(".pdf")),
              QStringList({QStringLiteral("inplace.pdf")}));
    EXPECT_FALSE(QFile::exists(output / QStringLiteral("other.bin")));
}

// Every cause a file can fail for, met for real and one file at a time, reaches the closing
// message in its own words, and no reason names a path in the working folder.
TEST_F(Safety, EachCauseReachesTheClosingMessageInItsOwnWordsWithoutWorkingPaths) {
    using Formats::Cause;
    SlowTool slow;
    // Its toolkit fails naming its output, as ours does when it cannot write there.
    ScratchFolder failing;
    QFile::link(QStringLiteral(PARCHWIPE_BIN_DIR "/exiv2"), failing / QStringLiteral("exiv2"));
    const QString toolkit =
        writeFile(failing / QStringLiteral("pdftk"),
                  "#!/bin/sh\necho \"pdftk: $1: cannot create a file beside $5: "
                  "Permission denied\" >&2\nexit 1\n");
    ::chmod(QFile::encodeName(toolkit).constData(), 0755);
    const QString locked = sources / QStringLiteral("locked.pdf");
    QProcess::execute(QStringLiteral("qpdf"),
                      {QStringLiteral("--encrypt"), QStringLiteral("user"), QStringLiteral("owner"),
                       QStringLiteral("256"), QStringLiteral("--"),
                       makePdfWithMetadata(sources / QStringLiteral("open.pdf")), locked});
    const QString tools = QStringLiteral(PARCHWIPE_BIN_DIR);
    const struct {
        QString source;
        QString programFolder;
        Cause cause;
        QString words;
    } rows[] = {
        {source(QStringLiteral("notes.docx"), "not a ZIP archive"), tools, Cause::Damaged,
         QStringLiteral("damaged ZIP package")},
        {source(QStringLiteral("text.jpg"), "not a picture"), tools, Cause::Damaged,
         QStringLiteral("exiv2 failed with exit code 1: corrupted image metadata")},
        {source(QStringLiteral("scan.tif"), QByteArray("II+\0\x08\0\0\0", 8)), tools,
         Cause::Unsupported, QStringLiteral("BigTIFF pictures cannot be cleaned yet")},
        {locked, tools, Cause::Protected, QStringLiteral("locked with a password")},
        {source(QStringLiteral("deep.rtf"),
                "{\\rtf1" + QByteArray(600, '{') + QByteArray(601, '}')),
         tools, Cause::TooLarge, QStringLiteral("RTF nested too deeply")},
        {writeFile(sources / QStringLiteral("big.bin"), noise(300)), tools, Cause::DiskFull,
         QStringLiteral("the disk is full")},
        {source(QStringLiteral("secret.txt")), tools, Cause::NotReadable,
         QStringLiteral("you may not read it (permission)")},
        {source(QStringLiteral("gone.txt")), tools, Cause::Gone,
         QStringLiteral("it was moved or deleted since it was listed")},
        {makeJpegWithMetadata(sources / QStringLiteral("photo.jpg")), slow.folder.path(),
         Cause::Stopped, QStringLiteral("stopped before it was cleaned")},
        {makePdfWithMetadata(sources / QStringLiteral("report.pdf")), failing.path(),
         Cause::Internal,
         QStringLiteral("cannot create a file beside the working copy: Permission denied")},
    };
    const QString full = temp / QStringLiteral("full");
    const bool smallDisk = mountSmallDisk(full, 256);
    const QString work = makeFolder(temp / QStringLiteral("work"));
    std::vector<RemovalBatchPlan::File> files;
    std::vector<RemovalBatchReport::Outcome> outcomes;
    QStringList lines;
    QStringList blocks;
    for (const auto &row : rows) {
        if (row.cause == Cause::DiskFull && !smallDisk) {
            continue;  // needs root to mount a small tmpfs
        }
        const auto planned = RemovalBatchPlan::Plan({row.source}, output.path(), false);
        if (row.cause == Cause::Gone) {
            QFile::remove(row.source);
        }
        const QByteArray path = QFile::encodeName(row.source);
        if (row.cause == Cause::NotReadable &&
            (::chmod(path.constData(), 0) != 0 || ::access(path.constData(), R_OK) == 0)) {
            continue;  // root with the override capabilities: its setpriv entry runs it
        }
        RemovalBatchJobs jobs(planned, row.cause == Cause::DiskFull ? full : work,
                              row.programFolder, 1);
        if (row.cause == Cause::Stopped) {
            ASSERT_TRUE(waitFor([&] { return slow.started(); }, 20000));
            jobs.stop();
        }
        jobs.join();
        outcomes.push_back(jobs.take(0).value_or(RemovalBatchReport::NotStarted()));
        files.push_back(planned.front());
        EXPECT_EQ(outcomes.back().failure.cause, row.cause) << row.source.toStdString();
        lines << planned.front().name + QStringLiteral(": ") + row.words;
        blocks << row.source + QStringLiteral("\r\n    not cleaned: ") + row.words;
    }
    const QString message = RemovalBatchReport::ClosingMessage(files, outcomes, output.path());
    EXPECT_TRUE(message.endsWith(QStringLiteral(" files were not cleaned:\r\n") +
                                 lines.join(QStringLiteral("\r\n"))))
        << message.toStdString();
    const QString details = RemovalBatchReport::Details(files, outcomes);
    EXPECT_EQ(details, blocks.join(QStringLiteral("\r\n\r\n")));
    EXPECT_FALSE((message + details).contains(temp.path()));
}

TEST_F(Safety, SameNamesNeverReplaceAListedFileOrAnEarlierOutput) {
    const QString x = writeFile(sources / QStringLiteral("X/a.txt"), "X");
    const QString y = writeFile(sources / QStringLiteral("Y/a.txt"), "Y");
    struct Case {
        QString outputFolder;
        QStringList rows;
        QByteArray plain, numbered;  // a.txt and a (2).txt in the output folder
        QString question;            // asked before the first file, if anything
    };
    const QString elsewhere = output.path();
    const QString xFolder = sources / QStringLiteral("X");
    const QString yFolder = sources / QStringLiteral("Y");
    const QString own = QStringLiteral(
        "1 file in %1 will be replaced by its cleaned copy (it is the original you listed; its "
        "metadata will be gone for good). Replace it?\r\n\r\na.txt (original)");
    const std::vector<Case> cases = {
        {elsewhere, {x, y}, "X", "Y", {}},
        {elsewhere, {y, x}, "Y", "X", {}},
        {xFolder, {x, y}, "X", "Y", own.arg(xFolder)},
        {xFolder, {y, x}, "X", "Y", own.arg(xFolder)},  // the source keeps its own name
        {yFolder, {x, y}, "Y", "X", own.arg(yFolder)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(
            (c.outputFolder + QStringLiteral(" ") + c.rows.join(QChar(u' '))).toStdString());
        for (const QString &folder : {elsewhere, xFolder, yFolder}) {
            QFile::remove(folder + QStringLiteral("/a (2).txt"));
        }
        QFile::remove(elsewhere + QStringLiteral("/a.txt"));
        window.desktop.messages.clear();
        window.desktop.buttonAnswers = {QStringLiteral("Replace")};
        form.FileList().RemoveAllRows();
        for (const QString &row : c.rows) {
            add(row);
        }
        form.Text1->setText(c.outputFolder);
        run();
        EXPECT_EQ(readFile(c.outputFolder + QStringLiteral("/a.txt")), c.plain);
        EXPECT_EQ(readFile(c.outputFolder + QStringLiteral("/a (2).txt")), c.numbered);
        EXPECT_EQ(window.desktop.messages.size(), c.question.isEmpty() ? 1u : 2u);
        EXPECT_EQ(window.desktop.messages.front().text,
                  c.question.isEmpty() ? lastMessage() : c.question);
        EXPECT_TRUE(window.desktop.messages.back().details.contains(
            QStringLiteral("copied as it is into ") + c.outputFolder +
            QStringLiteral("/a (2).txt (another listed file has its name)")));
        EXPECT_EQ(readFile(x) + readFile(y), QByteArray("XY"));
    }
    // A later batch replaces what an earlier one wrote, after asking, numbered outputs too.
    writeFile(x, "X2");
    form.FileList().RemoveAllRows();
    add(x);
    add(y);
    form.Text1->setText(elsewhere);
    writeFile(elsewhere + QStringLiteral("/a.txt"), "earlier");
    writeFile(elsewhere + QStringLiteral("/a (2).txt"), "earlier");
    window.desktop.buttonAnswers = {QStringLiteral("Replace")};
    run();
    EXPECT_EQ(readFile(elsewhere + QStringLiteral("/a.txt")), QByteArray("X2"));
    EXPECT_EQ(readFile(elsewhere + QStringLiteral("/a (2).txt")), QByteArray("Y"));
    EXPECT_FALSE(QFile::exists(elsewhere + QStringLiteral("/a (3).txt")));
}

// A running batch locks the list and the settings; Stop ends it, and the closing message accounts
// for every file.
// On a file system that folds case, IMG_1.JPG and img_1.jpg are one file: they are numbered
// like same names, and only there.
TEST(SameNames, NamesThatDifferInCaseAreNumberedWhereTheFolderFoldsCase) {
    ScratchFolder in;
    ScratchFolder out;
    const QStringList rows = {writeFile(in / QStringLiteral("A/IMG_1.JPG"), "a"),
                              writeFile(in / QStringLiteral("B/img_1.jpg"), "b"),
                              writeFile(in / QStringLiteral("C/Img_1.Jpg"), "c")};
    const struct {
        bool foldsCase;
        QStringList names;
    } cases[] = {
        {false, {"IMG_1.JPG", "img_1.jpg", "Img_1.Jpg"}},
        {true, {"IMG_1.JPG", "img_1 (2).jpg", "Img_1 (3).Jpg"}},
    };
    for (const auto &c : cases) {
        QStringList names;
        for (const RemovalBatchPlan::File &file :
             RemovalBatchPlan::Plan(rows, out.path(), c.foldsCase)) {
            names << Main::FileNameOf(file.output);
        }
        EXPECT_EQ(names, c.names) << c.foldsCase;
    }
    // The probe leaves nothing behind, and finds an ordinary folder telling case apart.
    EXPECT_FALSE(FileSystem::foldsCase(out.path()));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

TEST_F(Safety, StopEndsTheBatchAndAccountsForEveryFile) {
    SlowTool tool;
    TestWindow slow(tool.folder.path());
    Form1 &other = slow.load();
    other.Text1->setText(output.path());
    const QStringList rows = {makeJpegWithMetadata(sources / QStringLiteral("p1.jpg")),
                              writeFile(sources / QStringLiteral("a.txt"), "a"),
                              makeJpegWithMetadata(sources / QStringLiteral("p2.jpg")),
                              writeFile(sources / QStringLiteral("b.txt"), "b")};
    for (const QString &row : rows) {
        other.FileList().AddFileRow(row);
    }
    const QList<QWidget *> locked = {other.ListView1,   other.PushButton4, other.PushButton3,
                                     other.PushButton6, other.PushButton7, other.Text1,
                                     other.PushButton1};
    QList<bool> enabledDuring;
    QString captionDuring;
    Qt::DropAction dropDuring = Qt::CopyAction;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (!tool.started()) {
            return;
        }
        stopper.stop();
        for (QWidget *control : locked) {
            enabledDuring << control->isEnabled();
        }
        captionDuring = other.PushButton2->text();
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(rows[1])});
        other.ListView1_OLEDragOver(&drop, dropDuring);
        other.ListView1->setCurrentIndex(other.FileList().index(0));
        other.ListView1_DblClick();
        other.PushButton2->click();
    });
    stopper.start(10);
    slow.desktop.buttonAnswers = {QStringLiteral("Keep Only the Files Not Cleaned")};
    other.PushButton2_Click();

    EXPECT_EQ(enabledDuring, QList<bool>(locked.size(), false));
    EXPECT_EQ(captionDuring, QStringLiteral("Stop"));
    EXPECT_EQ(dropDuring, Qt::IgnoreAction);
    EXPECT_TRUE(tool.terminated());
    EXPECT_EQ(entriesOf(temp.path()), QStringList());
    // The closing message's button left only the files not written, the slow one among them.
    QStringList rowsAfter;
    for (int position = 1; position <= other.FileList().FileRowCount(); ++position) {
        rowsAfter << other.FileList().RowText(position);
    }
    QStringList notWritten = rows;
    notWritten.removeIf(
        [&](const QString &row) { return QFile::exists(output / Main::FileNameOf(row)); });
    EXPECT_EQ(rowsAfter, notWritten);
    EXPECT_TRUE(rowsAfter.contains(rows[0]));
    EXPECT_EQ(other.Text1->text(), output.path());
    for (QWidget *control : locked) {
        EXPECT_TRUE(control->isEnabled());
    }
    EXPECT_EQ(other.PushButton2->text(), QStringLiteral("Start Removing Metadata"));

    const FakeDesktop::Message &closing = slow.desktop.messages.back();
    const int cleaned = entriesOf(output.path()).filter(QStringLiteral(".jpg")).size();
    EXPECT_LT(cleaned, 2);
    EXPECT_TRUE(closing.text.startsWith(
        QStringLiteral("Done.\r\n\r\n%1 of 4 files were cleaned into %2 before the stop; ")
            .arg(QString::number(cleaned), output.path())))
        << closing.text.toStdString();
    EXPECT_TRUE(closing.text.contains(QStringLiteral("p1.jpg: stopped before it was cleaned")));
    EXPECT_EQ(closing.icon, MessageIcon::Warning);
    for (const QString &row : rows) {
        const QString output_ = output / Main::FileNameOf(row);
        const bool written = QFile::exists(output_);
        EXPECT_TRUE(
            closing.details.contains(row + QStringLiteral("\r\n    ") +
                                     (written ? (row.endsWith(QStringLiteral(".jpg"))
                                                     ? QStringLiteral("cleaned into ")
                                                     : QStringLiteral("copied as it is into ")) +
                                                    output_
                                              : QStringLiteral("not cleaned: "))))
            << row.toStdString();
    }
}

// Escape is Stop, whichever control has the keyboard.
TEST_F(Safety, EscapeStopsTheBatch) {
    SlowTool tool;
    TestWindow slow(tool.folder.path());
    Form1 &other = slow.load();
    other.Text1->setText(output.path());
    other.FileList().AddFileRow(makeJpegWithMetadata(sources / QStringLiteral("p.jpg")));
    other.FileList().AddFileRow(writeFile(sources / QStringLiteral("next.txt"), "x"));
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QTimer escaper;
    QObject::connect(&escaper, &QTimer::timeout, [&] {
        if (tool.started()) {
            escaper.stop();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        }
    });
    escaper.start(10);
    other.PushButton2_Click();

    EXPECT_TRUE(tool.terminated());
    EXPECT_TRUE(slow.desktop.messages.back().text.contains(QStringLiteral("before the stop")));
    EXPECT_FALSE(QFile::exists(output / QStringLiteral("p.jpg")));
}

TEST_F(Safety, LongNamesQuotesInFoldersAndModesComeThrough) {
    ScratchFolder root;
    const QString programFolder = makeFolder(root / QStringLiteral("pro\"gram \"\"folder"));
    for (const char *tool : {"exiv2", "pdftk"}) {
        QFile::link(QStringLiteral(PARCHWIPE_BIN_DIR "/") + QLatin1String(tool),
                    programFolder + QStringLiteral("/") + QLatin1String(tool));
    }
    TestWindow quoted(programFolder);
    Form1 &other = quoted.load();
    useTemp(makeFolder(root / QStringLiteral("te\"mp")));
    other.Text1->setText(output.path());

    // 255 bytes, the longest name the file system allows.
    const QString photo = makeJpegWithMetadata(sources / QString(251, QChar(u'p')) + ".jpg");
    const QString text = writeFile(sources / QString(251, QChar(u't')) + ".txt", "long");
    const QString pdf = makePdfWithMetadata(sources / QStringLiteral("re\"port.pdf"));
    const QString script = writeFile(output / QStringLiteral("run.sh"), "#!/bin/sh\n");
    ::chmod(QFile::encodeName(script).constData(), 0770);
    for (const QString &path : {photo, text, pdf, script}) {
        other.FileList().AddFileRow(path);
    }
    quoted.desktop.buttonAnswers = {QStringLiteral("Replace")};
    other.PushButton2_Click();

    EXPECT_EQ(quoted.desktop.messages.back().text,
              QStringLiteral("Done.\r\n\r\n2 of 4 files were cleaned into ") + output.path() +
                  unknown(2, QStringLiteral(".sh: 1\r\n.txt: 1")));
    EXPECT_EQ(exiv2Report(output / QString(251, QChar(u'p')) + ".jpg"), QString());
    EXPECT_EQ(readFile(output / QString(251, QChar(u't')) + ".txt"), QByteArray("long"));
    EXPECT_EQ(pdfMetadataKeys(output / QStringLiteral("re\"port.pdf")), QStringList());
    EXPECT_EQ(modeOf(script), 0770u);
}

TEST_F(Safety, ClosingMidBatchEndsTheToolAndRemovesTheWorkingFolder) {
    SlowTool tool;
    TestWindow slow(tool.folder.path());
    Form1 &other = slow.load();
    other.Text1->setText(output.path());
    other.FileList().AddFileRow(makeJpegWithMetadata(sources / QStringLiteral("p.jpg")));
    other.FileList().AddFileRow(writeFile(sources / QStringLiteral("next.txt"), "x"));
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (tool.started()) {
            closer.stop();
            other.close();
        }
    });
    closer.start(10);
    other.PushButton2_Click();

    ASSERT_TRUE(tool.started());
    EXPECT_TRUE(tool.terminated()) << "the tool must be told to end, not left to finish";
    EXPECT_TRUE(waitFor([&] { return !isRunning(tool.pid()); }));
    EXPECT_EQ(entriesOf(temp.path()), QStringList());
    // Files cleaned beside the slow one may have been written; the slow one never is.
    EXPECT_FALSE(QFile::exists(output / QStringLiteral("p.jpg")));
    EXPECT_EQ(slow.endProgramCalls, 1);
}

TEST_F(Safety, ClosingDuringALongCopyStopsIt) {
    // A gigabyte of holes: made at once, read fast, and far too long to copy before the close.
    QFile big(sources / QStringLiteral("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 30));
    big.close();
    add(big.fileName());
    qint64 copiedWhenClosed = -1;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (const QString &folder : entriesOf(temp.path())) {
            const QFileInfo copy(temp / folder + QStringLiteral("/1/temp.bin"));
            if (copy.exists()) {
                copiedWhenClosed = copy.size();
                closer.stop();
                form.close();
            }
        }
    });
    closer.start(0);
    run();

    EXPECT_GE(copiedWhenClosed, 0);
    EXPECT_LT(copiedWhenClosed, big.size()) << "the window must answer while a copy runs";
    EXPECT_EQ(entriesOf(temp.path()), QStringList());
    EXPECT_EQ(entriesOf(output.path()), QStringList());
    EXPECT_TRUE(window.desktop.messages.empty());
}

// Stop pressed once a large file's copy is whole (and the bar shows it) lands in its passes: the
// survey and check of a package read whole, or the walk of a video where it lies that zeroes a
// large padding box. The batch ends at their next look at the stop flag, with the file reported
// stopped, and neither an output nor a working copy stays.
class Stopping : public BatchFixture {};

TEST_F(Stopping, StopDuringALongPassEndsTheBatchWithTheFileStopped) {
    ScratchFolder made;
    runTool(QStringLiteral("python3"),
            {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_large.py"), made.path(),
             QString::number(qint64(1) << 30), QString::number(200 << 20)});
    // The package is a few MB: only the video is large enough to move the bar as it goes.
    const struct {
        QString name;
        bool large;
    } cases[] = {{QStringLiteral("big.docx"), false}, {QStringLiteral("big.mp4"), true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(qPrintable(c.name));
        const QString path = made / c.name;
        const QString copyName = QStringLiteral("/1/temp.") + QFileInfo(path).suffix();
        add(path);
        double largestValue = 0;
        bool pressed = false;
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            largestValue = std::max(largestValue, form.ProgressBar1->value());
            for (const QString &folder : entriesOf(temp.path())) {
                if (!pressed && largestValue > 0 &&
                    QFileInfo(temp / folder + copyName).size() == QFileInfo(path).size()) {
                    pressed = true;
                    form.PushButton2_Click();
                }
            }
        });
        stopper.start(0);
        run();
        stopper.stop();
        form.FileList().RemoveAllRows();

        EXPECT_TRUE(
            lastMessage().contains(c.name + QStringLiteral(": stopped before it was cleaned")))
            << lastMessage().toStdString();
        EXPECT_EQ(entriesOf(output.path()), QStringList());
        EXPECT_EQ(entriesOf(temp.path()), QStringList());
        // Stopped once the bar had moved: a large file had filled only part of its share.
        EXPECT_EQ(largestValue < 100, c.large) << largestValue;
    }
}

// A Parchwipe told to end by a signal ends its tool, removes its working folder and is gone; a
// killed one can do neither, so its tool dies with it and its folder goes at the next start.
// Another instance's start never takes the folder of one still running.
TEST_F(Safety, SignalsEndTheProgramItsToolAndItsWorkingFolder) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(signal);
        SlowTool tool;
        QProcess host;
        host.setProcessChannelMode(QProcess::ForwardedChannels);
        host.start(QStringLiteral(BATCH_HOST),
                   {tool.folder.path(), output.path(), makeJpegWithMetadata(sources / "p.jpg")});
        ASSERT_TRUE(waitFor([&] { return tool.started(); }, 20000));
        ASSERT_EQ(entriesOf(temp.path()).size(), 1);
        WorkingFolder::RemoveLeftOvers(temp.path());
        EXPECT_EQ(entriesOf(temp.path()).size(), 1) << "a folder in use stays";

        ::kill(static_cast<pid_t>(host.processId()), signal);
        EXPECT_TRUE(host.waitForFinished(5000));
        EXPECT_TRUE(waitFor([&] { return !isRunning(tool.pid()); }));
        if (signal == SIGKILL) {
            EXPECT_EQ(entriesOf(temp.path()).size(), 1);
            WorkingFolder::RemoveLeftOvers(temp.path());
        } else {
            EXPECT_TRUE(tool.terminated());
            EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
        }
        EXPECT_EQ(entriesOf(temp.path()), QStringList());
        host.kill();
        host.waitForFinished(5000);
    }
}

namespace {

// The most memory this process has held, from the kernel's own count.
qint64 peakMemoryBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').front().toLongLong() * 1024;
        }
    }
    return 0;
}

}  // namespace

// Hand-made files that once crashed, froze or slipped past a check, all in one batch: none ends
// it, each is refused with its reason or written clean, memory stays bounded and no working copy
// stays behind.
TEST_F(Safety, HostileFilesInOneBatchEachGetTheirLineWithinBoundedMemory) {
    ScratchFolder made;
    runTool(QStringLiteral("python3"),
            {QStringLiteral(PARCHWIPE_TESTS_DIR "/hostile/make_hostile.py"), made.path()});
    qint64 largest = 0;
    const QStringList names = entriesOf(made.path());
    for (const QString &name : names) {
        add(made / name);
        largest = std::max(largest, QFileInfo(made / name).size());
    }
    run();

    ASSERT_FALSE(window.desktop.messages.empty());
    const QString details = window.desktop.messages.back().details;
    for (const QString &name : names) {
        const QString written = out(name);
        EXPECT_TRUE(details.contains(made / name)) << qPrintable(name);
        if (QFile::exists(written)) {
            EXPECT_FALSE(
                Routes::check(Kinds::forExtension(QFileInfo(name).suffix().toStdString()), written))
                << qPrintable(name);
        }
    }
    EXPECT_TRUE(details.contains(QStringLiteral("bzip2-bomb.docx") +
                                 QStringLiteral("\r\n    not cleaned: ")));
    EXPECT_LT(peakMemoryBytes(), 512 * 1024 * 1024 + largest);
    EXPECT_EQ(entriesOf(temp.path()), QStringList());
}
