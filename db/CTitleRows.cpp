#include "db/CTitleRows.h"

#include "util/basText.h"

qint64 CTitleRows::Id(int row) const {
    if (row < 0 || row >= Count()) return 0;
    return m_cells[size_t(row)].id;
}

QVariant CTitleRows::IdValue(int row) const {
    if (row < 0 || row >= Count() || m_cells[size_t(row)].idNull) return {};
    return QVariant(qlonglong(m_cells[size_t(row)].id));
}

QVariant CTitleRows::Title(int row) const {
    if (row < 0 || row >= Count()) return {};
    const Cell& c = m_cells[size_t(row)];
    const QByteArrayView bytes(m_bytes.constData() + c.offset, c.length);
    switch (c.kind) {
    case Text: return QVariant(DecodeUtf8OrCp1252(bytes));
    case Blob: return QVariant(bytes.toByteArray());
    case Other: return m_others.at(c.offset);
    default: return {};
    }
}

int CTitleRows::RowOf(qint64 id) const {
    for (size_t r = 0; r < m_cells.size(); ++r)
        if (!m_cells[r].idNull && m_cells[r].id == id) return int(r);
    return -1;
}

ResultTable CTitleRows::ToTable() const {
    ResultTable data;
    if (m_cells.empty()) return data;
    data.SetHeader({QStringLiteral("ID"), QStringLiteral("Title")});
    data.Reserve(qsizetype(2) * qsizetype(m_cells.size() + 1));
    for (int r = 0; r < Count(); ++r) {
        data.Append(IdValue(r));
        data.Append(Title(r));
    }
    return data;
}

CTitleRows CTitleRows::FromTable(const ResultTable& table) {
    CTitleRows rows;
    rows.Reserve(size_t(table.RowCount()));
    for (int r = 1; r <= table.RowCount(); ++r) rows.Append(table.At(r, 0), table.At(r, 1));
    return rows;
}

void CTitleRows::Append(bool idNull, qint64 id, Kind kind, quint32 offset, quint32 length) {
    m_cells.push_back({idNull ? 0 : id, offset, length, idNull, kind});
}

void CTitleRows::Append(const QVariant& id, const QVariant& title) {
    Cell c;
    c.idNull = !id.isValid();
    c.id = id.toLongLong();
    if (title.isValid()) {
        c.kind = Other;
        c.offset = quint32(m_others.size());
        m_others.append(title);
    }
    m_cells.push_back(c);
}
