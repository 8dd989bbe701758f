#include "sync/CSyncChangeWriter.h"

#include "db/CChange.h"
#include "db/CSQLite.h"

namespace {

thread_local int tSyncWrites = 0;

bool drop(CSQLite& db, const char* table, const QList<int>& ids, QString* error) {
    const QString sql = QStringLiteral("DELETE FROM %1 WHERE ItemID = ?").arg(QLatin1String(table));
    for (const int id : ids) {
        const QString e = db.RunBound(sql, {id});
        // A file that never synced has no such table: nothing to drop, and no lookup paid for
        // on every write to find that out.
        if (e.contains(QStringLiteral("no such table"))) return true;
        if (!e.isEmpty()) {
            if (error) *error = e;
            return false;
        }
    }
    return true;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

}  // namespace

CSyncChangeWriter::SyncWrites::SyncWrites() { ++tSyncWrites; }
CSyncChangeWriter::SyncWrites::~SyncWrites() { --tSyncWrites; }

void CSyncChangeWriter::Install(CSQLite& db) { db.AddChangeWriter(Follow, QStringLiteral("sync")); }

bool CSyncChangeWriter::IsEdit(const CItem& before, const CItem& after) {
    return before.title != after.title || before.body != after.body || before.language != after.language ||
           sorted(before.categories) != sorted(after.categories) || before.fileName != after.fileName;
}

bool CSyncChangeWriter::Follow(CSQLite& db, const CChange& change, QString* error) {
    const QList<int> ids = change.ItemIds();
    if (!drop(db, "tblSyncLocal", ids, error)) return false;
    if (tSyncWrites > 0) return true;
    QList<int> settled;
    if (change.kind == CChange::Kind::Delete) {
        // A later item given the same number must not inherit the conflict.
        settled = ids;
    } else if (change.kind == CChange::Kind::Save || change.kind == CChange::Kind::Import) {
        for (const CItemChange& c : change.items)
            if (c.before && c.after && IsEdit(*c.before, *c.after)) settled << c.id;
    }
    return drop(db, "tblSyncConflict", settled, error);
}
