#pragma once
// The title list's rows for every filter and sort order, composed from one read of the links,
// categories, languages, items and titles. The engine would join, de-duplicate and sort every
// title again for each list reload; here that is a walk over a kept order. The rows are those
// of the plain statement over the links, cell for cell and in the same order, ties included.
#include "db/CSQLite.h"
#include "util/ResultTable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>
#include <array>
#include <vector>

class CItemLinks {
public:
    // The sort keys the title list offers, as ORDER BY clauses.
    enum Order { ByTitle, ByLastUpdateDesc, ById, ByFileSizeDesc, OrderCount };
    static bool ParseOrder(const QString& orderBy, Order* order);

    // Reads the file in one read transaction. False (and empty) when a table cannot be read,
    // a file without the full-text module's content table for one.
    bool Load(CSQLite& db, QString* error = nullptr);
    void Clear();
    bool IsLoaded() const { return m_loaded; }
    // The change stamp the rows were read under.
    CSQLite::Stamp Stamp() const { return m_stamp; }

    // Distinct (ID, Title) of the links of a category and/or language (-1: any), in order;
    // unfilled when none. Reads the file again only for a first sort by modification date.
    ResultTable Items(CSQLite& db, int categoryId, int typeId, Order order);

    // A value with the engine's ordering: NULL < numbers < text < blob; text and blobs by bytes.
    struct Value {
        int cls = 0;  // 0 NULL, 1 number, 2 text, 3 blob
        bool real = false;
        qint64 i = 0;
        double d = 0;
        QByteArray bytes;
        static Value Of(const CSQLite::Row& row, int c);
    };
    static int Compare(const Value& a, const Value& b);

private:
    struct Item {
        QVariant id;     // NULL for the row of links whose item or title is gone
        QVariant title;  // as Exec gives it
        int titleRank = 0;  // place among the titles in the engine's order; equal titles share it
        bool hasTitle = false;
        Value fileSize;
        Value lastUpdate;
    };
    struct Link {
        int item = 0;  // index into m_items; 0 is the NULL row
        bool hasCategory = false;
        bool hasType = false;
        qint64 categoryId = 0;
        qint64 typeId = 0;
    };
    bool LoadLastUpdates(CSQLite& db);
    // Index into m_items of an item number, or -1: a plain array while numbers are dense.
    int IndexOf(qint64 id) const;
    const std::vector<int>& Sorted(CSQLite& db, Order order);

    bool m_loaded = false;
    bool m_haveLastUpdates = false;
    CSQLite::Stamp m_stamp;
    std::vector<Item> m_items;
    std::vector<int> m_denseIndex;
    QHash<qint64, int> m_sparseIndex;
    std::vector<Link> m_links;
    std::array<std::vector<int>, OrderCount> m_sorted;  // link indices per order, filled on demand
};
