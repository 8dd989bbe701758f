#include "history/CTrash.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "history/CHistory.h"
#include "history/CHistoryCommand.h"

namespace {

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

const char* const kEntries =
    "SELECT tblTrash.ID, tblTrash.ItemID, tblTrash.VersionID, tblItemVersion.Title, tblItemVersion.Language, "
    "tblTrash.Deleted FROM tblTrash LEFT JOIN tblItemVersion ON tblItemVersion.ID = tblTrash.VersionID ";

bool read(CSQLite& db, const QString& where, QList<CTrashEntry>& entries, QString* error) {
    entries.clear();
    QString e;
    if (!CHistory::HasTables(db, &e)) return e.isEmpty() || fail(error, e);
    const bool ok = db.ForEachRow(QLatin1String(kEntries) + where + QStringLiteral(" ORDER BY tblTrash.ID DESC"),
                                  [&](const CSQLite::Row& r) {
                                      CTrashEntry t;
                                      t.trashId = r.Int(0);
                                      t.itemId = int(r.Int(1));
                                      t.versionId = r.Int(2);
                                      t.title = r.Value(3).toString();
                                      t.language = r.Value(4).toString();
                                      t.deleted = QDateTime::fromMSecsSinceEpoch(r.Int(5), Qt::UTC);
                                      entries << t;
                                      return true;
                                  },
                                  &e);
    return ok || fail(error, QStringLiteral("The trash of this database is damaged: ") + e);
}

}  // namespace

bool CTrash::List(CSQLite& db, QList<CTrashEntry>& entries, QString* error) { return read(db, QString(), entries, error); }

bool CTrash::FindItem(CSQLite& db, int itemId, CTrashEntry& entry, QString* error) {
    QList<CTrashEntry> found;
    if (!read(db, QStringLiteral("WHERE tblTrash.ItemID = ") + QString::number(itemId), found, error)) return false;
    if (found.isEmpty()) return fail(error, QStringLiteral("Item %1 is not in the trash").arg(itemId));
    entry = found.first();
    return true;
}

int CTrash::Undelete(CSQLite& db, qint64 trashId, bool* renumbered, QString* error) {
    QList<CTrashEntry> found;
    if (!read(db, QStringLiteral("WHERE tblTrash.ID = ") + QString::number(trashId), found, error)) return 0;
    if (found.isEmpty()) return fail(error, QStringLiteral("No such entry in the trash")), 0;
    CItemVersion version;
    if (!CHistory::LoadVersion(db, found.first().versionId, version, error)) return 0;
    QString why;
    CTransaction unit(db, &why);
    if (!unit.IsOpen()) return fail(error, why), 0;
    CHistoryCommand command(db, QStringLiteral("Undelete"), QStringLiteral("undelete"), CHistoryCommand::Undo::None);
    const int n = CHistory::PutBack(db, version, false, renumbered, &why);
    if (!n) return fail(error, why), 0;
    why = db.RunBound(QStringLiteral("DELETE FROM tblTrash WHERE ID = ?1"), {trashId});
    if (!why.isEmpty() || !unit.Commit(&why)) return fail(error, why), 0;
    return n;
}

bool CTrash::Forget(CSQLite& db, qint64 trashId, QString* error) {
    QString e;
    if (!CHistory::HasTables(db, &e)) return fail(error, e.isEmpty() ? QStringLiteral("No such entry in the trash") : e);
    CTransaction unit(db, &e);
    if (!unit.IsOpen()) return fail(error, e);
    const QString t = QString::number(trashId);
    e = db.Run(QStringLiteral("DELETE FROM tblItemVersion WHERE EXISTS (SELECT 1 FROM tblTrash WHERE tblTrash.ID = ") + t +
               QStringLiteral(" AND tblTrash.ItemID = tblItemVersion.ItemID AND tblItemVersion.ID <= tblTrash.VersionID);"
                              "DELETE FROM tblTrash WHERE ID = ") +
               t +
               QStringLiteral(";DELETE FROM tblVersionBlock WHERE Hash NOT IN (SELECT BlockHash FROM tblItemVersion "
                              "WHERE BlockHash IS NOT NULL);"));
    if (!e.isEmpty()) return fail(error, e);
    return unit.Commit(error);
}

bool CTrash::Empty(CSQLite& db, QString* error) {
    QList<CTrashEntry> all;
    if (!List(db, all, error)) return false;
    CTransaction unit(db, error);
    if (!unit.IsOpen()) return false;
    for (const CTrashEntry& t : std::as_const(all))
        if (!Forget(db, t.trashId, error)) return false;
    return unit.Commit(error);
}
