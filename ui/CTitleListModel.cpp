#include "ui/CTitleListModel.h"

void CTitleListModel::SetRows(ResultTable rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int CTitleListModel::IdAt(int row) const {
    if (row < 0 || row >= m_rows.RowCount()) return 0;
    return int(m_rows.Int(row + 1, 0));
}

int CTitleListModel::RowOf(int id) const {
    for (int r = 1; r <= m_rows.RowCount(); ++r)
        if (m_rows.Int(r, 0) == id) return r - 1;
    return -1;
}

int CTitleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.RowCount();
}

QVariant CTitleListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.RowCount()) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return m_rows.Text(index.row() + 1, 1);
    case Qt::UserRole:
        return IdAt(index.row());
    default:
        return {};
    }
}
