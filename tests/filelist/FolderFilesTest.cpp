#include "filelist/FileListModel.h"
#include "filelist/FolderFiles.h"
#include "platform/ErrorTrap.h"
#include "support/FakeDesktop.h"
#include "support/FileDrag.h"
#include "support/TestFiles.h"
#include "support/WalkBound.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QUuid>

#include <sys/stat.h>

using namespace FolderFiles;

namespace {

// A file list and the trap of a pretend handler, reporting to a fake desktop.
struct Filler {
    FakeDesktop desktop;
    FileListModel list;
    ErrorTrap trap{desktop, QStringLiteral("Test.Fill")};

    Scan scan() { return {list, desktop, trap, 200}; }

    QStringList rows() const {
        QStringList texts;
        for (int position = 1; position <= list.FileRowCount(); ++position) {
            texts.append(list.RowText(position));
        }
        return texts;
    }
};

// a.txt, b.doc and Sub/c.txt, with the files that are never added beside them.
QString makeSampleTree(const ScratchFolder &scratch) {
    const QString root = makeFolder(scratch / QStringLiteral("R"));
    for (const char *name :
         {"b.doc", "a.txt", "~$report.docx", ".profile", "Sub/c.txt", ".cache/d.txt", "~x.txt"}) {
        writeFile(root + QStringLiteral("/") + QLatin1String(name), "x");
    }
    return root;
}

}  // namespace

TEST(AddAllFiles, AddsMatchingFilesFolderByFolderAndLeavesLockAndDotfilesOut) {
    ScratchFolder scratch;
    const QString root = makeSampleTree(scratch);
    const QString readOnlyDotfile = writeFile(root + QStringLiteral("/.kept"), "x");
    ::chmod(QFile::encodeName(readOnlyDotfile).constData(), 0444);

    Filler all;
    AddAllFilesInFolder(all.scan(), root, {QStringLiteral("*.*")});
    EXPECT_EQ(all.rows(), QStringList({root + "/.kept", root + "/a.txt", root + "/b.doc",
                                       root + "/.cache/d.txt", root + "/Sub/c.txt"}));

    Filler texts;
    AddAllFilesInFolder(texts.scan(), root, {QStringLiteral("*.TXT")});
    AddAllFilesInFolder(texts.scan(), root + QStringLiteral("/Sub"), {QStringLiteral("*.txt")});
    EXPECT_EQ(texts.rows(), QStringList({root + "/a.txt", root + "/.cache/d.txt",
                                         root + "/Sub/c.txt", root + "/Sub/c.txt"}));
    EXPECT_TRUE(all.desktop.messages.empty());
    EXPECT_TRUE(texts.desktop.messages.empty());
}

TEST(AddAllFiles, AFolderThatVanishedIsReportedAndTheScanEnds) {
    ScratchFolder scratch;
    Filler filler;
    AddAllFilesInFolder(filler.scan(), scratch / QStringLiteral("gone"), {QStringLiteral("*.*")});
    EXPECT_EQ(filler.list.FileRowCount(), 0);
    ASSERT_EQ(filler.desktop.messages.size(), 1u);
    EXPECT_TRUE(filler.desktop.messages.front().text.contains(
        QStringLiteral("in Quillstrip2021/08/31.Test.Fill at line 202")));
}

// Walks the whole file system: links and kernel file systems must not keep it from ending.
// A scan of the whole tree ends (no link, /proc or /sys is entered) and builds single-separator
// paths from the root.
TEST(AddAllFiles, AScanOfTheRootEndsAndFindsTheFileWithItsPlainPath) {
    ScratchFolder scratch;
    const QString extension = QStringLiteral("pw") + QUuid::createUuid().toString(QUuid::Id128);
    const QString inScratch = writeFile(scratch / QStringLiteral("deep/b.") + extension, "x");

    Filler filler;
    // About three turns per folder; a walk round a link loop such as /usr/bin/X11 -> . goes far
    // past a million.
    const WalkBound bound(1000000);
    AddAllFilesInFolder(filler.scan(), QStringLiteral("/"), {QStringLiteral("*.") + extension});
    EXPECT_EQ(filler.rows(), QStringList({inScratch}));
}

TEST(Drops, FilesStayAsTheyAreAndFoldersAreExpandedOnceEach) {
    ScratchFolder scratch;
    const QString root = makeSampleTree(scratch);
    const QString other = makeFolder(scratch / QStringLiteral("Other"));
    writeFile(other + QStringLiteral("/z.pdf"), "x");
    const QString hidden = root + QStringLiteral("/.profile");
    const QString tilde = root + QStringLiteral("/~$report.docx");
    const QString a = root + QStringLiteral("/a.txt");

    Filler files;
    AddDroppedPaths(files.scan(), {tilde, hidden, a});
    EXPECT_EQ(files.rows(), QStringList({tilde, hidden, a}));

    Filler mixed;
    AddDroppedPaths(mixed.scan(), {a, other, root + QStringLiteral("/Sub")});
    EXPECT_EQ(mixed.rows(), QStringList({a, other + "/z.pdf", root + "/Sub/c.txt"}));

    Filler folders;
    AddDroppedPaths(folders.scan(), {root + QStringLiteral("/Sub"), other});
    EXPECT_EQ(folders.rows(), QStringList({root + "/Sub/c.txt", other + "/z.pdf"}));
}

TEST(Drops, APathThatCannotBeExaminedCostsOnlyItself) {
    ScratchFolder scratch;
    const QString kept = writeFile(scratch / QStringLiteral("kept.jpg"), "x");
    Filler filler;
    AddDroppedPaths(filler.scan(), {scratch / QStringLiteral("vanished.jpg"), kept});
    EXPECT_EQ(filler.rows(), QStringList({kept}));
    ASSERT_EQ(filler.desktop.messages.size(), 1u);
    EXPECT_EQ(filler.desktop.messages.front().title, QStringLiteral("Application Error"));
    EXPECT_TRUE(filler.desktop.messages.front().text.contains(QStringLiteral("at line 200")));
}

TEST(Drops, OnlyLocalFilesCount) {
    ScratchFolder scratch;
    const auto drag = fileDrag({scratch.path() + QStringLiteral("/"), "/"});
    QList<QUrl> urls = drag->urls();
    urls.append(QUrl(QStringLiteral("https://example.org/a.jpg")));
    drag->setUrls(urls);
    EXPECT_EQ(DroppedPaths(*drag), QStringList({scratch.path(), QStringLiteral("/")}));

    QMimeData text;
    text.setText(scratch.path());
    EXPECT_TRUE(DroppedPaths(text).isEmpty());
}

TEST(FolderFiles, TheScanSaysWhatItFoundNothingOfAndWhatItCouldNotRead) {
    const QStringList jpg = {QStringLiteral("*.jpg")};
    const struct {
        FolderFiles::Found found;
        QString message;
    } cases[] = {
        {{3, 0}, QString()},
        {{0, 0}, QStringLiteral("No *.jpg files were found in /d.")},
        {{2, 4}, QStringLiteral("4 files could not be read (permission) and were not listed.")},
        {{0, 1},
         QStringLiteral("No *.jpg files were found in /d.\r\n\r\n1 files could not be read "
                        "(permission) and were not listed.")},
        {{0, 0, 3},
         QStringLiteral("No *.jpg files were found in /d.\r\n\r\n3 folders could not be read and "
                        "were not searched.")},
        {{1, 2, 1},
         QStringLiteral("2 files could not be read (permission) and were not listed.\r\n\r\n1 "
                        "folders could not be read and were not searched.")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(FolderFiles::ScanMessage(c.found, jpg, QStringLiteral("/d")), c.message);
    }
}
