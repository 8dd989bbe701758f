#pragma once
// The title list's entries straight from the store's rows (ID, Title): a new list is one swap
// of the rows, with no object made per title, and a title becomes text only when the view
// asks for it, so 100,000 titles show as fast as a few.
#include "db/CTitleRows.h"

#include <QAbstractListModel>
#include <QSet>

class CTitleListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void SetRows(CTitleRows rows);
    // The item number of an entry, or 0 outside the list.
    int IdAt(int row) const;
    // The entry of an item number, or -1.
    int RowOf(int id) const;

    // Items shown with a warning mark (in conflict after a sync); kept across new rows.
    void SetMarked(QSet<int> ids);

    int rowCount(const QModelIndex& parent = {}) const override;
    // The title as text; Qt::UserRole gives the item number.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    CTitleRows m_rows;
    QSet<int> m_marked;
};
