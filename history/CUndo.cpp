#include "history/CUndo.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "db/basDBItemAttributes.h"
#include "db/basDBItems.h"
#include "history/CHistory.h"
#include "history/CHistoryCommand.h"
#include "history/CHistoryJournal.h"
#include "history/CHistoryState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

bool run(CSQLite& db, const QString& sql, const QVariantList& values, QString* error) {
    const QString e = db.RunBound(sql, values);
    return e.isEmpty() || fail(error, e);
}

QList<int> intsOf(CSQLite& db, const QString& sql, QString* error, bool* ok) {
    QList<int> ids;
    QString e;
    *ok = db.ForEachRow(sql,
                        [&](const CSQLite::Row& r) {
                            ids << int(r.Int(0));
                            return true;
                        },
                        &e) ||
          fail(error, e);
    return ids;
}

// Puts a category and its items' links back as they were before a rename or merge.
bool undoRename(CSQLite& db, const QString& detailText, QString* error) {
    const QJsonObject detail = QJsonDocument::fromJson(detailText.toUtf8()).object();
    const QJsonArray category = detail.value(QStringLiteral("category")).toArray();
    if (category.size() != 3) return fail(error, QStringLiteral("The rename to take back is not recorded"));
    const qint64 catId = category[0].toInteger(), typeId = category[1].toInteger();
    const QString name = category[2].toString();
    QList<int> items;
    QList<QJsonArray> links;
    QString e;
    for (const QJsonValue& v : detail.value(QStringLiteral("links")).toArray()) {
        const QJsonArray link = v.toArray();
        const int item = int(link[1].toInteger());
        // Items deleted since keep their own state in the trash.
        if (!ItemExists(db, item, &e)) {
            if (!e.isEmpty()) return fail(error, e);
            continue;
        }
        if (!items.contains(item)) items << item;
        links << link;
    }
    CChange change;
    change.kind = CChange::Kind::RenameCategory;
    change.language = db.LookupField(QStringLiteral("tblType"), QStringLiteral("Name"), {QStringLiteral("ID"), typeId});
    change.oldName = db.LookupField(QStringLiteral("tblCategory"), QStringLiteral("Name"), {QStringLiteral("ID"), catId});
    change.newName = name;
    QList<CItem> before, after;
    if (!LoadItemsById(db, items, before, error)) return false;
    const bool there = !db.LookupField(QStringLiteral("tblCategory"), QStringLiteral("ID"), {QStringLiteral("ID"), catId}).isEmpty();
    if (!(there ? run(db, QStringLiteral("UPDATE tblCategory SET TypeID = ?2, Name = ?3 WHERE ID = ?1"), {catId, typeId, name}, error)
                : run(db, QStringLiteral("INSERT INTO tblCategory (ID, TypeID, Name) VALUES (?1, ?2, ?3)"), {catId, typeId, name}, error)))
        return false;
    for (int item : std::as_const(items))
        if (!run(db, QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ?1"), {item}, error)) return false;
    for (const QJsonArray& link : std::as_const(links)) {
        const qint64 rowid = link[0].toInteger(), item = link[1].toInteger(), cat = link[2].toInteger();
        // The link's old row number, unless another link holds it by now.
        if (!run(db, QStringLiteral("INSERT INTO tblItemCategory (rowid, ItemID, CategoryID) SELECT ?1, ?2, ?3 WHERE NOT "
                                    "EXISTS (SELECT 1 FROM tblItemCategory WHERE rowid = ?1)"),
                 {rowid, item, cat}, error))
            return false;
        if (db.Changes() == 0 &&
            !run(db, QStringLiteral("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (?1, ?2)"), {item, cat}, error))
            return false;
    }
    // Categories the rename made and no item uses now.
    if (!run(db, QStringLiteral("DELETE FROM tblCategory WHERE ID > ?1 AND ID NOT IN (SELECT CategoryID FROM tblItemCategory)"),
             {detail.value(QStringLiteral("highest")).toInteger()}, error))
        return false;
    if (!LoadItemsById(db, items, after, error)) return false;
    for (qsizetype i = 0; i < before.size() && i < after.size(); ++i)
        change.items.append({before[i].id, before[i], after[i]});
    return db.Record(change, error);
}

// The items a command added go to the trash, all in a few statements: an import may have added
// a hundred thousand.
bool trashAdded(CSQLite& db, qint64 undoId, const QString& command, QString* error) {
    bool ok = true;
    const QString u = QString::number(undoId);
    const QString added = QStringLiteral("(SELECT ItemID FROM tblUndoAdded WHERE UndoID = ") + u + QLatin1Char(')');
    const QList<int> ids = intsOf(db, QStringLiteral("SELECT ID FROM tblItem WHERE ID IN ") + added, error, &ok);
    if (!ok) return false;
    if (ids.isEmpty()) return true;
    const QList<int> withBlock =
        intsOf(db, QStringLiteral("SELECT ID FROM tblItem WHERE FileBLOB IS NOT NULL AND ID IN ") + added, error, &ok);
    if (!ok) return false;
    for (int id : withBlock)
        if (!CHistoryJournal::KeepBlockBefore(db, id, error)) return false;
    CHistoryState& s = CHistoryState::Of(db);
    const QHash<int, QString> blocks = s.keptBlocks;
    s.keptBlocks.clear();
    QString e;
    ResultTable t;
    const qint64 last = db.Exec(QStringLiteral("SELECT Coalesce(Max(ID), 0) FROM tblItemVersion"), t, e, true).toLongLong();
    if (!e.isEmpty()) return fail(error, e);
    const qint64 now = CHistoryJournal::NowMs();
    const QString newer = QStringLiteral("(SELECT ItemID FROM tblItemVersion WHERE ID > ") + QString::number(last) + QLatin1Char(')');
    if (!run(db,
             QStringLiteral(
                 "INSERT INTO tblItemVersion (ItemID, Changed, Command, Title, Code, Language, Categories, File, "
                 "FileSize, StoredSize, LastUpdate, BlockKept) SELECT i.ID, ?1, ?2, f.Title, f.Code, "
                 "(SELECT t.Name FROM tblItemCategory AS ic JOIN tblCategory AS c ON c.ID = ic.CategoryID JOIN tblType "
                 "AS t ON t.ID = c.TypeID WHERE ic.ItemID = i.ID ORDER BY ic.rowid LIMIT 1), "
                 "(SELECT group_concat(c.Name, char(10)) FROM tblItemCategory AS ic JOIN tblCategory AS c ON c.ID = "
                 "ic.CategoryID WHERE ic.ItemID = i.ID), f.File, i.FileSize, Length(i.FileBLOB), "
                 "CAST(round((JulianDay(i.LastUpdate) - 2440587.5) * 86400000.0) AS INTEGER), 1 "
                 "FROM tblItem AS i JOIN ftsItem AS f ON f.docid = i.ID WHERE i.ID IN ") +
                 added,
             {now, command}, error))
        return false;
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it)
        if (!it->isEmpty() &&
            !run(db, QStringLiteral("UPDATE tblItemVersion SET BlockHash = ?1 WHERE ItemID = ?2 AND ID > ?3"),
                 {*it, it.key(), last}, error))
            return false;
    if (!run(db, QStringLiteral("INSERT INTO tblTrash (ItemID, VersionID, Deleted) SELECT ItemID, ID, ?1 FROM "
                                "tblItemVersion WHERE ID > ?2"),
             {now, last}, error) ||
        !run(db, QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID IN ") + newer, {}, error) ||
        !run(db, QStringLiteral("DELETE FROM tblItem WHERE ID IN ") + newer, {}, error))
        return false;
    // One by number: the full-text module looks a row up by its number, not through a list.
    for (int id : ids)
        if (!run(db, QStringLiteral("DELETE FROM ftsItem WHERE docid = ?1"), {id}, error)) return false;
    if (!PruneItemAttributes(db, error)) return false;
    CChange change;
    change.kind = CChange::Kind::Delete;
    change.valuesOmitted = true;
    for (int id : ids) change.items.append({id, std::nullopt, std::nullopt});
    return db.Record(change, error);
}

}  // namespace

bool CUndo::Entries(CSQLite& db, QList<CUndoEntry>& entries, QString* error) {
    entries.clear();
    QString e;
    if (!CHistory::HasTables(db, &e)) return e.isEmpty() || fail(error, e);
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT u.ID, u.Command, u.Kind, u.Done, (SELECT Count(*) FROM tblItemVersion WHERE UndoID = "
                       "u.ID) + (SELECT Count(*) FROM tblUndoAdded WHERE UndoID = u.ID) FROM tblUndo AS u ORDER BY u.ID DESC"),
        [&](const CSQLite::Row& r) {
            CUndoEntry u;
            u.undoId = r.Int(0);
            u.command = r.Value(1).toString();
            u.kind = r.Value(2).toString();
            u.done = QDateTime::fromMSecsSinceEpoch(r.Int(3), Qt::UTC);
            u.items = int(r.Int(4));
            entries << u;
            return true;
        },
        &e);
    return ok || fail(error, QStringLiteral("The undo list of this database is damaged: ") + e);
}

bool CUndo::Last(CSQLite& db, CUndoEntry& entry, QString* error) {
    if (error) error->clear();
    QList<CUndoEntry> all;
    if (!Entries(db, all, error) || all.isEmpty()) return false;
    entry = all.first();
    return true;
}

bool CUndo::UndoLast(CSQLite& db, CUndoEntry* undone, QString* notice, QString* error) {
    if (notice) notice->clear();
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    QString why;
    CTransaction unit(db, &why);
    if (!unit.IsOpen()) return fail(error, why);
    CUndoEntry last;
    if (!Last(db, last, &why)) return fail(error, why.isEmpty() ? QStringLiteral("There is nothing to undo") : why);
    CHistoryCommand command(db, QStringLiteral("Undo ") + last.command, QStringLiteral("undo"),
                            CHistoryCommand::Undo::Undoing);
    const QString u = QString::number(last.undoId);
    QStringList moved;
    if (last.kind == QLatin1String("rename")) {
        const QString detail = db.LookupField(QStringLiteral("tblUndo"), QStringLiteral("Detail"), {QStringLiteral("ID"), last.undoId}, &why);
        if (!why.isEmpty() || !undoRename(db, detail, &why)) return fail(error, why);
    } else {
        if (!trashAdded(db, last.undoId, QStringLiteral("Undo ") + last.command, &why)) return fail(error, why);
        QList<qint64> versionIds;
        if (!db.ForEachRow(QStringLiteral("SELECT ID FROM tblItemVersion WHERE UndoID = ") + u + QStringLiteral(" ORDER BY ID DESC"),
                           [&](const CSQLite::Row& r) {
                               versionIds << r.Int(0);
                               return true;
                           },
                           &why))
            return fail(error, why);
        for (qint64 id : std::as_const(versionIds)) {
            CItemVersion v;
            if (!CHistory::LoadVersion(db, id, v, &why)) return fail(error, why);
            const QString trashId = db.LookupField(QStringLiteral("tblTrash"), QStringLiteral("ID"),
                                                   {QStringLiteral("VersionID"), id}, &why);
            if (!why.isEmpty()) return fail(error, why);
            const bool exists = ItemExists(db, v.itemId, &why);
            if (!why.isEmpty()) return fail(error, why);
            // An item deleted after the command waits in the trash with its own state.
            if (trashId.isEmpty() && !exists) continue;
            bool renumbered = false;
            const int n = CHistory::PutBack(db, v, trashId.isEmpty(), &renumbered, &why);
            if (!n) return fail(error, why);
            if (renumbered) moved << QStringLiteral("item %1 came back as item %2").arg(v.itemId).arg(n);
            if (!trashId.isEmpty() && !run(db, QStringLiteral("DELETE FROM tblTrash WHERE ID = ?1"), {trashId.toLongLong()}, &why))
                return fail(error, why);
        }
    }
    if (!run(db, QStringLiteral("DELETE FROM tblUndo WHERE ID = ?1"), {last.undoId}, &why) ||
        !run(db, QStringLiteral("DELETE FROM tblUndoAdded WHERE UndoID = ?1"), {last.undoId}, &why) ||
        !run(db, QStringLiteral("UPDATE tblItemVersion SET UndoID = NULL WHERE UndoID = ?1"), {last.undoId}, &why) ||
        !unit.Commit(&why))
        return fail(error, why);
    if (undone) *undone = last;
    if (notice && !moved.isEmpty()) *notice = QStringLiteral("The number was taken: ") + moved.join(QStringLiteral(", "));
    return true;
}
