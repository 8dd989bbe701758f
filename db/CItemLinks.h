#pragma once
// The title list's rows for every filter and sort order, composed from one read of the links,
// categories, languages, items and titles. The engine would join, de-duplicate and sort every
// title again for each list reload; here that is a walk over a kept order. The rows are those
// of the plain statement over the links, cell for cell and in the same order, ties included.
#include "db/CSQLite.h"
#include "db/CTitleRows.h"
#include "util/ResultTable.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
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

    // After this connection's own save or delete of one item, committed while these rows were
    // current and with nothing else changed since: re-reads that item, its links and the
    // languages and categories, instead of everything. False (and cleared) when a read fails.
    bool Refresh(CSQLite& db, qint64 itemId);

    // The rows of tblItem.
    int ItemCount() const { return m_itemCount; }
    // Languages with items (ID, Name, Count), as the browse statement gives them; unfilled when none.
    ResultTable Types() const;
    // Categories with links (ID, Name, link count) of a language or all (-1), as the browse
    // statement gives them; count as that list's total.
    ResultTable Categories(int typeId, int* count) const;

    // Distinct (ID, Title) of the links of a category and/or language (-1: any), in order; the
    // rows share the kept titles' bytes. Reads the file again only for a first sort by
    // modification date.
    CTitleRows Items(CSQLite& db, int categoryId, int typeId, Order order);

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
    // Titles are ranked here rather than by the engine's sorter, which costs three times the
    // read: each key keeps sixteen of its bytes inline, so most comparisons touch no other memory.
    struct TitleKey {
        quint64 prefix = 0;   // bytes 0-7 as one number (while sorted: those of the run's depth)
        quint64 prefix2 = 0;  // bytes 8-15 likewise
        quint32 offset = 0;  // into m_arena, or for a number into m_titleNumbers
        quint32 length = 0;
        int cls = 0;
        int item = 0;
    };
    struct Item {
        bool inTable = true;  // false once deleted: the slot stays, nothing points at it
        bool hasTitle = false;
        quint8 titleCls = 0;  // as TitleKey: the title stays in m_arena or m_titleNumbers
        quint32 titleOffset = 0;
        quint32 titleLength = 0;
        int titleRank = 0;  // place among the titles in the engine's order; equal titles share it
        qint64 id = 0;      // none for the row of links whose item or title is gone (slot 0)
        Value fileSize;
        Value lastUpdate;
    };
    struct Link {
        qint64 rowid = 0;
        bool itemKeyOk = false;  // the stored numbers as the joins compare them
        bool categoryKeyOk = false;
        qint64 itemKey = 0;
        qint64 categoryKey = 0;
        int at = 0;    // index into m_items of a stored item, else 0
        int item = 0;  // the list's row: at when that item has its title, else 0 (the NULL row)
        int category = -1;  // index into m_categories, -1 when that row is gone
    };
    struct Named {
        QVariant id;
        QVariant name;
        qint64 key = 0;
        bool typeUsable = false;  // a category's language number is an integer
        qint64 type = 0;
        bool typeKnown = false;  // ... and that language's row is there
    };
    int CompareTitles(const TitleKey& a, const TitleKey& b) const;
    // Keeps the title read in column c as the item's (its bytes in m_arena, a number in m_titleNumbers).
    void ReadTitle(const CSQLite::Row& r, int c, Item& item);
    TitleKey KeyOf(int item) const;
    void SortTitles();  // m_titleKeys in the engine's order
    void SortTitleRun(TitleKey* first, TitleKey* last);
    void RankTitles();  // m_titleKeys in order: equal titles share a rank, NULL keeps 0
    bool LoadNames(CSQLite& db, QString* error);
    Link MakeLink(const CSQLite::Row& r) const;
    void ResolveCategory(Link& link) const;
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
    std::vector<Link> m_links;  // in rowid order
    std::vector<Named> m_types;       // by name, as the engine orders them
    std::vector<Named> m_categories;  // by name, as the engine orders them
    QHash<qint64, int> m_categoryAt;
    std::vector<int> m_denseCategoryAt;  // the same while category numbers are small
    QHash<qint64, int> m_typeAt;
    std::vector<TitleKey> m_titleKeys;  // in title order
    QByteArray m_arena;                 // the titles' bytes, in its first m_arenaUsed
    qsizetype m_arenaUsed = 0;
    std::vector<Value> m_titleNumbers;  // titles stored as numbers
    int m_itemCount = 0;
    std::array<std::vector<int>, OrderCount> m_sorted;  // link indices per order, filled on demand
};
