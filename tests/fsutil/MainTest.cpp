#include "filelist/FileListModel.h"
#include "fsutil/Main.h"
#include "platform/AppError.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>

using namespace Main;

TEST(PathText, NamesFoldersAndSeparators) {
    EXPECT_EQ(FileNameOf(QStringLiteral("/a/b.jpg")), QStringLiteral("b.jpg"));
    EXPECT_EQ(FileNameOf(QStringLiteral("b.jpg")), QStringLiteral("b.jpg"));
    EXPECT_EQ(FileNameOf(QStringLiteral("/a/")), QString());
    EXPECT_EQ(FolderOf(QStringLiteral("/a/b.jpg")), QStringLiteral("/a/"));
    EXPECT_EQ(FolderOf(QStringLiteral("/b.jpg")), QStringLiteral("/"));
    EXPECT_EQ(FolderOf(QStringLiteral("b.jpg")), QString());

    EXPECT_EQ(NormalizeBackslashes(QString()), QString());
    EXPECT_EQ(NormalizeBackslashes(QStringLiteral("/out//a.jpg")), QStringLiteral("/out/a.jpg"));
    EXPECT_EQ(NormalizeBackslashes(QStringLiteral("/out///a.jpg")), QStringLiteral("/out//a.jpg"));
    EXPECT_EQ(NormalizeBackslashes(QStringLiteral("///srv/x")), QStringLiteral("/srv/x"));
    EXPECT_EQ(NormalizeBackslashes(QStringLiteral("///")), QStringLiteral("/"));

    EXPECT_EQ(JoinPath(QStringLiteral("/"), QStringLiteral("a.txt")), QStringLiteral("/a.txt"));
    EXPECT_EQ(JoinPath(QStringLiteral("/d"), QStringLiteral("a.txt")), QStringLiteral("/d/a.txt"));
}

TEST(FileTests, FoldersFilesAndTheMissing) {
    ScratchFolder scratch;
    const QString file = writeFile(scratch / QStringLiteral(".hidden"), "x");
    const QString folder = makeFolder(scratch / QStringLiteral("Out"));

    EXPECT_TRUE(FolderExists(folder));
    EXPECT_TRUE(FolderExists(folder + QStringLiteral("/")));
    EXPECT_TRUE(FolderExists(QStringLiteral("/")));
    EXPECT_FALSE(FolderExists(file));
    EXPECT_FALSE(FolderExists(QString()));
    EXPECT_TRUE(FileIsPresent(file));
    EXPECT_FALSE(FileIsPresent(folder));
    EXPECT_FALSE(FileIsPresent(scratch / QStringLiteral("missing")));
    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(PathExists(folder));
    EXPECT_FALSE(PathExists(QString()));
}

TEST(QuietCopyAndDelete, CopyNeedsAPresentSourceAndAnExistingTargetFolder) {
    ScratchFolder scratch;
    const QString source = writeFile(scratch / QStringLiteral("x.jpg"), "new");
    CopyFileQuietly(source, scratch / QStringLiteral("Missing/temp.jpg"));
    EXPECT_FALSE(PathExists(scratch / QStringLiteral("Missing")));

    const QString target = writeFile(scratch / QStringLiteral("Out/x.jpg"), "old");
    CopyFileQuietly(source, scratch / QStringLiteral("Out//x.jpg"));
    EXPECT_EQ(readFile(target), QByteArray("new"));

    CopyFileQuietly(QStringLiteral("  "), target);
    CopyFileQuietly(source, scratch / QStringLiteral("Out"));  // a folder, not a file path
    EXPECT_TRUE(FolderExists(scratch / QStringLiteral("Out")));
}

TEST(QuietCopyAndDelete, DeleteRemovesReadOnlyFilesAndIgnoresMissingOnes) {
    ScratchFolder scratch;
    const QString readOnly = writeFile(scratch / QStringLiteral("ro.txt"), "x");
    ::chmod(QFile::encodeName(readOnly).constData(), 0444);
    DeleteFileQuietly(readOnly);
    EXPECT_FALSE(PathExists(readOnly));
    DeleteFileQuietly(scratch / QStringLiteral("never-there"));
}

TEST(DesktopAndTemporaryFolders, AreDerivedAsTheProgramExpects) {
    EXPECT_EQ(GetDesktopFolder(QStringLiteral("/home/ann/Desktop")),
              QStringLiteral("/home/ann/Desktop/"));
    EXPECT_THROW(GetDesktopFolder(QString()), AppError);

    const QByteArray temp = qgetenv("TEMP");
    const QByteArray tmpdir = qgetenv("TMPDIR");
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    // A fresh account without a desktop folder gets its home folder.
    ScratchFolder account;
    qputenv("HOME", QFile::encodeName(account.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(account / QStringLiteral(".config")));
    EXPECT_EQ(PlatformDesktopLocation(), account.path());
    makeFolder(account / QStringLiteral("Desktop"));
    EXPECT_EQ(PlatformDesktopLocation(), account / QStringLiteral("Desktop"));

    qputenv("TEMP", "/var/tmp/");
    EXPECT_EQ(TemporaryFolder(), QStringLiteral("/var/tmp"));
    qputenv("TEMP", "");
    qputenv("TMPDIR", "/scratch");
    EXPECT_EQ(TemporaryFolder(), QStringLiteral("/scratch"));
    qunsetenv("TMPDIR");
    EXPECT_EQ(TemporaryFolder(), QStringLiteral("/tmp"));
    for (const auto &[name, value] :
         {std::pair{"TEMP", temp}, std::pair{"TMPDIR", tmpdir}, std::pair{"HOME", home},
          std::pair{"XDG_CONFIG_HOME", config}}) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
}

TEST(ListContains, ComparesWholeTextsWithLetterCase) {
    FileListModel list;
    list.AddFileRow(QStringLiteral("/s/a.jpg"));
    list.AddFileRow(QStringLiteral("/s/B.pdf"));
    EXPECT_TRUE(ListContains(list, QStringLiteral("/s/B.pdf")));
    EXPECT_FALSE(ListContains(list, QStringLiteral("/s/b.pdf")));
    EXPECT_FALSE(ListContains(list, QStringLiteral("/s/a.jpg ")));
}
