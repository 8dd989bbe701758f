#include "history/CHistoryJournal.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "history/CHistoryCommand.h"
#include "history/CHistoryState.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char* const kTables =
    "CREATE TABLE IF NOT EXISTS tblItemVersion (ID INTEGER PRIMARY KEY, ItemID INTEGER NOT NULL, UndoID INTEGER, "
    "Changed INTEGER NOT NULL, Command TEXT NOT NULL, Title TEXT, Code TEXT, Language TEXT, Categories TEXT, "
    "File TEXT, FileSize INTEGER, StoredSize INTEGER, LastUpdate INTEGER, BlockKept INTEGER NOT NULL DEFAULT 0, "
    "BlockHash TEXT, Languages TEXT);"
    "CREATE INDEX IF NOT EXISTS tblItemVersion_ItemID ON tblItemVersion (ItemID);"
    "CREATE INDEX IF NOT EXISTS tblItemVersion_UndoID ON tblItemVersion (UndoID) WHERE UndoID IS NOT NULL;"
    "CREATE TABLE IF NOT EXISTS tblVersionBlock (Hash TEXT PRIMARY KEY, Block BLOB NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS tblTrash (ID INTEGER PRIMARY KEY, ItemID INTEGER NOT NULL, "
    "VersionID INTEGER NOT NULL, Deleted INTEGER NOT NULL);"
    // An undo asks for each of its versions whether it waits in the trash: without the index,
    // a scan of the trash per version.
    "CREATE INDEX IF NOT EXISTS tblTrash_VersionID ON tblTrash (VersionID);"
    "CREATE TABLE IF NOT EXISTS tblUndo (ID INTEGER PRIMARY KEY, Command TEXT NOT NULL, Kind TEXT NOT NULL, "
    "Done INTEGER NOT NULL, Detail TEXT);"
    "CREATE TABLE IF NOT EXISTS tblUndoAdded (UndoID INTEGER NOT NULL, ItemID INTEGER NOT NULL, PRIMARY KEY "
    "(UndoID, ItemID)) WITHOUT ROWID;";

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

// What a change is called, and how it is taken back, when no command names it.
void defaults(const CChange& change, CHistoryState::Command& c) {
    using K = CChange::Kind;
    struct Name {
        K kind;
        const char *name, *id;
        bool undoable;
    };
    static const Name names[] = {
        {K::Save, "Save", "save", false},
        {K::Delete, "Delete", "delete", true},
        {K::RenameCategory, "Rename Category", "rename", true},
        {K::Attach, "Attach", "attach", false},
        {K::ClearAttachment, "Clear Attachment", "clear", true},
        {K::Import, "Import", "import", true},
        {K::Compact, "Compact", "compact", false},
    };
    c.undo = int(CHistoryCommand::Undo::None);
    for (const Name& n : names) {
        if (n.kind != change.kind) continue;
        c.name = QLatin1String(n.name);
        c.kind = QLatin1String(n.id);
        if (n.undoable) c.undo = int(CHistoryCommand::Undo::Entry);
    }
    // Only an attachment that replaced another one destroyed anything.
    if (change.kind == K::Attach)
        for (const CItemChange& i : change.items)
            if (i.before && i.before->HasAttachment()) c.undo = int(CHistoryCommand::Undo::Entry);
}

QVariant orNull(const QString& text) { return text.isNull() ? QVariant() : QVariant(text); }

// Code of a few hundred bytes or more is kept compressed (zlib, as a blob): most versions
// differ from each other in a line or two, and code text packs well.
QVariant packedCode(const QString& code) {
    const QByteArray utf8 = code.toUtf8();
    if (utf8.size() < CHistoryJournal::kPackFrom) return code;
    return qCompress(utf8, 9);
}

// The Languages column of a version of item b whose links were kept before the change: NULL
// unless they span several languages (and are the links b names, in its order).
QVariant languagesOf(const CItem& b, const QList<QPair<QString, QString>>& links) {
    if (links.size() != b.categories.size()) return {};
    QStringList languages;
    for (qsizetype i = 0; i < links.size(); ++i) {
        if (links[i].first != b.categories[i]) return {};
        languages << links[i].second;
    }
    return languages.join(QLatin1Char('\n'));
}

class Journal {
public:
    Journal(CSQLite& db, CHistoryState& s, CHistoryState::Command& c) : m_db(db), m_s(s), m_c(c) {}

    bool Write(const CChange& change, QString* error) {
        if (change.kind == CChange::Kind::Compact) return true;
        const bool entry = m_c.undo == int(CHistoryCommand::Undo::Entry);
        if (change.kind == CChange::Kind::RenameCategory) {
            // A rename changes links only: the category and its items' links, kept once in the
            // undo entry, put everything back. A version per item would copy every text it
            // touches (thousands, for a merge of a large category).
            if (!entry || m_s.renameDetail.isEmpty()) return true;
            if (m_c.detail.isEmpty()) {
                // The new name too, for the items' History lists.
                QJsonObject detail = QJsonDocument::fromJson(m_s.renameDetail.toUtf8()).object();
                detail[QStringLiteral("to")] = change.newName;
                m_c.detail = QString::fromUtf8(QJsonDocument(detail).toJson(QJsonDocument::Compact));
                m_madeDetail = true;
                if (m_c.undoId &&
                    !run(QStringLiteral("UPDATE tblUndo SET Detail = ?1 WHERE ID = ?2"), {m_c.detail, m_c.undoId}, error))
                    return false;
            }
            return undoId(error);
        }
        const qint64 now = CHistoryJournal::NowMs();
        for (const CItemChange& ic : change.items) {
            const int id = ic.id;
            // Taken whatever happens to the record: a later change of the item reads its own.
            const QList<QPair<QString, QString>> links = m_s.keptLinks.take(id);
            if (!ic.before) {
                // Numbers only stand for new items in an import; any other such record comes from
                // the undo's bulk writes, which keep the states themselves.
                const bool made = ic.after || (change.valuesOmitted && change.kind == CChange::Kind::Import);
                if (made) {
                    if (!m_c.created.contains(id)) {
                        m_c.created.insert(id);
                        m_newCreated << id;
                    }
                    const bool adds = change.kind == CChange::Kind::Save || change.kind == CChange::Kind::Import;
                    if (entry && adds &&
                        (!undoId(error) ||
                         !run(QStringLiteral("INSERT INTO tblUndoAdded (UndoID, ItemID) VALUES (?1, ?2)"),
                              {m_c.undoId, id}, error)))
                        return false;
                }
                m_s.keptBlocks.remove(id);
                continue;
            }
            const bool blockChanged = m_s.keptBlocks.contains(id);
            const QString hash = m_s.keptBlocks.take(id);
            // An item an undo brought back had no state before it worth keeping.
            if (m_c.undo == int(CHistoryCommand::Undo::Undoing) && m_c.created.contains(id)) continue;
            qint64 version = m_c.versionOf.value(id);
            if (version) {
                // The state before the command is kept once; a block it changed later joins it.
                if (blockChanged &&
                    !run(QStringLiteral("UPDATE tblItemVersion SET BlockKept = 1, BlockHash = ?1 WHERE ID = ?2 AND "
                                        "BlockKept = 0"),
                         {orNull(hash.isEmpty() ? QString() : hash), version}, error))
                    return false;
            } else {
                const CItem& b = *ic.before;
                if (change.kind == CChange::Kind::Save && ic.after && !blockChanged && b.SameContent(*ic.after) &&
                    b.lastUpdate == ic.after->lastUpdate)
                    continue;
                if (entry && !undoId(error)) return false;
                if (!run(QStringLiteral("INSERT INTO tblItemVersion (ItemID, UndoID, Changed, Command, Title, Code, "
                                        "Language, Categories, File, FileSize, StoredSize, LastUpdate, BlockKept, "
                                        "BlockHash, Languages) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                                        "?12, ?13, ?14, ?15)"),
                         {id, entry ? QVariant(m_c.undoId) : QVariant(), now, m_c.name, b.title, packedCode(b.body), b.language,
                          b.categories.join(QLatin1Char('\n')), orNull(b.fileName.isEmpty() ? QString() : b.fileName),
                          b.fileSize, b.storedSize,
                          b.lastUpdate.isValid() ? QVariant(b.lastUpdate.toMSecsSinceEpoch()) : QVariant(),
                          blockChanged ? 1 : 0, orNull(hash.isEmpty() ? QString() : hash), languagesOf(b, links)},
                         error))
                    return false;
                version = m_db.LastInsertRowID();
                m_c.versionOf.insert(id, version);
                m_newVersions << id;
            }
            if (change.kind == CChange::Kind::Delete &&
                !run(QStringLiteral("INSERT INTO tblTrash (ItemID, VersionID, Deleted) VALUES (?1, ?2, ?3)"),
                     {id, version, now}, error))
                return false;
        }
        return true;
    }

    // Forgets what a write that was rolled back noted in the command.
    void Forget() {
        for (int id : std::as_const(m_newVersions)) m_c.versionOf.remove(id);
        for (int id : std::as_const(m_newCreated)) m_c.created.remove(id);
        if (m_madeUndo) m_c.undoId = 0;
        if (m_madeDetail) m_c.detail.clear();
    }

private:
    bool run(const QString& sql, const QVariantList& values, QString* error) {
        const QString e = m_db.RunBound(sql, values);
        return e.isEmpty() || fail(error, e);
    }
    bool undoId(QString* error) {
        if (m_c.undoId) return true;
        if (!run(QStringLiteral("INSERT INTO tblUndo (Command, Kind, Done, Detail) VALUES (?1, ?2, ?3, ?4)"),
                 {m_c.name, m_c.kind, CHistoryJournal::NowMs(), orNull(m_c.detail)}, error))
            return false;
        m_c.undoId = m_db.LastInsertRowID();
        m_madeUndo = true;
        return true;
    }
    CSQLite& m_db;
    CHistoryState& m_s;
    CHistoryState::Command& m_c;
    QList<int> m_newVersions, m_newCreated;
    bool m_madeUndo = false, m_madeDetail = false;
};

bool writeChange(CSQLite& db, const CChange& change, QString* error) {
    CHistoryState& s = CHistoryState::Of(db);
    CHistoryState::Command own;
    CHistoryState::Command* c = s.command.get();
    if (!c) {
        defaults(change, own);
        c = &own;
    }
    QString why;
    // Tables made by a transaction that was rolled back are gone again: one more try makes them.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QHash<int, QString> blocks = s.keptBlocks;
        const auto links = s.keptLinks;
        CTransaction unit(db, &why);
        bool ok = unit.IsOpen();
        if (ok && !s.tablesReady) ok = CHistoryJournal::EnsureTables(db, &why);
        Journal journal(db, s, *c);
        ok = ok && journal.Write(change, &why) && unit.Commit(&why);
        if (ok) {
            s.renameDetail.clear();
            return true;
        }
        unit.Rollback();
        journal.Forget();
        s.keptBlocks = blocks;
        s.keptLinks = links;
        s.tablesReady = false;
    }
    s.keptBlocks.clear();
    s.keptLinks.clear();
    s.renameDetail.clear();
    // A deleted item that cannot wait in the trash would be lost: the delete fails. Anything
    // else goes on without its history rather than be refused.
    if (change.kind == CChange::Kind::Delete)
        return fail(error, QStringLiteral("Unable to keep the item in the trash: ") + why);
    return true;
}

}  // namespace

CHistoryState& CHistoryState::Of(CSQLite& db) { return db.Slot<CHistoryState>(); }

qint64 CHistoryJournal::NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

void CHistoryJournal::Install(CSQLite& db) { db.AddChangeWriter(writeChange, QStringLiteral("history")); }

bool CHistoryJournal::EnsureTables(CSQLite& db, QString* error) {
    CHistoryState& s = CHistoryState::Of(db);
    QString e = db.Run(QLatin1String(kTables));
    // A table made before links kept their languages gains the column; its rows read as one
    // language each, as they were written.
    s.languagesColumn = -1;
    if (e.isEmpty() && !HasLanguagesColumn(db))
        e = db.Run(QStringLiteral("ALTER TABLE tblItemVersion ADD COLUMN Languages TEXT"));
    s.languagesColumn = -1;
    if (e.isEmpty()) s.tablesReady = true;
    return e.isEmpty() || fail(error, e);
}

bool CHistoryJournal::HasLanguagesColumn(CSQLite& db) {
    CHistoryState& s = CHistoryState::Of(db);
    if (s.languagesColumn >= 0) return s.languagesColumn == 1;
    bool found = false;
    QString e;
    db.ForEachRow(QStringLiteral("SELECT 1 FROM pragma_table_info('tblItemVersion') WHERE name = 'Languages'"),
                  [&](const CSQLite::Row&) {
                      found = true;
                      return false;
                  },
                  &e);
    // A failed read is asked again next time.
    if (e.isEmpty()) s.languagesColumn = found ? 1 : 0;
    return found;
}

bool CHistoryJournal::KeepLinksBefore(CSQLite& db, int itemId, QString* error) {
    // The item load's own statement over the links, so that the names come in its order.
    QList<QPair<QString, QString>> links;
    bool mixed = false;
    QString e;
    if (!db.ForEachRow(QStringLiteral("SELECT tblCategory.Name, tblType.Name FROM tblItemCategory LEFT JOIN tblCategory ON "
                                      "tblItemCategory.CategoryID = tblCategory.ID LEFT JOIN tblType ON "
                                      "tblCategory.TypeID = tblType.ID WHERE tblItemCategory.ItemID IN (") +
                           QString::number(itemId) + QLatin1Char(')'),
                       [&](const CSQLite::Row& r) {
                           links.append({r.Value(0).toString(), r.Value(1).toString()});
                           if (links.last().second != links.first().second)
                               mixed = true;
                           return true;
                       },
                       &e))
        return fail(error, e);
    CHistoryState& s = CHistoryState::Of(db);
    if (mixed) s.keptLinks.insert(itemId, links);
    else s.keptLinks.remove(itemId);
    return true;
}

bool CHistoryJournal::KeepVersion(CSQLite& db, int itemId, const CItem& b, const QString& command, QString* error) {
    if (!CHistoryState::Of(db).tablesReady && !EnsureTables(db, error)) return false;
    const QString e = db.RunBound(
        QStringLiteral("INSERT INTO tblItemVersion (ItemID, Changed, Command, Title, Code, Language, Categories, File, "
                       "FileSize, StoredSize, LastUpdate) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"),
        {itemId, NowMs(), command, b.title, packedCode(b.body), b.language, b.categories.join(QLatin1Char('\n')),
         orNull(b.fileName.isEmpty() ? QString() : b.fileName), b.fileSize, b.storedSize,
         b.lastUpdate.isValid() ? QVariant(b.lastUpdate.toMSecsSinceEpoch()) : QVariant()});
    return e.isEmpty() || fail(error, e);
}

bool CHistoryJournal::KeepBlockBefore(CSQLite& db, int itemId, QString* error) {
    // The version this change keeps names the item's links as well.
    if (!KeepLinksBefore(db, itemId, error)) return false;
    QByteArray block;
    bool have = false;
    QString e;
    if (!db.ReadFirstValue(QStringLiteral("SELECT FileBLOB FROM tblItem WHERE ID = ") + QString::number(itemId),
                           [&](QByteArrayView bytes, bool isNull) {
                               have = !isNull && !bytes.isEmpty();
                               if (have) block = bytes.toByteArray();
                           },
                           e))
        return fail(error, e);
    CHistoryState& s = CHistoryState::Of(db);
    if (!have) {
        s.keptBlocks.insert(itemId, QString());
        return true;
    }
    if (!s.tablesReady && !EnsureTables(db, error)) return false;
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(block, QCryptographicHash::Sha256).toHex());
    e = db.RunWithBlob(QStringLiteral("INSERT OR IGNORE INTO tblVersionBlock (Hash, Block) VALUES ('") + hash +
                           QStringLiteral("', ?1)"),
                       block);
    if (!e.isEmpty()) {
        s.tablesReady = false;
        return fail(error, e);
    }
    s.keptBlocks.insert(itemId, hash);
    return true;
}

bool CHistoryJournal::BeforeRename(CSQLite& db, int categoryId, QString* error) {
    QJsonObject detail;
    QJsonArray links;
    QString e;
    const QString c = QString::number(categoryId);
    bool found = false;
    bool ok = db.ForEachRow(QStringLiteral("SELECT ID, TypeID, Name FROM tblCategory WHERE ID = ") + c,
                            [&](const CSQLite::Row& r) {
                                detail[QStringLiteral("category")] =
                                    QJsonArray{r.Int(0), r.Int(1), r.Value(2).toString()};
                                found = true;
                                return false;
                            },
                            &e) &&
              db.ForEachRow(QStringLiteral("SELECT rowid, ItemID, CategoryID FROM tblItemCategory WHERE ItemID IN "
                                           "(SELECT ItemID FROM tblItemCategory WHERE CategoryID = ") +
                                c + QStringLiteral(") ORDER BY rowid"),
                            [&](const CSQLite::Row& r) {
                                links.append(QJsonArray{r.Int(0), r.Int(1), r.Int(2)});
                                return true;
                            },
                            &e);
    // A rename may make the category of the new name: the undo lets one it made go again.
    ResultTable t;
    const qint64 highest = ok ? db.Exec(QStringLiteral("SELECT Coalesce(Max(ID), 0) FROM tblCategory"), t, e, true).toLongLong() : 0;
    if (!ok || !e.isEmpty()) return fail(error, e);
    detail[QStringLiteral("links")] = links;
    detail[QStringLiteral("highest")] = highest;
    CHistoryState::Of(db).renameDetail =
        found ? QString::fromUtf8(QJsonDocument(detail).toJson(QJsonDocument::Compact)) : QString();
    return true;
}
