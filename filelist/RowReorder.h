#pragma once

class FileListModel;

// Moving a row of the file list with the mouse: the carried path travels to the row under the
// pointer, and the list reveals a neighbour when the pointer nears fixed screen heights.
namespace RowReorder {

// Screen heights in pixels from the top edge of the screen: above the first the row above the
// pointer's row is revealed, from the second on the row below it.
inline constexpr int RevealAboveBelowHeight = 305;
inline constexpr int RevealBelowFromHeight = 365;

// Carries the path at dragPosition to hitPosition one neighbour at a time, so every row it
// passes moves one place towards where the path came from. Equal texts stay put. Positions are
// 1-based; returns true when anything moved.
bool CarryRow(FileListModel &list, int dragPosition, int hitPosition);

// The 1-based position to make visible after the carried path reached hitPosition with the
// pointer at screenY, or 0 when nothing needs revealing.
int RowToReveal(int hitPosition, int rowCount, int screenY);

}  // namespace RowReorder
