#pragma once
// The title list's rows (ID, Title) in a form that costs one small cell per row: titles stay
// the bytes they were read as, shared with whoever read them, and become values only when
// someone looks at them. A list of 100,000 titles is then a few allocations, not 100,000.
#include "util/ResultTable.h"

#include <QByteArray>
#include <QList>
#include <QVariant>
#include <vector>

class CTitleRows {
public:
    // How a title is held: NULL, text or blob bytes in the shared bytes, or a value of its own.
    enum Kind : quint8 { Null, Text, Blob, Other };

    int Count() const { return int(m_cells.size()); }
    // The item number of a row; 0 for NULL and outside the rows.
    qint64 Id(int row) const;
    // The cells as Exec gives them; empty outside the rows.
    QVariant IdValue(int row) const;
    QVariant Title(int row) const;
    // The first row of an item number, or -1.
    int RowOf(qint64 id) const;

    // Header "ID", "Title"; unfilled when there are no rows.
    ResultTable ToTable() const;
    // Any table's first two columns.
    static CTitleRows FromTable(const ResultTable& table);

    // Building: the bytes that Text and Blob titles point into, then the rows.
    void SetBytes(const QByteArray& bytes) { m_bytes = bytes; }
    void Reserve(size_t rows) { m_cells.reserve(rows); }
    void Append(bool idNull, qint64 id, Kind kind, quint32 offset = 0, quint32 length = 0);
    void Append(const QVariant& id, const QVariant& title);

private:
    struct Cell {
        qint64 id = 0;
        quint32 offset = 0;  // into m_bytes, or for Other into m_others
        quint32 length = 0;
        bool idNull = false;
        Kind kind = Null;
    };
    std::vector<Cell> m_cells;
    QByteArray m_bytes;
    QList<QVariant> m_others;
};
