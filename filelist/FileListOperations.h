#pragma once

#include <QStringList>

class FileListModel;
class QItemSelectionModel;

// How the user empties the list. While the window is busy (a batch or a folder scan reads the
// rows) nothing is removed.
namespace FileListOperations {

// Removes every selected row; does nothing when busy, when the list is empty or when no row is
// selected. The other rows keep their order.
void RemoveSelectedRows(FileListModel &list, const QItemSelectionModel &selection, bool busy);

// Removes every row, without asking, and gives them back so that the clear can be undone; does
// nothing (and gives nothing) when busy.
QStringList ClearFileList(FileListModel &list, bool busy);

}  // namespace FileListOperations
