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

bool CSyncLocalSides::Read(CSQLite& db, const std::function<void(const CSyncLocalSide& side)>& known,
                           QHash<int, QString>& stale, qsizetype& count, QString* error) {
    stale.clear();
    count = 0;
    bool attributes = false, remembered = false;
    if (!hasTable(db, "tblItemAttribute", attributes, error) || !hasTable(db, "tblSyncLocal", remembered, error))
        return false;
    if (!attributes) return true;
    // Lengths stand for the text: reading and hashing every item is what this saves. The
    // comparison is made by the engine, so only what differs comes out as text.
    const QString key = QStringLiteral(
        "i.LastUpdate || '|' || ifnull(i.FileSize, '') || '|' || ifnull(length(c.c0Title), '') || '|' || "
        "ifnull(length(c.c1Code), '') || '|' || ifnull(c.c2File, '') || '|' || "
        "ifnull((SELECT group_concat(t.Name || ':' || k.Name, '/') FROM tblItemCategory ic "
        "JOIN tblCategory k ON k.ID = ic.CategoryID JOIN tblType t ON t.ID = k.TypeID WHERE ic.ItemID = i.ID), '') || '|' || "
        "ifnull((SELECT group_concat(a.Name || '=' || length(a.Value), '/') FROM tblItemAttribute a "
        "WHERE a.ItemID = i.ID), '')");
    QByteArray s;
    CSyncLocalSide side;
    return db.ForEachRow(
        QStringLiteral("SELECT ID, Uuid, Key, ifnull(Was = Uuid AND WasKey = Key, 0), Fingerprint, AttachBlob, "
                       "AttachSum FROM (SELECT i.ID AS ID, u.Value AS Uuid, ") +
            key + QStringLiteral(" AS Key, ") +
            (remembered ? QStringLiteral("s.Uuid AS Was, s.Key AS WasKey, s.Fingerprint AS Fingerprint, "
                                         "s.AttachBlob AS AttachBlob, s.AttachSum AS AttachSum ")
                        : QStringLiteral("NULL AS Was, NULL AS WasKey, NULL AS Fingerprint, NULL AS AttachBlob, "
                                         "NULL AS AttachSum ")) +
            QStringLiteral("FROM tblItem i JOIN tblItemAttribute u ON u.ItemID = i.ID AND u.Name = 'uuid' "
                           "LEFT JOIN ftsItem_content c ON c.docid = i.ID ") +
            (remembered ? QStringLiteral("LEFT JOIN tblSyncLocal s ON s.ItemID = i.ID") : QString()) + QStringLiteral(")"),
        [&](const CSQLite::Row& r) {
            ++count;
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
