#include "ui/CTitleListModel.h"

#include <QApplication>
#include <QStyle>

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
    case Qt::DecorationRole:
        if (!m_marked.isEmpty() && m_marked.contains(IdAt(index.row())))
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        return {};
    default:
        return {};
    }
}

void CTitleListModel::SetMarked(QSet<int> ids) {
    if (ids == m_marked) return;
    m_marked = std::move(ids);
    if (m_rows.Count() > 0) emit dataChanged(index(0), index(m_rows.Count() - 1), {Qt::DecorationRole});
}
