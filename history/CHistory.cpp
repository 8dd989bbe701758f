#include "history/CHistory.h"

#include <algorithm>

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "db/basDB.h"
#include "db/basDBAttachments.h"
#include "db/basDBCategories.h"
#include "db/basDBItems.h"
#include "history/CHistoryCommand.h"
#include "history/CHistoryJournal.h"
#include "util/basNames.h"
#include "util/basVariableTools.h"

#include <sqlite3.h>

namespace {

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

// A file whose versions were kept before each link's language was reads them as one language.
QString versionColumns(CSQLite& db) {
    return QStringLiteral("SELECT ID, ItemID, Changed, Command, Title, Code, Language, Categories, File, FileSize, "
                          "StoredSize, LastUpdate, BlockKept, BlockHash, %1 FROM tblItemVersion ")
        .arg(CHistoryJournal::HasLanguagesColumn(db) ? QStringLiteral("Languages") : QStringLiteral("NULL"));
}

CItemVersion versionOf(const CSQLite::Row& r) {
    CItemVersion v;
    v.versionId = r.Int(0);
    v.itemId = int(r.Int(1));
    v.changed = QDateTime::fromMSecsSinceEpoch(r.Int(2), Qt::UTC);
    v.command = r.Value(3).toString();
    CItem& i = v.item;
    i.id = v.itemId;
    i.title = r.Value(4).toString();
    // Long code is kept compressed; a blob that is no compressed text reads as nothing.
    i.body = r.Type(5) == SQLITE_BLOB ? QString::fromUtf8(qUncompress(r.Bytes(5).toByteArray())) : r.Value(5).toString();
    i.language = r.Value(6).toString();
    const QString cats = r.Value(7).toString();
    if (!cats.isEmpty()) i.categories = cats.split(QLatin1Char('\n'));
    i.fileName = r.Value(8).toString();
    i.fileSize = r.Int(9);
    i.storedSize = r.Int(10);
    if (!r.IsNull(11)) i.lastUpdate = QDateTime::fromMSecsSinceEpoch(r.Int(11), Qt::UTC);
    v.blockKept = r.Int(12) != 0;
    v.blockHash = r.Value(13).toString();
    // Only a list that names each category's language is used.
    if (const QString languages = r.Value(14).toString(); !languages.isEmpty()) {
        const QStringList list = languages.split(QLatin1Char('\n'));
        if (list.size() == i.categories.size()) v.linkLanguages = list;
    }
    return v;
}

// Gives item itemId exactly these links (languages and categories made when missing).
bool putLinks(CSQLite& db, int itemId, const QList<CItemVersion::Link>& links, QString* error) {
    QString e = db.RunBound(QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ?1"), {itemId});
    for (const CItemVersion::Link& link : links) {
        if (!e.isEmpty()) break;
        const qint64 typeId =
            db.LookupCreate(QStringLiteral("tblType"), QStringLiteral("ID"), {QStringLiteral("Name"), link.language}, &e)
                .toLongLong();
        const qint64 categoryId = typeId ? FindOrAddCategory(db, typeId, link.category, &e) : 0;
        if (!categoryId) {
            if (e.isEmpty()) e = QStringLiteral("Unable to store category '") + link.category + QLatin1Char('\'');
            break;
        }
        e = db.RunBound(QStringLiteral("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (?1, ?2)"),
                        {itemId, categoryId});
    }
    return e.isEmpty() || fail(error, e);
}

QString utcText(const QDateTime& t) { return t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")); }

}  // namespace

bool CHistory::HasTables(CSQLite& db, QString* error) {
    QString e;
    bool found = false;
    if (!db.ForEachRow(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tblItemVersion'"),
                       [&](const CSQLite::Row&) {
                           found = true;
                           return false;
                       },
                       &e))
        return fail(error, e);
    return found;
}

bool CHistory::Versions(CSQLite& db, int itemId, QList<CItemVersion>& versions, QString* error) {
    versions.clear();
    QString e;
    if (!HasTables(db, &e)) return e.isEmpty() || fail(error, e);
    const bool ok = db.ForEachRow(versionColumns(db) + QStringLiteral("WHERE ItemID = ") +
                                      QString::number(itemId) + QStringLiteral(" ORDER BY ID DESC"),
                                  [&](const CSQLite::Row& r) {
                                      versions << versionOf(r);
                                      return true;
                                  },
                                  &e);
    if (!ok) {
        versions.clear();
        return fail(error, QStringLiteral("The history of this database is damaged: ") + e);
    }
    for (qsizetype i = 0; i < versions.size(); ++i) versions[i].number = int(versions.size() - i);
    return true;
}

bool CHistory::Entries(CSQLite& db, int itemId, QList<CItemVersion>& entries, QString* error) {
    if (!Versions(db, itemId, entries, error)) return false;
    QString e;
    if (!HasTables(db, &e)) return e.isEmpty() || fail(error, e);
    // A rename keeps the links of the items it touched in its undo entry, not a version each.
    QList<CItemVersion> renames;
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT u.Command, u.Done, json_extract(u.Detail, '$.category[2]'), json_extract(u.Detail, '$.to') "
                       "FROM tblUndo AS u WHERE u.Kind = 'rename' AND json_valid(u.Detail) AND EXISTS (SELECT 1 FROM "
                       "json_each(u.Detail, '$.links') WHERE json_extract(value, '$[1]') = ") +
            QString::number(itemId) + QStringLiteral(") ORDER BY u.ID DESC"),
        [&](const CSQLite::Row& r) {
            CItemVersion v;
            v.itemId = itemId;
            v.item.id = itemId;
            v.command = r.Value(0).toString();
            v.changed = QDateTime::fromMSecsSinceEpoch(r.Int(1), Qt::UTC);
            const QString from = r.Value(2).toString(), to = r.Value(3).toString();
            // Entries made before the new name was kept say less.
            v.note = to.isNull() ? QStringLiteral("category %1 renamed").arg(from)
                                 : QStringLiteral("category %1 -> %2").arg(from, to);
            renames << v;
            return true;
        },
        &e);
    if (!ok) {
        entries.clear();
        return fail(error, QStringLiteral("The history of this database is damaged: ") + e);
    }
    // Newest first; a version and a rename of the same moment keep the rename first, as the
    // later undo entry.
    QList<CItemVersion> merged(entries.size() + renames.size());
    std::merge(renames.cbegin(), renames.cend(), entries.cbegin(), entries.cend(), merged.begin(),
               [](const CItemVersion& x, const CItemVersion& y) { return x.changed > y.changed; });
    entries = merged;
    return true;
}

bool CHistory::LoadVersion(CSQLite& db, qint64 versionId, CItemVersion& version, QString* error) {
    QString e;
    bool found = false;
    if (!HasTables(db, &e)) return fail(error, e.isEmpty() ? QStringLiteral("No such version") : e);
    if (!db.ForEachRow(versionColumns(db) + QStringLiteral("WHERE ID = ") + QString::number(versionId),
                       [&](const CSQLite::Row& r) {
                           version = versionOf(r);
                           found = true;
                           return false;
                       },
                       &e))
        return fail(error, QStringLiteral("The history of this database is damaged: ") + e);
    return found || fail(error, QStringLiteral("No such version"));
}

bool CHistory::BlockOf(CSQLite& db, const CItemVersion& version, std::optional<QString>& hash, QString* error) {
    hash.reset();
    QString e;
    // The first later change that touched the block kept the one this version had.
    const bool ok = db.ForEachRow(QStringLiteral("SELECT BlockHash FROM tblItemVersion WHERE ItemID = ") +
                                      QString::number(version.itemId) + QStringLiteral(" AND ID >= ") +
                                      QString::number(version.versionId) +
                                      QStringLiteral(" AND BlockKept = 1 ORDER BY ID LIMIT 1"),
                                  [&](const CSQLite::Row& r) {
                                      hash = r.Value(0).toString();
                                      return false;
                                  },
                                  &e);
    return ok || fail(error, e);
}

bool CHistory::ReadBlock(CSQLite& db, const QString& hash, QByteArray& block, QString* error) {
    QString e;
    bool found = false;
    if (!db.ReadFirstValue(QStringLiteral("SELECT Block FROM tblVersionBlock WHERE Hash = ") + SqlQuote(hash),
                           [&](QByteArrayView bytes, bool) {
                               block = bytes.toByteArray();
                               found = true;
                           },
                           e))
        return fail(error, e);
    return found || fail(error, QStringLiteral("The kept attachment is missing"));
}

int CHistory::PutBack(CSQLite& db, const CItemVersion& version, bool overwrite, bool* renumbered, QString* error) {
    if (renumbered) *renumbered = false;
    QString e;
    const bool exists = ItemExists(db, version.itemId, &e);
    if (!e.isEmpty()) return fail(error, e), 0;
    std::optional<QString> hash;
    if (!BlockOf(db, version, hash, error)) return 0;
    CItem item = version.item;
    // A number another item holds now is never overwritten by one that came back.
    item.id = exists && !overwrite ? -1 : version.itemId;
    if (!exists) {
        QString busy;
        const bool fullText = !db.LookupField(QStringLiteral("ftsItem"), QStringLiteral("docid"),
                                              {QStringLiteral("docid"), version.itemId}, &busy)
                                   .isEmpty();
        if (fullText) item.id = -1;
    }
    if (item.categories.isEmpty()) item.categories << QStringLiteral("Restored");
    if (item.language.isEmpty()) item.language = QStringLiteral("Text");
    // The save stores one language's categories; links under the others follow it.
    const QList<CItemVersion::Link> links = version.Links();
    const bool mixed = !version.linkLanguages.isEmpty() && !links.isEmpty();
    if (mixed) {
        item.categories.clear();
        for (const CItemVersion::Link& link : links)
            if (link.language == CleanName(item.language)) item.categories << link.category;
        if (item.categories.isEmpty()) item.categories << links.first().category;
    }
    const int n = SaveItem(db, item, SaveOptions(), error);
    if (!n) return 0;
    if (mixed && !putLinks(db, n, links, error)) return 0;
    if (renumbered) *renumbered = n != version.itemId;
    AttachmentSizes now;
    if (!ReadAttachmentSizes(db, n, &now, error)) return 0;
    bool touched = false;
    if (hash && hash->isEmpty()) {
        if (now.hasBlock || now.hasFileSize) {
            if (!RemoveAttachment(db, n, error)) return 0;
            touched = true;
        }
    } else if (hash) {
        QByteArray block;
        if (!ReadBlock(db, *hash, block, error) ||
            !StoreAttachment(db, n, version.item.fileSize, block, version.item.fileName, error))
            return 0;
        touched = true;
    }
    if (touched && version.item.lastUpdate.isValid() &&
        !RestoreItemTime(db, n, utcText(version.item.lastUpdate), error))
        return 0;
    return n;
}

int CHistory::Restore(CSQLite& db, const CItemVersion& version, bool* renumbered, QString* error) {
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText()), 0;
    // A rename's entry holds no values: restoring it would blank the item.
    if (!version.note.isEmpty() || version.versionId == 0)
        return fail(error, QStringLiteral("This entry keeps no version of the item to restore")), 0;
    QString why;
    CTransaction unit(db, &why);
    if (!unit.IsOpen()) return fail(error, why), 0;
    CHistoryCommand command(db, QStringLiteral("Restore Version"), QStringLiteral("restore"));
    // An item in the trash comes back; its number may be another item's by now.
    bool trashed = false;
    db.ForEachRow(QStringLiteral("SELECT 1 FROM tblTrash WHERE ItemID = ") + QString::number(version.itemId) +
                      QStringLiteral(" AND VersionID >= ") + QString::number(version.versionId),
                  [&](const CSQLite::Row&) {
                      trashed = true;
                      return false;
                  });
    const int n = PutBack(db, version, !trashed, renumbered, &why);
    // A deleted item brought back leaves the trash.
    if (n && trashed &&
        !(why = db.RunBound(QStringLiteral("DELETE FROM tblTrash WHERE ItemID = ?1 AND VersionID >= ?2"),
                            {version.itemId, version.versionId}))
             .isEmpty())
        return fail(error, why), 0;
    if (!n || !unit.Commit(&why)) return fail(error, why), 0;
    return n;
}

bool CHistory::Purge(CSQLite& db, int days, QString* error, Purged* purged) {
    if (purged) *purged = {};
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    QString e;
    if (!HasTables(db, &e)) return e.isEmpty() || fail(error, e);
    const QString cutoff = QString::number(CHistoryJournal::NowMs() - qint64(qMax(0, days)) * 86400000LL + (days ? 0 : 1));
    CTransaction unit(db, &e);
    if (!unit.IsOpen()) return fail(error, e);
    if (!CHistoryJournal::EnsureTables(db, &e)) return fail(error, e);
    const QString sql =
        // A trashed item past the retention goes with the versions before its deletion.
        QStringLiteral("DELETE FROM tblItemVersion WHERE EXISTS (SELECT 1 FROM tblTrash WHERE tblTrash.Deleted < %1 AND "
                       "tblTrash.ItemID = tblItemVersion.ItemID AND tblItemVersion.ID <= tblTrash.VersionID);"
                       "DELETE FROM tblTrash WHERE Deleted < %1;"
                       // The state a trashed item waits in stays as long as the trash entry.
                       "DELETE FROM tblItemVersion WHERE Changed < %1 AND ID NOT IN (SELECT VersionID FROM tblTrash);"
                       "DELETE FROM tblUndo WHERE Done < %1;"
                       "DELETE FROM tblUndoAdded WHERE UndoID NOT IN (SELECT ID FROM tblUndo);"
                       "UPDATE tblItemVersion SET UndoID = NULL WHERE UndoID IS NOT NULL AND UndoID NOT IN "
                       "(SELECT ID FROM tblUndo);"
                       "DELETE FROM tblVersionBlock WHERE Hash NOT IN (SELECT BlockHash FROM tblItemVersion WHERE "
                       "BlockHash IS NOT NULL);")
            .arg(cutoff);
    const auto count = [&](const char* table) {
        return db.LookupField(QLatin1String(table), QStringLiteral("Count(*)"), {}).toInt();
    };
    const int versions = purged ? count("tblItemVersion") : 0;
    const int trashed = purged ? count("tblTrash") : 0;
    if (!(e = db.Run(sql)).isEmpty()) return fail(error, e);
    if (purged) *purged = {versions - count("tblItemVersion"), trashed - count("tblTrash")};
    return unit.Commit(error);
}

int CHistory::RetentionDays() {
    if (!gSettings) return kDefaultRetentionDays;
    bool ok = false;
    const int days = gSettings->GetSetting(QStringLiteral("HistoryDays")).toInt(&ok);
    return ok && days >= 0 ? days : kDefaultRetentionDays;
}
