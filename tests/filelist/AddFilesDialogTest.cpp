#include "filelist/AddFilesDialog.h"
#include "filelist/FileListModel.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QPushButton>

namespace {

const QChar Nul(u'\0');

QStringList rowsOf(Form1 &form) {
    QStringList rows;
    for (int position = 1; position <= form.FileList().FileRowCount(); ++position) {
        rows << form.FileList().RowText(position);
    }
    return rows;
}

// Presses "Add File(s)" while the dialog fails; the list must stay empty and show one message.
FakeDesktop::Message pressWhileTheDialogFails(const AppError &error) {
    TestWindow window;
    Form1 &form = window.load();
    window.desktop.openFileError = error;
    form.PushButton4_Click();
    EXPECT_EQ(form.FileList().FileRowCount(), 0);
    EXPECT_EQ(window.desktop.messages.size(), 1u);
    return window.desktop.messages.empty() ? FakeDesktop::Message{} : window.desktop.messages[0];
}

}  // namespace

TEST(AddFilesDialog, ASinglePathStaysAsItIsAndNamesAreJoinedToTheirFolderInOrder) {
    EXPECT_TRUE(AddFilesDialog::PathsFromResult(QString()).isEmpty());
    EXPECT_EQ(AddFilesDialog::PathsFromResult(QStringLiteral("/docs//report.pdf")),
              QStringList{QStringLiteral("/docs//report.pdf")});
    EXPECT_EQ(AddFilesDialog::PathsFromResult(QStringLiteral("/home/ann/Docs") + Nul + "y.doc" +
                                              Nul + "x.doc"),
              QStringList({"/home/ann/Docs/y.doc", "/home/ann/Docs/x.doc"}));
    // The root folder gives a single separator.
    EXPECT_EQ(AddFilesDialog::PathsFromResult(QStringLiteral("/") + Nul + "a.txt" + Nul + "b.txt"),
              QStringList({"/a.txt", "/b.txt"}));
}

TEST(AddFilesButton, AsksForManyFilesOfAnyKindAndListsThemEvenTwice) {
    TestWindow window;
    Form1 &form = window.load();
    const QString listed = QStringLiteral("/docs/a.txt");
    form.FileList().AddFileRow(listed);
    window.desktop.openFileAnswers.push_back(
        QStringLiteral("/docs") + Nul + QStringLiteral("a.txt") + Nul + QStringLiteral("b.txt"));
    form.PushButton4->click();

    ASSERT_EQ(window.desktop.openFileRequests.size(), 1u);
    const OpenFileRequest &request = window.desktop.openFileRequests.front();
    EXPECT_EQ(request.title, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
    EXPECT_EQ(request.filter, QStringLiteral("All Files (*)"));
    EXPECT_TRUE(request.multiSelect);
    EXPECT_EQ(request.resultLimit, 30000);
    EXPECT_EQ(rowsOf(form), QStringList({listed, listed, QStringLiteral("/docs/b.txt")}));
    EXPECT_TRUE(window.desktop.messages.empty());
}

TEST(AddFilesButton, CancelAddsAndShowsNothing) {
    TestWindow window;
    Form1 &form = window.load();
    form.PushButton4_Click();
    EXPECT_EQ(form.FileList().FileRowCount(), 0);
    EXPECT_TRUE(window.desktop.messages.empty());
}

TEST(AddFilesButton, TooManyFilesAreExplainedAndNothingIsAdded) {
    const FakeDesktop::Message shown =
        pressWhileTheDialogFails(AppError(20476, QStringLiteral("Buffer too small")));
    EXPECT_EQ(shown.text, QStringLiteral("You've selected too many files to add.\r\rPlease try "
                                         "adding via the \"Add All\" button."));
    EXPECT_EQ(shown.title, QStringLiteral("Parchwipe"));
    EXPECT_EQ(shown.icon, MessageIcon::None);
    EXPECT_EQ(shown.buttons, MessageButtons::Ok);
}

TEST(AddFilesButton, OtherDialogFailuresGoToTheErrorDialog) {
    const FakeDesktop::Message shown =
        pressWhileTheDialogFails(AppError(5, QStringLiteral("Invalid procedure call")));
    EXPECT_EQ(shown.title, QStringLiteral("Application Error"));
    EXPECT_TRUE(shown.text.startsWith(
        QStringLiteral("Invalid procedure call\r\nin Quillstrip2021/08/31.Form1.PushButton4_Click "
                       "at line 100")));
}
