#include "app/SettingNames.h"
#include "filelist/FileListModel.h"
#include "filelist/SampleFiles.h"
#include "support/ListRows.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <unistd.h>

namespace {

const QString Question = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

// A program folder of its own, with the given files in its sample folder.
struct SampleWindow {
    explicit SampleWindow(const QStringList &names) {
        for (const QString &name : names) {
            writeFile(samplePath(name), "sample");
        }
    }

    QString samplePath(const QString &name) const {
        return programFolder / (QStringLiteral("Samples/") + name);
    }

    QString snapshot() { return window.settings.read(SettingNames::Snapshot, "absent"); }

    ScratchFolder programFolder;
    TestWindow window{programFolder.path()};
};

}  // namespace

TEST(SampleFiles, FirstStartRecordsThePathsAndTheButtonListsThem) {
    SampleWindow samples({"c.docx", "a.jpg", "B.pdf"});
    Form1 &form = samples.window.load();
    const QStringList expected = {samples.samplePath("a.jpg"), samples.samplePath("B.pdf"),
                                  samples.samplePath("c.docx")};
    EXPECT_EQ(samples.snapshot(), expected.join('|'));

    form.PushButton7->click();
    EXPECT_EQ(rowsOf(form.FileList()), expected);
    ASSERT_EQ(samples.window.desktop.messages.size(), 1u);
    const FakeDesktop::Message &asked = samples.window.desktop.messages.front();
    EXPECT_EQ(asked.text, Question);
    EXPECT_EQ(asked.title, form.ApplicationTitle());
    EXPECT_EQ(asked.buttons, MessageButtons::YesNo);
    EXPECT_EQ(asked.icon, MessageIcon::None);
    EXPECT_TRUE(samples.window.desktop.openedFolders.empty());
}

TEST(SampleFiles, ASecondPressAddsNothingAndAsksAgainAndYesOpensTheFolder) {
    SampleWindow samples({"a.jpg", "b.pdf"});
    Form1 &form = samples.window.load();
    form.PushButton7_Click();
    samples.window.desktop.messageAnswers = {MessageAnswer::Yes};
    form.PushButton7_Click();
    EXPECT_EQ(form.FileList().FileRowCount(), 2);
    ASSERT_EQ(samples.window.desktop.messages.size(), 2u);
    EXPECT_EQ(samples.window.desktop.messages.back().text, Question);
    EXPECT_EQ(samples.window.desktop.openedFolders,
              std::vector<QString>{samples.programFolder / "Samples/"});
}

TEST(SampleFiles, TheButtonOffersWhatWasRecordedAtStartUpAndStillExists) {
    SampleWindow samples({"a.jpg", "b.pdf", "c.docx"});
    Form1 &form = samples.window.load();
    QFile::remove(samples.samplePath("b.pdf"));
    writeFile(samples.samplePath("later.txt"), "new");
    form.PushButton7_Click();
    EXPECT_EQ(rowsOf(form.FileList()),
              QStringList({samples.samplePath("a.jpg"), samples.samplePath("c.docx")}));
    EXPECT_EQ(samples.window.desktop.messages.size(), 1u);
}

TEST(SampleFiles, OnlyAnExactlyEqualRowKeepsASampleOut) {
    SampleWindow samples({"a.jpg", "b.pdf"});
    Form1 &form = samples.window.load();
    const QString a = samples.samplePath("a.jpg");
    const QString b = samples.samplePath("b.pdf");
    form.FileList().AddFileRow(a);
    form.FileList().AddFileRow(b.toUpper());
    form.PushButton7_Click();
    EXPECT_EQ(rowsOf(form.FileList()), QStringList({a, b.toUpper(), b}));
}

TEST(SampleFiles, HiddenFilesCountAndSubFoldersDoNot) {
    SampleWindow samples({".hidden.txt", "a.jpg", "more/inner.pdf"});
    samples.window.load();
    EXPECT_EQ(samples.snapshot(),
              samples.samplePath(".hidden.txt") + '|' + samples.samplePath("a.jpg"));
}

TEST(SampleFiles, NamesHoldingTheSeparatorOrPercentComeBackWhole) {
    SampleWindow samples({"x|y.txt", "100%7C.txt"});
    Form1 &form = samples.window.load();
    form.PushButton7_Click();
    EXPECT_EQ(rowsOf(form.FileList()),
              QStringList({samples.samplePath("100%7C.txt"), samples.samplePath("x|y.txt")}));
}

TEST(SampleFiles, AnEmptyOrMissingFolderRecordsTheEmptyTextAndTheQuestionIsStillAsked) {
    for (const bool folderExists : {true, false}) {
        SampleWindow samples({});
        if (folderExists) {
            makeFolder(samples.programFolder / "Samples");
        }
        Form1 &form = samples.window.load();
        EXPECT_EQ(samples.snapshot(), QString());

        samples.window.desktop.messageAnswers = {MessageAnswer::Yes};
        form.PushButton7_Click();
        EXPECT_EQ(form.FileList().FileRowCount(), 0);
        ASSERT_EQ(samples.window.desktop.messages.size(), 1u);
        EXPECT_EQ(samples.window.desktop.messages.front().text, Question);
        EXPECT_EQ(samples.window.desktop.openedFolders.size(), 1u);
    }
}

TEST(SampleFiles, AStoredListIsNotRecordedAgainButAnEmptyOneIs) {
    SampleWindow samples({"a.jpg"});
    samples.window.settings.write(SettingNames::Snapshot, "/elsewhere/old.jpg");
    samples.window.load();
    EXPECT_EQ(samples.snapshot(), QStringLiteral("/elsewhere/old.jpg"));

    samples.window.settings.write(SettingNames::Snapshot, QString());
    samples.window.load();
    EXPECT_EQ(samples.snapshot(), samples.samplePath("a.jpg"));
}

TEST(SampleFiles, TheProgramFolderShipsSamplesForEveryRoute) {
    const QStringList paths =
        SampleFiles::SnapshotPaths(SampleFiles::Snapshot(QStringLiteral(PARCHWIPE_BIN_DIR)));
    const auto hasExtension = [&paths](const QString &extension) {
        return std::any_of(paths.begin(), paths.end(), [&extension](const QString &path) {
            return path.endsWith(extension, Qt::CaseInsensitive);
        });
    };
    EXPECT_TRUE(hasExtension(".jpg"));
    EXPECT_TRUE(hasExtension(".pdf"));
    EXPECT_TRUE(hasExtension(".docx"));
    EXPECT_GE(paths.size(), 3);
}

TEST(SampleFiles, AnUnreadableSampleFolderIsReportedAndRecordedLater) {
    SampleWindow samples({"a.jpg"});
    const QString folder = samples.programFolder / "Samples";
    QFile::setPermissions(folder, QFileDevice::Permissions());
    if (::access(QFile::encodeName(folder).constData(), R_OK) == 0) {
        QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "not on this machine: this process reads folders of mode 000";
    }
    Form1 &form = samples.window.load();
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(samples.snapshot(), QStringLiteral("absent"));
    ASSERT_FALSE(samples.window.desktop.messages.empty());
    EXPECT_TRUE(samples.window.desktop.messages.front().text.contains(
        QStringLiteral("Form1.Form_Load at line 11")));
    EXPECT_EQ(form.Text1->text(), samples.window.desktopLocation + '/');
}
