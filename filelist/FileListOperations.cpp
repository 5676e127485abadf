#include "filelist/FileListOperations.h"

#include "filelist/FileListModel.h"

#include <QItemSelectionModel>

namespace FileListOperations {

void RemoveSelectedRow(FileListModel &list, const QItemSelectionModel &selection, bool busy) {
    if (busy || list.FileRowCount() == 0) {
        return;
    }
    const QModelIndexList selected = selection.selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    list.RemoveRow(selected.first().row() + 1);
}

void ClearFileList(FileListModel &list, bool busy) {
    if (!busy) {
        list.RemoveAllRows();
    }
}

}  // namespace FileListOperations
