#include "db/basDBAttachmentSums.h"

#include "db/CSQLite.h"

#include <QCryptographicHash>

namespace {

const char kTable[] = "vgAttachmentSum";

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

// Whether the file has the table: a file that never had an attachment stored by this version
// does not, and one opened read-only never will.
bool haveTable(CSQLite& db, QString* error) {
    bool found = false;
    QString why;
    if (!db.ForEachRow(
            QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '%1'")
                .arg(QLatin1String(kTable)),
            [&](const CSQLite::Row&) {
                found = true;
                return false;
            },
            &why))
        return fail(error, why);
    if (error) error->clear();
    return found;
}

}  // namespace

QString AttachmentSumTableSql() {
    return QStringLiteral(
               "CREATE TABLE %1 (ItemID INTEGER PRIMARY KEY, FileSize INTEGER NOT NULL, "
               "BlockSize INTEGER NOT NULL, Sha256 BLOB NOT NULL)")
        .arg(QLatin1String(kTable));
}

QByteArray AttachmentDigest(QByteArrayView data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

bool StoreAttachmentSum(CSQLite& db, int itemId, const AttachmentSum& sum, QString* error) {
    QString why;
    if (!haveTable(db, &why)) {
        if (!why.isEmpty()) return fail(error, why);
        why = db.Run(AttachmentSumTableSql());
        if (!why.isEmpty()) return fail(error, why);
    }
    why = db.RunBound(QStringLiteral("INSERT OR REPLACE INTO %1 (ItemID, FileSize, BlockSize, Sha256) "
                                     "VALUES (?1, ?2, ?3, ?4)")
                          .arg(QLatin1String(kTable)),
                      {itemId, sum.fileSize, sum.blockSize, sum.sha256});
    return why.isEmpty() || fail(error, why);
}

bool RemoveAttachmentSum(CSQLite& db, int itemId, QString* error) {
    QString why;
    if (!haveTable(db, &why)) return why.isEmpty() || fail(error, why);
    why = db.Run(QStringLiteral("DELETE FROM %1 WHERE ItemID = %2").arg(QLatin1String(kTable)).arg(itemId));
    return why.isEmpty() || fail(error, why);
}

bool ReadAttachmentSum(CSQLite& db, int itemId, AttachmentSum* sum, bool* found, QString* error) {
    *found = false;
    QString why;
    if (!haveTable(db, &why)) return why.isEmpty() || fail(error, why);
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT FileSize, BlockSize, Sha256 FROM %1 WHERE ItemID = %2")
            .arg(QLatin1String(kTable))
            .arg(itemId),
        [&](const CSQLite::Row& r) {
            *found = true;
            *sum = {r.Int(0), r.Int(1), r.Bytes(2).toByteArray()};
            return false;
        },
        &why);
    return ok || fail(error, why);
}

bool RemoveStaleAttachmentSums(CSQLite& db, QString* error) {
    QString why;
    if (!haveTable(db, &why)) return why.isEmpty() || fail(error, why);
    why = db.Run(QStringLiteral("DELETE FROM %1 WHERE ItemID NOT IN (SELECT ID FROM tblItem WHERE FileBLOB IS NOT NULL)")
                     .arg(QLatin1String(kTable)));
    return why.isEmpty() || fail(error, why);
}
