#include "sync/CSyncState.h"

#include "db/CSQLite.h"

#include <functional>

namespace {
bool hasTable(CSQLite& db, const char* name, QString* error) {
    bool found = false;
    db.ForEachRow(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '%1'").arg(QLatin1String(name)),
                  [&](const CSQLite::Row&) {
                      found = true;
                      return false;
                  },
                  error);
    return found;
}
bool run(CSQLite& db, const QString& sql, const QVariantList& values, QString* error) {
    const QString e = db.RunBound(sql, values);
    if (e.isEmpty()) return true;
    if (error) *error = e;
    return false;
}
}  // namespace

bool CSyncState::Prepare(CSQLite& db, QString* error) {
    return run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS tblSyncState (Name TEXT PRIMARY KEY, Value TEXT)"), {}, error) &&
           run(db,
               QStringLiteral("CREATE TABLE IF NOT EXISTS tblSyncItem (Uuid TEXT PRIMARY KEY, Path TEXT, Blob TEXT, "
                              "Fingerprint TEXT, Number INTEGER, AttachPath TEXT, AttachBlob TEXT, AttachSum TEXT)"),
               {}, error) &&
           // A sync that pulls a few changed files finds their items by where they lie.
           run(db, QStringLiteral("CREATE INDEX IF NOT EXISTS tblSyncItem_Path ON tblSyncItem (Path)"), {}, error) &&
           run(db, QStringLiteral("CREATE INDEX IF NOT EXISTS tblSyncItem_AttachPath ON tblSyncItem (AttachPath)"), {}, error);
}

bool CSyncState::Read(CSQLite& db, const QString& name, QString& value, QString* error) {
    value.clear();
    QString e;
    if (!hasTable(db, "tblSyncState", &e)) {
        if (error) *error = e;
        return e.isEmpty();
    }
    QByteArray scratch;
    return db.ForEachRow(QStringLiteral("SELECT Value FROM tblSyncState WHERE Name = '%1'").arg(name),
                         [&](const CSQLite::Row& r) {
                             value = QString::fromUtf8(r.Utf8(0, scratch));
                             return false;
                         },
                         error);
}

bool CSyncState::Write(CSQLite& db, const QString& name, const QString& value, QString* error) {
    return Prepare(db, error) &&
           run(db, QStringLiteral("INSERT OR REPLACE INTO tblSyncState (Name, Value) VALUES (?, ?)"), {name, value}, error);
}

namespace {
bool readRows(CSQLite& db, const QString& where, SyncEntries& entries, bool keep, QString* error) {
    QString e;
    if (!hasTable(db, "tblSyncItem", &e)) {
        if (error) *error = e;
        return e.isEmpty();
    }
    QByteArray s;
    return db.ForEachRow(
        QStringLiteral("SELECT Uuid, Path, Blob, Fingerprint, Number, AttachPath, AttachBlob, AttachSum FROM tblSyncItem") +
            where,
        [&](const CSQLite::Row& r) {
            const QString uuid = QString::fromUtf8(r.Utf8(0, s));
            if (keep && entries.contains(uuid)) return true;
            CSyncEntry x;
            x.path = QString::fromUtf8(r.Utf8(1, s));
            x.blob = QString::fromUtf8(r.Utf8(2, s));
            x.fingerprint = QString::fromUtf8(r.Utf8(3, s));
            x.number = int(r.Int(4));
            x.attachPath = QString::fromUtf8(r.Utf8(5, s));
            x.attachBlob = QString::fromUtf8(r.Utf8(6, s));
            x.attachSum = QString::fromUtf8(r.Utf8(7, s));
            entries.insert(uuid, x);
            return true;
        },
        error);
}

// Long lists go to the engine a few hundred at a time.
bool inChunks(const QStringList& values, const std::function<bool(const QString& list)>& fn) {
    for (qsizetype i = 0; i < values.size(); i += 500) {
        QStringList quoted;
        for (const QString& v : values.mid(i, 500)) {
            QString q = v;
            q.replace(QLatin1Char('\''), QStringLiteral("''"));
            quoted << QLatin1Char('\'') + q + QLatin1Char('\'');
        }
        if (!fn(quoted.join(QLatin1Char(',')))) return false;
    }
    return true;
}
}  // namespace

bool CSyncState::ReadEntries(CSQLite& db, SyncEntries& entries, QString* error) {
    entries.clear();
    return readRows(db, QString(), entries, false, error);
}

bool CSyncState::ReadEntriesOf(CSQLite& db, const QStringList& uuids, SyncEntries& entries, QString* error) {
    return inChunks(uuids, [&](const QString& list) {
        return readRows(db, QStringLiteral(" WHERE Uuid IN (%1)").arg(list), entries, true, error);
    });
}

bool CSyncState::ReadEntriesAt(CSQLite& db, const QStringList& paths, SyncEntries& entries, QString* error) {
    return inChunks(paths, [&](const QString& list) {
        return readRows(db, QStringLiteral(" WHERE Path IN (%1) OR AttachPath IN (%1)").arg(list), entries, true, error);
    });
}

bool CSyncState::CountEntries(CSQLite& db, qint64& count, QString* error) {
    count = 0;
    QString e;
    if (!hasTable(db, "tblSyncItem", &e)) {
        if (error) *error = e;
        return e.isEmpty();
    }
    return db.ForEachRow(QStringLiteral("SELECT count(*) FROM tblSyncItem"),
                         [&](const CSQLite::Row& r) {
                             count = r.Int(0);
                             return false;
                         },
                         error);
}

bool CSyncState::WriteEntries(CSQLite& db, const SyncEntries& old, const SyncEntries& entries, QString* error) {
    if (!Prepare(db, error)) return false;
    for (auto it = old.cbegin(); it != old.cend(); ++it)
        if (!entries.contains(it.key()) &&
            !run(db, QStringLiteral("DELETE FROM tblSyncItem WHERE Uuid = ?"), {it.key()}, error))
            return false;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const auto was = old.constFind(it.key());
        if (was != old.cend() && *was == *it) continue;
        const CSyncEntry& x = *it;
        if (!run(db,
                 QStringLiteral("INSERT OR REPLACE INTO tblSyncItem (Uuid, Path, Blob, Fingerprint, Number, AttachPath, "
                                "AttachBlob, AttachSum) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                 {it.key(), x.path, x.blob, x.fingerprint, x.number, x.attachPath, x.attachBlob, x.attachSum}, error))
            return false;
    }
    return true;
}
