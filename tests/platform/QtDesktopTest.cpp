#include "filelist/AddFilesDialog.h"
#include "platform/AppError.h"
#include "platform/QtDesktop.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace {

const QChar Nul(u'\0');

// Answers the next modal dialog once it is up, as a user would. A dialog of another kind is
// closed, so that a test never waits on a dialog nobody answers.
template <typename Dialog, typename Answer>
void answerNextDialog(Answer answer) {
    QTimer::singleShot(0, [answer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<Dialog *>(modal)) {
            answer(*dialog);
        } else if (modal != nullptr) {
            ADD_FAILURE() << "an unexpected dialog: " << modal->metaObject()->className();
            modal->close();
        } else {
            ADD_FAILURE() << "no dialog came up";
        }
    });
}

// Opens the real open-file dialog in folder and types the names into it, quoted as the dialog
// wants several names; returns the result text.
QString pickFiles(const QString &folder, const QStringList &typedNames, int resultLimit = 30000) {
    answerNextDialog<QFileDialog>([folder, typedNames](QFileDialog &dialog) {
        dialog.setDirectory(folder);
        dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
            ->setText(typedNames.size() == 1
                          ? typedNames.first()
                          : QStringLiteral("\"%1\"").arg(typedNames.join(QStringLiteral("\" \""))));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    OpenFileRequest request = AddFilesDialog::Request();
    request.resultLimit = resultLimit;
    return QtDesktop().openFileDialog(nullptr, request);
}

}  // namespace

TEST(QtDesktop, TheOpenFileResultNamesExactlyThePickedFiles) {
    ScratchFolder scratch;
    for (const char *name : {"one/a.txt", "one/b.txt", "two/b.txt", "two/deeper/c.txt"}) {
        writeFile(scratch / QString::fromLatin1(name), "x");
    }
    const QString one = scratch / QStringLiteral("one");

    EXPECT_EQ(pickFiles(one, {"a.txt"}), one + "/a.txt");
    EXPECT_EQ(pickFiles(one, {"b.txt", "a.txt"}), one + Nul + "b.txt" + Nul + "a.txt");
    // From several folders: never the first folder's namesake of a file picked elsewhere.
    const QString across =
        pickFiles(scratch.path(), {"one/a.txt", "two/b.txt", "two/deeper/c.txt"});
    EXPECT_EQ(AddFilesDialog::PathsFromResult(across),
              QStringList({one + "/a.txt", scratch / "two/b.txt", scratch / "two/deeper/c.txt"}));

    answerNextDialog<QFileDialog>([](QFileDialog &dialog) { dialog.reject(); });
    EXPECT_EQ(QtDesktop().openFileDialog(nullptr, AddFilesDialog::Request()), QString());
}

TEST(QtDesktop, AResultLongerThanItsLimitIsBufferTooSmall) {
    ScratchFolder scratch;
    writeFile(scratch / QStringLiteral("a.txt"), "x");
    writeFile(scratch / QStringLiteral("b.txt"), "x");
    const int length = pickFiles(scratch.path(), {"a.txt", "b.txt"}).size();

    EXPECT_EQ(pickFiles(scratch.path(), {"a.txt", "b.txt"}, length).size(), length);
    try {
        pickFiles(scratch.path(), {"a.txt", "b.txt"}, length - 1);
        ADD_FAILURE() << "a result one character too long was returned";
    } catch (const AppError &error) {
        EXPECT_EQ(error.number(), ErrorNumber::BufferTooSmall);
    }
}

TEST(QtDesktop, MessageBoxesShowTheirIconButtonsAndLineBreaksAndAnswer) {
    struct Case {
        MessageIcon icon;
        MessageButtons buttons;
        QMessageBox::Icon shownIcon;
        QMessageBox::StandardButtons shownButtons;
        QMessageBox::StandardButton pressed;
        MessageAnswer answer;
    };
    const Case cases[] = {
        {MessageIcon::None, MessageButtons::Ok, QMessageBox::NoIcon, QMessageBox::Ok,
         QMessageBox::Ok, MessageAnswer::Ok},
        {MessageIcon::Warning, MessageButtons::Ok, QMessageBox::Warning, QMessageBox::Ok,
         QMessageBox::Ok, MessageAnswer::Ok},
        {MessageIcon::Question, MessageButtons::YesNo, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::No, MessageAnswer::No},
        {MessageIcon::None, MessageButtons::YesNo, QMessageBox::NoIcon,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, MessageAnswer::Yes},
    };
    for (const Case &c : cases) {
        answerNextDialog<QMessageBox>([&c](QMessageBox &box) {
            EXPECT_EQ(box.icon(), c.shownIcon);
            EXPECT_EQ(box.standardButtons(), c.shownButtons);
            EXPECT_EQ(box.windowTitle(), QStringLiteral("Title"));
            EXPECT_EQ(box.text(), QStringLiteral("one\n\ntwo\nthree"));
            box.button(c.pressed)->click();
        });
        EXPECT_EQ(QtDesktop().messageBox(QStringLiteral("one\r\n\r\ntwo\rthree"),
                                         QStringLiteral("Title"), c.icon, c.buttons),
                  c.answer);
    }
}

// Return presses the default, Escape the escape button; the box shows its icon and, once the
// pointer is over it, may be made larger, its details taking the room.
TEST(QtDesktop, ADetailedMessageAnswersReturnAndEscapeAsToldAndGrows) {
    DetailedMessage question;
    question.text = QStringLiteral("Replace?");
    question.buttons = {QStringLiteral("Replace"), QStringLiteral("Cancel")};
    question.defaultButton = 1;
    question.escapeButton = 1;
    question.icon = MessageIcon::Warning;
    question.detailedText = QStringLiteral("a.txt");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        answerNextDialog<QMessageBox>([key](QMessageBox &box) {
            EXPECT_EQ(box.icon(), QMessageBox::Warning);
            EXPECT_EQ(box.defaultButton()->text(), QStringLiteral("Cancel"));
            for (QAbstractButton *button : box.buttons()) {
                if (button->text().startsWith(QStringLiteral("Show Details"))) {
                    button->click();
                }
            }
            QCoreApplication::processEvents();
            auto *details = box.findChild<QTextEdit *>();
            ASSERT_NE(details, nullptr);
            const QSize before = details->size();
            QEvent enter(QEvent::Enter);
            QCoreApplication::sendEvent(&box, &enter);
            box.resize(box.size() + QSize(200, 200));
            QCoreApplication::processEvents();
            EXPECT_EQ(details->size(), before + QSize(200, 200));
            QTest::keyClick(&box, key);
        });
        EXPECT_EQ(QtDesktop().detailedMessageBox(question), 1);
    }
}

// Under the window's skin and font, a box of four buttons was laid out narrower than their
// captions, which came out cut.
TEST(QtDesktop, ADetailedMessageShowsWholeCaptionsUnderTheSkin) {
    QWidget window;
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(9);
    window.setFont(font);
    window.setStyleSheet(QString::fromUtf8(readFile(QStringLiteral(PARCHWIPE_BIN_DIR "/x/o.cjs"))));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    DetailedMessage closing;
    closing.text = QStringLiteral("34 of 309 files were cleaned into /tmp/out before the stop.");
    closing.buttons = {QStringLiteral("OK"), QStringLiteral("Open Folder"),
                       QStringLiteral("Keep Only the Files Not Cleaned")};
    closing.detailedText = QStringLiteral("a.txt");
    answerNextDialog<QMessageBox>([](QMessageBox &box) {
        QCoreApplication::processEvents();
        for (QAbstractButton *button : box.buttons()) {
            EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
                << button->text().toStdString();
        }
        box.close();
    });
    QtDesktop().detailedMessageBox(closing);
}
