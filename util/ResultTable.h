#pragma once
// The whole result of one Exec: row 0 holds the column names, rows 1..N the data.
// A SQL NULL is an invalid (empty) QVariant; a query without rows leaves the table unfilled.
#include <QList>
#include <QString>
#include <QVariant>

class ResultTable {
public:
    // Data rows (the header row not counted).
    int RowCount() const { return m_cols ? int(m_cells.size() / m_cols) - 1 : 0; }
    int ColCount() const { return m_cols; }
    bool IsFilled() const { return RowCount() > 0; }

    // Cell (row, col); row 0 is the header. Out of range gives an empty value.
    const QVariant& At(int row, int col) const;
    const QVariant& operator()(int row, int col) const { return At(row, col); }
    QString Text(int row, int col) const { return At(row, col).toString(); }
    qint64 Int(int row, int col) const { return At(row, col).toLongLong(); }
    double Real(int row, int col) const { return At(row, col).toDouble(); }
    QString Header(int col) const { return At(0, col).toString(); }

    void Clear();
    // Building, as the connection does: header first, then whole rows of ColCount() cells.
    void SetHeader(const QStringList& names);
    void Append(QVariant value) { m_cells.append(std::move(value)); }
    void Reserve(qsizetype cells) { m_cells.reserve(cells); }
    // Drops a row being built that was not completed.
    void TrimIncompleteRow();

private:
    QList<QVariant> m_cells;
    int m_cols = 0;
};
