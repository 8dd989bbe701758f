#include "sync/CSyncLocalSides.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"

namespace {
bool hasTable(CSQLite& db, const char* name, bool& found, QString* error) {
    found = false;
    return db.ForEachRow(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '%1'")
                             .arg(QLatin1String(name)),
                         [&](const CSQLite::Row&) {
                             found = true;
                             return false;
                         },
                         error);
}

// Lengths stand for the text: reading and hashing every item is what this saves.
const char* const kKey =
    "i.LastUpdate || '|' || ifnull(i.FileSize, '') || '|' || ifnull(length(c.c0Title), '') || '|' || "
    "ifnull(length(c.c1Code), '') || '|' || ifnull(c.c2File, '') || '|' || "
    "ifnull((SELECT group_concat(t.Name || ':' || k.Name, '/') FROM tblItemCategory ic "
    "JOIN tblCategory k ON k.ID = ic.CategoryID JOIN tblType t ON t.ID = k.TypeID WHERE ic.ItemID = i.ID), '') || '|' || "
    "ifnull((SELECT group_concat(a.Name || '=' || length(a.Value), '/') FROM tblItemAttribute a "
    "WHERE a.ItemID = i.ID), '')";
}  // namespace

QString CSyncLocalSides::Quoted(const QString& text) {
    QString q = text;
    q.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

bool CSyncLocalSides::ReadChanged(CSQLite& db, const std::function<void(const CSyncLocalSide& side)>& known,
                                  QHash<int, QString>& stale, QString* error, const QStringList* only) {
    stale.clear();
    bool attributes = false, remembered = false, agreed = false;
    if (!hasTable(db, "tblItemAttribute", attributes, error) || !hasTable(db, "tblSyncLocal", remembered, error) ||
        !hasTable(db, "tblSyncItem", agreed, error))
        return false;
    if (!attributes || (only && only->isEmpty())) return true;
    QString filter;
    if (only) {
        QStringList quoted;
        for (const QString& u : *only) quoted << Quoted(u);
        filter = QStringLiteral(" AND u.Value IN (") + quoted.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    // The engine compares each item's key and fingerprint with the remembered ones: only the
    // items that differ come out, so an unchanged database costs one pass and no text.
    const QString sql =
        QStringLiteral("SELECT ID, Uuid, Key, Fresh, Fingerprint, AttachBlob, AttachSum FROM (SELECT i.ID AS ID, "
                       "u.Value AS Uuid, ") +
        QLatin1String(kKey) + QStringLiteral(" AS Key, ") +
        (remembered ? QStringLiteral("s.Uuid IS u.Value AND s.Key IS (") + QLatin1String(kKey) +
                          QStringLiteral(") AS Fresh, s.Fingerprint AS Fingerprint, s.AttachBlob AS AttachBlob, "
                                         "s.AttachSum AS AttachSum, ")
                    : QStringLiteral("0 AS Fresh, NULL AS Fingerprint, NULL AS AttachBlob, NULL AS AttachSum, ")) +
        (agreed ? QStringLiteral("b.Fingerprint AS Agreed ") : QStringLiteral("NULL AS Agreed ")) +
        QStringLiteral("FROM tblItem i JOIN tblItemAttribute u ON u.ItemID = i.ID AND u.Name = 'uuid' ") + filter +
        QStringLiteral(" LEFT JOIN ftsItem_content c ON c.docid = i.ID ") +
        (remembered ? QStringLiteral("LEFT JOIN tblSyncLocal s ON s.ItemID = i.ID ") : QString()) +
        (agreed ? QStringLiteral("LEFT JOIN tblSyncItem b ON b.Uuid = u.Value ") : QString()) + QStringLiteral(")") +
        (only ? QString() : QStringLiteral(" WHERE NOT Fresh OR Agreed IS NULL OR Agreed IS NOT Fingerprint"));
    QByteArray s;
    CSyncLocalSide side;
    return db.ForEachRow(
        sql,
        [&](const CSQLite::Row& r) {
            const int id = int(r.Int(0));
            if (r.Int(3) == 0) {
                stale.insert(id, QString::fromUtf8(r.Utf8(2, s)));
                return true;
            }
            side.id = id;
            side.uuid = QString::fromUtf8(r.Utf8(1, s));
            side.fingerprint = QString::fromUtf8(r.Utf8(4, s));
            side.attachBlob = QString::fromUtf8(r.Utf8(5, s));
            side.attachSum = QString::fromUtf8(r.Utf8(6, s));
            known(side);
            return true;
        },
        error);
}

bool CSyncLocalSides::ReadGone(CSQLite& db, QStringList& uuids, QString* error) {
    uuids.clear();
    bool attributes = false, agreed = false;
    if (!hasTable(db, "tblItemAttribute", attributes, error) || !hasTable(db, "tblSyncItem", agreed, error)) return false;
    if (!agreed) return true;
    QByteArray s;
    return db.ForEachRow(
        attributes ? QStringLiteral("SELECT Uuid FROM tblSyncItem WHERE Uuid NOT IN (SELECT a.Value FROM tblItemAttribute a "
                                    "JOIN tblItem i ON i.ID = a.ItemID WHERE a.Name = 'uuid')")
                   : QStringLiteral("SELECT Uuid FROM tblSyncItem"),
        [&](const CSQLite::Row& r) {
            uuids << QString::fromUtf8(r.Utf8(0, s));
            return true;
        },
        error);
}

bool CSyncLocalSides::Write(CSQLite& db, const QList<CSyncLocalSide>& sides, QString* error) {
    if (sides.isEmpty()) return true;
    CTransaction unit(db, error);
    if (!unit.IsOpen()) return false;
    QString e = db.Run(QStringLiteral("CREATE TABLE IF NOT EXISTS tblSyncLocal (ItemID INTEGER PRIMARY KEY, Uuid TEXT, "
                                      "Key TEXT, Fingerprint TEXT, AttachBlob TEXT, AttachSum TEXT)"));
    for (qsizetype i = 0; e.isEmpty() && i < sides.size(); ++i) {
        const CSyncLocalSide& x = sides[i];
        e = db.RunBound(QStringLiteral("INSERT OR REPLACE INTO tblSyncLocal (ItemID, Uuid, Key, Fingerprint, AttachBlob, "
                                       "AttachSum) VALUES (?, ?, ?, ?, ?, ?)"),
                        {x.id, x.uuid, x.key, x.fingerprint, x.attachBlob, x.attachSum});
    }
    if (!e.isEmpty()) {
        if (error) *error = e;
        return false;
    }
    return unit.Commit(error);
}
