#include "db/basDBItems.h"
#include "db/basMergeText.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "db/basDB.h"
#include "db/basDBCategories.h"
#include "util/basNames.h"
#include "db/basDBItemAttributes.h"
#include "history/CHistoryJournal.h"
#include "util/basVariableTools.h"

#include <QHash>
#include <QStringList>
#include <climits>
#include <optional>

namespace {

// The engine's expression for a time text. Local time is converted to UTC on the way in;
// a UTC text (as exchange files carry it) is taken as it is. The text is a SQL literal,
// so whatever a file holds there can only make the expression NULL.
QString julianDayExpr(const QString& timeText, TimeBase timeBase) {
    return QStringLiteral("JulianDay(") + SqlQuote(timeText) +
           (timeBase == TimeBase::Local ? QStringLiteral(", 'utc')") : QStringLiteral(")"));
}

QString trimSpaces(const QString& text) {
    qsizetype start = 0, end = text.size();
    while (start < end && text[start] == QLatin1Char(' ')) ++start;
    while (end > start && text[end - 1] == QLatin1Char(' ')) --end;
    return text.mid(start, end - start);
}

// The statements of one save or delete: runs them until the first failure and remembers its
// reason.
class Steps {
public:
    explicit Steps(CSQLite& db) : m_db(db) {}
    bool Run(const QString& sql) {
        if (!ok()) return false;
        const QString e = m_db.Run(sql);
        if (!e.isEmpty()) why = e;
        return ok();
    }
    QVariant Value(const QString& sql, int* rows = nullptr) {
        if (!ok()) return {};
        ResultTable data;
        QString e;
        const QVariant count = m_db.Exec(sql, data, e);
        if (!e.isEmpty()) {
            why = e;
            return {};
        }
        if (rows) *rows = count.toInt();
        return data.At(1, 0);
    }
    // Find-or-create through the connection's builder.
    qint64 Id(const QString& table, const QString& field, const QVariantList& pairs,
              const QString& what) {
        if (!ok()) return 0;
        QString engine;
        const QString id = m_db.LookupCreate(table, field, pairs, &engine);
        if (id.isEmpty()) {
            why = QStringLiteral("Unable to store ") + what +
                  (engine.isEmpty() ? QString() : QStringLiteral(": ") + engine);
            return 0;
        }
        return id.toLongLong();
    }
    bool ok() const { return why.isEmpty(); }
    QString why;

private:
    CSQLite& m_db;
};

bool failWith(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

// The time the row holds now (the schema may have stamped its own).
QDateTime storedTime(CSQLite& db, qint64 id) {
    QDateTime when;
    db.ForEachRow(QStringLiteral("SELECT CAST(round((JulianDay(LastUpdate) - 2440587.5) * 86400000.0) AS "
                                 "INTEGER) FROM tblItem WHERE ID = ") +
                      QString::number(id),
                  [&](const CSQLite::Row& r) {
                      if (!r.IsNull(0)) when = QDateTime::fromMSecsSinceEpoch(r.Int(0), Qt::UTC);
                      return false;
                  });
    return when;
}

}  // namespace

namespace {

// The columns of an item as CItem holds it; the time as milliseconds since 1970 (UTC), NULL when
// the stored value is no time.
const char* const kItemColumns =
    "SELECT qryItem.ID, Title, Code, File, FileSize, Length(FileBLOB), "
    "CAST(round((JulianDay(LastUpdate) - 2440587.5) * 86400000.0) AS INTEGER) FROM qryItem ";

// Category names and the language of each item's links, in link order.
const char* const kItemLinks =
    "SELECT tblItemCategory.ItemID, tblCategory.Name, tblType.Name FROM tblItemCategory "
    "LEFT JOIN tblCategory ON tblItemCategory.CategoryID = tblCategory.ID "
    "LEFT JOIN tblType ON tblCategory.TypeID = tblType.ID ";

// As Exec's table gives the value: the texts the editor always showed.
QString text(const CSQLite::Row& r, int c) { return r.Value(c).toString(); }

CItem itemOf(const CSQLite::Row& r) {
    CItem item;
    item.id = int(r.Int(0));
    item.title = text(r, 1);
    item.body = text(r, 2);
    item.fileName = text(r, 3);
    item.fileSize = r.Int(4);
    item.storedSize = r.Int(5);
    if (!r.IsNull(6)) item.lastUpdate = QDateTime::fromMSecsSinceEpoch(r.Int(6), Qt::UTC);
    return item;
}

QString idList(const QList<int>& ids) {
    QString list;
    for (int id : ids) {
        if (!list.isEmpty()) list += QLatin1Char(',');
        list += QString::number(id);
    }
    return list;
}

}  // namespace

bool LoadItemsById(CSQLite& db, const QList<int>& ids, QList<CItem>& items, QString* failure) {
    items.clear();
    if (!db.IsOpen()) return failWith(failure, CSQLite::NoDatabaseText());
    if (ids.isEmpty()) return true;
    const QString where = QStringLiteral(" IN (") + idList(ids) + QLatin1Char(')');
    QHash<int, qsizetype> at;
    QList<CItem> found;
    QString error;
    bool ok = db.ForEachRow(QLatin1String(kItemColumns) + QStringLiteral("WHERE qryItem.ID") + where,
                            [&](const CSQLite::Row& r) {
                                at.insert(int(r.Int(0)), found.size());
                                found << itemOf(r);
                                return true;
                            },
                            &error);
    if (ok)
        ok = db.ForEachRow(QLatin1String(kItemLinks) + QStringLiteral("WHERE tblItemCategory.ItemID") + where,
                           [&](const CSQLite::Row& r) {
                               const auto i = at.constFind(int(r.Int(0)));
                               if (i == at.cend()) return true;
                               CItem& item = found[*i];
                               // A link whose category is gone still counts, as an empty name,
                               // the way the editor always showed it.
                               item.categories << text(r, 1);
                               if (item.language.isEmpty()) item.language = text(r, 2);
                               return true;
                           },
                           &error);
    if (!ok) return failWith(failure, EngineFailureMessage(db, error));
    for (int id : ids)
        if (const auto i = at.constFind(id); i != at.cend()) items << found[*i];
    if (failure) failure->clear();
    return true;
}

bool LoadItem(CSQLite& db, int itemId, CItem& item, QString* failure) {
    QList<CItem> items;
    if (!LoadItemsById(db, {itemId}, items, failure)) return false;
    if (items.isEmpty())
        return failWith(failure, QStringLiteral("Item ") + QString::number(itemId) + QStringLiteral(" does not exist"));
    item = items.first();
    return true;
}

bool LoadItem(CSQLite& db, int itemId, ItemRecord& rec, QString* failure) {
    CItem item;
    if (!LoadItem(db, itemId, item, failure)) return false;
    rec.title = item.title;
    rec.body = item.body;
    rec.fileName = item.fileName;
    rec.fileSize = item.fileSize;
    rec.storedSize = item.storedSize;
    rec.categories = item.CategoriesText();
    rec.lastUpdate = item.lastUpdate.isValid()
                         ? item.lastUpdate.toLocalTime().toString(QStringLiteral("MM/dd/yyyy HH:mm"))
                         : QString();
    return true;
}

QStringList CategoryNames(const QString& categories) {
    QStringList names;
    for (const QString& part : categories.split(QLatin1Char(','))) {
        const QString name = trimSpaces(part);
        if (!name.isEmpty()) names << name;
    }
    return names;
}

int SaveItem(CSQLite& db, CItem& item, const SaveOptions& options, QString* error) {
    if (error) error->clear();
    if (!db.IsOpen()) {
        if (error) *error = CSQLite::NoDatabaseText();
        return 0;
    }
    // An item without a category would be listed nowhere.
    QStringList names;
    for (const QString& name : std::as_const(item.categories))
        if (const QString n = CleanName(name); !n.isEmpty() && !names.contains(n, Qt::CaseInsensitive)) names << n;
    if (names.isEmpty()) {
        if (error) *error = QStringLiteral("The item has no category");
        return 0;
    }
    // One rule for names everywhere: trimmed, never empty.
    const QString language = CleanName(item.language);
    if (language.isEmpty()) {
        if (error) *error = QStringLiteral("The item has no language");
        return 0;
    }
    const QString& title = item.title;
    const QString& body = item.body;
    const MergeDecision& merge = options.merge;
    // Now is taken in UTC: local time read back would be an hour off in the hour that repeats
    // when the clocks go back.
    const QDateTime when = item.lastUpdate.isValid() ? item.lastUpdate.toUTC() : QDateTime::currentDateTimeUtc();
    const QString timeText = options.timeText.isEmpty() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                                        : options.timeText;
    const TimeBase timeBase = options.timeText.isEmpty() ? TimeBase::Utc : options.timeBase;
    Steps w(db);
    // Inside a caller's transaction this is a savepoint: a failed save takes back its own rows
    // (never a tblItem row without its ftsItem row) and leaves the rest to the caller.
    CTransaction unit(db, &w.why);
    if (!unit.IsOpen()) {
        if (error) *error = w.why;
        return 0;
    }
    // Numbers below 1 are no item's (0 is how a failed save reads): store as a new item.
    qint64 n = item.id < 1 ? -1 : item.id;
    const QString jd = julianDayExpr(timeText, timeBase);
    bool merged = false;
    QString mergedBody;

    // The values before, for the change record: an edited item's, or a merged one's below.
    std::optional<CItem> before;
    QString loadError;
    if (n != -1) {
        int rows = 0;
        w.Value(QStringLiteral("SELECT ID FROM tblItem WHERE ID = ") + QString::number(n), &rows);
        if (rows > 0) {
            CItem old;
            if (LoadItem(db, int(n), old, &loadError)) before = old;
            else if (w.ok()) {
                before = CItem();  // no full-text row: a damaged file
                before->id = int(n);
            }
        }
    }
    if (before) {
        const QString id = QString::number(n);
        w.Run(QStringLiteral("UPDATE ftsItem SET Title=") + SqlQuote(title) +
              QStringLiteral(", Code=") + SqlQuote(body) + QStringLiteral(" WHERE ROWID = ") + id);
        // An item that lost its full-text row (a damaged file) gets it back.
        if (w.ok() && db.Changes() == 0)
            w.Run(QStringLiteral("INSERT INTO ftsItem (DOCID, Title, Code) VALUES (") + id +
                  QStringLiteral(", '") + SqlEscape(title) + QStringLiteral("', '") + SqlEscape(body) +
                  QStringLiteral("');"));
        // Writing the value the row already holds would let the update trigger stamp the
        // current time over it (an import over the same items would lose every time).
        w.Run(QStringLiteral("UPDATE tblItem SET LastUpdate=") + jd + QStringLiteral(" WHERE ROWID = ") +
              id + QStringLiteral(" AND LastUpdate IS NOT ") + jd);
    } else {
        if (n == -1 && merge && w.ok()) {
            const int m = IfEmpty(db.LookupField(QStringLiteral("ftsItem"), QStringLiteral("DOCID"),
                                                 {QStringLiteral("Title"), title}),
                                  -1)
                              .toInt();
            if (m >= 1 && merge(m)) {
                n = m;
                merged = true;
                CItem old;
                if (LoadItem(db, m, old, &loadError)) before = old;
                // The joining text goes below the stored one rather than being dropped.
                mergedBody = MergedBody(before ? before->body : QString(), body, when);
                if (before && mergedBody != before->body)
                    w.Run(QStringLiteral("UPDATE ftsItem SET Code=") + SqlQuote(mergedBody) +
                          QStringLiteral(" WHERE ROWID = ") + QString::number(n));
            }
        }
        if (!merged) {
            if (n == -1) {
                if (w.Run(QStringLiteral("INSERT INTO tblItem (LastUpdate) VALUES (") + jd +
                          QLatin1Char(')')))
                    n = db.LastInsertRowID();
                // A full-text row left without its item (another program, a damaged file) holds
                // its number: a new item takes the next number neither table uses.
                if (w.ok() && w.Value(QStringLiteral("SELECT 1 FROM ftsItem WHERE docid = ") + QString::number(n)).isValid()) {
                    w.Run(QStringLiteral("DELETE FROM tblItem WHERE ID = ") + QString::number(n));
                    const qint64 next = w.Value(QStringLiteral(
                        "SELECT Max(Coalesce((SELECT Max(ID) FROM tblItem), 0), (SELECT Max(docid) FROM ftsItem)) + 1"))
                                            .toLongLong();
                    n = next;
                    w.Run(QStringLiteral("INSERT INTO tblItem (ID, LastUpdate) VALUES (") + QString::number(n) +
                          QStringLiteral(", ") + jd + QLatin1Char(')'));
                }
                // Item numbers are 32-bit, but after an item numbered 2147483647 the engine
                // numbers past it: such an item could not be addressed again. It takes the
                // lowest free number instead.
                if (w.ok() && n > INT_MAX) {
                    w.Run(QStringLiteral("DELETE FROM tblItem WHERE ID = ") + QString::number(n));
                    const QVariant free = w.Value(QStringLiteral(
                        "SELECT CASE WHEN NOT EXISTS (SELECT 1 FROM tblItem WHERE ID = 1) THEN 1 "
                        "ELSE (SELECT Min(a.ID) + 1 FROM tblItem AS a WHERE a.ID BETWEEN 1 AND "
                        "2147483646 AND NOT EXISTS (SELECT 1 FROM tblItem AS b WHERE b.ID = a.ID + 1)) "
                        "END"));
                    if (w.ok() && !free.isValid()) w.why = QStringLiteral("No free item number is left");
                    n = free.toLongLong();
                    w.Run(QStringLiteral("INSERT INTO tblItem (ID, LastUpdate) VALUES (") +
                          QString::number(n) + QStringLiteral(", ") + jd + QLatin1Char(')'));
                }
            } else {
                w.Run(QStringLiteral("INSERT INTO tblItem (ID, LastUpdate) VALUES (") +
                      QString::number(n) + QStringLiteral(", ") + jd + QLatin1Char(')'));
            }
            w.Run(QStringLiteral("INSERT INTO ftsItem (DOCID, Title, Code) VALUES (") +
                  QString::number(n) + QStringLiteral(", '") + SqlEscape(title) +
                  QStringLiteral("', '") + SqlEscape(body) + QStringLiteral("');"));
        }
    }

    if (before && w.ok()) CHistoryJournal::KeepLinksBefore(db, int(n), &w.why);
    const qint64 typeId = w.Id(QStringLiteral("tblType"), QStringLiteral("ID"),
                               {QStringLiteral("Name"), language},
                               QStringLiteral("language '") + language + QLatin1Char('\''));
    if (!merged && options.replaceLinksOf.isEmpty()) {
        w.Run(QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ") + QString::number(n));
    } else if (!merged) {
        QStringList languages;
        for (const QString& name : options.replaceLinksOf + QStringList{language}) languages << SqlQuote(CleanName(name));
        w.Run(QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ") + QString::number(n) +
              QStringLiteral(" AND CategoryID IN (SELECT c.ID FROM tblCategory AS c JOIN tblType AS t ON "
                             "t.ID = c.TypeID WHERE t.Name IN (") +
              languages.join(QLatin1Char(',')) + QStringLiteral("))"));
    }
    for (const QString& name : names) {
        if (!w.ok()) break;
        QString engine;
        const qint64 catId = FindOrAddCategory(db, typeId, name, &engine);
        if (catId == 0) {
            w.why = QStringLiteral("Unable to store category '") + name + QLatin1Char('\'') +
                    (engine.isEmpty() ? QString() : QStringLiteral(": ") + engine);
            break;
        }
        if (merged) {
            w.Id(QStringLiteral("tblItemCategory"), QStringLiteral("ROWID"),
                 {QStringLiteral("ItemID"), n, QStringLiteral("CategoryID"), catId},
                 QStringLiteral("category link"));
        } else {
            const QString e = db.AddRecord(QStringLiteral("tblItemCategory"),
                                             {QStringLiteral("ItemID"), n,
                                              QStringLiteral("CategoryID"), catId});
            if (!e.isEmpty()) w.why = e;
        }
    }

    if (w.ok()) {
        CItem after = item;
        after.id = int(n);
        after.language = language;
        after.categories = names;
        if (before) {
            if (merged) {
                // A merge adds the links and the joining text; title and attachment stay.
                after = *before;
                after.body = mergedBody;
                for (const QString& name : std::as_const(names))
                    if (!after.categories.contains(name, Qt::CaseInsensitive)) after.categories << name;
            }
            after.fileName = before->fileName;
            after.fileSize = before->fileSize;
            after.storedSize = before->storedSize;
        } else {
            after.fileName.clear();
            after.fileSize = after.storedSize = 0;
        }
        after.lastUpdate = storedTime(db, n);
        CChange change;
        change.kind = CChange::Kind::Save;
        change.items.append({int(n), before, after});
        if (db.Record(change, &w.why)) unit.Commit(&w.why);
    }
    if (!w.ok()) {
        unit.Rollback();
        if (error) *error = w.why;
        return 0;
    }
    item.id = int(n);
    return int(n);
}

int SaveItem(CSQLite& db, const QString& language, int& itemId, const QString& title, const QString& body,
             const QString& categories, const QString& timeText, const MergeDecision& merge,
             TimeBase timeBase, QString* error) {
    CItem item;
    item.id = itemId;
    item.language = language;
    item.title = title;
    item.body = body;
    item.categories = CategoryNames(categories);
    SaveOptions options;
    options.merge = merge;
    options.timeText = timeText;
    options.timeBase = timeBase;
    const int n = SaveItem(db, item, options, error);
    if (n) itemId = n;
    return n;
}

bool DeleteItem(CSQLite& db, int itemId, QString* error) {
    if (error) error->clear();
    if (!db.IsOpen()) return failWith(error, CSQLite::NoDatabaseText());
    const QString n = QString::number(itemId);
    Steps w(db);
    CTransaction unit(db, &w.why);
    if (!unit.IsOpen()) return failWith(error, w.why);
    CItem old;
    QString loadError;
    std::optional<CItem> before;
    if (LoadItem(db, itemId, old, &loadError)) before = old;
    if (before && !CHistoryJournal::KeepBlockBefore(db, itemId, &w.why)) return failWith(error, w.why);
    w.Run(QStringLiteral("DELETE FROM tblItem WHERE ID = ") + n);
    w.Run(QStringLiteral("DELETE FROM ftsItem WHERE DOCID = ") + n);
    w.Run(QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ") + n);
    if (w.ok()) RemoveItemAttributes(db, itemId, &w.why);
    if (w.ok()) {
        CChange change;
        change.kind = CChange::Kind::Delete;
        change.items.append({itemId, before, std::nullopt});
        if (db.Record(change, &w.why)) unit.Commit(&w.why);
    }
    return w.ok() || failWith(error, w.why);
}

bool DeleteItem(int itemId, QString* error) {
    return DeleteItem(StoreDB(), itemId, error);
}

bool ItemExists(CSQLite& db, int itemId, QString* error) {
    return !db.LookupField(QStringLiteral("tblItem"), QStringLiteral("ID"), {QStringLiteral("ID"), itemId}, error)
                .isEmpty();
}

bool RestoreItemTime(CSQLite& db, int itemId, const QString& utcTime, QString* error) {
    // Writing the value the row holds would fire the stamp again.
    const QString jd = julianDayExpr(utcTime, TimeBase::Utc);
    const QString why = db.Run(QStringLiteral("UPDATE tblItem SET LastUpdate = ") + jd + QStringLiteral(" WHERE ID = ") +
                               QString::number(itemId) + QStringLiteral(" AND LastUpdate IS NOT ") + jd +
                               QLatin1Char(';'));
    return why.isEmpty() || failWith(error, why);
}

QSet<int> ItemsWithAttachments(CSQLite& db) {
    QSet<int> ids;
    db.ForEachRow(QStringLiteral("SELECT ID FROM tblItem WHERE FileBLOB IS NOT NULL OR FileSize IS NOT "
                                 "NULL UNION SELECT DOCID FROM ftsItem WHERE File IS NOT NULL"),
                  [&](const CSQLite::Row& r) {
                      ids.insert(int(r.Int(0)));
                      return true;
                  });
    return ids;
}

double JulianDay(const QString& timeText, TimeBase timeBase) {
    if (!IsDatabaseOpen()) return 0;
    ResultTable data;
    QString error;
    StoreDB().Exec(QStringLiteral("SELECT ") + julianDayExpr(timeText, timeBase), data, error);
    if (!IsArrayFilled(data)) return 0;
    return data.Real(1, 0);
}
