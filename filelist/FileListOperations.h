#pragma once

class FileListModel;
class QItemSelectionModel;

// How the user empties the list. While the window is busy (a batch or a folder scan reads the
// rows) nothing is removed.
namespace FileListOperations {

// Removes the selected row; does nothing when busy, when the list is empty or when no row is
// selected. The other rows keep their order.
void RemoveSelectedRow(FileListModel &list, const QItemSelectionModel &selection, bool busy);

// Removes every row, without asking; does nothing when busy.
void ClearFileList(FileListModel &list, bool busy);

}  // namespace FileListOperations
