#include "fsutil/AddFolder.h"
#include "support/FakeDesktop.h"
#include "support/TestFiles.h"
#include "support/WalkBound.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

using namespace AddFolder;

namespace {

QByteArray encoded(const QString &path) {
    return QFile::encodeName(path);
}

// Walks the folder recursively and returns the list relative to it, "" standing for the folder.
QStringList walkBelow(const QString &root, bool recursive = true) {
    const WalkBound bound(1000);
    FakeDesktop desktop;
    QStringList folders{root + QStringLiteral("/")};
    GetSubDirectories2016(desktop, folders, recursive);
    EXPECT_TRUE(desktop.messages.empty());
    QStringList relative;
    for (const QString &folder : folders) {
        EXPECT_TRUE(folder.startsWith(root + QStringLiteral("/"))) << folder.toStdString();
        relative.append(folder.mid(root.size() + 1));
    }
    return relative;
}

// Root reads everything; such tests run again without that power (see CMake).
bool ownerBitsAreEnforced(const QString &folder) {
    return ::access(encoded(folder).constData(), R_OK) != 0;
}

}  // namespace

TEST(FolderWalk, ComesOutLevelByLevel) {
    ScratchFolder scratch;
    for (const char *folder : {"R/A/A1/X", "R/A/A2", "R/B/B1"}) {
        makeFolder(scratch / QString::fromLatin1(folder));
    }
    writeFile(scratch / QStringLiteral("R/A/file.txt"), "not a folder");
    const QString root = scratch / QStringLiteral("R");

    EXPECT_EQ(walkBelow(root), QStringList({"", "A/", "B/", "A/A1/", "A/A2/", "B/B1/", "A/A1/X/"}));
    EXPECT_EQ(walkBelow(root, false), QStringList({"", "A/", "B/"}));
    EXPECT_EQ(walkBelow(root + QStringLiteral("/A/A1/X")), QStringList({""}));
}

TEST(FolderWalk, ListsHiddenFoldersButNeverFollowsLinks) {
    ScratchFolder scratch;
    const QString root = makeFolder(scratch / QStringLiteral("R"));
    makeFolder(root + QStringLiteral("/.cache/fonts"));
    const QString sub = makeFolder(root + QStringLiteral("/Sub"));
    ASSERT_EQ(::symlink("..", encoded(sub + QStringLiteral("/up")).constData()), 0);
    ASSERT_EQ(
        ::symlink(encoded(sub).constData(), encoded(root + QStringLiteral("/toSub")).constData()),
        0);

    EXPECT_EQ(walkBelow(root), QStringList({"", ".cache/", "Sub/", ".cache/fonts/"}));
    // A link the user names is walked like any folder.
    EXPECT_EQ(walkBelow(root + QStringLiteral("/toSub")), QStringList({""}));
    const QString up = sub + QStringLiteral("/up");
    EXPECT_EQ(walkBelow(up, false), QStringList({"", ".cache/", "Sub/"}));
}

TEST(FolderWalk, LeavesKernelFileSystemsAloneBelowTheRoot) {
    // A turn or two per process folder of /proc; walking into them would go far past it.
    const WalkBound bound(20000);
    FakeDesktop desktop;
    QStringList folders{QStringLiteral("//")};
    GetSubDirectories2016(desktop, folders, false);
    EXPECT_TRUE(folders.contains(QStringLiteral("//tmp/")));
    for (const char *kernel : {"//proc/", "//sys/", "//dev/"}) {
        EXPECT_FALSE(folders.contains(QString::fromLatin1(kernel))) << kernel;
    }
    // The folder the user names is always searched, even a kernel one.
    QStringList proc{QStringLiteral("/proc/")};
    GetSubDirectories2016(desktop, proc, true);
    EXPECT_EQ(proc, QStringList({QStringLiteral("/proc/")}));
    EXPECT_TRUE(desktop.messages.empty());
}

TEST(FolderWalk, UnreadableFoldersAreDroppedAndTheRestIsListed) {
    ScratchFolder scratch;
    const QString root = makeFolder(scratch / QStringLiteral("R"));
    makeFolder(root + QStringLiteral("/a/deep"));
    makeFolder(root + QStringLiteral("/b/inside"));
    makeFolder(root + QStringLiteral("/c/inside"));
    makeFolder(root + QStringLiteral("/d"));
    for (const char *locked : {"/b", "/c"}) {
        ::chmod(encoded(root + QLatin1String(locked)).constData(), 0);
    }
    if (!ownerBitsAreEnforced(root + QStringLiteral("/b"))) {
        for (const char *locked : {"/b", "/c"}) {
            ::chmod(encoded(root + QLatin1String(locked)).constData(), 0700);
        }
        GTEST_SKIP() << "not on this machine: runs as root with the override capabilities; its "
                        "setpriv entry runs it";
    }

    FakeDesktop desktop;
    QStringList below{root + QStringLiteral("/")};
    EXPECT_EQ(GetSubDirectories2016(desktop, below, true), 2) << "b and c are counted";
    EXPECT_EQ(walkBelow(root), QStringList({"", "a/", "d/", "a/deep/"}));
    const QString lockedFile = writeFile(root + QStringLiteral("/a/locked.txt"), "x");
    writeFile(root + QStringLiteral("/a/open.txt"), "x");
    ::chmod(encoded(lockedFile).constData(), 0);
    EXPECT_EQ(ListFilesInFolder(root + QStringLiteral("/a"), QStringLiteral("*.*")),
              QStringList({QString(), QStringLiteral("open.txt")}));
    QStringList named{root + QStringLiteral("/b/"), root + QStringLiteral("/a/")};
    EXPECT_EQ(GetSubDirectories2016(desktop, named, true), 1);
    EXPECT_EQ(named,
              QStringList({root + QStringLiteral("/a/"), root + QStringLiteral("/a/deep/")}));
    for (const char *locked : {"/b", "/c"}) {
        ::chmod(encoded(root + QLatin1String(locked)).constData(), 0700);
    }
}

TEST(FolderWalk, SkipsUnusableNamesWithTheirSubtree) {
    ScratchFolder scratch;
    const QString root = makeFolder(scratch / QStringLiteral("R"));
    const QByteArray base = encoded(root);
    for (const QByteArray &name : {QByteArray("tab\there"), QByteArray("bad\xff\xfe"),
                                   QByteArray("what?"), QByteArray("Q1 \xe2\x80\x93 Q2")}) {
        ASSERT_EQ(::mkdir((base + "/" + name).constData(), 0700), 0);
        ASSERT_EQ(::mkdir((base + "/" + name + "/inner").constData(), 0700), 0);
    }
    writeFile(root + QStringLiteral("/bad file \u0085.txt"), "x");

    const QString dash = QStringLiteral("Q1 \u2013 Q2/");
    EXPECT_EQ(walkBelow(root), QStringList({"", dash, dash + QStringLiteral("inner/")}));

    EXPECT_FALSE(HasUnusableCharacter(QStringLiteral("Caf\u00e9 \u2019s \u65e5\u672c")));
    EXPECT_FALSE(HasUnusableCharacter(QString()));
    for (const QString &name :
         {QStringLiteral("a\u001fb"), QStringLiteral("del\u007f"), QStringLiteral("nel\u0085"),
          QStringLiteral("x\u009f"), QStringLiteral("?"), QFile::decodeName("bad\xff")}) {
        EXPECT_TRUE(HasUnusableCharacter(name)) << name.toStdString();
    }
    // Files are not tested for such names.
    EXPECT_EQ(ListFilesInFolder(root, QStringLiteral("*.txt")).size(), 2);
}

TEST(FolderWalk, GoesDeeperThanTheWindowsPathLimit) {
    ScratchFolder scratch;
    const QString root = makeFolder(scratch / QStringLiteral("R"));
    const QString name(100, QChar(u'n'));
    QString folder = root;
    QStringList expected{QString()};
    while (folder.size() < 1000) {
        folder += QStringLiteral("/") + name;
        expected.append(folder.mid(root.size() + 1) + QStringLiteral("/"));
    }
    makeFolder(folder);

    EXPECT_EQ(walkBelow(root), expected);
}

TEST(ListFiles, CountsFromOneAndHoldsOneEmptyElementWhenNothingMatches) {
    ScratchFolder scratch;
    for (int i = 0; i < 120; ++i) {
        writeFile(scratch / QStringLiteral("f%1.TXT").arg(i, 3, 10, QChar(u'0')), "x");
    }
    writeFile(scratch / QStringLiteral("note.doc"), "x");
    makeFolder(scratch / QStringLiteral("folder.txt"));

    const QStringList texts = ListFilesInFolder(scratch.path(), QStringLiteral("*.txt"));
    ASSERT_EQ(texts.size(), 121);
    EXPECT_EQ(texts.first(), QString());
    EXPECT_EQ(texts.at(1), QStringLiteral("f000.TXT"));
    EXPECT_EQ(texts.last(), QStringLiteral("f119.TXT"));
    EXPECT_EQ(ListFilesInFolder(scratch.path() + QStringLiteral("/"), QStringLiteral("*.*")).size(),
              122);
    EXPECT_EQ(ListFilesInFolder(scratch.path(), QStringLiteral("*.pdf")), QStringList({QString()}));
}

TEST(FolderBrowser, ReturnsThePickedFolderWithoutTrailingSeparator) {
    FakeDesktop desktop;
    desktop.folderAnswers = {QStringLiteral("/data/Work/"), QStringLiteral("/"), QString()};
    EXPECT_EQ(BrowseForFolder(desktop, nullptr, QStringLiteral("Pick:"), QStringLiteral("/start")),
              QStringLiteral("/data/Work"));
    EXPECT_EQ(BrowseForFolder(desktop, nullptr, QStringLiteral("Pick:"), QString()),
              QStringLiteral("/"));
    EXPECT_EQ(BrowseForFolder(desktop, nullptr, QStringLiteral("Pick:"), QString()), QString());
    ASSERT_EQ(desktop.folderRequests.size(), 3u);
    EXPECT_EQ(desktop.folderRequests.front().title, QStringLiteral("Pick:"));
    EXPECT_EQ(desktop.folderRequests.front().startFolder, QStringLiteral("/start"));
}
