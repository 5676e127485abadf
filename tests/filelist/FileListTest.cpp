#include "filelist/FileListModel.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <functional>

namespace {

// A shown main window whose list holds the given rows.
struct ListWindow {
    explicit ListWindow(const QStringList &rows) {
        window.load();
        for (const QString &row : rows) {
            list().AddFileRow(row);
        }
        form().show();
        // Shortcuts answer only in the active window.
        form().activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form()));
        form().ListView1->setFocus();
    }

    Form1 &form() { return *window.form; }
    FileListModel &list() { return form().FileList(); }

    QStringList rows() {
        QStringList texts;
        for (int position = 1; position <= list().FileRowCount(); ++position) {
            texts << list().RowText(position);
        }
        return texts;
    }

    void select(int position) { form().ListView1->setCurrentIndex(list().index(position - 1)); }

    void pressKey(Qt::Key key) { QTest::keyClick(form().ListView1, key); }

    // As the system delivers it: a click, then the double-click.
    void doubleClickRow(int position) {
        QWidget *viewport = form().ListView1->viewport();
        const QPoint row = form().ListView1->visualRect(list().index(position - 1)).center();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, row);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, row);
    }

    TestWindow window;
};

const QString A = QStringLiteral("/docs/a.txt");
const QString B = QStringLiteral("/docs/b.pdf");
const QString C = QStringLiteral("/docs/c.jpg");

}  // namespace

TEST(FileList, DeleteRemovesTheSelectedRowAndKeepsTheOthersInOrder) {
    ListWindow window({A, B, C, B});
    window.select(2);
    window.pressKey(Qt::Key_Delete);
    EXPECT_EQ(window.rows(), QStringList({A, C, B}));
}

TEST(FileList, ADoubleClickRemovesTheRowClicked) {
    ListWindow window({A, B, C});
    window.select(1);
    window.doubleClickRow(3);
    EXPECT_EQ(window.rows(), QStringList({A, B}));
}

TEST(FileList, OtherKeysAndARowThatIsCurrentButNotSelectedRemoveNothing) {
    ListWindow window({A, B, C});
    window.pressKey(Qt::Key_Delete);
    window.select(2);
    for (const Qt::Key key : {Qt::Key_Backspace, Qt::Key_Space, Qt::Key_Enter, Qt::Key_X}) {
        window.pressKey(key);
    }
    EXPECT_EQ(window.rows(), QStringList({A, B, C}));

    window.form().ListView1->selectionModel()->clearSelection();
    window.pressKey(Qt::Key_Delete);
    window.form().ListView1_DblClick();
    EXPECT_EQ(window.rows(), QStringList({A, B, C}));
}

TEST(FileList, AnEmptyListIgnoresDeleteDoubleClickAndClearSilently) {
    ListWindow window({});
    window.pressKey(Qt::Key_Delete);
    window.form().ListView1_DblClick();
    window.form().PushButton6->click();
    EXPECT_EQ(window.list().FileRowCount(), 0);
    EXPECT_TRUE(window.window.desktop.messages.empty());
}

TEST(FileList, WhileBusyNothingIsRemovedAndAfterwardsRemovalWorksAgain) {
    ListWindow window({A, B, C});
    window.select(2);
    window.form().SetMousePointer(Form1::BusyPointer);
    window.pressKey(Qt::Key_Delete);
    window.doubleClickRow(2);
    window.form().PushButton6->click();
    EXPECT_EQ(window.rows(), QStringList({A, B, C}));

    window.form().SetMousePointer(Form1::DefaultPointer);
    window.select(2);
    window.pressKey(Qt::Key_Delete);
    EXPECT_EQ(window.rows(), QStringList({A, C}));
    window.form().PushButton6->click();
    EXPECT_EQ(window.list().FileRowCount(), 0);
    EXPECT_TRUE(window.window.desktop.messages.empty());
}

// Shift and Ctrl pick several rows; Delete removes them all, the rest keep their order.
TEST(FileList, DeleteRemovesEveryRowPickedWithShiftAndCtrl) {
    ListWindow window({A, B, C, A, B});
    window.select(2);
    QTest::keyClick(window.form().ListView1, Qt::Key_Down, Qt::ShiftModifier);
    QWidget *viewport = window.form().ListView1->viewport();
    const QPoint fifth = window.form().ListView1->visualRect(window.list().index(4)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, fifth);
    window.form().ListView1_MouseUp();
    window.pressKey(Qt::Key_Delete);
    EXPECT_EQ(window.rows(), QStringList({A, A}));
}

// Ctrl+Z brings a cleared list back, until the list changes again.
TEST(FileList, ClearListCanBeUndoneUntilTheNextChange) {
    const struct {
        const char *name;
        std::function<void(ListWindow &)> between;
        QStringList after;
    } cases[] = {
        {"nothing between", [](ListWindow &) {}, {A, B, C}},
        {"a row added", [](ListWindow &w) { w.list().AddFileRow(B); }, {B}},
        {"undone once already",
         [](ListWindow &w) { QTest::keyClick(w.form().ListView1, Qt::Key_Z, Qt::ControlModifier); },
         {A, B, C}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ListWindow window({A, B, C});
        window.form().PushButton6->click();
        ASSERT_EQ(window.list().FileRowCount(), 0);
        c.between(window);
        QTest::keyClick(window.form().ListView1, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(window.rows(), c.after);
    }
}
