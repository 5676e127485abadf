#include "app/ApplicationTitle.h"
#include "app/ProgressBarWidget.h"
#include "app/SettingNames.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

TEST(StartUp, FirstStartShowsAndStoresTheDesktopFolder) {
    TestWindow window;
    Form1 &form = window.load();
    const QString expected = window.desktopLocation + QStringLiteral("/");
    EXPECT_EQ(form.Text1->text(), expected);
    EXPECT_EQ(window.settings.read(SettingNames::OutputFolder, QStringLiteral("absent")), expected);
    EXPECT_TRUE(window.desktop.messages.empty());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Parchwipe"));
    EXPECT_EQ(form.ApplicationTitle(), QStringLiteral("Parchwipe"));
}

TEST(StartUp, AStoredOutputFolderComesBackAsStoredEvenEmptyOrLong) {
    for (const QString &stored : {QString(), QStringLiteral("/%1/").arg(QString(40000, u'd'))}) {
        TestWindow window;
        window.settings.write(SettingNames::OutputFolder, stored);
        EXPECT_EQ(window.load().Text1->text(), stored);
        EXPECT_EQ(window.settings.read(SettingNames::OutputFolder, QString()), stored);
    }
}

TEST(StartUp, AnUnknownDesktopIsReportedAndLeavesBoxAndSettingAlone) {
    TestWindow window;
    window.settings.write(SettingNames::OutputFolder, QStringLiteral("/kept/"));
    window.desktopLocation.clear();
    Form1 &form = window.load();
    EXPECT_EQ(form.Text1->text(), QString());
    EXPECT_EQ(window.settings.read(SettingNames::OutputFolder, QString()),
              QStringLiteral("/kept/"));
    ASSERT_EQ(window.desktop.messages.size(), 1u);
    EXPECT_TRUE(window.desktop.messages.front().text.contains(
        QStringLiteral("in Quillstrip2021/08/31.Form1.Form_Load at line ")));
    EXPECT_EQ(window.desktop.messages.front().title, QStringLiteral("Application Error"));
}

TEST(StartUp, AMissingHandPictureIsSilent) {
    ScratchFolder emptyProgramFolder;
    TestWindow window(emptyProgramFolder.path());
    Form1 &form = window.load();
    EXPECT_TRUE(window.desktop.messages.empty());
    form.SetMousePointer(Form1::CustomPointer);
    EXPECT_EQ(form.MousePointer(), Form1::CustomPointer);
}

TEST(StartUp, TheKeyboardStartsOnTheFileList) {
    TestWindow window;
    Form1 &form = window.load();
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), form.ListView1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(window.desktop.messages.empty()) << "a stray key pressed a button";
}

TEST(StartUp, TabGoesTopToBottomAndReturnPressesTheFocusedButton) {
    TestWindow window;
    Form1 &form = window.load();
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const QList<QWidget *> expected = {form.ListView1,   form.PushButton4, form.PushButton3,
                                       form.PushButton6, form.PushButton7, form.Text1,
                                       form.PushButton1, form.PushButton2, form.PushButton5};
    QList<QWidget *> order = {QApplication::focusWidget()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget();
    }
    EXPECT_EQ(order, expected);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(window.desktop.messages.size(), 1u);
    EXPECT_TRUE(window.desktop.messages[0].text.startsWith(QStringLiteral("Please backup")));
}

TEST(StartUp, TypingStoresEveryChange) {
    TestWindow window;
    Form1 &form = window.load();
    form.Text1->clear();
    for (const QChar c : QStringLiteral("/out")) {
        form.Text1->setText(form.Text1->text() + c);
    }
    EXPECT_EQ(window.settings.read(SettingNames::OutputFolder, QString()), QStringLiteral("/out"));
}

TEST(ApplicationTitle, DropsWholeWordsUntilFortyCharactersAreLeft) {
    EXPECT_EQ(ApplicationTitleFor(QStringLiteral("Parchwipe")), QStringLiteral("Parchwipe"));
    EXPECT_EQ(ApplicationTitleFor(QStringLiteral("Alpha Beta Gamma")),
              QStringLiteral("Alpha Beta"));
    EXPECT_EQ(
        ApplicationTitleFor(QStringLiteral("Parchwipe Metadata Remover For Many Files Batch")),
        QStringLiteral("Parchwipe Metadata Remover For Many"));
}

TEST(MainWindow, ControlsSitWhereTheLayoutPutsThem) {
    TestWindow window;
    Form1 &form = window.load();
    EXPECT_EQ(form.size(), QSize(536, 412));
    EXPECT_EQ(form.ListView1->geometry(), QRect(8, 42, 520, 169));
    EXPECT_EQ(form.PushButton3->geometry(), QRect(272, 217, 256, 27));
    EXPECT_EQ(form.Frame1->geometry(), QRect(8, 282, 520, 53));
    EXPECT_EQ(form.Text1->parentWidget(), form.Frame1);
    EXPECT_EQ(form.PushButton1->geometry(), QRect(464, 20, 40, 23));
    EXPECT_EQ(form.ProgressBar1->geometry(), QRect(8, 378, 520, 27));
    EXPECT_EQ(form.ProgressBar1->text(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(form.ListView1->model()->headerData(0, Qt::Horizontal).toString(),
              QStringLiteral("File(s)"));
    EXPECT_EQ(form.ListView1->header()->sectionSize(0), 467);
    EXPECT_TRUE(form.PushButton2->font().bold());
    EXPECT_DOUBLE_EQ(form.PushButton2->font().pointSizeF(), 11.25);
}
