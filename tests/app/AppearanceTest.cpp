#include "app/ProgressBarWidget.h"
#include "filelist/FileListModel.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <unistd.h>

namespace {

const QString StyleSheet = QStringLiteral("QPushButton { color: #123456; }");

QColor buttonFace() {
    return QApplication::palette().color(QPalette::Button);
}

QColor background(const QWidget *widget) {
    return widget->palette().color(QPalette::Window);
}

// A shown window; moves go through the window system as the user's pointer would.
struct PointerWindow {
    PointerWindow() : form(window.load()) { form.show(); }

    void moveOver(QWidget *control, QPoint at = QPoint(3, 3)) { QTest::mouseMove(control, at); }
    void moveOverBackground() { QTest::mouseMove(&form, QPoint(2, 2)); }

    TestWindow window;
    Form1 &form;
};

}  // namespace

TEST(Appearance, ASkinFileStylesTheWindowOnButtonFace) {
    ScratchFolder programFolder;
    writeFile(programFolder / "x/o.cjs", StyleSheet.toUtf8());
    TestWindow window(programFolder.path());
    Form1 &form = window.load();
    EXPECT_EQ(form.styleSheet(), StyleSheet);
    EXPECT_EQ(background(&form), buttonFace());
    EXPECT_EQ(background(form.Frame1), buttonFace());
    EXPECT_TRUE(window.desktop.messages.empty());
}

TEST(Appearance, WithoutASkinFileTheWindowStaysWhite) {
    ScratchFolder programFolder;
    makeFolder(programFolder / "x/o.cjs/");
    writeFile(programFolder / "x/O.CJS", StyleSheet.toUtf8());
    for (const QString &folder : {programFolder.path(), programFolder / "x/o.cjs"}) {
        TestWindow window(folder);
        Form1 &form = window.load();
        EXPECT_TRUE(form.styleSheet().isEmpty());
        EXPECT_EQ(background(&form), QColor(Qt::white));
        EXPECT_TRUE(window.desktop.messages.empty());
    }
}

TEST(Appearance, AnUnreadableSkinIsReportedAndStartUpGoesOn) {
    ScratchFolder programFolder;
    const QString skin = writeFile(programFolder / "x/o.cjs", StyleSheet.toUtf8());
    QFile::setPermissions(skin, QFileDevice::Permissions());
    if (::access(QFile::encodeName(skin).constData(), R_OK) == 0) {
        GTEST_SKIP() << "not on this machine: this process reads files of mode 000";
    }
    TestWindow window(programFolder.path());
    Form1 &form = window.load();
    ASSERT_EQ(window.desktop.messages.size(), 1u);
    EXPECT_TRUE(
        window.desktop.messages.front().text.startsWith(QStringLiteral("Permission denied")))
        << window.desktop.messages.front().text.toStdString();
    EXPECT_TRUE(window.desktop.messages.front().text.contains(
        QStringLiteral("in Quillstrip2021/08/31.Form1.Form_Load at line 100")));
    EXPECT_TRUE(form.styleSheet().isEmpty());
    EXPECT_EQ(background(&form), buttonFace());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Parchwipe"));
    EXPECT_EQ(form.Text1->text(), window.desktopLocation + '/');
}

TEST(Appearance, TheHandShowsOverButtonsUntilTheBackgroundFrameOrTextBox) {
    PointerWindow window;
    Form1 &form = window.form;
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);

    window.moveOver(form.PushButton2);
    EXPECT_EQ(form.MousePointer(), Form1::CustomPointer);
    window.moveOver(form.ProgressBar1);
    EXPECT_EQ(form.MousePointer(), Form1::CustomPointer);
    window.moveOverBackground();
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);

    window.moveOver(form.PushButton1);
    EXPECT_EQ(form.MousePointer(), Form1::CustomPointer);
    window.moveOver(form.Text1);
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);

    window.moveOver(form.PushButton7);
    EXPECT_EQ(form.MousePointer(), Form1::CustomPointer);
    window.moveOver(form.Frame1, QPoint(form.Frame1->width() / 2, form.Frame1->height() - 3));
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);
}

TEST(Appearance, TheHourglassStaysWhereverThePointerGoes) {
    PointerWindow window;
    Form1 &form = window.form;
    form.SetMousePointer(Form1::BusyPointer);
    const QList<QWidget *> controls = {form.PushButton5, form.PushButton1, form.Text1, form.Frame1,
                                       form.ProgressBar1};
    for (QWidget *control : controls) {
        window.moveOver(control);
    }
    window.moveOverBackground();
    form.FileList().AddFileRow(QStringLiteral("/a.txt"));
    // The row click's drag picture and the release's arrow wait until the window is not busy.
    QWidget *rows = form.ListView1->viewport();
    QTest::mousePress(rows, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(rows->cursor().shape(), Qt::WaitCursor);
    QTest::mouseRelease(rows, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form.MousePointer(), Form1::BusyPointer);
    for (const QWidget *shown :
         {static_cast<QWidget *>(&form), static_cast<QWidget *>(form.Text1), rows}) {
        EXPECT_EQ(shown->cursor().shape(), Qt::WaitCursor) << shown->metaObject()->className();
    }
}

namespace {

QStringList styleSheetWarnings;

void recordStyleSheetWarning(QtMsgType, const QMessageLogContext &, const QString &message) {
    if (message.contains(QStringLiteral("style sheet"), Qt::CaseInsensitive) ||
        message.contains(QStringLiteral("stylesheet"), Qt::CaseInsensitive)) {
        styleSheetWarnings.append(message);
    }
}

}  // namespace

TEST(Appearance, TheShippedSkinParsesCleanly) {
    TestWindow window;
    styleSheetWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordStyleSheetWarning);
    Form1 &form = window.load();
    form.show();
    QApplication::processEvents();
    qInstallMessageHandler(previous);
    EXPECT_FALSE(form.styleSheet().isEmpty());
    EXPECT_TRUE(styleSheetWarnings.isEmpty()) << styleSheetWarnings.join('\n').toStdString();
}
