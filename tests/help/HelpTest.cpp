#include "MakerAddresses.h"
#include "filelist/FileListModel.h"
#include "help/Help.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <map>

TEST(Help, EveryPressShowsTheSameMessageAndNothingElse) {
    TestWindow window;
    Form1 &form = window.load();
    form.FileList().AddFileRow(QStringLiteral("/kept.txt"));
    form.PushButton5->click();
    form.PushButton5->click();

    const QString expected =
        QStringLiteral(
            "Please backup your files before using this software in case you need to "
            "restore them.\r\n\r\nQuestions? Please contact Team Tarnwick at ") +
        QString::fromLatin1(MakerAddresses::ContactPage);
    ASSERT_EQ(window.desktop.messages.size(), 2u);
    for (const FakeDesktop::Message &message : window.desktop.messages) {
        EXPECT_EQ(message.text, expected);
        EXPECT_EQ(message.title, form.ApplicationTitle());
        EXPECT_EQ(message.icon, MessageIcon::None);
        EXPECT_EQ(message.buttons, MessageButtons::Ok);
    }
    EXPECT_EQ(form.FileList().FileRowCount(), 1);
    EXPECT_TRUE(window.desktop.openedAddresses.empty());
}

TEST(Help, OnlyASevenOpensTheHomePageAndStartUpGoesOn) {
    for (const int draw : {1, 6, 7, 8, 100}) {
        TestWindow window;
        window.homePageDraw = draw;
        Form1 &form = window.load();
        const std::vector<QString> expected =
            draw == 7 ? std::vector<QString>{QString::fromLatin1(MakerAddresses::HomePage)}
                      : std::vector<QString>{};
        EXPECT_EQ(window.desktop.openedAddresses, expected) << draw;
        EXPECT_TRUE(window.desktop.messages.empty());
        EXPECT_EQ(form.Text1->text(), window.desktopLocation + '/');
    }
}

// Nobody asked for the visit, so a browser that does not start shows no dialog.
TEST(Help, AHomePageThatCannotBeOpenedIsOnlyLoggedAndStartUpGoesOn) {
    TestWindow window;
    window.homePageDraw = Help::WinningDraw;
    window.desktop.addressOpens = false;
    Form1 &form = window.load();
    EXPECT_EQ(window.desktop.openedAddresses.size(), 1u);
    EXPECT_TRUE(window.desktop.messages.empty());
    EXPECT_EQ(form.Text1->text(), window.desktopLocation + '/');
}

TEST(Help, TheDrawIsOneToAHundredEquallyLikely) {
    constexpr int Seeds = 20000;
    std::map<int, int> counts;
    for (unsigned seed = 0; seed < Seeds; ++seed) {
        ++counts[Help::DrawOneToHundredWithSeed(seed)];
    }
    ASSERT_EQ(counts.size(), 100u);
    EXPECT_EQ(counts.begin()->first, 1);
    EXPECT_EQ(counts.rbegin()->first, 100);
    // About one start in a hundred visits the home page.
    EXPECT_GT(counts[Help::WinningDraw], Seeds / 200);
    EXPECT_LT(counts[Help::WinningDraw], Seeds / 50);
    const int draw = Help::DrawOneToHundred();
    EXPECT_TRUE(draw >= 1 && draw <= 100) << draw;
}
