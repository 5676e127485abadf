#include "filelist/FileListModel.h"

int FileListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : FileRowCount();
}

QVariant FileListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) {
        return {};
    }
    // The view may cut a long path; its tool tip shows it whole.
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::ToolTipRole) {
        return rows_.at(index.row());
    }
    return {};
}

bool FileListModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (!index.isValid() || role != Qt::EditRole) {
        return false;
    }
    SetRowText(index.row() + 1, value.toString());
    return true;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return header_;
    }
    return {};
}

void FileListModel::setHeader(const QString &header) {
    header_ = header;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, 0);
}

void FileListModel::AddFileRow(const QString &path) {
    const int row = FileRowCount();
    beginInsertRows(QModelIndex(), row, row);
    rows_.append(path);
    endInsertRows();
}

void FileListModel::AddFileRows(const QStringList &paths) {
    if (paths.isEmpty()) {
        return;
    }
    const int first = FileRowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(paths.size()) - 1);
    rows_.append(paths);
    endInsertRows();
}

bool FileListModel::holdsPosition(int position) const {
    return position >= 1 && position <= FileRowCount();
}

QString FileListModel::RowText(int position) const {
    return holdsPosition(position) ? rows_.at(position - 1) : QString();
}

void FileListModel::SetRowText(int position, const QString &text) {
    if (!holdsPosition(position)) {
        return;
    }
    rows_[position - 1] = text;
    const QModelIndex changed = index(position - 1);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
}

void FileListModel::RemoveRow(int position) {
    if (!holdsPosition(position)) {
        return;
    }
    beginRemoveRows(QModelIndex(), position - 1, position - 1);
    rows_.removeAt(position - 1);
    endRemoveRows();
}

void FileListModel::RemoveAllRows() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}
