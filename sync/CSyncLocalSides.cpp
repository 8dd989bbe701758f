#include "sync/CSyncLocalSides.h"

#include "db/CSQLite.h"

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
}  // namespace

bool CSyncLocalSides::ReadKeys(CSQLite& db, QHash<int, CSyncLocalSide>& keys, QString* error) {
    keys.clear();
    bool attributes = false;
    if (!hasTable(db, "tblItemAttribute", attributes, error)) return false;
    if (!attributes) return true;
    // Lengths stand for the text: reading and hashing every item is what this saves.
    const QString sql = QStringLiteral(
        "SELECT i.ID, u.Value, i.LastUpdate || '|' || ifnull(i.FileSize, '') || '|' || ifnull(length(c.c0Title), '') || '|' || "
        "ifnull(length(c.c1Code), '') || '|' || ifnull(c.c2File, '') || '|' || "
        "ifnull((SELECT group_concat(t.Name || ':' || k.Name, '/') FROM tblItemCategory ic "
        "JOIN tblCategory k ON k.ID = ic.CategoryID JOIN tblType t ON t.ID = k.TypeID WHERE ic.ItemID = i.ID), '') || '|' || "
        "ifnull((SELECT group_concat(a.Name || '=' || length(a.Value), '/') FROM tblItemAttribute a "
        "WHERE a.ItemID = i.ID), '') "
        "FROM tblItem i JOIN tblItemAttribute u ON u.ItemID = i.ID AND u.Name = 'uuid' "
        "LEFT JOIN ftsItem_content c ON c.docid = i.ID");
    QByteArray s;
    keys.reserve(100000);
    return db.ForEachRow(
        sql,
        [&](const CSQLite::Row& r) {
            CSyncLocalSide& k = keys[int(r.Int(0))];
            k.id = int(r.Int(0));
            k.uuid = QString::fromUtf8(r.Utf8(1, s));
            k.key = QString::fromUtf8(r.Utf8(2, s));
            return true;
        },
        error);
}

bool CSyncLocalSides::Read(CSQLite& db, QHash<int, CSyncLocalSide>& sides, QString* error) {
    sides.clear();
    bool found = false;
    if (!hasTable(db, "tblSyncLocal", found, error)) return false;
    if (!found) return true;
    QByteArray s;
    return db.ForEachRow(QStringLiteral("SELECT ItemID, Uuid, Key, Fingerprint, AttachBlob, AttachSum FROM tblSyncLocal"),
                         [&](const CSQLite::Row& r) {
                             CSyncLocalSide& x = sides[int(r.Int(0))];
                             x.id = int(r.Int(0));
                             x.uuid = QString::fromUtf8(r.Utf8(1, s));
                             x.key = QString::fromUtf8(r.Utf8(2, s));
                             x.fingerprint = QString::fromUtf8(r.Utf8(3, s));
                             x.attachBlob = QString::fromUtf8(r.Utf8(4, s));
                             x.attachSum = QString::fromUtf8(r.Utf8(5, s));
                             return true;
                         },
                         error);
}

bool CSyncLocalSides::Write(CSQLite& db, const QList<CSyncLocalSide>& sides, QString* error) {
    if (sides.isEmpty()) return true;
    QString e = db.Run(QStringLiteral("CREATE TABLE IF NOT EXISTS tblSyncLocal (ItemID INTEGER PRIMARY KEY, Uuid TEXT, "
                                      "Key TEXT, Fingerprint TEXT, AttachBlob TEXT, AttachSum TEXT)"));
    for (qsizetype i = 0; e.isEmpty() && i < sides.size(); ++i) {
        const CSyncLocalSide& x = sides[i];
        e = db.RunBound(QStringLiteral("INSERT OR REPLACE INTO tblSyncLocal (ItemID, Uuid, Key, Fingerprint, AttachBlob, "
                                       "AttachSum) VALUES (?, ?, ?, ?, ?, ?)"),
                        {x.id, x.uuid, x.key, x.fingerprint, x.attachBlob, x.attachSum});
    }
    if (!e.isEmpty() && error) *error = e;
    return e.isEmpty();
}
