#include "app/SettingNames.h"
#include "filelist/FileListModel.h"
#include "support/FileDrag.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QSettings>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <memory>

namespace {

QStringList rowsOf(Form1 &form) {
    QStringList rows;
    for (int position = 1; position <= form.FileList().FileRowCount(); ++position) {
        rows.append(form.FileList().RowText(position));
    }
    return rows;
}

QString setting(TestWindow &window, const QString &name) {
    return window.settings.read(name, QStringLiteral("<absent>"));
}

// a.txt, b.doc and Sub/c.txt, with the files that are never added beside them.
QString makeSampleTree(const ScratchFolder &scratch) {
    const QString root = makeFolder(scratch / QStringLiteral("R"));
    for (const char *name : {"a.txt", "b.doc", "~$report.docx", ".profile", "Sub/c.txt"}) {
        writeFile(root + QStringLiteral("/") + QLatin1String(name), "x");
    }
    return root;
}

// Sends a drag that enters the list and, when it is accepted, drops there.
struct DragResult {
    bool entered;
    Qt::DropAction action;
};
DragResult dragOntoList(Form1 &form, const QMimeData &data,
                        Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction) {
    QWidget *target = form.ListView1->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, possible, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        return {false, Qt::IgnoreAction};
    }
    QDropEvent drop(at, possible, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return {true, drop.dropAction()};
}

}  // namespace

TEST(OutputFolderButton, StoresTheChoiceAndStartsAtTheLastOne) {
    TestWindow window;
    Form1 &form = window.load();
    const QString before = form.Text1->text();

    form.PushButton1_Click();
    EXPECT_EQ(form.Text1->text(), before);
    EXPECT_EQ(setting(window, SettingNames::LastFolderDot), QStringLiteral("<absent>"));

    window.desktop.folderAnswers = {QStringLiteral("/srv/Data/"), QStringLiteral("/")};
    form.PushButton1_Click();
    EXPECT_EQ(form.Text1->text(), QStringLiteral("/srv/Data/"));
    EXPECT_EQ(setting(window, SettingNames::OutputFolder), QStringLiteral("/srv/Data/"));
    EXPECT_EQ(setting(window, SettingNames::LastFolderDot), QStringLiteral("/srv/Data"));

    form.Text1->setText(QStringLiteral("/typed"));
    form.PushButton1_Click();
    EXPECT_EQ(form.Text1->text(), QStringLiteral("/"));
    EXPECT_EQ(setting(window, SettingNames::OutputFolder), QStringLiteral("/"));
    EXPECT_EQ(setting(window, SettingNames::LastFolderDot), QStringLiteral("/"));

    ASSERT_EQ(window.desktop.folderRequests.size(), 3u);
    EXPECT_EQ(window.desktop.folderRequests[0].title, QStringLiteral("Please select folder:"));
    // It starts in the folder the box names, else (a missing one) in the last one picked.
    EXPECT_EQ(window.desktop.folderRequests[0].startFolder, window.desktopLocation);
    EXPECT_EQ(window.desktop.folderRequests[2].startFolder, QStringLiteral("/srv/Data"));
    EXPECT_TRUE(window.desktop.messages.empty());
}

TEST(Settings, LiveUnderTheirOwnNames) {
    TestWindow window;
    Form1 &form = window.load();
    const QString folder = makeFolder(window.scratch / QStringLiteral("R"));
    writeFile(folder + QStringLiteral("/found.pdf"), "x");
    window.desktop.folderAnswers = {folder, folder};
    window.desktop.inputAnswers = {QStringLiteral("pdf")};
    form.PushButton1_Click();
    form.PushButton3_Click();

    const QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                        QStringLiteral("Parchwipe"));
    EXPECT_EQ(raw.childKeys(), QStringList({"Extension", "LastFolder", "LastFolderDot",
                                            "Output Folder", "Snapshot"}));
    EXPECT_EQ(raw.value(QStringLiteral("Output Folder")).toString(), folder + QStringLiteral("/"));
    EXPECT_EQ(raw.value(QStringLiteral("Extension")).toString(), QStringLiteral("pdf"));
}

TEST(AddAllButton, AsksForExtensionThenFolderAndRemembersBoth) {
    TestWindow window;
    Form1 &form = window.load();
    const QString root = makeSampleTree(window.scratch);

    window.desktop.inputAnswers = {QStringLiteral("*")};
    window.desktop.folderAnswers = {root};
    form.PushButton3_Click();
    EXPECT_EQ(rowsOf(form), QStringList({root + "/a.txt", root + "/b.doc", root + "/Sub/c.txt"}));
    ASSERT_EQ(window.desktop.inputRequests.size(), 1u);
    EXPECT_EQ(window.desktop.inputRequests[0].prompt,
              QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                             "files, doc for all doc files, etc.)"));
    EXPECT_EQ(window.desktop.inputRequests[0].title, form.ApplicationTitle());
    EXPECT_EQ(window.desktop.inputRequests[0].defaultText, QStringLiteral("*"));
    EXPECT_EQ(window.desktop.folderRequests[0].title, QStringLiteral("Please select folder:"));
    EXPECT_EQ(window.desktop.folderRequests[0].startFolder, QString());

    window.desktop.inputAnswers = {QStringLiteral("txt")};
    window.desktop.folderAnswers = {root + QStringLiteral("/")};
    form.PushButton3_Click();
    EXPECT_EQ(form.FileList().FileRowCount(), 5);
    EXPECT_EQ(form.FileList().RowText(4), root + "/a.txt");
    EXPECT_EQ(form.FileList().RowText(5), root + "/Sub/c.txt");
    EXPECT_EQ(window.desktop.inputRequests[1].defaultText, QStringLiteral("*"));
    EXPECT_EQ(window.desktop.folderRequests[1].startFolder, root);

    form.PushButton3_Click();  // cancelled at once
    EXPECT_EQ(window.desktop.inputRequests[2].defaultText, QStringLiteral("txt"));
    EXPECT_EQ(setting(window, SettingNames::LastFolder), root);
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);
    EXPECT_TRUE(window.desktop.messages.empty());
}

TEST(AddAllButton, StarAndStarDotStarListEveryFileDotsOrNot) {
    for (const QString &answer : {QStringLiteral("*"), QStringLiteral("*.*")}) {
        TestWindow window;
        Form1 &form = window.load();
        const QString root = makeFolder(window.scratch / QStringLiteral("R"));
        for (const char *name : {"Makefile", "a.txt", "b.tar.gz"}) {
            writeFile(root + QStringLiteral("/") + QLatin1String(name), "x");
        }
        window.desktop.inputAnswers = {answer};
        window.desktop.folderAnswers = {root};
        form.PushButton3_Click();
        EXPECT_EQ(rowsOf(form),
                  QStringList({root + "/a.txt", root + "/b.tar.gz", root + "/Makefile"}))
            << answer.toStdString();
    }
}

TEST(AddAllButton, CancellingEitherQuestionAddsNothing) {
    TestWindow window;
    Form1 &form = window.load();
    window.settings.write(SettingNames::LastFolder, QStringLiteral("/kept"));

    form.PushButton3_Click();
    EXPECT_TRUE(window.desktop.folderRequests.empty());
    EXPECT_EQ(setting(window, SettingNames::Extension), QStringLiteral("<absent>"));

    window.desktop.inputAnswers = {QStringLiteral("pdf")};
    form.PushButton3_Click();
    ASSERT_EQ(window.desktop.folderRequests.size(), 1u);
    EXPECT_EQ(window.desktop.folderRequests[0].startFolder, QStringLiteral("/kept"));
    EXPECT_EQ(setting(window, SettingNames::Extension), QStringLiteral("<absent>"));
    EXPECT_EQ(setting(window, SettingNames::LastFolder), QStringLiteral("/kept"));
    EXPECT_EQ(form.FileList().FileRowCount(), 0);
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);
}

TEST(AddAllButton, ShowsTheBusyPointerWhileScanningAndAlwaysTakesItAway) {
    TestWindow window;
    Form1 &form = window.load();
    const QString root = makeSampleTree(window.scratch);
    QWidget *rows = form.ListView1->viewport();
    int pointerDuringScan = -1;
    QList<Qt::CursorShape> shapesDuringScan;
    QTimer::singleShot(0, &form, [&] {
        pointerDuringScan = form.MousePointer();
        shapesDuringScan = {form.cursor().shape(), form.Text1->cursor().shape(),
                            rows->cursor().shape()};
    });

    window.desktop.inputAnswers = {QStringLiteral("*"), QStringLiteral("*")};
    window.desktop.folderAnswers = {root, window.scratch / QStringLiteral("vanished")};
    form.PushButton3_Click();
    EXPECT_EQ(pointerDuringScan, Form1::BusyPointer);
    EXPECT_EQ(shapesDuringScan, QList<Qt::CursorShape>(3, Qt::WaitCursor));
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);
    EXPECT_EQ(form.Text1->cursor().shape(), Qt::IBeamCursor);
    EXPECT_EQ(rows->cursor().shape(), Qt::ArrowCursor);

    form.PushButton3_Click();
    EXPECT_EQ(form.MousePointer(), Form1::DefaultPointer);
    EXPECT_EQ(form.FileList().FileRowCount(), 3);
    ASSERT_EQ(window.desktop.messages.size(), 2u) << window.desktop.messages[0].text.toStdString();
    EXPECT_TRUE(window.desktop.messages[0].text.contains(
        QStringLiteral("in Quillstrip2021/08/31.Form1.PushButton3_Click at line ")));
    EXPECT_EQ(window.desktop.messages[1].text,
              QStringLiteral("No *.* files were found in ") + window.scratch / "vanished" + ".");
}

TEST(AddAllButton, ReadsExtensionsAsPeopleTypeThem) {
    const struct {
        QString answer;
        QStringList names;  // what is listed, in order
    } cases[] = {
        {QStringLiteral(".txt"), {"a.txt", "Sub/c.txt"}},
        {QStringLiteral("txt doc"), {"a.txt", "b.doc", "Sub/c.txt"}},
        {QStringLiteral("doc, .TXT"), {"a.txt", "b.doc", "Sub/c.txt"}},
        {QStringLiteral(" doc;txt;"), {"a.txt", "b.doc", "Sub/c.txt"}},
        {QStringLiteral("*.doc"), {"b.doc"}},
        {QStringLiteral(".jpg"), {}},
        {QStringLiteral("jpg png"), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answer.toStdString());
        TestWindow window;
        Form1 &form = window.load();
        const QString root = makeSampleTree(window.scratch);
        window.desktop.inputAnswers = {c.answer};
        window.desktop.folderAnswers = {root};
        form.PushButton3_Click();
        QStringList expected;
        for (const QString &name : c.names) {
            expected << root + QStringLiteral("/") + name;
        }
        EXPECT_EQ(rowsOf(form), expected);
        // Only a search that found something becomes the next default.
        EXPECT_EQ(window.settings.read(SettingNames::Extension, QString()),
                  expected.isEmpty() ? QString() : c.answer);
        if (!expected.isEmpty()) {
            EXPECT_TRUE(window.desktop.messages.empty());
            continue;
        }
        ASSERT_EQ(window.desktop.messages.size(), 1u);
        const QString patterns = c.answer == QStringLiteral(".jpg")
                                     ? QStringLiteral("*.jpg")
                                     : QStringLiteral("*.jpg, *.png");
        EXPECT_EQ(window.desktop.messages[0].text,
                  QStringLiteral("No %1 files were found in %2.").arg(patterns, root));
    }
}

TEST(ListDrops, AddFilesAndFoldersAndRefuseOtherData) {
    TestWindow window;
    Form1 &form = window.load();
    const QString root = makeSampleTree(window.scratch);
    const QString tilde = root + QStringLiteral("/~$report.docx");
    const QString a = root + QStringLiteral("/a.txt");

    QMimeData text;
    text.setText(a);
    EXPECT_FALSE(dragOntoList(form, text).entered);
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/a.jpg"))});
    EXPECT_FALSE(dragOntoList(form, web).entered);
    EXPECT_EQ(form.FileList().FileRowCount(), 0);

    // The list only reads the files: a move would have the source delete them.
    EXPECT_FALSE(dragOntoList(form, *fileDrag({a}), Qt::MoveAction).entered);
    EXPECT_EQ(dragOntoList(form, *fileDrag({a}), Qt::MoveAction | Qt::LinkAction).action,
              Qt::LinkAction);
    form.FileList().RemoveAllRows();
    const DragResult files = dragOntoList(form, *fileDrag({tilde, a}));
    EXPECT_TRUE(files.entered);
    EXPECT_EQ(files.action, Qt::CopyAction);
    dragOntoList(form, *fileDrag({a, root + QStringLiteral("/Sub")}));
    EXPECT_EQ(rowsOf(form), QStringList({tilde, a, a, root + "/Sub/c.txt"}));

    dragOntoList(form, *fileDrag({window.scratch / QStringLiteral("gone.txt"), a}));
    EXPECT_EQ(form.FileList().FileRowCount(), 5);
    ASSERT_EQ(window.desktop.messages.size(), 1u);
    EXPECT_TRUE(window.desktop.messages[0].text.contains(
        QStringLiteral("in Quillstrip2021/08/31.Form1.ListView1_OLEDragDrop at line 100")));
}
