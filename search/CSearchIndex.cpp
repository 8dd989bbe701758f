#include "search/CSearchIndex.h"

#include "db/CLargerCache.h"
#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "search/CSearchText.h"
#include "util/CPrompt.h"

#include <QHash>
#include <QVariant>
#include <cstring>
#include <functional>
#include <future>

namespace {

constexpr int kChunk = 500;

// A 64-bit hash that stays the same on every machine and run (unlike the container hashes).
class Hasher {
public:
    void Add(QByteArrayView bytes) {
        const char* p = bytes.data();
        qsizetype n = bytes.size();
        for (; n >= 8; p += 8, n -= 8) {
            quint64 w;
            std::memcpy(&w, p, 8);
            Mix(w);
        }
        quint64 tail = 0;
        std::memcpy(&tail, p, size_t(n));
        Mix(tail);
        Mix(quint64(bytes.size()));
    }
    void Mix(quint64 v) {
        m_h = (m_h ^ v) * 0x9E3779B97F4A7C15ull;
        m_h ^= m_h >> 31;
    }
    qint64 Value() const { return qint64(m_h); }

private:
    quint64 m_h = 0x243F6A8885A308D3ull;
};

// An item's three texts as the index is made from them.
struct ItemText {
    QString title, file, body;
};

// The texts of a content row (docid, title, code, file).
ItemText textOf(const CSQLite::Row& row) {
    QByteArray scratch;
    ItemText t;
    t.title = QString::fromUtf8(row.Utf8(1, scratch));
    t.body = QString::fromUtf8(row.Utf8(2, scratch));
    t.file = QString::fromUtf8(row.Utf8(3, scratch));
    return t;
}

void appendSized(QByteArray& out, QByteArrayView bytes) {
    const quint32 n = quint32(bytes.size());
    out.append(reinterpret_cast<const char*>(&n), 4);
    out.append(bytes.data(), bytes.size());
}

// The state of one content row (docid, title, code, file): the hash of its texts and, when
// keep is given, the texts themselves in the form the state row keeps.
qint64 stateOf(const CSQLite::Row& row, QByteArray* keep) {
    // The hash is of the values as stored (their kind and bytes): the scan decodes nothing.
    Hasher h;
    for (int c = 1; c <= 3; ++c) {
        h.Mix(quint64(row.Type(c)));
        h.Add(row.Bytes(c));
    }
    if (keep) {
        QByteArray s0, s1, s2;
        const QByteArrayView title = row.Utf8(1, s0), code = row.Utf8(2, s1), file = row.Utf8(3, s2);
        keep->clear();
        appendSized(*keep, title);
        appendSized(*keep, code);
        appendSized(*keep, file);
    }
    return h.Value();
}

bool readSized(const QByteArray& raw, qsizetype& at, QString& out) {
    quint32 n = 0;
    if (at + 4 > raw.size()) return false;
    std::memcpy(&n, raw.constData() + at, 4);
    at += 4;
    if (at + qsizetype(n) > raw.size()) return false;
    out = QString::fromUtf8(raw.constData() + at, n);
    at += n;
    return true;
}

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

QString idList(const QList<int>& ids, qsizetype from, qsizetype count) {
    QString list;
    for (qsizetype k = from; k < from + count && k < ids.size(); ++k) {
        if (!list.isEmpty()) list += QLatin1Char(',');
        list += QString::number(ids[k]);
    }
    return list;
}

qint64 dataVersion(CSQLite& db) {
    qint64 v = -1;
    db.ForEachRow(QStringLiteral("PRAGMA data_version"), [&](const CSQLite::Row& r) {
        v = r.Int(0);
        return false;
    });
    return v;
}

// Whether this opening of the file found its index current, with the data version then: while
// no other connection has committed since, this one's own changes keep it current.
struct Verified {
    bool known = false;
    qint64 dataVersion = -1;
};

void noteVerified(CSQLite& db) { db.Slot<Verified>() = {true, dataVersion(db)}; }

bool stillVerified(CSQLite& db) {
    const Verified& v = db.Slot<Verified>();
    return v.known && v.dataVersion == dataVersion(db);
}

// What the open transaction's changes did to the fingerprint: it is read and stored once,
// before the commit, not after each of an import's thousands of changes.
struct FingerprintDue {
    bool due = false;      // changes were indexed while the index matched the file
    bool spoiled = false;  // and some while it did not: the commit must not hide that
};

bool writeFingerprint(CSQLite& db, QString* error);

struct Info {
    int version = 0;
    QString fingerprint;
};

Info readInfo(CSQLite& db) {
    Info info;
    db.ForEachRow(QStringLiteral("SELECT Name, Value FROM tblSearchInfo"), [&](const CSQLite::Row& r) {
        const QByteArrayView name = r.Bytes(0);
        QByteArray scratch;
        if (name == "Version") info.version = int(r.Int(1));
        if (name == "Fingerprint") info.fingerprint = QString::fromUtf8(r.Utf8(1, scratch));
        return true;
    });
    return info;
}

bool create(CSQLite& db, QString* error) {
    const QString why = db.Run(QStringLiteral(
        "DROP TABLE IF EXISTS ftsSearch; DROP TABLE IF EXISTS tblSearchState; DROP TABLE IF EXISTS tblSearchInfo; "
        "DROP TABLE IF EXISTS tblSearchTitle; "
        "CREATE VIRTUAL TABLE ftsSearch USING fts5(Title, File, Body, content='', "
        "tokenize='unicode61 remove_diacritics 0 categories ''L* N* Co M*'''); "
        "INSERT INTO ftsSearch(ftsSearch, rank) VALUES ('rank', 'bm25(10.0, 5.0, 1.0)'); "
        "CREATE TABLE tblSearchState (ItemID INTEGER PRIMARY KEY, Hash INTEGER NOT NULL, Indexed BLOB NOT NULL); "
        "CREATE TABLE tblSearchInfo (Name TEXT PRIMARY KEY, Value); "
        "CREATE TABLE tblSearchTitle (ItemID INTEGER PRIMARY KEY, Title); "
        "INSERT INTO tblSearchInfo (Name, Value) VALUES ('Version', %1), ('Fingerprint', '');")
                                   .arg(CSearchIndex::kVersion));
    return why.isEmpty() || fail(error, why);
}

// Takes the items' rows out of the index and puts in what the store tables hold now.
bool rewrite(CSQLite& db, const QList<int>& ids, qsizetype from, qsizetype count, QString* error) {
    const QString list = idList(ids, from, count);
    if (list.isEmpty()) return true;
    QList<QPair<int, QByteArray>> old;
    QString why;
    if (!db.ForEachRow(QStringLiteral("SELECT ItemID, Indexed FROM tblSearchState WHERE ItemID IN (") + list +
                           QLatin1Char(')'),
                       [&](const CSQLite::Row& r) {
                           old.append({int(r.Int(0)), r.Bytes(1).toByteArray()});
                           return true;
                       },
                       &why))
        return fail(error, why);
    for (const auto& [id, packed] : std::as_const(old)) {
        const QByteArray raw = qUncompress(packed);
        ItemText t;
        qsizetype at = 0;
        // A state row that cannot be read is a damaged index: the catch-up makes it again.
        if (!readSized(raw, at, t.title) || !readSized(raw, at, t.body) || !readSized(raw, at, t.file))
            return fail(error, QStringLiteral("The search index is damaged"));
        why = db.RunBound(QStringLiteral("INSERT INTO ftsSearch (ftsSearch, rowid, Title, File, Body) "
                                         "VALUES ('delete', ?1, ?2, ?3, ?4)"),
                          {id, CSearchText::IndexText(t.title), CSearchText::IndexText(t.file),
                           CSearchText::IndexText(t.body)});
        if (!why.isEmpty()) return fail(error, why);
    }
    why = db.Run(QStringLiteral("DELETE FROM tblSearchState WHERE ItemID IN (") + list +
                 QStringLiteral("); DELETE FROM tblSearchTitle WHERE ItemID IN (") + list +
                 QStringLiteral("); INSERT INTO tblSearchTitle (ItemID, Title) SELECT docid, c0Title FROM "
                                "ftsItem_content WHERE docid IN (") +
                 list + QLatin1Char(')'));
    if (!why.isEmpty()) return fail(error, why);

    struct Now {
        int id;
        qint64 hash;
        QByteArray raw;
        ItemText text;
    };
    QList<Now> now;
    if (!db.ForEachRow(QStringLiteral("SELECT docid, c0Title, c1Code, c2File FROM ftsItem_content WHERE docid IN (") +
                           list + QLatin1Char(')'),
                       [&](const CSQLite::Row& r) {
                           Now n;
                           n.id = int(r.Int(0));
                           n.hash = stateOf(r, &n.raw);
                           n.text = textOf(r);
                           now.append(std::move(n));
                           return true;
                       },
                       &why))
        return fail(error, why);
    for (const Now& n : std::as_const(now)) {
        why = db.RunBound(QStringLiteral("INSERT INTO ftsSearch (rowid, Title, File, Body) VALUES (?1, ?2, ?3, ?4)"),
                          {n.id, CSearchText::IndexText(n.text.title), CSearchText::IndexText(n.text.file),
                           CSearchText::IndexText(n.text.body)});
        if (why.isEmpty())
            why = db.RunBound(QStringLiteral("INSERT INTO tblSearchState (ItemID, Hash, Indexed) VALUES (?1, ?2, ?3)"),
                              {n.id, n.hash, qCompress(n.raw, 6)});
        if (!why.isEmpty()) return fail(error, why);
    }
    return true;
}

// A chunk of content rows on their way into the index: the texts are expanded (and new state
// rows packed) on a thread of its own while the connection writes the chunk before.
struct RemakeRow {
    int id = 0;
    qint64 hash = 0;
    bool newState = false;
    QByteArray raw;  // the state's texts; packed when newState
    ItemText text;   // expanded
};
using RemakeChunk = QList<RemakeRow>;

RemakeChunk expandChunk(RemakeChunk chunk) {
    for (RemakeRow& r : chunk) {
        r.text = {CSearchText::IndexText(r.text.title), CSearchText::IndexText(r.text.file), CSearchText::IndexText(r.text.body)};
        if (r.newState) r.raw = qCompress(r.raw, 6);
    }
    return chunk;
}

// Each indexed item's state: the hash of the text it was indexed from.
bool readStates(CSQLite& db, QHash<int, qint64>& state, QString* error) {
    return db.ForEachRow(QStringLiteral("SELECT ItemID, Hash FROM tblSearchState"),
                         [&](const CSQLite::Row& r) {
                             state.insert(int(r.Int(0)), r.Int(1));
                             return true;
                         },
                         error);
}

// Makes the whole index again from the store tables, when that is cheaper than taking out and
// putting back the rows of ids: each row taken out costs as much as one put in, so a change of
// most of the items (the undo of a large import) costs twice a fresh index. State rows are
// written only for items whose text differs from their state. cancelled (when given) is told the
// share done in percent now and then; true from it stops the remaking, and the caller rolls back.
bool remakeIfCheaper(CSQLite& db, const QList<int>& ids, bool* remade, QString* error,
                     const std::function<bool(int percent)>& cancelled = {}) {
    *remade = false;
    constexpr qsizetype kFrom = 2000;
    if (ids.size() < kFrom) return true;
    QHash<int, qint64> state;
    QString why;
    if (!readStates(db, state, &why)) return fail(error, why);
    qsizetype indexed = 0;
    for (int id : ids) indexed += state.contains(id) ? 1 : 0;
    // Rows out and in for the changed items, against every item in once (the state rows stand
    // for the items; a few more or less change nothing here).
    if (2 * (ids.size() + indexed) < 3 * state.size()) return true;

    CLargerCache cache(db);
    why = db.Run(QStringLiteral("INSERT INTO ftsSearch (ftsSearch) VALUES ('delete-all'); DELETE FROM tblSearchTitle; "
                                "INSERT INTO tblSearchTitle (ItemID, Title) SELECT docid, c0Title FROM ftsItem_content;"));
    if (!why.isEmpty()) return fail(error, why);
    const auto readChunk = [&](qint64 after, RemakeChunk& chunk) {
        chunk.clear();
        return db.ForEachRow(QStringLiteral("SELECT docid, c0Title, c1Code, c2File FROM ftsItem_content WHERE docid > ") +
                                 QString::number(after) + QStringLiteral(" ORDER BY docid LIMIT ") + QString::number(kChunk * 4),
                             [&](const CSQLite::Row& r) {
                                 RemakeRow row;
                                 row.id = int(r.Int(0));
                                 const auto it = state.constFind(row.id);
                                 row.hash = stateOf(r, nullptr);
                                 row.newState = it == state.cend() || *it != row.hash;
                                 if (row.newState) stateOf(r, &row.raw);
                                 if (it != state.cend()) state.erase(it);
                                 row.text = textOf(r);
                                 chunk.append(std::move(row));
                                 return true;
                             },
                             &why);
    };
    // Every item is read: those with a state row, and those changed (the new ones among them).
    const qsizetype total = qMax<qsizetype>(1, qMax(ids.size(), qsizetype(state.size())));
    qsizetype done = 0;
    RemakeChunk chunk;
    if (!readChunk(0, chunk)) return fail(error, why);
    std::future<RemakeChunk> next = std::async(std::launch::async, expandChunk, std::move(chunk));
    for (;;) {
        RemakeChunk expanded = next.get();
        if (expanded.isEmpty()) break;
        if (cancelled) {
            done += expanded.size();
            if (cancelled(int(qMin<qsizetype>(100, 100 * done / total)))) return fail(error, QStringLiteral("Cancelled"));
        }
        if (!readChunk(expanded.last().id, chunk)) return fail(error, why);
        next = std::async(std::launch::async, expandChunk, std::move(chunk));
        for (const RemakeRow& r : std::as_const(expanded)) {
            why = db.RunBound(QStringLiteral("INSERT INTO ftsSearch (rowid, Title, File, Body) VALUES (?1, ?2, ?3, ?4)"),
                              {r.id, r.text.title, r.text.file, r.text.body});
            if (why.isEmpty() && r.newState)
                why = db.RunBound(QStringLiteral("INSERT OR REPLACE INTO tblSearchState (ItemID, Hash, Indexed) VALUES "
                                                 "(?1, ?2, ?3)"),
                                  {r.id, r.hash, r.raw});
            if (!why.isEmpty()) {
                next.wait();
                return fail(error, why);
            }
        }
    }
    // What is left had a state row but is gone from the store.
    for (auto it = state.cbegin(); it != state.cend(); ++it) {
        why = db.RunBound(QStringLiteral("DELETE FROM tblSearchState WHERE ItemID = ?1"), {it.key()});
        if (!why.isEmpty()) return fail(error, why);
    }
    *remade = true;
    return true;
}

bool storeFingerprint(CSQLite& db, const QString& fingerprint, QString* error) {
    const QString why = db.RunBound(QStringLiteral("UPDATE tblSearchInfo SET Value = ?1 WHERE Name = 'Fingerprint'"),
                                    {fingerprint});
    return why.isEmpty() || fail(error, why);
}

}  // namespace

bool CSearchIndex::Exists(CSQLite& db) {
    ResultTable t;
    QString why;
    return db.Exec(QStringLiteral("SELECT Count(*) FROM sqlite_master WHERE name IN "
                                  "('ftsSearch', 'tblSearchState', 'tblSearchInfo', 'tblSearchTitle')"),
                   t, why, true)
               .toInt() == 4;
}

QString CSearchIndex::Fingerprint(CSQLite& db, QString* error) {
    Hasher h;
    int rows = 0;
    QString why;
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT level, idx, start_block, leaves_end_block, end_block, root FROM ftsItem_segdir "
                       "ORDER BY level, idx"),
        [&](const CSQLite::Row& r) {
            ++rows;
            for (int c = 0; c < 6; ++c) {
                h.Mix(quint64(r.Type(c)));
                h.Add(r.Bytes(c));
            }
            return true;
        },
        &why);
    if (!ok) {
        if (error) *error = why;
        return {};
    }
    h.Mix(quint64(rows));
    if (error) error->clear();
    return QString::number(quint64(h.Value()), 16);
}

bool CSearchIndex::ItemsChanged(CSQLite& db, const QList<int>& ids, QString* error) {
    if (error) error->clear();
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    if (ids.isEmpty() || db.IsReadOnly()) return true;
    // Whether the index matched the file before this change; the change must not hide another.
    const bool current = stillVerified(db);
    if (!Exists(db)) {
        if (!create(db, error)) return false;
    } else if (readInfo(db).version != kVersion) {
        return true;  // made again from the start by the next catch-up
    }
    FingerprintDue& f = db.Slot<FingerprintDue>();
    bool remade = false;
    if (!remakeIfCheaper(db, ids, &remade, error)) return false;
    if (remade) {
        // The index is made from the store tables as they are now: whatever it missed before
        // is in it.
        f = {true, false};
        return db.InTransaction() || writeFingerprint(db, error);
    }
    for (qsizetype k = 0; k < ids.size(); k += kChunk)
        if (!rewrite(db, ids, k, kChunk, error)) return false;
    (current ? f.due : f.spoiled) = true;
    // Outside a transaction nothing else follows.
    return db.InTransaction() || writeFingerprint(db, error);
}

void CSearchIndex::Install(CSQLite& db) {
    db.AddChangeWriter(
        [](CSQLite& conn, const CChange& change, QString* error) {
            // The bulk import path indexes its new items batch by batch itself.
            if (change.kind == CChange::Kind::Import && change.valuesOmitted) return true;
            // The index holds no category; a category filter reads the store's own links.
            if (change.kind == CChange::Kind::RenameCategory) return true;
            const QList<int> ids = change.ItemIds();
            return ids.isEmpty() || ItemsChanged(conn, ids, error);
        },
        QStringLiteral("search index"));
    db.AddCommitWriter(writeFingerprint, QStringLiteral("search fingerprint"));
}

namespace {

bool writeFingerprint(CSQLite& db, QString* error) {
    FingerprintDue& f = db.Slot<FingerprintDue>();
    const bool write = f.due && !f.spoiled;
    f = {};
    if (!write) return true;
    // A savepoint makes the plain full-text table write out its pending terms, so that the
    // fingerprint read now is the one the commit leaves.
    QString why = db.Run(QStringLiteral("SAVEPOINT vgSearchFlush; RELEASE vgSearchFlush;"));
    const QString fingerprint = why.isEmpty() ? CSearchIndex::Fingerprint(db, &why) : QString();
    if (!why.isEmpty()) return fail(error, why);
    return storeFingerprint(db, fingerprint, error);
}

}  // namespace

bool CSearchIndex::IsCurrent(CSQLite& db) {
    if (!db.IsOpen() || !Exists(db)) return false;
    const Info info = readInfo(db);
    QString why;
    const QString now = Fingerprint(db, &why);
    const bool current = why.isEmpty() && info.version == kVersion && !info.fingerprint.isEmpty() &&
                         info.fingerprint == now;
    if (current) noteVerified(db);
    return current;
}

bool CSearchIndex::CatchUp(CSQLite& db, QString* error, int* rewritten) {
    if (rewritten) *rewritten = 0;
    if (error) error->clear();
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    if (db.IsReadOnly()) return fail(error, QStringLiteral("The database is read-only"));
    QString why;
    CTransaction unit(db, &why);
    if (!unit.IsOpen()) return fail(error, why);
    if (!Exists(db) && !create(db, error)) return false;
    if (readInfo(db).version != kVersion) {
        why = db.Run(QStringLiteral("DELETE FROM tblSearchState; DELETE FROM tblSearchTitle; "
                                    "INSERT INTO ftsSearch (ftsSearch) VALUES ('delete-all'); "
                                    "UPDATE tblSearchInfo SET Value = ") +
                     QString::number(kVersion) + QStringLiteral(" WHERE Name = 'Version';"));
        if (!why.isEmpty()) return fail(error, why);
    }
    const QString fingerprint = Fingerprint(db, &why);
    if (!why.isEmpty()) return fail(error, why);

    // Each item's text against the state it was indexed from.
    QHash<int, qint64> state;
    if (!readStates(db, state, &why)) return fail(error, why);
    QList<int> changed;
    if (!db.ForEachRow(QStringLiteral("SELECT docid, c0Title, c1Code, c2File FROM ftsItem_content"),
                       [&](const CSQLite::Row& r) {
                           const int id = int(r.Int(0));
                           const auto it = state.constFind(id);
                           if (it == state.cend() || *it != stateOf(r, nullptr)) changed.append(id);
                           if (it != state.cend()) state.erase(it);
                           return true;
                       },
                       &why))
        return fail(error, why);
    for (auto it = state.cbegin(); it != state.cend(); ++it) changed.append(it.key());

    CLargerCache cache(db);
    const bool show = changed.size() >= kProgressFrom;
    CProgressScope progress(show);
    if (show) progress.Text(0, QStringLiteral("Updating the search index..."));
    // Most items to index again (a new index, another program's large change): made whole, the
    // texts expanded on a second thread.
    bool remade = false;
    if (!remakeIfCheaper(db, changed, &remade, error, [&](int percent) { return show && progress.Update(percent); }))
        return false;
    for (qsizetype k = 0; !remade && k < changed.size(); k += kChunk) {
        if (!rewrite(db, changed, k, kChunk, error)) return false;
        if (show && progress.Update(int(100 * (k + kChunk) / changed.size())))
            return fail(error, QStringLiteral("Cancelled"));
    }
    if (!storeFingerprint(db, fingerprint, error) || !unit.Commit(error)) return false;
    noteVerified(db);
    if (rewritten) *rewritten = int(changed.size());
    return true;
}

bool CSearchIndex::Prepare(CSQLite& db) {
    if (!db.IsOpen()) return false;
    if (IsCurrent(db)) return true;
    // Inside a transaction the file is the caller's to change; a read-only one cannot be.
    if (db.InTransaction() || db.IsReadOnly()) return false;
    return CatchUp(db, nullptr);
}
