#include "platform/AppError.h"
#include "platform/FileSystem.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString &path) {
    return QFile::encodeName(path);
}

void setMode(const QString &path, mode_t mode) {
    ::chmod(encoded(path).constData(), mode);
}

int errorNumberOf(const std::function<void()> &call) {
    try {
        call();
    } catch (const AppError &error) {
        return error.number();
    }
    return 0;
}

// Root reads and writes everything; such tests run again without that power (see CMake).
QStringList fileNames(const QString &folder, const QString &pattern) {
    QStringList names;
    for (const FileSystem::FileEntry &file : FileSystem::listReadableFiles(folder, pattern)) {
        names << file.name;
    }
    return names;
}

bool ownerBitsAreEnforced(const QString &folder) {
    return ::access(encoded(folder).constData(), R_OK) != 0;
}

}  // namespace

TEST(FileSystem, AttributeWordsFollowTheWindowsNumbering) {
    ScratchFolder scratch;
    const QString file = writeFile(scratch / QStringLiteral("a.txt"), "x");
    const QString dotfile = writeFile(scratch / QStringLiteral(".profile"), "x");
    const QString readOnly = writeFile(scratch / QStringLiteral("ro.txt"), "x");
    setMode(readOnly, 0444);
    const QString folder = makeFolder(scratch / QStringLiteral("Sub"));
    const QString hiddenFolder = makeFolder(scratch / QStringLiteral(".cache"));
    const QString link = scratch / QStringLiteral("LinkToSub");
    ASSERT_EQ(::symlink(encoded(folder).constData(), encoded(link).constData()), 0);

    EXPECT_EQ(FileSystem::attributeWord(file), 32);
    EXPECT_EQ(FileSystem::attributeWord(dotfile), 34);
    EXPECT_EQ(FileSystem::attributeWord(readOnly), 33);
    EXPECT_EQ(FileSystem::attributeWord(folder), 16);
    EXPECT_EQ(FileSystem::attributeWord(folder + QStringLiteral("/")), 16);
    EXPECT_EQ(FileSystem::attributeWord(hiddenFolder), 18);
    EXPECT_EQ(FileSystem::attributeWord(link), 1046);
    EXPECT_EQ(FileSystem::attributeWord(link + QStringLiteral("/")), 1046);
    EXPECT_EQ(FileSystem::attributeWord(QStringLiteral("/proc")), 22);
    EXPECT_EQ(FileSystem::attributeWord(QStringLiteral("/sys")), 22);
    EXPECT_EQ(FileSystem::attributeWord(QStringLiteral("/")), 16);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::attributeWord(scratch / QStringLiteral("no")); }),
              53);
}

TEST(FileSystem, ListingsAreSortedLikeWindowsAndMatchWildcardsWithoutCase) {
    ScratchFolder scratch;
    for (const char *name :
         {"b.TXT", "B.txt", "a.txt", ".hidden.txt", "c.doc", "noext", "x.txtx"}) {
        writeFile(scratch / QString::fromLatin1(name), "x");
    }
    makeFolder(scratch / QStringLiteral("Zed"));
    makeFolder(scratch / QStringLiteral("alpha"));
    ASSERT_EQ(::symlink("alpha", encoded(scratch / QStringLiteral("link")).constData()), 0);

    EXPECT_EQ(fileNames(scratch.path(), QStringLiteral("*.txt")),
              QStringList({QStringLiteral(".hidden.txt"), QStringLiteral("a.txt"),
                           QStringLiteral("B.txt"), QStringLiteral("b.TXT")}));
    EXPECT_EQ(fileNames(scratch.path(), QStringLiteral("*.*")).size(), 7);
    EXPECT_EQ(
        FileSystem::listSubFolders(scratch.path()),
        QStringList({QStringLiteral("alpha"), QStringLiteral("link"), QStringLiteral("Zed")}));
    EXPECT_TRUE(FileSystem::matchesWildcard(QStringLiteral("noext"), QStringLiteral("*.*")));
    EXPECT_TRUE(
        FileSystem::matchesWildcard(QStringLiteral("IMG_1.JpG"), QStringLiteral("img_?.jpg")));
    EXPECT_FALSE(FileSystem::matchesWildcard(QStringLiteral("a.txt"), QStringLiteral("*.doc")));
    EXPECT_FALSE(FileSystem::matchesWildcard(QStringLiteral("a.txt"), QStringLiteral("*..txt")));
    EXPECT_EQ(
        errorNumberOf([&] { fileNames(scratch / QStringLiteral("gone"), QStringLiteral("*.*")); }),
        76);
}

TEST(FileSystem, UnreadableFolderIsPermissionDenied) {
    ScratchFolder scratch;
    const QString locked = makeFolder(scratch / QStringLiteral("locked"));
    setMode(locked, 0);
    if (!ownerBitsAreEnforced(locked)) {
        setMode(locked, 0700);
        GTEST_SKIP() << "not on this machine: runs as root with the override capabilities; its "
                        "setpriv entry runs it";
    }
    EXPECT_EQ(errorNumberOf([&] { FileSystem::listSubFolders(locked); }), 70);
    setMode(locked, 0700);
}

TEST(FileSystem, CopyCarriesOnlyTheBytesAndNeverLeavesAHalfTarget) {
    ScratchFolder scratch;
    const QString source = writeFile(scratch / QStringLiteral("private.jpg"), "secret bytes");
    setMode(source, 0600);
    const bool tagged = ::setxattr(encoded(source).constData(), "user.xdg.origin.url",
                                   "https://example.org/", 20, 0) == 0;
    const QString target = scratch / QStringLiteral("out.jpg");

    FileSystem::copyFile(source, target);
    EXPECT_EQ(readFile(target), QByteArray("secret bytes"));
    struct stat info {};
    ASSERT_EQ(::stat(encoded(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "a private source must stay private in its copy";
    if (tagged) {
        EXPECT_LT(::getxattr(encoded(target).constData(), "user.xdg.origin.url", nullptr, 0), 0);
    }

    const QString readOnly = writeFile(scratch / QStringLiteral("kept.jpg"), "old");
    setMode(readOnly, 0444);
    EXPECT_EQ(errorNumberOf([&] { FileSystem::copyFile(source, readOnly); }), 70);
    EXPECT_EQ(readFile(readOnly), QByteArray("old"));
    EXPECT_NE(
        errorNumberOf([&] { FileSystem::copyFile(scratch / QStringLiteral("none"), target); }), 0);
    EXPECT_EQ(readFile(target), QByteArray("secret bytes"));
    EXPECT_EQ(fileNames(scratch.path(), QStringLiteral("*.parchwipe-*")), QStringList());
}
