#include "ui/CTitleListModel.h"

void CTitleListModel::SetRows(CTitleRows rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int CTitleListModel::IdAt(int row) const { return int(m_rows.Id(row)); }

int CTitleListModel::RowOf(int id) const { return m_rows.RowOf(id); }

int CTitleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.Count();
}

QVariant CTitleListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.Count()) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return m_rows.Title(index.row()).toString();
    case Qt::UserRole:
        return IdAt(index.row());
    default:
        return {};
    }
}
