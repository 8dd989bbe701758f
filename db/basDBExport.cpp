#include "db/basDBExport.h"

#include "db/CSQLite.h"

#include <QHash>
#include <algorithm>
#include <limits>
#include <sqlite3.h>
#include <vector>

QString ExportQuery() {
    return QStringLiteral(
        "SELECT qryItem.ID, tblType.Name AS Type, tblCategory.Name AS Category, qryItem.Title, "
        "qryItem.Code, qryItem.File, DateTime(qryItem.LastUpdate) AS ModifyDate "
        "FROM tblItemCategory "
        "LEFT JOIN qryItem ON tblItemCategory.ItemID = qryItem.ID "
        "LEFT JOIN tblCategory ON tblItemCategory.CategoryID = tblCategory.ID "
        "LEFT JOIN tblType ON tblCategory.TypeID = tblType.ID "
        "ORDER BY qryItem.ID, (tblCategory.Name IS NULL OR tblType.Name IS NULL);");
}

qint64 CountItemLinks(CSQLite& db, QString* error) {
    ResultTable t;
    QString why;
    const qint64 n = db.Exec(QStringLiteral("SELECT Count(*) FROM tblItemCategory"), t, why, true).toLongLong();
    if (error) *error = why;
    return n;
}

// The rows of ExportQuery() read from the base tables: the view statement copies every item,
// code text and attachment included, into a temporary table and then sorts whole rows. Here
// only the links are sorted (by item, keeping their order within an item as the engine's sorter
// does), and the items are read once in number order and met with their links. False when a
// table cannot be read the direct way (no content table of the full-text module).
static bool readDirect(CSQLite& db, const ExportRowSink& sink, QString* error, bool* stopped) {
    QHash<qint64, QByteArray> types;
    struct Category {
        qint64 type = 0;
        bool typeUsable = false;
        QByteArray name;
    };
    QHash<qint64, Category> categories;
    struct Link {
        qint64 item;
        qint64 category;
        bool categoryUsable;
        bool resolves = false;
    };
    std::vector<Link> links;
    const auto integer = [](const CSQLite::Row& r, int c, qint64* v) {
        if (r.Type(c) != SQLITE_INTEGER) return false;
        *v = r.Int(c);
        return true;
    };
    if (!db.ForEachRow(QStringLiteral("SELECT ID, Name FROM tblType"),
                       [&](const CSQLite::Row& r) {
                           types.insert(r.Int(0), r.Bytes(1).toByteArray());
                           return true;
                       },
                       error) ||
        !db.ForEachRow(QStringLiteral("SELECT ID, TypeID, Name FROM tblCategory"),
                       [&](const CSQLite::Row& r) {
                           Category c;
                           c.typeUsable = integer(r, 1, &c.type);
                           c.name = r.Bytes(2).toByteArray();
                           categories.insert(r.Int(0), std::move(c));
                           return true;
                       },
                       error) ||
        !db.ForEachRow(QStringLiteral("SELECT ItemID, CategoryID FROM tblItemCategory ORDER BY rowid"),
                       [&](const CSQLite::Row& r) {
                           Link link{0, 0, false, false};
                           // A number the join cannot match stays with the links of no item.
                           if (!integer(r, 0, &link.item)) link.item = std::numeric_limits<qint64>::min();
                           link.categoryUsable = integer(r, 1, &link.category);
                           links.push_back(link);
                           return true;
                       },
                       error))
        return false;
    // An item's first line carries its fields: it goes with its first link whose category and
    // language are there, or an import would find the item under no category and skip it.
    const auto resolves = [&](const Link& link) {
        const auto category = link.categoryUsable ? categories.constFind(link.category) : categories.constEnd();
        return category != categories.constEnd() && category->typeUsable && types.contains(category->type);
    };
    for (Link& link : links) link.resolves = resolves(link);
    std::stable_sort(links.begin(), links.end(), [](const Link& a, const Link& b) {
        return a.item != b.item ? a.item < b.item : a.resolves && !b.resolves;
    });

    // Emits the links before item id (they have no item) and then those of id with its fields;
    // with last, every link left.
    size_t next = 0;
    const auto emitUpTo = [&](bool last, qint64 id, const ExportFields& item) {
        while (next < links.size() && (last || links[next].item <= id)) {
            const Link& link = links[next++];
            const bool matched = !last && link.item == id;
            ExportFields f = matched ? item : ExportFields{};
            const auto category =
                link.categoryUsable ? categories.constFind(link.category) : categories.constEnd();
            if (category != categories.constEnd()) {
                f[kExportCategory] = category->name;
                const auto type = category->typeUsable ? types.constFind(category->type) : types.constEnd();
                if (type != types.constEnd()) f[kExportType] = *type;
            }
            if (!sink(matched, id, f)) {
                *stopped = true;
                return false;
            }
        }
        return true;
    };
    QByteArray idText;
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT tblItem.ID, Content.c0Title, Content.c1Code, Content.c2File, "
                       "DateTime(tblItem.LastUpdate) FROM tblItem "
                       "JOIN ftsItem_content AS Content ON Content.docid = tblItem.ID ORDER BY tblItem.ID"),
        [&](const CSQLite::Row& r) {
            const qint64 id = r.Int(0);
            idText = QByteArray::number(id);
            ExportFields f;
            f[kExportId] = idText;
            f[kExportTitle] = r.Bytes(1);
            f[kExportCode] = r.Bytes(2);
            f[kExportFile] = r.Bytes(3);
            f[kExportModifyDate] = r.Bytes(4);
            return emitUpTo(false, id, f);
        },
        error);
    return ok && emitUpTo(true, 0, ExportFields{});
}

bool ReadExportRows(CSQLite& db, const ExportRowSink& sink, QString* error, bool* stopped) {
    *stopped = false;
    bool any = false;
    const ExportRowSink counted = [&](bool hasId, qint64 id, const ExportFields& f) {
        any = true;
        return sink(hasId, id, f);
    };
    if (readDirect(db, counted, error, stopped)) return true;
    if (*stopped || any) return false;
    // A file whose full-text table keeps no content table: the view, the slow way.
    if (error) error->clear();
    const bool ok = db.ForEachRow(
        ExportQuery(),
        [&](const CSQLite::Row& row) {
            ExportFields f;
            for (int c = 0; c < kExportFieldCount; ++c) f[c] = row.Bytes(c);
            return sink(!row.IsNull(kExportId), row.Int(kExportId), f);
        },
        error);
    *stopped = !ok && (!error || error->isEmpty());
    return ok;
}
