#include "app/ApplicationTitle.h"
#include "app/ProgressBarWidget.h"
#include "app/SettingNames.h"
#include "filelist/FileListModel.h"
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

// The list takes the room beyond the designed size: down, and across with every control.
TEST(MainWindow, TheListGrowsWithTheWindowWhoseSizeIsRemembered) {
    const struct {
        QString stored;
        QSize size;
    } cases[] = {
        {QStringLiteral("700x500"), QSize(700, 500)},
        {QStringLiteral("100x100"), QSize(536, 412)},  // never below the designed size
    };
    for (const auto &c : cases) {
        TestWindow window;
        window.settings.write(SettingNames::WindowSize, c.stored);
        Form1 &form = window.load();
        ASSERT_EQ(form.size(), c.size);
        const int wider = c.size.width() - 536;
        const int taller = c.size.height() - 412;
        EXPECT_EQ(form.ListView1->geometry(), QRect(8, 42, 520 + wider, 169 + taller));
        EXPECT_EQ(form.PushButton4->geometry(), QRect(8, 217 + taller, 256 + wider / 2, 27));
        EXPECT_EQ(form.PushButton3->geometry(),
                  QRect(272 + wider / 2, 217 + taller, 256 + wider - wider / 2, 27));
        EXPECT_EQ(form.PushButton1->geometry(), QRect(464 + wider, 20, 40, 23));
        EXPECT_EQ(form.ListView1->header()->sectionSize(0), 467 + wider);
        EXPECT_EQ(form.ProgressBar1->geometry(), QRect(8, 378 + taller, 520 + wider, 27));
        form.resize(600, 450);
        form.Form_Unload();
        EXPECT_EQ(window.settings.read(SettingNames::WindowSize, {}), QStringLiteral("600x450"));
    }
    // The first time it has the designed size; on a 1024x768 screen the list shows fifteen rows.
    TestWindow window;
    Form1 &form = window.load();
    EXPECT_EQ(form.size(), QSize(536, 412));
    form.FileList().AddFileRow(QStringLiteral("/a"));
    form.resize(1024, 740);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_GE(form.ListView1->viewport()->height(), 15 * form.ListView1->sizeHintForRow(0));
}

// At the designed size and beyond it, every control shows whole, apart from the others, in the
// order the user works down the window, and its words fit it.
TEST(MainWindow, ControlsShowWholeInTheirOrder) {
    for (const QString &stored : {QStringLiteral("536x412"), QStringLiteral("700x500")}) {
        TestWindow window;
        window.settings.write(SettingNames::WindowSize, stored);
        Form1 &form = window.load();
        const QList<QPushButton *> buttons = {form.PushButton5, form.PushButton4, form.PushButton3,
                                              form.PushButton6, form.PushButton7, form.PushButton2};
        QList<QWidget *> controls = {form.ListView1, form.Frame1, form.ProgressBar1};
        controls << QList<QWidget *>(buttons.begin(), buttons.end());
        for (QWidget *control : controls) {
            const QRect place = control->geometry();
            EXPECT_TRUE(form.rect().contains(place)) << stored.toStdString();
            for (QWidget *other : controls) {
                EXPECT_TRUE(other == control || !place.intersects(other->geometry()));
            }
            EXPECT_TRUE(control == form.ProgressBar1 ||
                        place.bottom() < form.ProgressBar1->geometry().top());
        }
        for (QWidget *below : QList<QWidget *>{form.PushButton4, form.PushButton3, form.PushButton6,
                                               form.PushButton7, form.Frame1}) {
            EXPECT_LT(form.ListView1->geometry().bottom(), below->geometry().top());
        }
        EXPECT_EQ(form.ProgressBar1->x(), form.ListView1->x());
        EXPECT_EQ(form.ProgressBar1->width(), form.ListView1->width());
        for (QWidget *inner : QList<QWidget *>{form.Text1, form.PushButton1}) {
            EXPECT_EQ(inner->parentWidget(), form.Frame1);
            EXPECT_TRUE(form.Frame1->contentsRect().contains(inner->geometry()));
        }
        EXPECT_FALSE(form.Text1->geometry().intersects(form.PushButton1->geometry()));
        for (QPushButton *button : buttons + QList<QPushButton *>{form.PushButton1}) {
            EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
                << button->text().toStdString();
        }
        EXPECT_GE(form.Frame1->width(),
                  form.Frame1->fontMetrics().horizontalAdvance(form.Frame1->title()));
        const QHeaderView *header = form.ListView1->header();
        EXPECT_LE(header->sectionSize(0), form.ListView1->contentsRect().width());
        EXPECT_GE(header->sectionSize(0),
                  header->fontMetrics().horizontalAdvance(QStringLiteral("File(s)")));
        EXPECT_EQ(form.ProgressBar1->text(), QStringLiteral("Progress Bar"));
        EXPECT_EQ(form.ListView1->model()->headerData(0, Qt::Horizontal).toString(),
                  QStringLiteral("File(s)"));
        EXPECT_TRUE(form.PushButton2->font().bold());
        EXPECT_DOUBLE_EQ(form.PushButton2->font().pointSizeF(), 11.25);
    }
}
