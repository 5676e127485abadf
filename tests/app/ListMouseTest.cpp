#include "filelist/FileListModel.h"
#include "support/ListRows.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>

namespace {

// A shown window whose list holds the given rows.
struct ListWindow {
    explicit ListWindow(const QStringList &rows, QString programFolder = PARCHWIPE_BIN_DIR)
        : window(std::move(programFolder)), form(window.load()) {
        for (const QString &row : rows) {
            form.FileList().AddFileRow(row);
        }
        form.show();
    }

    QWidget *rowsArea() const { return form.ListView1->viewport(); }

    QPoint centreOf(int position) const {
        return form.ListView1->visualRect(form.FileList().index(position - 1)).center();
    }

    void press(int position) {
        QTest::mousePress(rowsArea(), Qt::LeftButton, {}, centreOf(position));
    }
    void moveOver(int position) { QTest::mouseMove(rowsArea(), centreOf(position)); }
    void release(int position) {
        QTest::mouseRelease(rowsArea(), Qt::LeftButton, {}, centreOf(position));
    }

    int selectedPosition() const {
        const QModelIndexList selected = form.ListView1->selectionModel()->selectedRows();
        return selected.size() == 1 ? selected.first().row() + 1 : 0;
    }

    // Presses on a row, then carries it with handler calls while the pointer sits at screenY.
    void carryWithPointerAt(int from, int to, int screenY) {
        press(from);
        QCursor::setPos(0, screenY);
        form.ListView1_MouseMove(centreOf(to));
        release(to);
    }

    void pressBelowTheRows() {
        QTest::mousePress(rowsArea(), Qt::LeftButton, {}, QPoint(5, rowsArea()->height() - 3));
    }

    int firstVisibleRow() const {
        const int position = form.ListView1->indexAt(QPoint(1, 1)).row() + 1;
        return isWhollyVisible(position) ? position : position + 1;
    }

    bool isWhollyVisible(int position) const {
        const QRect row = form.ListView1->visualRect(form.FileList().index(position - 1));
        return rowsArea()->rect().contains(row);
    }

    int lastWhollyVisibleRow() const {
        int position = firstVisibleRow();
        while (isWhollyVisible(position + 1)) {
            ++position;
        }
        return position;
    }

    TestWindow window;
    Form1 &form;
};

QStringList numbered(int count) {
    QStringList rows;
    for (int i = 1; i <= count; ++i) {
        rows.append(QStringLiteral("/files/%1.txt").arg(i, 2, 10, QChar(u'0')));
    }
    return rows;
}

}  // namespace

TEST(ListMouse, DraggingARowDownCarriesItPastEachNeighbour) {
    ListWindow list({"a", "b", "c", "d"});
    list.press(2);
    list.moveOver(3);
    list.moveOver(4);
    list.release(4);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"a", "c", "d", "b"}));
    EXPECT_EQ(list.selectedPosition(), 4);

    list.press(4);
    list.moveOver(3);
    list.moveOver(2);
    list.moveOver(1);
    list.release(1);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"b", "a", "c", "d"}));
    EXPECT_EQ(list.selectedPosition(), 1);
}

TEST(ListMouse, TheCarriedRowAndEqualTextsStayPut) {
    ListWindow list({"a", "same", "same", "d"});
    list.press(2);
    list.moveOver(2);
    list.moveOver(3);
    list.release(3);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"a", "same", "same", "d"}));
}

TEST(ListMouse, MovingWithoutAButtonDownNeverReorders) {
    ListWindow list({"a", "b", "c"});
    list.press(1);
    list.release(1);
    for (const int position : {2, 3, 1, 3}) {
        list.moveOver(position);
        list.form.ListView1_MouseMove(list.centreOf(position));
    }
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"a", "b", "c"}));
}

TEST(ListMouse, RowsStayPutWhileTheHourglassShows) {
    ListWindow list({"a", "b", "c"});
    list.form.SetMousePointer(Form1::BusyPointer);
    list.press(1);
    list.moveOver(2);
    list.moveOver(3);
    list.release(3);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"a", "b", "c"}));
}

TEST(ListMouse, PressingAnEmptyPlaceCarriesTheRowClickedLast) {
    ListWindow list({"a", "b", "c"});
    list.press(1);
    list.release(1);
    list.pressBelowTheRows();
    list.moveOver(2);
    list.release(2);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"b", "a", "c"}));
}

TEST(ListMouse, TheCarriedRowIsFollowedWhenRowsGoAndLetGoWithItsOwn) {
    ListWindow list({"a", "b", "c", "d"});
    list.press(3);
    list.release(3);
    list.form.FileList().RemoveRow(1);
    list.pressBelowTheRows();
    list.moveOver(1);
    list.release(1);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"c", "b", "d"}));

    list.form.FileList().RemoveRow(1);
    list.pressBelowTheRows();
    list.moveOver(1);
    list.release(1);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"b", "d"}));

    list.press(2);
    list.release(2);
    list.form.FileList().RemoveAllRows();
    list.form.FileList().AddFileRow("x");
    list.form.FileList().AddFileRow("y");
    list.pressBelowTheRows();
    list.moveOver(1);
    list.moveOver(2);
    list.release(2);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"x", "y"}));
}

TEST(ListMouse, TheListScrollsOnlyAtTheFixedScreenHeights) {
    ListWindow list(numbered(30));
    QScrollBar *scrollBar = list.form.ListView1->verticalScrollBar();
    scrollBar->setValue(scrollBar->maximum() / 2);
    const int first = list.firstVisibleRow();
    const int last = list.lastWhollyVisibleRow();
    ASSERT_GT(last, first + 2);
    const int middle = scrollBar->value();

    list.carryWithPointerAt(first + 1, first, 330);
    list.carryWithPointerAt(last - 1, last, 330);
    list.carryWithPointerAt(first, first + 1, 300);
    list.carryWithPointerAt(last, last - 1, 370);
    EXPECT_EQ(scrollBar->value(), middle);

    list.carryWithPointerAt(first + 1, first, 300);
    EXPECT_LT(scrollBar->value(), middle);
    EXPECT_TRUE(list.isWhollyVisible(first - 1));

    scrollBar->setValue(middle);
    list.carryWithPointerAt(last - 1, last, 370);
    EXPECT_GT(scrollBar->value(), middle);
    EXPECT_TRUE(list.isWhollyVisible(last + 1));
}

TEST(ListMouse, TheFirstAndLastRowRevealNothingBeyondThemselves) {
    ListWindow list({"a", "b", "c"});
    list.carryWithPointerAt(2, 1, 100);
    list.carryWithPointerAt(2, 3, 700);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"b", "c", "a"}));
    EXPECT_EQ(list.form.ListView1->verticalScrollBar()->value(), 0);
}

TEST(ListMouse, TheDragPictureShowsFromTheClickUntilTheRelease) {
    ListWindow list({"a", "b"});
    list.press(1);
    EXPECT_EQ(list.rowsArea()->cursor().shape(), Qt::BitmapCursor);
    list.moveOver(2);
    list.release(2);
    EXPECT_EQ(list.rowsArea()->cursor().shape(), Qt::ArrowCursor);
}

TEST(ListMouse, WithoutTheDragPictureRowsStillMove) {
    ScratchFolder emptyProgramFolder;
    ListWindow list({"a", "b"}, emptyProgramFolder.path());
    list.press(1);
    EXPECT_EQ(list.rowsArea()->cursor().shape(), Qt::ArrowCursor);
    list.moveOver(2);
    list.release(2);
    EXPECT_EQ(rowsOf(list.form.FileList()), QStringList({"b", "a"}));
    EXPECT_TRUE(list.window.desktop.messages.empty());
}

TEST(ListMouse, MovingOverTheListTakesBackTheHandButNotTheHourglass) {
    ListWindow list({"a"});
    list.form.SetMousePointer(Form1::CustomPointer);
    list.moveOver(1);
    EXPECT_EQ(list.form.MousePointer(), Form1::DefaultPointer);
    list.form.SetMousePointer(Form1::BusyPointer);
    list.moveOver(1);
    EXPECT_EQ(list.form.MousePointer(), Form1::BusyPointer);
}

TEST(ListMouse, TheCarriedRowStaysSelectedWhenTheDragScrollsTheList) {
    ListWindow list(numbered(30));
    const int last = list.lastWhollyVisibleRow();
    const QString carried = list.form.FileList().RowText(last - 1);
    list.press(last - 1);
    // Low on the screen every step reveals the next row, which scrolls the rows under the pointer.
    QCursor::setPos(0, 370);
    for (int step = 0; step < 3; ++step) {
        list.moveOver(list.lastWhollyVisibleRow());
    }
    list.release(list.lastWhollyVisibleRow());
    ASSERT_GT(list.form.ListView1->verticalScrollBar()->value(), 0);
    const int selected = list.selectedPosition();
    EXPECT_EQ(list.form.FileList().RowText(selected), carried);

    QTest::keyClick(list.form.ListView1, Qt::Key_Delete);
    EXPECT_FALSE(rowsOf(list.form.FileList()).contains(carried));
    EXPECT_EQ(list.form.FileList().FileRowCount(), 29);
}
