#include "history/CUndo.h"

#include "db/CLargerCache.h"
#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "db/basDBCategories.h"
#include "db/basDBItemAttributes.h"
#include "db/basDBItems.h"
#include "history/CHistory.h"
#include "history/CHistoryCommand.h"
#include "history/CHistoryJournal.h"
#include "history/CHistoryState.h"
#include "util/basNames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <sqlite3.h>

namespace {

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

bool run(CSQLite& db, const QString& sql, const QVariantList& values, QString* error) {
    const QString e = db.RunBound(sql, values);
    return e.isEmpty() || fail(error, e);
}

// Runs several statements.
bool runAll(CSQLite& db, const QString& sql, QString* error) {
    const QString e = db.Run(sql);
    return e.isEmpty() || fail(error, e);
}

const QLatin1String kClearPutBack(
    "DELETE FROM temp.vgPutBack; DELETE FROM temp.vgPutBackLink; DELETE FROM temp.vgPutBackDiff;");

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
    change.valuesOmitted = items.size() > CChange::kValuesUpTo;
    if (!change.valuesOmitted && !LoadItemsById(db, items, before, error)) return false;
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
    if (change.valuesOmitted) {
        for (int item : std::as_const(items)) change.items.append({item, std::nullopt, std::nullopt});
        return db.Record(change, error);
    }
    if (!LoadItemsById(db, items, after, error)) return false;
    for (qsizetype i = 0; i < before.size() && i < after.size(); ++i)
        change.items.append({before[i].id, before[i], after[i]});
    return db.Record(change, error);
}

// Keeps items as they are now as versions (?1 the time, ?2 the command); the caller adds whether
// the block is kept and which items (FROM tblItem AS i JOIN ftsItem AS f ... WHERE ...).
const char* const kKeepStates =
    "INSERT INTO tblItemVersion (ItemID, Changed, Command, Title, Code, Language, Categories, File, "
    "FileSize, StoredSize, LastUpdate, Languages, BlockKept) SELECT i.ID, ?1, ?2, f.Title, f.Code, "
    "(SELECT t.Name FROM tblItemCategory AS ic JOIN tblCategory AS c ON c.ID = ic.CategoryID JOIN tblType "
    "AS t ON t.ID = c.TypeID WHERE ic.ItemID = i.ID ORDER BY ic.rowid LIMIT 1), "
    "(SELECT group_concat(c.Name, char(10)) FROM tblItemCategory AS ic JOIN tblCategory AS c ON c.ID = "
    "ic.CategoryID WHERE ic.ItemID = i.ID), f.File, i.FileSize, Length(i.FileBLOB), "
    "CAST(round((JulianDay(i.LastUpdate) - 2440587.5) * 86400000.0) AS INTEGER), "
    // Each link's language, in the same walk over the links, when they are not all one.
    "(SELECT CASE WHEN Count(DISTINCT Coalesce(t.Name, '')) > 1 THEN group_concat(Coalesce(t.Name, ''), char(10)) "
    "END FROM tblItemCategory AS ic JOIN tblCategory AS c ON c.ID = ic.CategoryID LEFT JOIN tblType AS t ON t.ID = "
    "c.TypeID WHERE ic.ItemID = i.ID), ";

// The kept states of a command's items that are still there, not in the trash and whose
// attachment nothing changed since come back set by set, not item by item: an import may have
// replaced a hundred thousand. The states go to a temporary table first, then each store table
// takes them in one statement; the full-text table in particular writes out its pending terms
// at every statement that keeps a statement journal, so one statement per item there would make
// a segment per item. The rows are the item save's. done gets the versions put back; PutBack
// takes the rest.
bool putBackPlain(CSQLite& db, qint64 undoId, const QString& command, QSet<qint64>& done, QString* error) {
    const QString versions =
        QStringLiteral("FROM tblItemVersion AS v WHERE v.UndoID = ") + QString::number(undoId) +
        QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM tblItemVersion AS w WHERE w.ItemID = v.ItemID AND w.ID >= v.ID AND "
                       "w.BlockKept = 1) AND EXISTS (SELECT 1 FROM tblItem WHERE ID = v.ItemID) AND EXISTS "
                       "(SELECT 1 FROM ftsItem WHERE docid = v.ItemID) AND NOT EXISTS (SELECT 1 FROM tblTrash WHERE "
                       "VersionID = v.ID)");
    if (!runAll(db,
                QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS vgPutBack (ItemID INTEGER PRIMARY KEY, Title TEXT, Code "
                               "TEXT, Time TEXT); CREATE TEMP TABLE IF NOT EXISTS vgPutBackLink (Seq INTEGER PRIMARY KEY, ItemID "
                               "INTEGER, CategoryID INTEGER); CREATE INDEX IF NOT EXISTS temp.vgPutBackLink_ItemID ON "
                               "vgPutBackLink (ItemID, CategoryID); CREATE TEMP TABLE IF NOT EXISTS vgPutBackDiff (ItemID "
                               "INTEGER PRIMARY KEY, Text INTEGER, Links INTEGER);") +
                    kClearPutBack,
                error))
        return false;
    QHash<QString, qint64> ids;  // type number and name (0 for a language) -> number
    QString e;
    const auto idOf = [&](qint64 typeId, const QString& name) -> qint64 {
        const QString key = QString::number(typeId) + QLatin1Char('\t') + name;
        if (const auto it = ids.constFind(key); it != ids.cend()) return *it;
        const qint64 id =
            typeId == 0
                ? db.LookupCreate(QStringLiteral("tblType"), QStringLiteral("ID"), {QStringLiteral("Name"), name}, &e).toLongLong()
                : FindOrAddCategory(db, typeId, name, &e);
        if (!id && e.isEmpty()) e = QStringLiteral("Unable to store '") + name + QLatin1Char('\'');
        ids.insert(key, id);
        return id;
    };
    struct Plain {
        qint64 versionId = 0;
        int itemId = 0;
        QString title, body, timeText;
        QList<qint64> categoryIds;
    };
    QList<Plain> plain;
    const bool read = db.ForEachRow(
        QStringLiteral("SELECT v.ID, v.ItemID, v.Title, v.Code, v.Language, v.Categories, v.LastUpdate, ") +
            (CHistoryJournal::HasLanguagesColumn(db) ? QStringLiteral("v.Languages ") : QStringLiteral("NULL ")) + versions +
            QStringLiteral(" ORDER BY v.ID"),
        [&](const CSQLite::Row& r) {
            Plain p;
            p.versionId = r.Int(0);
            p.itemId = int(r.Int(1));
            p.title = r.Value(2).toString();
            p.body = r.Type(3) == SQLITE_BLOB ? QString::fromUtf8(qUncompress(r.Bytes(3).toByteArray())) : r.Value(3).toString();
            // What PutBack and the item save make of missing or blank names.
            CItemVersion v;
            const QString kept = r.Value(4).toString();
            v.item.language = kept.isEmpty() ? QStringLiteral("Text") : CleanName(kept);
            const QString cats = r.Value(5).toString();
            v.item.categories = cats.isEmpty() ? QStringList{QStringLiteral("Restored")} : cats.split(QLatin1Char('\n'));
            if (const QString languages = r.Value(7).toString(); !languages.isEmpty() && !cats.isEmpty()) {
                const QStringList list = languages.split(QLatin1Char('\n'));
                if (list.size() == v.item.categories.size()) v.linkLanguages = list;
            }
            const QList<CItemVersion::Link> links = v.Links();
            if (v.item.language.isEmpty()) e = QStringLiteral("The item has no language");
            else if (links.isEmpty()) e = QStringLiteral("The item has no category");
            for (const CItemVersion::Link& link : links)
                if (e.isEmpty()) p.categoryIds << idOf(idOf(0, link.language), link.category);
            p.timeText = (r.IsNull(6) ? QDateTime::currentDateTimeUtc() : QDateTime::fromMSecsSinceEpoch(r.Int(6), Qt::UTC))
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
            plain << std::move(p);
            return e.isEmpty();
        },
        &e);
    if (!read || !e.isEmpty()) return fail(error, e);
    if (plain.isEmpty()) return true;
    for (const Plain& p : std::as_const(plain)) {
        if (!run(db, QStringLiteral("INSERT OR REPLACE INTO temp.vgPutBack (ItemID, Title, Code, Time) VALUES (?1, ?2, ?3, ?4)"),
                 {p.itemId, p.title, p.body, p.timeText}, error))
            return false;
        for (qint64 category : p.categoryIds)
            if (!run(db, QStringLiteral("INSERT INTO temp.vgPutBackLink (ItemID, CategoryID) VALUES (?1, ?2)"),
                     {p.itemId, category}, error))
                return false;
        done.insert(p.versionId);
    }
    plain.clear();
    // Only what differs from the item now is written: an import that changed the code of every
    // item left its links and times alone, and a full-text row rewritten costs the tokenizing
    // of its old and its new text. An item with nothing to change keeps no version either.
    if (!runAll(db,
                QStringLiteral(
                    // What differs goes to a narrow table: the put-back rows carry whole texts.
                    "INSERT INTO temp.vgPutBackDiff (ItemID, Text, Links) SELECT p.ItemID, EXISTS (SELECT 1 FROM ftsItem "
                    "AS f WHERE f.docid = p.ItemID AND (f.Title IS NOT p.Title OR f.Code IS NOT p.Code)), EXISTS (SELECT "
                    "CategoryID FROM main.tblItemCategory WHERE ItemID = p.ItemID EXCEPT SELECT CategoryID FROM "
                    "temp.vgPutBackLink WHERE ItemID = p.ItemID) OR EXISTS (SELECT CategoryID FROM temp.vgPutBackLink "
                    "WHERE ItemID = p.ItemID EXCEPT SELECT CategoryID FROM main.tblItemCategory WHERE ItemID = "
                    "p.ItemID) FROM temp.vgPutBack AS p;"
                    "DELETE FROM temp.vgPutBackDiff WHERE NOT Text AND NOT Links AND EXISTS (SELECT 1 FROM main.tblItem "
                    "AS i JOIN temp.vgPutBack AS p ON p.ItemID = i.ID WHERE i.ID = vgPutBackDiff.ItemID AND "
                    "i.LastUpdate IS JulianDay(p.Time));"),
                error))
        return false;
    CChange change;
    change.kind = CChange::Kind::Save;
    change.valuesOmitted = true;
    const bool listed = db.ForEachRow(QStringLiteral("SELECT ItemID FROM temp.vgPutBackDiff"),
                                      [&](const CSQLite::Row& r) {
                                          change.items.append({int(r.Int(0)), std::nullopt, std::nullopt});
                                          return true;
                                      },
                                      &e);
    if (!listed) return fail(error, e);
    const QString items = QStringLiteral("(SELECT ItemID FROM temp.vgPutBackDiff)");
    const QString relinked = QStringLiteral("(SELECT ItemID FROM temp.vgPutBackDiff WHERE Links)");
    // Their state now is kept, as the journal keeps it before a save.
    if (!change.items.isEmpty() &&
        (!run(db, QLatin1String(kKeepStates) + QStringLiteral("0 FROM tblItem AS i JOIN ftsItem AS f ON f.docid = i.ID WHERE i.ID IN ") + items,
              {CHistoryJournal::NowMs(), command}, error) ||
         !run(db, QStringLiteral("UPDATE ftsItem SET Title = p.Title, Code = p.Code FROM temp.vgPutBack AS p WHERE "
                                 "ftsItem.docid = p.ItemID AND p.ItemID IN (SELECT ItemID FROM temp.vgPutBackDiff WHERE Text)"),
              {}, error) ||
         // Writing the value the row holds would let the update trigger stamp the current time over it.
         !run(db, QStringLiteral("UPDATE tblItem SET LastUpdate = JulianDay(p.Time) FROM temp.vgPutBack AS p WHERE "
                                 "tblItem.ID = p.ItemID AND tblItem.LastUpdate IS NOT JulianDay(p.Time)"),
              {}, error) ||
         !run(db, QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID IN ") + relinked, {}, error) ||
         !run(db, QStringLiteral("INSERT INTO tblItemCategory (ItemID, CategoryID) SELECT ItemID, CategoryID FROM "
                                 "temp.vgPutBackLink WHERE ItemID IN ") +
                      relinked + QStringLiteral(" ORDER BY Seq"),
              {}, error)))
        return false;
    if (!runAll(db, kClearPutBack, error)) return false;
    return change.items.isEmpty() || db.Record(change, error);
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
    if (!run(db, QLatin1String(kKeepStates) + QStringLiteral("1 FROM tblItem AS i JOIN ftsItem AS f ON f.docid = i.ID WHERE i.ID IN ") + added,
             {now, command}, error))
        return false;
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it)
        if (!it->isEmpty() &&
            !run(db, QStringLiteral("UPDATE tblItemVersion SET BlockHash = ?1 WHERE ItemID = ?2 AND ID > ?3"),
                 {*it, it.key(), last}, error))
            return false;
    // One statement for the full-text rows: the engine looks each number of the list up.
    if (!run(db, QStringLiteral("INSERT INTO tblTrash (ItemID, VersionID, Deleted) SELECT ItemID, ID, ?1 FROM "
                                "tblItemVersion WHERE ID > ?2"),
             {now, last}, error) ||
        !run(db, QStringLiteral("DELETE FROM ftsItem WHERE docid IN ") + newer, {}, error) ||
        !run(db, QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID IN ") + newer, {}, error) ||
        !run(db, QStringLiteral("DELETE FROM tblItem WHERE ID IN ") + newer, {}, error))
        return false;
    if (!PruneItemAttributes(db, error)) return false;
    CChange change;
    change.kind = CChange::Kind::Delete;
    change.valuesOmitted = true;
    for (int id : ids) change.items.append({id, std::nullopt, std::nullopt});
    return db.Record(change, error);
}

// The languages and categories a command made, once its undo has taken its items back: those
// nothing uses now go (one the user has filled since stays). Entries that did not note where
// the command's numbers began leave them.
bool dropMadeNames(CSQLite& db, qint64 undoId, QString* error) {
    QString e;
    const QString detail = db.LookupField(QStringLiteral("tblUndo"), QStringLiteral("Detail"), {QStringLiteral("ID"), undoId}, &e);
    if (!e.isEmpty()) return fail(error, e);
    const QJsonObject o = QJsonDocument::fromJson(detail.toUtf8()).object();
    const QJsonValue categories = o.value(QStringLiteral("categoriesAbove")), languages = o.value(QStringLiteral("languagesAbove"));
    // NOT IN over a list read once: the links have no index by category.
    return (!categories.isDouble() ||
            run(db, QStringLiteral("DELETE FROM tblCategory WHERE ID > ?1 AND ID NOT IN (SELECT CategoryID FROM "
                                   "tblItemCategory WHERE CategoryID IS NOT NULL)"),
                {categories.toInteger()}, error)) &&
           (!languages.isDouble() ||
            run(db, QStringLiteral("DELETE FROM tblType WHERE ID > ?1 AND ID NOT IN (SELECT TypeID FROM tblCategory WHERE "
                                   "TypeID IS NOT NULL)"),
                {languages.toInteger()}, error));
}

}  // namespace

bool CUndo::Entries(CSQLite& db, QList<CUndoEntry>& entries, QString* error) {
    entries.clear();
    QString e;
    if (!CHistory::HasTables(db, &e)) return e.isEmpty() || fail(error, e);
    const bool ok = db.ForEachRow(
        // A rename keeps its items' links in its detail, not as versions.
        QStringLiteral("SELECT u.ID, u.Command, u.Kind, u.Done, (SELECT Count(*) FROM tblItemVersion WHERE UndoID = "
                       "u.ID) + (SELECT Count(*) FROM tblUndoAdded WHERE UndoID = u.ID) + CASE WHEN u.Kind = 'rename' "
                       "AND json_valid(u.Detail) THEN (SELECT Count(DISTINCT json_extract(value, '$[1]')) FROM "
                       "json_each(u.Detail, '$.links')) ELSE 0 END FROM tblUndo AS u ORDER BY u.ID DESC"),
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
    CLargerCache cache(db);
    CTransaction unit(db, &why);
    if (!unit.IsOpen()) return fail(error, why);
    CUndoEntry last;
    if (!Last(db, last, &why)) return fail(error, why.isEmpty() ? QStringLiteral("There is nothing to undo") : why);
    // Versions of a file written before links kept their languages gain the column first.
    if (!CHistoryJournal::EnsureTables(db, &why)) return fail(error, why);
    CHistoryCommand command(db, QStringLiteral("Undo ") + last.command, QStringLiteral("undo"),
                            CHistoryCommand::Undo::Undoing);
    const QString u = QString::number(last.undoId);
    QStringList moved;
    if (last.kind == QLatin1String("rename")) {
        const QString detail = db.LookupField(QStringLiteral("tblUndo"), QStringLiteral("Detail"), {QStringLiteral("ID"), last.undoId}, &why);
        if (!why.isEmpty() || !undoRename(db, detail, &why)) return fail(error, why);
    } else {
        if (!trashAdded(db, last.undoId, QStringLiteral("Undo ") + last.command, &why)) return fail(error, why);
        QSet<qint64> plain;
        if (!putBackPlain(db, last.undoId, QStringLiteral("Undo ") + last.command, plain, &why)) return fail(error, why);
        QList<qint64> versionIds;
        if (!db.ForEachRow(QStringLiteral("SELECT ID FROM tblItemVersion WHERE UndoID = ") + u + QStringLiteral(" ORDER BY ID DESC"),
                           [&](const CSQLite::Row& r) {
                               if (!plain.contains(r.Int(0))) versionIds << r.Int(0);
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
    if (!dropMadeNames(db, last.undoId, &why)) return fail(error, why);
    if (!run(db, QStringLiteral("DELETE FROM tblUndo WHERE ID = ?1"), {last.undoId}, &why) ||
        !run(db, QStringLiteral("DELETE FROM tblUndoAdded WHERE UndoID = ?1"), {last.undoId}, &why) ||
        !run(db, QStringLiteral("UPDATE tblItemVersion SET UndoID = NULL WHERE UndoID = ?1"), {last.undoId}, &why) ||
        !unit.Commit(&why))
        return fail(error, why);
    if (undone) *undone = last;
    if (notice && !moved.isEmpty()) *notice = QStringLiteral("The number was taken: ") + moved.join(QStringLiteral(", "));
    return true;
}
