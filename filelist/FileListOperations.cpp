#include "filelist/FileListOperations.h"

#include "filelist/FileListModel.h"

#include <QItemSelectionModel>

#include <algorithm>

namespace FileListOperations {

void RemoveSelectedRows(FileListModel &list, const QItemSelectionModel &selection, bool busy) {
    if (busy || list.FileRowCount() == 0) {
        return;
    }
    QList<int> rows;
    for (const QModelIndex &selected : selection.selectedRows()) {
        rows << selected.row();
    }
    // From the bottom up, so that each position still names its row.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (const int row : rows) {
        list.RemoveRow(row + 1);
    }
}

QStringList ClearFileList(FileListModel &list, bool busy) {
    if (busy) {
        return {};
    }
    QStringList rows = list.Rows();
    list.RemoveAllRows();
    return rows;
}

}  // namespace FileListOperations
