#include "util/ResultTable.h"

const QVariant& ResultTable::At(int row, int col) const {
    static const QVariant empty;
    if (row < 0 || col < 0 || col >= m_cols) return empty;
    qsizetype i = qsizetype(row) * m_cols + col;
    if (i >= m_cells.size()) return empty;
    return m_cells[i];
}

void ResultTable::Clear() {
    m_cells.clear();
    m_cols = 0;
}

void ResultTable::SetHeader(const QStringList& names) {
    m_cells.clear();
    m_cols = int(names.size());
    for (const QString& n : names) m_cells.append(n);
}

void ResultTable::TrimIncompleteRow() {
    if (m_cols) m_cells.resize(m_cells.size() - m_cells.size() % m_cols);
}
