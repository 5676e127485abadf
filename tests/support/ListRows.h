#pragma once

#include "filelist/FileListModel.h"

#include <QStringList>

// The list's row texts from first to last.
inline QStringList rowsOf(const FileListModel &list) {
    QStringList rows;
    for (int position = 1; position <= list.FileRowCount(); ++position) {
        rows.append(list.RowText(position));
    }
    return rows;
}
