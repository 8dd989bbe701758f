#include "sync/CSyncConflicts.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "db/basDBItems.h"
#include "history/CHistoryJournal.h"

namespace {
const char* kCreate =
    "CREATE TABLE IF NOT EXISTS tblSyncConflict (ID INTEGER PRIMARY KEY, ItemID INTEGER NOT NULL, Uuid TEXT, "
    "Title TEXT, Body TEXT, Language TEXT, Categories TEXT, FileName TEXT, AttachBlob TEXT, Updated TEXT, "
    "Fingerprint TEXT, Noted TEXT, UNIQUE (ItemID, Fingerprint))";

bool hasTable(CSQLite& db, QString* error) {
    bool found = false;
    db.ForEachRow(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tblSyncConflict'"),
                  [&](const CSQLite::Row&) {
                      found = true;
                      return false;
                  },
                  error);
    return found;
}
QString utc(const QDateTime& t) { return t.isValid() ? t.toUTC().toString(Qt::ISODate) : QString(); }
}  // namespace

bool CSyncConflicts::KeepConflictSide(CSQLite& db, int itemId, const CSyncedItem& remote, QString* error) {
    QString e = db.Run(QString::fromLatin1(kCreate));
    if (e.isEmpty())
        e = db.RunBound(QStringLiteral("INSERT OR IGNORE INTO tblSyncConflict (ItemID, Uuid, Title, Body, Language, Categories, "
                                       "FileName, AttachBlob, Updated, Fingerprint, Noted) VALUES (?,?,?,?,?,?,?,?,?,?,?)"),
                        {itemId, remote.Uuid(), remote.item.title, remote.item.body, remote.item.language,
                         remote.item.categories.join(QLatin1Char('\n')), remote.item.fileName, remote.attachmentBlob,
                         utc(remote.item.lastUpdate), remote.Fingerprint(), utc(QDateTime::currentDateTimeUtc())});
    // The other side is also a version in the item's history, where it can be compared and restored.
    if (e.isEmpty() && db.Changes() > 0 &&
        !CHistoryJournal::KeepVersion(db, itemId, remote.item, QStringLiteral("Sync Conflict"), &e) && e.isEmpty())
        e = QStringLiteral("The other side of the conflict could not be kept.");
    if (!e.isEmpty() && error) *error = e;
    return e.isEmpty();
}

bool CSyncConflicts::List(CSQLite& db, QList<CSyncConflict>& conflicts, QString* error) {
    conflicts.clear();
    QString e;
    if (!hasTable(db, &e)) {
        if (error) *error = e;
        return e.isEmpty();
    }
    QByteArray s;
    // Rows of items deleted since are no conflict any more.
    return db.ForEachRow(
        QStringLiteral("SELECT c.ID, c.ItemID, c.Uuid, c.Title, c.Body, c.Language, c.Categories, c.FileName, c.AttachBlob, "
                       "c.Updated, c.Noted FROM tblSyncConflict c JOIN tblItem i ON i.ID = c.ItemID ORDER BY c.ItemID, c.ID"),
        [&](const CSQLite::Row& r) {
            CSyncConflict c;
            c.id = int(r.Int(0));
            c.itemId = int(r.Int(1));
            c.remote.attributes.insert(ItemUuidAttribute(), QString::fromUtf8(r.Utf8(2, s)));
            c.remote.item.title = QString::fromUtf8(r.Utf8(3, s));
            c.remote.item.body = QString::fromUtf8(r.Utf8(4, s));
            c.remote.item.language = QString::fromUtf8(r.Utf8(5, s));
            c.remote.item.categories = QString::fromUtf8(r.Utf8(6, s)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            c.remote.item.fileName = QString::fromUtf8(r.Utf8(7, s));
            c.remote.attachmentBlob = QString::fromUtf8(r.Utf8(8, s));
            c.remote.item.lastUpdate = QDateTime::fromString(QString::fromUtf8(r.Utf8(9, s)), Qt::ISODate);
            c.noted = QDateTime::fromString(QString::fromUtf8(r.Utf8(10, s)), Qt::ISODate);
            conflicts << c;
            return true;
        },
        error);
}

bool CSyncConflicts::Items(CSQLite& db, QSet<int>& items, QString* error) {
    items.clear();
    QList<CSyncConflict> all;
    if (!List(db, all, error)) return false;
    for (const CSyncConflict& c : std::as_const(all)) items.insert(c.itemId);
    return true;
}

bool CSyncConflicts::Resolve(CSQLite& db, int itemId, bool takeRemote, QString* error) {
    QList<CSyncConflict> all;
    if (!List(db, all, error)) return false;
    const CSyncConflict* newest = nullptr;
    for (const CSyncConflict& c : std::as_const(all))
        if (c.itemId == itemId) newest = &c;
    if (!newest) {
        if (error) *error = QStringLiteral("Item %1 has no conflict").arg(itemId);
        return false;
    }
    CTransaction unit(db, error);
    if (!unit.IsOpen()) return false;
    if (takeRemote) {
        CItem item;
        if (!LoadItem(db, itemId, item, error)) return false;
        item.title = newest->remote.item.title;
        item.body = newest->remote.item.body;
        item.language = newest->remote.item.language;
        item.categories = newest->remote.item.categories;
        item.lastUpdate = QDateTime();
        if (SaveItem(db, item, {}, error) == 0) return false;
    }
    const QString e = db.RunBound(QStringLiteral("DELETE FROM tblSyncConflict WHERE ItemID = ?"), {itemId});
    if (!e.isEmpty()) {
        if (error) *error = e;
        return false;
    }
    return unit.Commit(error);
}
