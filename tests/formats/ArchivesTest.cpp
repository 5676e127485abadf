#include "formats/Kinds.h"
#include "formats/archives/Archive.h"
#include "formats/archives/EntryPaths.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

using Formats::ByteFile;

class Archives : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new ScratchFolder;
        runTool(QStringLiteral("python3"),
                {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_archives.py"), folder->path()});
    }
    static void TearDownTestSuite() { delete folder; }

    // A copy of a made archive to clean, under the same name in a folder of its own.
    static QString copyOf(const QString &name) {
        const QString copy = makeFolder(*folder / QStringLiteral("copies")) + "/" + name;
        QFile::remove(copy);
        QFile::copy(*folder / name, copy);
        return copy;
    }
    static const Kinds::Kind &kindOf(const QString &name) {
        const Kinds::Kind *kind = Kinds::forName(name.toStdString());
        return kind ? *kind : *Kinds::forExtension(name.section('.', -1).toStdString());
    }
    static std::string clean(const QString &name) {
        const QString copy = copyOf(name);
        try {
            ByteFile file(copy.toStdString(), ByteFile::Mode::ReadWrite);
            kindOf(name).clean(file, 0);
        } catch (const Formats::Refused &refused) {
            return refused.what();
        }
        return {};
    }
    static std::vector<std::string> findings(const QString &path, const QString &name) {
        ByteFile file(path.toStdString(), ByteFile::Mode::Read);
        std::vector<std::string> names;
        const Formats::Findings found = kindOf(name).check(file, 0);
        for (const Formats::Finding &finding : found.shown()) {
            names.push_back(finding.name);
        }
        return names;
    }

    static ScratchFolder *folder;
};

ScratchFolder *Archives::folder = nullptr;

bool contains(const std::vector<std::string> &names, const std::string &name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

// Every compression comes back in its own format, its entries cleaned, owners and times gone,
// home folders cut from paths and a Mac's folder data left out; files of unknown kinds stay
// byte for byte.
TEST_F(Archives, EveryEntryIsCleanedAndNothingNamesItsOwner) {
    const struct {
        const char *name;
        bool owners;  // whether the format keeps owners
        bool links;   // whether the archive holds the tree's link into the home
        QStringList list, extract;
    } cases[] = {
        {"tree.tar", true, true, {"tar", "-tvf"}, {"tar", "-xOf"}},
        {"tree.tar.gz", true, true, {"tar", "-tvzf"}, {"tar", "-xOzf"}},
        {"tree.tar.bz2", true, true, {"tar", "-tvjf"}, {"tar", "-xOjf"}},
        {"tree.tar.xz", true, true, {"tar", "-tvJf"}, {"tar", "-xOJf"}},
        {"tree.tar.zst", true, true, {"tar", "--zstd", "-tvf"}, {"tar", "--zstd", "-xOf"}},
        {"tree.7z", false, true, {"7z", "l", "-slt"}, {"7z", "x", "-so"}},
        {"tree.zip", false, false, {"unzip", "-l"}, {"unzip", "-p"}},
    };
    for (const auto &c : cases) {
        const QString name = QString::fromLatin1(c.name);
        SCOPED_TRACE(c.name);
        const std::vector<std::string> before = findings(*folder / name, name);
        EXPECT_TRUE(contains(before, "a home folder in an entry's path"));
        EXPECT_EQ(contains(before, "owner names"), c.owners);
        EXPECT_EQ(contains(before, "a home folder in a link's target"), c.links);
        EXPECT_TRUE(std::any_of(before.begin(), before.end(), [](const std::string &finding) {
            return finding.find("in home/anna/Pictures/trip/IMG_1.jpg") != std::string::npos;
        }));
        ASSERT_EQ(clean(name), "");

        const QString cleaned = *folder / QStringLiteral("copies/") + name;
        EXPECT_EQ(findings(cleaned, name), std::vector<std::string>());
        const QString listing =
            QString::fromUtf8(runTool(c.list.first(), c.list.mid(1) + QStringList{cleaned}));
        const QByteArray contents =
            runTool(c.extract.first(), c.extract.mid(1) + QStringList{cleaned});
        EXPECT_TRUE(listing.contains(QStringLiteral("trip/IMG_1.jpg"))) << listing.toStdString();
        EXPECT_FALSE(
            listing.contains(QStringLiteral("home/")) || listing.contains(QStringLiteral("anna")) ||
            listing.contains(QStringLiteral("MACOSX")) || listing.contains(QStringLiteral(".xmp")))
            << listing.toStdString();
        EXPECT_TRUE(contents.contains("plain notes\n"));
        EXPECT_FALSE(contents.contains("Anna Archiver"));
        EXPECT_FALSE(readFile(cleaned).contains("Anna Archiver"));
    }
}

TEST_F(Archives, LockedUnsafeAndDamagedArchivesAreRefusedWithTheirReasons) {
    const struct {
        const char *name;
        const char *reason;
    } cases[] = {
        {"locked.7z", "password-protected archive"}, {"hidden.7z", "password-protected archive"},
        {"climbing.tar", "unsafe path in archive"},  {"rooted.tar", "unsafe path in archive"},
        {"climbing.zip", "unsafe path in archive"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(clean(QString::fromLatin1(c.name)), c.reason) << c.name;
    }
    EXPECT_EQ(clean(QStringLiteral("cut.tar.gz")).rfind("damaged archive: ", 0), 0u);
}

// A home folder goes from the front of a path, as often as one starts it, and the check then
// finds none: the pass cuts what the check reads as a home. Where two files would then meet, the
// archive is refused (an empty row).
TEST(EntryPaths, HomesAreCutUnlessNamesWouldMeet) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"Users/jsmith/Desktop/trip/IMG_1.jpg"}, {"trip/IMG_1.jpg"}},
        {{"home/anna/notes.txt", "home/anna/", "C:/data/x.jpg", "docs/home/y.txt"},
         {"notes.txt", "", "data/x.jpg", "docs/home/y.txt"}},
        {{"home/ann/x.jpg", "home/bob/x.jpg"}, {}},
        {{"Documents and Settings\\Nick\\My Documents\\a.doc"}, {"a.doc"}},
        {{"home/a/trip/", "home/b/trip/", "home/a/x", "home/a/x", "c:y", "home/a/home/b/C:/z",
          "./home/a/v", "home/./a/w", "users/report.pdf", "home"},
         {"trip/", "trip/", "x", "x", "y", "z", "v", "w", "report.pdf", "home"}},
        {{"C:../u"}, {}},
    };
    for (const auto &[paths, expected] : cases) {
        for (const std::string &path : paths) {
            const std::optional<std::string> cut = EntryPaths::withoutHome(path);
            EXPECT_EQ(Archive::startsInAHome(path), cut.has_value()) << path;
            EXPECT_FALSE(Archive::startsInAHome(cut.value_or(path))) << path;
        }
        if (expected.empty()) {
            EXPECT_THROW(EntryPaths::shortened(paths), Formats::Refused) << paths.front();
        } else {
            EXPECT_EQ(EntryPaths::shortened(paths), expected) << paths.front();
        }
    }
}
