#include "db/basDBBrowse.h"

#include "db/CItemLinks.h"
#include "db/basDB.h"
#include "db/basListTitle.h"
#include "search/CSearch.h"
#include "search/CSearchIndex.h"
#include "util/basVariableTools.h"

#include <sqlite3.h>

namespace {

// Both keep the first engine error in *firstError (when given and still empty).
int countOf(CSQLite& db, const QString& sql, QString* firstError) {
    ResultTable data;
    QString error;
    const int n = db.Exec(sql, data, error, true).toInt();
    if (firstError && firstError->isEmpty()) *firstError = error;
    return n;
}

ResultTable tableOf(CSQLite& db, const QString& sql, QString* firstError = nullptr) {
    ResultTable data;
    QString error;
    db.Exec(sql, data, error);
    if (firstError && firstError->isEmpty()) *firstError = error;
    return data;
}

// Where the lists read titles: the full-text table's content rows, or, while the search index is
// current, its titles table, which holds a row for each of them with its title: a few dense
// pages instead of every item's row.
struct TitleSource {
    const char* table;
    const char* id;
    const char* title;
};

TitleSource titleSource(CSQLite& db) {
    if (CSearchIndex::IsCurrent(db)) return {"tblSearchTitle", "ItemID", "Title"};
    return {"ftsItem_content", "docid", "c0Title"};
}

// The rows of qryItems (one per link, same columns, same NULLs for a link whose item, category
// or language is gone) without going through qryItem: as the right side of a LEFT JOIN that
// view is copied whole, code text and attachments included, for every statement. The title is
// read from the title source, so neither the code text nor the attachment is read; an item
// counts only with both its tblItem and its full-text row.
// Links are the outer loop in rowid order, as with qryItems, so equal sort keys come out in
// the same order. The title is cut to the list's length (ListTitleSql).
QString itemLinks(const TitleSource& from) {
    return QStringLiteral("(SELECT CASE WHEN Content.%1 IS NULL THEN NULL ELSE tblItem.ID END AS ID, "
                          "%2 AS Title, "
                          "CASE WHEN Content.%1 IS NULL THEN NULL ELSE tblItem.FileSize END AS FileSize, "
                          "CASE WHEN Content.%1 IS NULL THEN NULL ELSE tblItem.LastUpdate END AS LastUpdate, "
                          "tblCategory.ID AS CategoryID, tblType.ID AS TypeID "
                          "FROM tblItemCategory "
                          "LEFT JOIN tblCategory ON tblItemCategory.CategoryID = tblCategory.ID "
                          "LEFT JOIN tblType ON tblCategory.TypeID = tblType.ID "
                          "LEFT JOIN tblItem ON tblItemCategory.ItemID = tblItem.ID "
                          "LEFT JOIN %3 AS Content ON Content.%1 = tblItem.ID) ")
        .arg(QLatin1String(from.id), ListTitleSql(QStringLiteral("Content.") + QLatin1String(from.title)),
             QLatin1String(from.table));
}

// The order clause reaches the SQL text as it is, so only the list's own sort keys pass.
QString safeOrder(const QString& orderBy) {
    static const char* const keys[] = {"Title", "LastUpdate DESC", "ID", "FileSize DESC"};
    const QString wanted = orderBy.simplified();
    for (const char* key : keys)
        if (wanted.compare(QLatin1String(key), Qt::CaseInsensitive) == 0) return QLatin1String(key);
    return QStringLiteral("Title");
}

// The items of a category and/or language (-1: any) in the list's order, from the link rows
// above or, throughViews, from the view they stand for.
QString itemsSql(CSQLite& db, bool throughViews, int categoryId, int typeId, const QString& orderBy) {
    QString condition;
    if (categoryId != -1)
        condition = QStringLiteral("(CategoryID = ") + QString::number(categoryId) + QLatin1Char(')');
    if (typeId != -1) {
        if (!condition.isEmpty()) condition += QStringLiteral(" AND ");
        condition += QStringLiteral("(TypeID = ") + QString::number(typeId) + QLatin1Char(')');
    }
    if (!condition.isEmpty()) condition = QStringLiteral("WHERE ") + condition;
    return QStringLiteral("SELECT DISTINCT ID, Title FROM ") +
           (throughViews ? QStringLiteral("qryItems ") : itemLinks(titleSource(db))) + condition + QStringLiteral(" ORDER BY ") +
           safeOrder(orderBy);
}

// Each listed item once (a link and a full-text row), ties in item order; from the views when
// throughViews. The same titles as itemsSql.
QString listedSql(CSQLite& db, bool throughViews, int categoryId, int typeId, const QString& orderBy) {
    const QString order = safeOrder(orderBy);
    if (throughViews) {
        QString sql = QStringLiteral("SELECT DISTINCT ID, Title FROM qryItems WHERE ID IS NOT NULL");
        if (categoryId != -1) sql += QStringLiteral(" AND CategoryID = ") + QString::number(categoryId);
        if (typeId != -1) sql += QStringLiteral(" AND TypeID = ") + QString::number(typeId);
        return sql + QStringLiteral(" ORDER BY ") + order + QStringLiteral(", ID");
    }
    const TitleSource from = titleSource(db);
    QString sql = QStringLiteral("SELECT i.ID, ") + ListTitleSql(QStringLiteral("c.") + QLatin1String(from.title)) +
                  QStringLiteral(" AS Title FROM tblItem AS i JOIN %1 AS c ON c.%2 = i.ID")
                      .arg(QLatin1String(from.table), QLatin1String(from.id)) +
                  QStringLiteral(" WHERE EXISTS (SELECT 1 FROM tblItemCategory AS l ");
    if (categoryId != -1 || typeId != -1) sql += QStringLiteral("JOIN tblCategory AS k ON k.ID = l.CategoryID ");
    if (typeId != -1) sql += QStringLiteral("JOIN tblType AS y ON y.ID = k.TypeID ");
    sql += QStringLiteral("WHERE l.ItemID = i.ID");
    if (categoryId != -1) sql += QStringLiteral(" AND k.ID = ") + QString::number(categoryId);
    if (typeId != -1) sql += QStringLiteral(" AND y.ID = ") + QString::number(typeId);
    return sql + QStringLiteral(") ORDER BY ") + (order == QLatin1String("Title") ? order : QStringLiteral("i.") + order) +
           QStringLiteral(", i.ID");
}

// A file whose full-text table has no content table of its own is read the slow, plain way,
// through the views. (Another program's lock is no reason to try it: that read fails the same
// way.)
bool useViews(CSQLite& db, const QString& error) {
    const int code = db.LastErrorCode();
    return !error.isEmpty() && code != SQLITE_BUSY && code != SQLITE_LOCKED;
}

// The connection's kept composition for the file's present state, read again after any change
// the connection's own change records did not bring in; none inside a transaction (uncommitted
// changes are not counted), for one-shot commands, and for a file that cannot be read that way.
CItemLinks* keptLinks(CSQLite& db) {
    CItemLinks& links = db.KeptLinks();
    const CSQLite::Stamp stamp = db.ChangeStamp();
    if (!stamp.IsValid() || !db.KeepsItemLists()) {
        links.Clear();
        return nullptr;
    }
    if (!links.IsLoaded() || !(links.Stamp() == stamp)) links.Load(db);
    return links.IsLoaded() ? &links : nullptr;
}

}  // namespace

ResultTable LoadTypes(int& count, QString* error) {
    return LoadTypes(StoreDB(), count, error);
}

ResultTable LoadTypes(CSQLite& db, int& count, QString* error) {
    count = 0;
    if (error) error->clear();
    if (!db.IsOpen()) return {};
    if (CItemLinks* links = keptLinks(db)) {
        count = links->ItemCount();
        return links->Types();
    }
    // ID never is NULL, so Count(*) gives the same number without visiting every row.
    count = countOf(db, QStringLiteral("SELECT Count(*) FROM tblItem"), error);
    // qryTypes de-duplicates every (item, language) pair in a temporary table that it then
    // scans again. Reading the links in item order (the primary key's index) makes the
    // de-duplication a run of appends; only the pairs are grouped, and only the few groups meet
    // tblType. Equal names keep ID order, as the view gives them.
    return tableOf(db, QStringLiteral(
        "SELECT tblType.ID, tblType.Name, Items.N AS Count "
        "FROM (SELECT TypeID, Count(*) AS N "
        "FROM (SELECT DISTINCT tblItemCategory.ItemID, tblCategory.TypeID AS TypeID "
        "FROM tblItemCategory "
        "JOIN tblItem ON tblItem.ID = tblItemCategory.ItemID "
        "JOIN tblCategory ON tblItemCategory.CategoryID = tblCategory.ID) "
        "GROUP BY TypeID) AS Items "
        "JOIN tblType ON tblType.ID = Items.TypeID "
        "ORDER BY tblType.Name, tblType.ID"), error);
}

ResultTable LoadCategories(int typeId, int& count, QString* error) {
    return LoadCategories(StoreDB(), typeId, count, error);
}

ResultTable LoadCategories(CSQLite& db, int typeId, int& count, QString* error) {
    count = 0;
    if (error) error->clear();
    if (!db.IsOpen()) return {};
    if (CItemLinks* links = keptLinks(db)) return links->Categories(typeId, &count);
    QString filter;
    QString countSql;
    if (typeId == -1) {
        countSql = QStringLiteral("SELECT Count(*) FROM tblItem");
    } else {
        filter = QStringLiteral("WHERE TypeID = ") + QString::number(typeId) + QLatin1Char(' ');
        // The language's items that exist, each once however many of its categories hold it.
        countSql = QStringLiteral("SELECT Count(DISTINCT ItemID) FROM tblItemCategory WHERE CategoryID IN "
                                  "(SELECT ID FROM tblCategory WHERE TypeID = ") +
                   QString::number(typeId) +
                   QStringLiteral(") AND EXISTS (SELECT 1 FROM tblItem WHERE tblItem.ID = "
                                  "tblItemCategory.ItemID)");
    }
    count = countOf(db, countSql, error);
    // The links are read once and grouped as bare numbers, and only the groups meet tblCategory:
    // joined first, the engine would scan every link once per category of the language, and
    // group rows that carry the names. The third column keeps the header the list has always
    // had. Equal names keep ID order, as the plain grouping gives them.
    const QString links =
        typeId == -1 ? QString()
                     : QStringLiteral("WHERE CategoryID IN (SELECT ID FROM tblCategory WHERE TypeID = ") +
                           QString::number(typeId) + QStringLiteral(") ");
    return tableOf(db, QStringLiteral("SELECT tblCategory.ID, tblCategory.Name, "
                                  "Links.N AS \"Count(tblItemCategory.ItemID)\" ") +
                   QStringLiteral("FROM (SELECT CategoryID, Count(ItemID) AS N FROM tblItemCategory ") +
                   links + QStringLiteral("GROUP BY CategoryID) AS Links ") +
                   QStringLiteral("JOIN tblCategory ON tblCategory.ID = Links.CategoryID ") + filter +
                   QStringLiteral("ORDER BY tblCategory.Name, tblCategory.ID"), error);
}

void KeepItemLists(CSQLite& db, bool keep) { db.SetKeepItemLists(keep); }

ResultTable LoadItems(int categoryId, int typeId, const QString& orderBy, QString* failure) {
    return LoadItems(StoreDB(), categoryId, typeId, orderBy, failure);
}

namespace {

// The rows from the engine: inside a transaction, for one-shot commands, and for a file the
// kept composition cannot read.
ResultTable itemsFromEngine(CSQLite& db, int categoryId, int typeId, const QString& orderBy, QString* failure) {
    QString error;
    ResultTable data = tableOf(db, itemsSql(db, false, categoryId, typeId, orderBy), &error);
    if (useViews(db, error)) {
        error.clear();
        data = tableOf(db, itemsSql(db, true, categoryId, typeId, orderBy), &error);
    }
    if (failure) *failure = error;
    if (data.RowCount() > 0) return data;
    return {};
}

CTitleRows keptItems(CItemLinks& links, CSQLite& db, int categoryId, int typeId, const QString& orderBy) {
    CItemLinks::Order order = CItemLinks::ByTitle;
    CItemLinks::ParseOrder(orderBy, &order);
    return links.Items(db, categoryId, typeId, order);
}

}  // namespace

ResultTable LoadItems(CSQLite& db, int categoryId, int typeId, const QString& orderBy, QString* failure) {
    if (failure) failure->clear();
    if (!db.IsOpen()) return {};
    // Outside a transaction the rows come from the kept composition while the file is unchanged,
    // and from a new one after any commit.
    if (CItemLinks* links = keptLinks(db)) return keptItems(*links, db, categoryId, typeId, orderBy).ToTable();
    return itemsFromEngine(db, categoryId, typeId, orderBy, failure);
}

CTitleRows LoadTitleRows(int categoryId, int typeId, const QString& orderBy, QString* failure) {
    CSQLite& db = StoreDB();
    if (failure) failure->clear();
    if (!db.IsOpen()) return {};
    if (CItemLinks* links = keptLinks(db)) return keptItems(*links, db, categoryId, typeId, orderBy);
    return CTitleRows::FromTable(itemsFromEngine(db, categoryId, typeId, orderBy, failure));
}

namespace {

using StatementMaker = QString (*)(CSQLite&, bool throughViews, int categoryId, int typeId, const QString& orderBy);

// The rows of the statement make gives, through the views when the plain one cannot be made.
bool forEachOf(StatementMaker make, CSQLite& db, int categoryId, int typeId, const QString& orderBy,
               const std::function<bool(const CSQLite::Row&)>& fn, QString* error) {
    bool any = false;
    const auto each = [&](const CSQLite::Row& row) {
        any = true;
        return fn(row);
    };
    QString why;
    bool ok = db.ForEachRow(make(db, false, categoryId, typeId, orderBy), each, &why);
    // The statement fails as it is made, before any row, when the file has no content table.
    if (!ok && !any && useViews(db, why)) {
        why.clear();
        ok = db.ForEachRow(make(db, true, categoryId, typeId, orderBy), each, &why);
    }
    if (error) *error = why;
    return ok;
}

}  // namespace

bool ForEachItem(CSQLite& db, int categoryId, int typeId, const QString& orderBy,
                 const std::function<bool(const CSQLite::Row&)>& fn, QString* error) {
    return forEachOf(itemsSql, db, categoryId, typeId, orderBy, fn, error);
}

bool ForEachListedItem(CSQLite& db, int categoryId, int typeId, const QString& orderBy,
                       const std::function<bool(const CSQLite::Row&)>& fn, QString* error) {
    return forEachOf(listedSql, db, categoryId, typeId, orderBy, fn, error);
}

ResultTable SearchItems(CSQLite& db, const QString& search, int categoryId, int typeId, QString* error,
                        const QString& orderBy, bool* ranked) {
    return CSearch::Run(db, search, categoryId, typeId, orderBy, error, ranked);
}

static int findId(CSQLite& db, const char* table, const QString& name, int typeId, QString* error) {
    QString sql = QStringLiteral("SELECT ID FROM ") + QLatin1String(table) + QStringLiteral(" WHERE Name = ") +
                  CSQLite::RenderValue(name);
    if (typeId != -1) sql += QStringLiteral(" AND TypeID = ") + QString::number(typeId);
    ResultTable t;
    QString why;
    const QVariant id = db.Exec(sql, t, why, true);
    if (error) *error = why;
    if (!why.isEmpty()) return -1;
    return id.isValid() ? id.toInt() : 0;
}

int FindLanguageId(CSQLite& db, const QString& name, QString* error) {
    return findId(db, "tblType", name, -1, error);
}

int FindCategoryId(CSQLite& db, const QString& name, int typeId, QString* error) {
    return findId(db, "tblCategory", name, typeId, error);
}

bool CountStore(CSQLite& db, StoreCounts* counts, QString* error) {
    const std::pair<const char*, qint64*> reads[] = {
        {"PRAGMA user_version", &counts->schema},
        {"SELECT Count(*) FROM tblItem", &counts->items},
        {"SELECT Count(*) FROM tblType", &counts->languages},
        {"SELECT Count(*) FROM tblCategory", &counts->categories},
        {"SELECT Count(*) FROM tblItem WHERE FileBLOB IS NOT NULL", &counts->attachments}};
    for (const auto& [sql, value] : reads) {
        ResultTable t;
        QString why;
        *value = db.Exec(QLatin1String(sql), t, why, true).toLongLong();
        if (!why.isEmpty()) {
            if (error) *error = why;
            return false;
        }
    }
    return true;
}
