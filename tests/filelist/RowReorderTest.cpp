#include "filelist/FileListModel.h"
#include "filelist/RowReorder.h"
#include "support/ListRows.h"

#include <gtest/gtest.h>

namespace {

void fill(FileListModel &list, const QStringList &rows) {
    for (const QString &row : rows) {
        list.AddFileRow(row);
    }
}

}  // namespace

TEST(RowReorder, CarryingToANeighbourSwapsTheTwo) {
    FileListModel list;
    fill(list, {"a", "b", "c", "d"});
    EXPECT_TRUE(RowReorder::CarryRow(list, 2, 3));
    EXPECT_TRUE(RowReorder::CarryRow(list, 3, 4));
    EXPECT_EQ(rowsOf(list), QStringList({"a", "c", "d", "b"}));
    EXPECT_TRUE(RowReorder::CarryRow(list, 4, 3));
    EXPECT_EQ(rowsOf(list), QStringList({"a", "c", "b", "d"}));
}

TEST(RowReorder, ASkippedRowKeepsItsOrder) {
    FileListModel list;
    fill(list, {"a", "b", "c", "d", "e"});
    EXPECT_TRUE(RowReorder::CarryRow(list, 1, 4));
    EXPECT_EQ(rowsOf(list), QStringList({"b", "c", "d", "a", "e"}));
    EXPECT_TRUE(RowReorder::CarryRow(list, 5, 2));
    EXPECT_EQ(rowsOf(list), QStringList({"b", "e", "c", "d", "a"}));
}

TEST(RowReorder, EqualTextsAndPositionsOutsideTheListMoveNothing) {
    FileListModel list;
    fill(list, {"a", "same", "same", "b"});
    EXPECT_FALSE(RowReorder::CarryRow(list, 2, 2));
    EXPECT_FALSE(RowReorder::CarryRow(list, 2, 3));
    EXPECT_FALSE(RowReorder::CarryRow(list, 1, 0));
    EXPECT_FALSE(RowReorder::CarryRow(list, 1, 5));
    EXPECT_FALSE(RowReorder::CarryRow(list, 0, 1));
    EXPECT_EQ(rowsOf(list), QStringList({"a", "same", "same", "b"}));
}

TEST(RowReorder, OnlyTheFixedScreenHeightsRevealANeighbour) {
    using RowReorder::RowToReveal;
    EXPECT_EQ(RowToReveal(5, 10, 300), 4);
    EXPECT_EQ(RowToReveal(5, 10, 304), 4);
    EXPECT_EQ(RowToReveal(5, 10, 305), 0);
    EXPECT_EQ(RowToReveal(5, 10, 330), 0);
    EXPECT_EQ(RowToReveal(5, 10, 364), 0);
    EXPECT_EQ(RowToReveal(5, 10, 365), 6);
    EXPECT_EQ(RowToReveal(5, 10, 370), 6);
    EXPECT_EQ(RowToReveal(5, 10, -20), 4);
}

TEST(RowReorder, NothingIsRevealedBeyondTheFirstOrLastRow) {
    using RowReorder::RowToReveal;
    EXPECT_EQ(RowToReveal(1, 10, 100), 0);
    EXPECT_EQ(RowToReveal(2, 10, 100), 1);
    EXPECT_EQ(RowToReveal(10, 10, 700), 0);
    EXPECT_EQ(RowToReveal(9, 10, 700), 10);
    EXPECT_EQ(RowToReveal(1, 1, 700), 0);
}
