#include "db/basDBItems.h"

#include "db/basDB.h"
#include "util/CPrompt.h"
#include "util/basVariableTools.h"

#include <QStringList>
#include <climits>
#include <sqlite3.h>

namespace {

const QString kNoDatabase = QStringLiteral("No database is open");

bool storeOpen() { return gDB && gDB->IsOpen(); }

// The engine's expression for a time text. Local time is converted to UTC on the way in;
// a UTC text (as exchange files carry it) is taken as it is. The text is a SQL literal,
// so whatever a file holds there can only make the expression NULL.
QString julianDayExpr(const QString& timeText, TimeBase timeBase) {
    return QStringLiteral("JulianDay(") + SqlQuote(timeText) +
           (timeBase == TimeBase::Local ? QStringLiteral(", 'utc')") : QStringLiteral(")"));
}

// LookupCreate hides the engine's text; the connection still holds it.
QString lastEngineError() {
    if (!gDB || !gDB->Handle()) return kNoDatabase;
    const int code = sqlite3_errcode(gDB->Handle());
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return {};
    return QString::fromUtf8(sqlite3_errmsg(gDB->Handle()));
}

QString trimSpaces(const QString& text) {
    qsizetype start = 0, end = text.size();
    while (start < end && text[start] == QLatin1Char(' ')) ++start;
    while (end > start && text[end - 1] == QLatin1Char(' ')) --end;
    return text.mid(start, end - start);
}

// One save or delete: runs statements until the first failure and remembers its reason.
class Writer {
public:
    bool Run(const QString& sql) {
        if (!ok()) return false;
        const QString e = gDB->Run(sql);
        if (!e.isEmpty()) why = e;
        return ok();
    }
    QVariant Value(const QString& sql, int* rows = nullptr) {
        if (!ok()) return {};
        ResultTable data;
        QString e;
        const QVariant count = gDB->Exec(sql, data, e);
        if (!e.isEmpty()) {
            why = e;
            return {};
        }
        if (rows) *rows = count.toInt();
        return data.At(1, 0);
    }
    // Find-or-create through the connection's builder; empty text means the engine refused.
    qint64 Id(const QString& table, const QString& field, const QVariantList& pairs,
              const QString& what) {
        if (!ok()) return 0;
        const QString id = gDB->LookupCreate(table, field, pairs);
        if (id.isEmpty()) {
            const QString engine = lastEngineError();
            why = QStringLiteral("Unable to store ") + what +
                  (engine.isEmpty() ? QString() : QStringLiteral(": ") + engine);
            return 0;
        }
        return id.toLongLong();
    }
    bool ok() const { return why.isEmpty(); }
    QString why;
};

}  // namespace

bool LoadItem(int itemId, ItemRecord& rec) {
    const QString n = QString::number(itemId);
    QString failure;
    ResultTable data;
    if (!storeOpen()) {
        failure = kNoDatabase;
    } else {
        QString error;
        gDB->Exec(QStringLiteral("SELECT Title, Code, File, FileSize, Length(FileBLOB), "
                                 "StrFTime('%m/%d/%Y %H:%M', LastUpdate, 'localtime') AS "
                                 "LastUpdateTime FROM qryItem WHERE ID = ") +
                      n,
                  data, error);
        if (!error.isEmpty()) failure = EngineFailureMessage(error);
        else if (!data.IsFilled()) failure = QStringLiteral("Item ") + n + QStringLiteral(" does not exist");
    }
    ResultTable cats;
    if (failure.isEmpty()) {
        // An item shown without its categories would be saved back without them.
        QString error;
        gDB->Exec(QStringLiteral("SELECT tblCategory.Name FROM tblItemCategory ") +
                      QStringLiteral("LEFT JOIN tblCategory ON tblItemCategory.CategoryID = tblCategory.ID ") +
                      QStringLiteral("WHERE tblItemCategory.ItemID = ") + n,
                  cats, error);
        if (!error.isEmpty()) failure = EngineFailureMessage(error);
    }
    if (!failure.isEmpty()) {
        Prompt().MsgBox(QStringLiteral("Unable to open item. Error: ") + failure, CPrompt::vbOKOnly);
        return false;
    }
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

int SaveItem(const QString& language, int& itemId, const QString& title, const QString& body,
             const QString& categories, const QString& timeText, bool checkDuplicate,
             bool ownTransaction, TimeBase timeBase, QString* error) {
    if (error) error->clear();
    if (!storeOpen()) {
        if (error) *error = kNoDatabase;
        return 0;
    }
    // An item without a category would be listed nowhere.
    const QStringList names = CategoryNames(categories);
    if (names.isEmpty()) {
        if (error) *error = QStringLiteral("The item has no category");
        return 0;
    }
    Writer w;
    // Inside a caller's transaction a savepoint lets a failed save take back its own rows
    // (never a tblItem row without its ftsItem row) and leaves the rest to the caller.
    if (!w.Run(ownTransaction ? QStringLiteral("BEGIN TRANSACTION;")
                              : QStringLiteral("SAVEPOINT SaveItem;"))) {
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
        if (w.ok() && gDB->Changes() == 0)
            w.Run(QStringLiteral("INSERT INTO ftsItem (DOCID, Title, Code) VALUES (") + id +
                  QStringLiteral(", '") + SqlEscape(title) + QStringLiteral("', '") + SqlEscape(body) +
                  QStringLiteral("');"));
        // Writing the value the row already holds would let the update trigger stamp the
        // current time over it (an import over the same items would lose every time).
        w.Run(QStringLiteral("UPDATE tblItem SET LastUpdate=") + jd + QStringLiteral(" WHERE ROWID = ") +
              id + QStringLiteral(" AND LastUpdate IS NOT ") + jd);
    } else {
        if (n == -1 && checkDuplicate && w.ok()) {
            const int m = IfEmpty(gDB->LookupField(QStringLiteral("ftsItem"), QStringLiteral("DOCID"),
                                                   {QStringLiteral("Title"), title}),
                                  -1)
                              .toInt();
            if (m >= 1 && Prompt().MsgBox(QStringLiteral("Merge this with existing item #") +
                                              QString::number(m) + QLatin1Char('?'),
                                          CPrompt::vbYesNo) == CPrompt::vbYes) {
                n = m;
                merged = true;
            }
        }
        if (!merged) {
            if (n == -1) {
                if (w.Run(QStringLiteral("INSERT INTO tblItem (LastUpdate) VALUES (") + jd +
                          QLatin1Char(')')))
                    n = gDB->LastInsertRowID();
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
            const QString e = gDB->AddRecord(QStringLiteral("tblItemCategory"),
                                             {QStringLiteral("ItemID"), n,
                                              QStringLiteral("CategoryID"), catId});
            if (!e.isEmpty()) w.why = e;
        }
    }

    if (w.ok())
        w.Run(ownTransaction ? QStringLiteral("COMMIT TRANSACTION;") : QStringLiteral("RELEASE SaveItem;"));
    if (!w.ok()) {
        if (ownTransaction) {
            gDB->Run(QStringLiteral("ROLLBACK TRANSACTION;"));
        } else {
            gDB->Run(QStringLiteral("ROLLBACK TO SaveItem;"));
            gDB->Run(QStringLiteral("RELEASE SaveItem;"));
        }
        if (error) *error = w.why;
        return 0;
    }
    itemId = int(n);
    return int(n);
}

bool DeleteItem(int itemId, QString* error) {
    if (error) error->clear();
    if (!storeOpen()) {
        if (error) *error = kNoDatabase;
        return false;
    }
    const QString n = QString::number(itemId);
    Writer w;
    if (!w.Run(QStringLiteral("BEGIN TRANSACTION"))) {
        if (error) *error = w.why;
        return false;
    }
    w.Run(QStringLiteral("DELETE FROM tblItem WHERE ID = ") + n);
    w.Run(QStringLiteral("DELETE FROM ftsItem WHERE DOCID = ") + n);
    w.Run(QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ") + n);
    w.Run(QStringLiteral("COMMIT TRANSACTION"));
    if (!w.ok()) {
        gDB->Run(QStringLiteral("ROLLBACK TRANSACTION"));
        if (error) *error = w.why;
        return false;
    }
    return true;
}

double JulianDay(const QString& timeText, TimeBase timeBase) {
    if (!storeOpen()) return 0;
    ResultTable data;
    QString error;
    gDB->Exec(QStringLiteral("SELECT ") + julianDayExpr(timeText, timeBase), data, error);
    if (!IsArrayFilled(data)) return 0;
    return data.Real(1, 0);
}
