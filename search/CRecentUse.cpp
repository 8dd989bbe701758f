#include "search/CRecentUse.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"

#include <algorithm>

namespace {

bool hasTable(CSQLite& db, QString* error) {
    ResultTable t;
    QString why;
    const QVariant n = db.Exec(QStringLiteral("SELECT Count(*) FROM sqlite_master WHERE type = 'table' AND "
                                              "name = 'tblItemUse'"),
                               t, why, true);
    if (error) *error = why;
    return why.isEmpty() && n.toInt() > 0;
}

}  // namespace

double CRecentUse::JulianDay(const QDateTime& when) {
    return double(when.toMSecsSinceEpoch()) / 86400000.0 + 2440587.5;
}

double CRecentUse::Weight(const Use& use, double now) {
    const double ageDays = std::max(0.0, now - use.lastUsed);
    return double(use.count) / (1.0 + ageDays / 14.0);
}

bool CRecentUse::Load(CSQLite& db, QHash<int, Use>* uses, QString* error) {
    uses->clear();
    QString why;
    if (!hasTable(db, &why)) {
        if (error) *error = why;
        return why.isEmpty();
    }
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT ItemID, Uses, LastUsed FROM tblItemUse WHERE ItemID IN (SELECT ID FROM tblItem)"),
        [&](const CSQLite::Row& row) {
            uses->insert(int(row.Int(0)), Use{row.Int(1), row.Real(2)});
            return true;
        },
        &why);
    if (error) *error = why;
    return ok;
}

bool CRecentUse::Record(CSQLite& db, int itemId, const QDateTime& when, QString* error) {
    QString why;
    CTransaction tx(db, &why);
    if (!tx.IsOpen()) {
        if (error) *error = why;
        return false;
    }
    const QString day = QString::number(JulianDay(when), 'f', 8);
    why = db.Run(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS tblItemUse (ItemID INTEGER PRIMARY KEY, Uses INTEGER NOT NULL, "
        "LastUsed REAL NOT NULL)"));
    if (why.isEmpty())
        why = db.Run(QStringLiteral("INSERT INTO tblItemUse (ItemID, Uses, LastUsed) VALUES (%1, 1, %2) "
                                    "ON CONFLICT(ItemID) DO UPDATE SET Uses = Uses + 1, LastUsed = excluded.LastUsed")
                         .arg(itemId)
                         .arg(day));
    if (why.isEmpty())
        why = db.Run(QStringLiteral("DELETE FROM tblItemUse WHERE ItemID NOT IN (SELECT ID FROM tblItem)"));
    if (why.isEmpty() && tx.Commit(&why)) return true;
    if (error) *error = why;
    return false;
}
