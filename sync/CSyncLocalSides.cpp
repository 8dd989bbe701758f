#include "sync/CSyncLocalSides.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"

#include <QSet>
#include <algorithm>
#include <vector>

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

// FNV-1a: a key that stays the same from run to run and machine to machine.
struct KeyHash {
    quint64 h = 1469598103934665603ull;
    void Add(QByteArrayView bytes) {
        for (const char c : bytes) {
            h ^= quint8(c);
            h *= 1099511628211ull;
        }
        h ^= 0xff;  // ends each part, so "ab"+"c" is not "a"+"bc"
        h *= 1099511628211ull;
    }
    void Add(qint64 v) { Add(QByteArrayView(reinterpret_cast<const char*>(&v), sizeof v)); }
};

quint64 hashOf(QByteArrayView bytes) {
    KeyHash k;
    k.Add(bytes);
    return k.h;
}

// One item's stored state as the key sees it.
struct ItemState {
    int id = 0;
    KeyHash key;
    quint64 attributes = 0;
    QByteArray uuid;
};
}  // namespace

bool CSyncLocalSides::ReadChanged(CSQLite& db, const QSet<QString>& wanted,
                                  const std::function<void(const CSyncLocalSide& side)>& known, QHash<int, QString>& stale,
                                  QStringList& gone, QString* error) {
    stale.clear();
    gone.clear();
    bool attributes = false, remembered = false, agreed = false;
    if (!hasTable(db, "tblItemAttribute", attributes, error) || !hasTable(db, "tblSyncLocal", remembered, error) ||
        !hasTable(db, "tblSyncItem", agreed, error))
        return false;
    if (!attributes) return !agreed || ReadGone(db, gone, error);
    // Each table is read once in its own order and the key put together here: the engine's
    // per-item lookups into five tables cost a large database seconds. Lengths stand for the
    // text: reading and hashing every item is what this saves.
    QByteArray scratch;
    QHash<qint64, quint64> categories;  // names of the category and its language
    std::vector<ItemState> items;
    const auto find = [&](qint64 id, size_t& at) {
        // Most scans run in item order: the next row is the one after the last one found.
        if (at + 1 < items.size() && items[at + 1].id == id) {
            ++at;
            return true;
        }
        const auto it = std::lower_bound(items.begin(), items.end(), id,
                                         [](const ItemState& x, qint64 v) { return x.id < v; });
        at = size_t(it - items.begin());
        return it != items.end() && it->id == id;
    };
    bool ok = db.ForEachRow(QStringLiteral("SELECT k.ID, t.Name, k.Name FROM tblCategory k JOIN tblType t ON t.ID = k.TypeID"),
                            [&](const CSQLite::Row& r) {
                                KeyHash k;
                                k.Add(r.Bytes(1));
                                k.Add(r.Bytes(2));
                                categories.insert(r.Int(0), k.h);
                                return true;
                            },
                            error) &&
              db.ForEachRow(QStringLiteral("SELECT ID, LastUpdate, FileSize FROM tblItem ORDER BY ID"),
                            [&](const CSQLite::Row& r) {
                                ItemState x;
                                x.id = int(r.Int(0));
                                x.key.Add(r.Bytes(1));
                                x.key.Add(r.IsNull(2) ? QByteArrayView() : r.Bytes(2));
                                items.push_back(std::move(x));
                                return true;
                            },
                            error);
    size_t at = 0;
    ok = ok && db.ForEachRow(QStringLiteral("SELECT docid, length(c0Title), length(c1Code), c2File FROM ftsItem_content "
                                            "ORDER BY docid"),
                             [&](const CSQLite::Row& r) {
                                 if (!find(r.Int(0), at)) return true;
                                 KeyHash& k = items[at].key;
                                 k.Add(r.Int(1));
                                 k.Add(r.Int(2));
                                 k.Add(r.Bytes(3));
                                 return true;
                             },
                             error);
    at = 0;
    ok = ok && db.ForEachRow(QStringLiteral("SELECT ItemID, CategoryID FROM tblItemCategory ORDER BY ItemID, CategoryID"),
                             [&](const CSQLite::Row& r) {
                                 if (find(r.Int(0), at)) items[at].key.Add(qint64(categories.value(r.Int(1))));
                                 return true;
                             },
                             error);
    at = 0;
    // In the table's own order; each attribute adds to its item's sum, whatever the order.
    ok = ok && db.ForEachRow(QStringLiteral("SELECT ItemID, Name, length(Value), Value FROM tblItemAttribute"),
                             [&](const CSQLite::Row& r) {
                                 if (!find(r.Int(0), at)) return true;
                                 ItemState& x = items[at];
                                 const QByteArrayView name = r.Bytes(1);
                                 KeyHash one;
                                 one.Add(name);
                                 one.Add(r.Int(2));
                                 x.attributes += one.h;
                                 if (name == "uuid") x.uuid = r.Utf8(3, scratch).toByteArray();
                                 return true;
                             },
                             error);
    QSet<quint64> held;  // the identities items hold
    held.reserve(qsizetype(items.size()));
    for (ItemState& x : items) {
        x.key.Add(qint64(x.attributes));
        if (!x.uuid.isEmpty()) held.insert(hashOf(x.uuid));
    }
    // What the last sync agreed on, by identity: a hash of its fingerprint.
    QHash<quint64, quint64> agreedPrints;
    if (ok && agreed)
        ok = db.ForEachRow(QStringLiteral("SELECT Uuid, Fingerprint FROM tblSyncItem"),
                           [&](const CSQLite::Row& r) {
                               const quint64 uuid = hashOf(r.Bytes(0));
                               agreedPrints.insert(uuid, hashOf(r.Bytes(1)));
                               if (!held.contains(uuid)) gone << QString::fromUtf8(r.Utf8(0, scratch));
                               return true;
                           },
                           error);
    QSet<quint64> wantedHashes;
    for (const QString& u : wanted) wantedHashes.insert(hashOf(u.toUtf8()));
    const auto keyText = [](const ItemState& x) { return QStringLiteral("h:") + QString::number(x.key.h, 16); };
    std::vector<char> seen(items.size(), 0);
    CSyncLocalSide side;
    at = 0;
    if (ok && remembered)
        ok = db.ForEachRow(
            QStringLiteral("SELECT ItemID, Uuid, Key, Fingerprint, AttachBlob, AttachSum FROM tblSyncLocal ORDER BY ItemID"),
            [&](const CSQLite::Row& r) {
                if (!find(r.Int(0), at)) return true;
                const ItemState& x = items[at];
                if (x.uuid.isEmpty()) return true;
                seen[at] = 1;
                if (r.Bytes(1) != QByteArrayView(x.uuid) || r.Utf8(2, scratch) != QByteArrayView(keyText(x).toLatin1())) {
                    stale.insert(x.id, keyText(x));
                    return true;
                }
                const quint64 uuid = hashOf(x.uuid);
                const auto was = agreedPrints.constFind(uuid);
                if (was != agreedPrints.cend() && *was == hashOf(r.Bytes(3)) && !wantedHashes.contains(uuid)) return true;
                side.id = x.id;
                side.uuid = QString::fromUtf8(x.uuid);
                side.key = keyText(x);
                side.fingerprint = QString::fromUtf8(r.Utf8(3, scratch));
                side.attachBlob = QString::fromUtf8(r.Utf8(4, scratch));
                side.attachSum = QString::fromUtf8(r.Utf8(5, scratch));
                known(side);
                return true;
            },
            error);
    // Items with nothing remembered are read again.
    for (size_t i = 0; ok && i < items.size(); ++i)
        if (!seen[i] && !items[i].uuid.isEmpty()) stale.insert(items[i].id, keyText(items[i]));
    return ok;
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
