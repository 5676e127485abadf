#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The rows of the file list: one path text each, in processing order. Kept in a flat list so
// that appending and reading stay cheap with a hundred thousand rows.
class FileListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setHeader(const QString &header);

    void AddFileRow(const QString &path);
    void AddFileRows(const QStringList &paths);
    const QStringList &Rows() const { return rows_; }
    int FileRowCount() const { return static_cast<int>(rows_.size()); }

    // Positions are 1-based, as the batch and the reordering count rows; a position outside
    // the list reads as empty and changes nothing.
    QString RowText(int position) const;
    void SetRowText(int position, const QString &text);
    void RemoveRow(int position);
    void RemoveAllRows();

  private:
    bool holdsPosition(int position) const;

    QStringList rows_;
    QString header_;
};
