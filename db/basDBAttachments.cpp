#include "db/basDBAttachments.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "db/basDB.h"
#include "history/CHistoryJournal.h"
#include "util/basVariableTools.h"

static bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

static QString noSuchItem(int itemId) { return QStringLiteral("No such item: ") + QString::number(itemId); }

static QString nameStatement(int itemId, const QString* name) {
    return QStringLiteral("UPDATE ftsItem SET File = ") +
           (name ? QLatin1Char('\'') + SqlEscape(*name) + QLatin1Char('\'') : QStringLiteral("NULL")) +
           QStringLiteral(" WHERE DOCID = ") + QString::number(itemId) + QLatin1Char(';');
}

// The block and the name change together: a failure of the second never leaves the block
// without its name. Inside the import's transaction this is a savepoint.
static bool changeBoth(CSQLite& db, int itemId, const std::function<QString()>& blockStatement,
                       const QString* name, const AttachmentSum* sum, QString* error) {
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    QString why;
    CTransaction unit(db, &why);
    if (!unit.IsOpen()) return fail(error, why);
    CItemChange item{itemId, std::nullopt, std::nullopt};
    if (CItem old; LoadItem(db, itemId, old, nullptr)) item.before = old;
    if (item.before && !CHistoryJournal::KeepBlockBefore(db, itemId, error)) return false;
    // Both statements must change the item's row.
    const auto check = [&](const QString& e) {
        if (!e.isEmpty()) return fail(error, e);
        if (db.Changes() < 1) return fail(error, noSuchItem(itemId));
        return true;
    };
    if (!check(blockStatement()) || !check(db.Run(nameStatement(itemId, name)))) return false;
    // The sum goes and comes with the block: a sum left from an earlier block would call the
    // new one changed.
    if (!(sum ? StoreAttachmentSum(db, itemId, *sum, error) : RemoveAttachmentSum(db, itemId, error))) return false;
    if (CItem now; LoadItem(db, itemId, now, nullptr)) item.after = now;
    CChange change;
    change.kind = name ? CChange::Kind::Attach : CChange::Kind::ClearAttachment;
    change.items.append(item);
    return db.Record(change, error) && unit.Commit(error);
}

bool StoreAttachment(CSQLite& db, int itemId, qint64 size, QByteArrayView block, const QString& name,
                     QString* error, const QByteArray& sha256) {
    const AttachmentSum sum{size, block.size(), sha256};
    // The block goes in as a bound value: no hex text of twice its size. The new time is set in the
    // same statement, so the schema's time stamp does not write the whole row, block and all, again.
    return changeBoth(
        db, itemId,
        [&] {
            return db.RunWithBlob(QStringLiteral("UPDATE tblItem SET FileSize = ") + QString::number(size) +
                                      QStringLiteral(", FileBLOB = ?1, LastUpdate = JulianDay('now') "
                                                     "WHERE ID = ") +
                                      QString::number(itemId) + QLatin1Char(';'),
                                  block);
        },
        &name, sha256.isEmpty() ? nullptr : &sum, error);
}

bool RemoveAttachment(CSQLite& db, int itemId, QString* error) {
    return changeBoth(
        db, itemId,
        [&] {
            return db.Run(QStringLiteral("UPDATE tblItem SET FileSize = NULL, FileBLOB = NULL WHERE ID = ") +
                          QString::number(itemId) + QLatin1Char(';'));
        },
        nullptr, nullptr, error);
}

bool ReadAttachmentSizes(CSQLite& db, int itemId, AttachmentSizes* sizes, QString* error) {
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    // Also tells a missing item (no row) from one without attachment (NULL) and an empty one (0).
    bool found = false;
    QString why;
    if (!db.ForEachRow(QStringLiteral("SELECT Length(FileBLOB), FileSize, typeof(FileBLOB) = 'text' FROM tblItem "
                                      "WHERE ID = ") +
                           QString::number(itemId) + QLatin1Char(';'),
                       [&](const CSQLite::Row& r) {
                           found = true;
                           *sizes = {!r.IsNull(0), r.Int(0), !r.IsNull(1), r.Int(1), r.Int(2) != 0};
                           return false;
                       },
                       &why))
        return fail(error, EngineFailureMessage(db, why));
    return found || fail(error, noSuchItem(itemId));
}

bool ReadAttachmentBlock(CSQLite& db, int itemId, const std::function<void(QByteArrayView)>& sink,
                         QString* error) {
    QString why;
    if (db.ReadFirstValue(QStringLiteral("SELECT FileBLOB FROM tblItem WHERE ID = ") + QString::number(itemId) +
                              QLatin1Char(';'),
                          [&](QByteArrayView block, bool) { sink(block); }, why))
        return true;
    return fail(error, why);
}

QString AttachmentName(CSQLite& db, int itemId) {
    ResultTable t;
    QString error;
    return db.Exec(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = %1;").arg(itemId), t, error, true).toString();
}
