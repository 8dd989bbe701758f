#include "db/basDBItems.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "db/basDB.h"
#include "search/CSearchIndex.h"
#include "util/basVariableTools.h"

#include <QStringList>
#include <climits>

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

}  // namespace

bool LoadItem(CSQLite& db, int itemId, ItemRecord& rec, QString* failure) {
    const QString n = QString::number(itemId);
    if (!db.IsOpen()) return failWith(failure, CSQLite::NoDatabaseText());
    ResultTable data;
    QString error;
    db.Exec(QStringLiteral("SELECT Title, Code, File, FileSize, Length(FileBLOB), "
                           "StrFTime('%m/%d/%Y %H:%M', LastUpdate, 'localtime') AS "
                           "LastUpdateTime FROM qryItem WHERE ID = ") +
                n,
            data, error);
    if (!error.isEmpty()) return failWith(failure, EngineFailureMessage(db, error));
    if (!data.IsFilled()) return failWith(failure, QStringLiteral("Item ") + n + QStringLiteral(" does not exist"));
    // An item shown without its categories would be saved back without them.
    ResultTable cats;
    db.Exec(QStringLiteral("SELECT tblCategory.Name FROM tblItemCategory ") +
                QStringLiteral("LEFT JOIN tblCategory ON tblItemCategory.CategoryID = tblCategory.ID ") +
                QStringLiteral("WHERE tblItemCategory.ItemID = ") + n,
            cats, error);
    if (!error.isEmpty()) return failWith(failure, EngineFailureMessage(db, error));
    rec.title = data.Text(1, 0);
    rec.body = data.Text(1, 1);
    rec.fileName = data.Text(1, 2);
    rec.fileSize = data.Int(1, 3);
    rec.storedSize = data.Int(1, 4);
    rec.lastUpdate = data.Text(1, 5).trimmed();

    if (IsArrayFilled(cats)) {
        QString text;
        for (int r = 1; r <= cats.RowCount(); ++r) text += cats.Text(r, 0) + QLatin1Char(',');
        text.chop(1);
        rec.categories = text;
    }
    if (failure) failure->clear();
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

int SaveItem(CSQLite& db, const QString& language, int& itemId, const QString& title, const QString& body,
             const QString& categories, const QString& timeText, const MergeDecision& merge,
             TimeBase timeBase, QString* error) {
    if (error) error->clear();
    if (!db.IsOpen()) {
        if (error) *error = CSQLite::NoDatabaseText();
        return 0;
    }
    // An item without a category would be listed nowhere.
    const QStringList names = CategoryNames(categories);
    if (names.isEmpty()) {
        if (error) *error = QStringLiteral("The item has no category");
        return 0;
    }
    Steps w(db);
    // Inside a caller's transaction this is a savepoint: a failed save takes back its own rows
    // (never a tblItem row without its ftsItem row) and leaves the rest to the caller.
    CTransaction unit(db, &w.why);
    if (!unit.IsOpen()) {
        if (error) *error = w.why;
        return 0;
    }
    // Numbers below 1 are no item's (0 is how a failed save reads): store as a new item.
    qint64 n = itemId < 1 ? -1 : itemId;
    const QString jd = julianDayExpr(timeText, timeBase);
    bool merged = false;

    int rows = 0;
    if (n != -1) w.Value(QStringLiteral("SELECT ID FROM tblItem WHERE ID = ") + QString::number(n), &rows);
    if (n != -1 && rows > 0) {
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
            }
        }
        if (!merged) {
            if (n == -1) {
                if (w.Run(QStringLiteral("INSERT INTO tblItem (LastUpdate) VALUES (") + jd +
                          QLatin1Char(')')))
                    n = db.LastInsertRowID();
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

    const qint64 typeId = w.Id(QStringLiteral("tblType"), QStringLiteral("ID"),
                               {QStringLiteral("Name"), language},
                               QStringLiteral("language '") + language + QLatin1Char('\''));
    if (!merged) w.Run(QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ") + QString::number(n));
    for (const QString& name : names) {
        const qint64 catId = w.Id(QStringLiteral("tblCategory"), QStringLiteral("ID"),
                                  {QStringLiteral("TypeID"), typeId, QStringLiteral("Name"), name},
                                  QStringLiteral("category '") + name + QLatin1Char('\''));
        if (!w.ok()) break;
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

    if (w.ok()) CSearchIndex::ItemsChanged(db, {int(n)}, &w.why);
    if (w.ok()) unit.Commit(&w.why);
    if (!w.ok()) {
        unit.Rollback();
        if (error) *error = w.why;
        return 0;
    }
    itemId = int(n);
    return int(n);
}

bool DeleteItem(CSQLite& db, int itemId, QString* error) {
    if (error) error->clear();
    if (!db.IsOpen()) return failWith(error, CSQLite::NoDatabaseText());
    const QString n = QString::number(itemId);
    Steps w(db);
    CTransaction unit(db, &w.why);
    w.Run(QStringLiteral("DELETE FROM tblItem WHERE ID = ") + n);
    w.Run(QStringLiteral("DELETE FROM ftsItem WHERE DOCID = ") + n);
    w.Run(QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ") + n);
    if (w.ok()) CSearchIndex::ItemsChanged(db, {itemId}, &w.why);
    if (w.ok()) unit.Commit(&w.why);
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
