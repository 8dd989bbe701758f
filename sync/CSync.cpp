#include "sync/CSync.h"

#include "attach/CQuickLZ.h"
#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "db/basDBAttachments.h"
#include "db/basDBItemAttributes.h"
#include "db/basDBItems.h"
#include "formats/CMarkdownWriter.h"
#include "formats/CStoredItems.h"
#include "sync/CGitRepository.h"
#include "sync/CSyncChangeWriter.h"
#include "sync/CSyncConflicts.h"
#include "sync/CSyncLocalSides.h"
#include "sync/CSyncState.h"
#include "sync/CSyncedItem.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QtEndian>
#include <QLockFile>
#include <QSysInfo>
#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

enum class Outcome { Done, Again, Failed };

// A large sync's phases each build and drop maps of every item; what one dropped goes back to
// the system before the next one builds its own.
void releaseFreed() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// This database's side of one item.
struct LocalSide {
    int id = 0;
    QString fingerprint;
    QString attachBlob;
    QString attachSum;
};

QString utcText(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

// Syncthing keeps both sides of a file it could not merge as NAME.sync-conflict-DATE-TIME-DEVICE.EXT.
bool isConflictCopy(const QString& path) { return path.contains(QStringLiteral(".sync-conflict-")); }

bool hiddenPath(const QString& path) {
    for (const QString& part : path.split(QLatin1Char('/')))
        if (part.startsWith(QLatin1Char('.'))) return true;
    return false;
}

bool attachmentBytes(CSQLite& db, int id, QByteArray& data, QString* error) {
    data.clear();
    AttachmentSizes sizes;
    if (!ReadAttachmentSizes(db, id, &sizes, error)) return false;
    QByteArray block;
    if (!ReadAttachmentBlock(db, id, [&](QByteArrayView b) { block = b.toByteArray(); }, error)) return false;
    if (block.isEmpty()) return true;
    if (sizes.isText) {
        data = block;
        return true;
    }
    CQuickLZ codec;
    return codec.Decompress(block, data, error);
}

class Round {
public:
    Round(CSQLite& db, CGitRepository& repo, const CSyncOptions& o, bool hasRemote, const QString& branch, CSyncSummary& s)
        : db(db), repo(repo), o(o), hasRemote(hasRemote), branch(branch), s(s) {}

    Outcome Run() {
        // What came in stays counted across rounds; what goes out is counted by the round that pushes.
        s.out = 0;
        s.skipped.clear();
        if (!CSyncState::Read(db, CSyncState::BaseKey(), base, &error) || !CSyncState::CountEntries(db, baseCount, &error))
            return Failed();
        if (hasRemote) {
            if (!repo.Fetch(branch, head, &error)) return Failed();
        } else {
            // Without a remote the folder's files are the other side, as the program keeping it in
            // step left them.
            if (!repo.CommitWorkTree(repo.HasCommit(base) ? base : QString(), QStringLiteral("Changes in the folder"), head,
                                     &error))
                return Failed();
            if (!head.isEmpty() && !repo.MoveBranch(head, branch, &error)) return Failed();
        }
        // Identities are given only once the other side could be reached: a failed sync writes nothing.
        if (!CMarkdownWriter::AssignIdentities(db, &error)) return Failed();
        // With the agreed commit at hand only the files changed since are read; else every file.
        // When the other side's history no longer holds it (its branch was deleted, the remote is
        // a new repository, its history was rewritten), an item missing there was never deleted
        // there: the round then joins both sides and deletes nothing.
        const bool agreed = !base.isEmpty() && repo.HasCommit(base) && repo.Contains(head, base);
        const bool ok = agreed ? ReadRemoteChanges() : ReadRemoteWhole(!base.isEmpty() || baseCount > 0);
        if (!ok || !ReadLocal() || !Merge()) return Failed();
        if (!Apply()) return Failed();
        return Publish();
    }

private:
    Outcome Failed() {
        s.error = error;
        return Outcome::Failed;
    }

    // The agreed entry of an identity (empty when none).
    CSyncEntry Base(const QString& u) const { return baseEntries.value(u); }

    // The other side's entry: what it read, else (not touched) the agreed one.
    bool RemoteHas(const QString& u) const { return touched.contains(u) ? remote.contains(u) : baseEntries.contains(u); }
    CSyncEntry Remote(const QString& u) const { return touched.contains(u) ? remote.value(u) : baseEntries.value(u); }

    // Reads one Markdown file of the other side into remote (or copies, or skipped).
    bool TakeRemoteFile(const QString& path, const QString& blob, const std::function<QString(const QString&)>& blobAt,
                        QSet<QString>& unreadable) {
        QByteArray bytes;
        if (!repo.ReadBlob(blob, bytes, &error)) return false;
        CSyncedItem item;
        QString why;
        bool foreign = false;
        if (!CSyncedItem::Parse(bytes, path, item, &why, &foreign)) {
            if (!foreign) {
                unreadable.insert(path);
                s.skipped << why;
            }
            return true;
        }
        QString attachPath;
        if (!item.attachmentFile.isEmpty()) {
            attachPath = folderOf(path) + item.attachmentFile;
            item.attachmentBlob = blobAt(attachPath);
            if (item.attachmentBlob.isEmpty()) {
                unreadable.insert(path);
                s.skipped << path + QStringLiteral(": its attachment %1 is missing").arg(item.attachmentFile);
                return true;
            }
        }
        if (isConflictCopy(path)) {
            copies.append({path, item});
            looked.insert(item.Uuid());
            return true;
        }
        const QString uuid = item.Uuid();
        touched.insert(uuid);
        if (remote.contains(uuid)) {
            s.skipped << path + QStringLiteral(": the same identity as ") + remote[uuid].path;
            return true;
        }
        remote.insert(uuid, {path, blob, item.Fingerprint(), item.item.id, attachPath, item.attachmentBlob, {}});
        // A handful are kept for the write; a whole repository's worth is read again when stored.
        if (remoteItems.size() < 2000) remoteItems.insert(uuid, item);
        return true;
    }

    // Only the files that differ between the agreed commit and the remote's head are read.
    bool ReadRemoteChanges() {
        QList<CGitRepository::FileChange> changes;
        if (!repo.ChangedFiles(base, head, changes, &error)) return false;
        if (changes.isEmpty()) return true;
        QHash<QString, QString> now;  // changed path -> its blob at the head (empty: gone)
        QStringList paths;
        for (const auto& c : std::as_const(changes)) {
            now.insert(c.path, c.newBlob);
            paths << c.path;
        }
        SyncEntries at;
        if (!CSyncState::ReadEntriesAt(db, paths, at, &error)) return false;
        QStringList reread;  // unchanged files whose attachment changed
        for (auto it = at.cbegin(); it != at.cend(); ++it) {
            baseEntries.insert(it.key(), *it);
            touched.insert(it.key());
            if (!now.contains(it->path)) reread << it->path;
        }
        const auto blobAt = [&](const QString& path) {
            const auto n = now.constFind(path);
            if (n != now.cend()) return *n;
            QString blob;
            return repo.BlobAt(head, path, blob, nullptr) ? blob : QString();
        };
        QSet<QString> unreadable;
        QStringList files;
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            if (!it->isEmpty() && it.key().endsWith(QStringLiteral(".md")) && !hiddenPath(it.key())) files << it.key();
        files << reread;
        files.sort();
        files.removeDuplicates();
        for (const QString& path : std::as_const(files)) {
            const QString blob = blobAt(path);
            if (!blob.isEmpty() && !TakeRemoteFile(path, blob, blobAt, unreadable)) return false;
        }
        // An item moved on the other side is found at its new place; a file that appears with
        // the identity of one still lying unchanged where it was is a copy, not the item.
        QStringList fresh;
        for (auto it = remote.cbegin(); it != remote.cend(); ++it)
            if (!baseEntries.contains(it.key())) fresh << it.key();
        if (!CSyncState::ReadEntriesOf(db, fresh, baseEntries, &error)) return false;
        for (const QString& u : std::as_const(fresh)) {
            const auto was = baseEntries.constFind(u);
            if (was == baseEntries.cend() || was->path.isEmpty() || now.contains(was->path)) continue;
            // The agreed file is still there, untouched: that one is the item.
            s.skipped << remote[u].path + QStringLiteral(": the same identity as ") + was->path;
            CSyncEntry kept = *was;
            remote.insert(u, kept);
            remoteItems.remove(u);
        }
        // An item whose file was made unreadable is left as it is on both sides until mended.
        for (auto it = at.cbegin(); it != at.cend(); ++it)
            if (!remote.contains(it.key()) && unreadable.contains(it->path)) held.insert(it.key());
        return true;
    }

    // Every file of the remote's head (a first sync, or a folder that lost the agreed commit).
    bool ReadRemoteWhole(bool forgetAgreed) {
        if (!CSyncState::ReadEntries(db, baseEntries, &error)) return false;
        QHash<QString, QString> tree;
        if (!repo.ReadTree(head, tree, &error)) return false;
        QHash<QString, QString> uuidByBlob;
        for (auto it = baseEntries.cbegin(); it != baseEntries.cend(); ++it) uuidByBlob.insert(it->blob, it.key());
        QStringList paths = tree.keys();
        paths.sort();
        QSet<QString> unreadable;
        const auto blobAt = [&](const QString& path) { return tree.value(path); };
        for (const QString& path : std::as_const(paths)) {
            if (!path.endsWith(QStringLiteral(".md")) || hiddenPath(path)) continue;
            const QString& blob = tree[path];
            // A file whose bytes the base already had is the base's item: no need to read it.
            const auto known = uuidByBlob.constFind(blob);
            if (!isConflictCopy(path) && known != uuidByBlob.cend() && !remote.contains(*known)) {
                CSyncEntry e = baseEntries.value(*known);
                const QString attachPath =
                    e.attachPath.isEmpty() ? QString() : folderOf(path) + QFileInfo(e.attachPath).fileName();
                if (attachPath.isEmpty() || tree.value(attachPath) == e.attachBlob) {
                    e.path = path;
                    e.attachPath = attachPath;
                    remote.insert(*known, e);
                    continue;
                }
            }
            if (!TakeRemoteFile(path, blob, blobAt, unreadable)) return false;
        }
        for (auto it = remote.cbegin(); it != remote.cend(); ++it) touched.insert(it.key());
        if (forgetAgreed) {
            // No agreed state: each side's items are new to the other, and where both hold an item
            // differently it is a conflict. So every item here is looked at, changed or not.
            baseEntries.clear();
            baseCount = 0;
            QHash<QString, int> uuids;
            if (!ReadItemUuids(db, uuids, &error)) return false;
            for (auto it = uuids.cbegin(); it != uuids.cend(); ++it) looked.insert(it.key());
            return true;
        }
        // Every identity is the other side's to say in a whole read.
        for (auto it = baseEntries.cbegin(); it != baseEntries.cend(); ++it) {
            touched.insert(it.key());
            if (!remote.contains(it.key()) && unreadable.contains(it->path)) held.insert(it.key());
        }
        return true;
    }

    // This database's side of one item, from its stored values.
    bool SideOf(const CItem& item, const ItemAttributes& attributes, const QString& key) {
        const QString uuid = attributes.value(ItemUuidAttribute());
        if (uuid.isEmpty()) return true;
        CSyncedItem mine{item, attributes, {}, {}};
        CSyncLocalSide side;
        side.id = item.id;
        side.uuid = uuid;
        side.key = key;
        if (item.HasAttachment()) {
            AttachmentSum sum;
            bool found = false;
            if (!ReadAttachmentSum(db, item.id, &sum, &found, &error)) return false;
            if (!baseEntries.contains(uuid) && baseCount > 0 &&
                !CSyncState::ReadEntriesOf(db, {uuid}, baseEntries, &error))
                return false;
            const CSyncEntry was = Base(uuid);
            side.attachSum = found ? QString::fromLatin1(sum.sha256.toHex()) : QString();
            if (found && was.attachSum == side.attachSum && !was.attachBlob.isEmpty()) {
                side.attachBlob = was.attachBlob;
            } else {
                QByteArray data;
                if (!attachmentBytes(db, item.id, data, &error)) return false;
                side.attachBlob = CGitRepository::HashBlob(data);
                side.attachSum = QString::fromLatin1(AttachmentDigest(data).toHex());
            }
            mine.attachmentBlob = side.attachBlob;
        }
        side.fingerprint = mine.Fingerprint();
        local.insert(uuid, {item.id, side.fingerprint, side.attachBlob, side.attachSum});
        freshSides << side;
        // Remembered as they come, so a large first sync never holds them all.
        if (freshSides.size() >= 5000) {
            if (!CSyncLocalSides::Write(db, freshSides, &error)) return false;
            freshSides.clear();
        }
        return true;
    }

    bool ReadStale(const QHash<int, QString>& stale) {
        if (stale.isEmpty()) return true;
        qint64 total = 0;
        {
            ResultTable t;
            QString why;
            total = db.Exec(QStringLiteral("SELECT count(*) FROM tblItem"), t, why, true).toLongLong();
        }
        if (stale.size() > total / 4) {
            // Most items: one pass over all of them beats looking each up.
            QString inner;
            const bool ok = CStoredItems::ForEach(
                db,
                [&](const CItem& item, const ItemAttributes& attributes) {
                    const auto key = stale.constFind(item.id);
                    if (key == stale.cend()) return true;
                    if (SideOf(item, attributes, *key)) return true;
                    inner = error;
                    return false;
                },
                &error);
            if (!inner.isEmpty()) error = inner;
            return ok && inner.isEmpty();
        }
        QList<int> ids = stale.keys();
        std::sort(ids.begin(), ids.end());
        for (qsizetype i = 0; i < ids.size(); i += 500) {
            QList<CItem> items;
            if (!LoadItemsById(db, ids.mid(i, 500), items, &error)) return false;
            for (const CItem& item : std::as_const(items)) {
                ItemAttributes attributes;
                if (!ReadItemAttributes(db, item.id, attributes, &error) || !SideOf(item, attributes, stale.value(item.id)))
                    return false;
            }
        }
        return true;
    }

    // Only the items whose stored state moved since the last sync are read and fingerprinted;
    // of the others only those the other side touched are looked up.
    bool ReadLocal() {
        const auto known = [&](const CSyncLocalSide& x) { local.insert(x.uuid, {x.id, x.fingerprint, x.attachBlob, x.attachSum}); };
        QHash<int, QString> stale;
        QStringList gone;
        if (!CSyncLocalSides::ReadChanged(db, touched + looked, known, stale, gone, &error) || !ReadStale(stale)) return false;
        changedHere = QSet<QString>(gone.cbegin(), gone.cend());
        // Items the other side touched are here too, changed or not: the merge sorts them out.
        for (auto it = local.cbegin(); it != local.cend(); ++it) changedHere.insert(it.key());
        if (!CSyncLocalSides::Write(db, freshSides, &error)) return false;
        freshSides.clear();
        releaseFreed();
        return true;
    }

    bool Merge() {
        QSet<QString> all = touched;
        all.unite(changedHere).unite(looked);
        QStringList order(all.cbegin(), all.cend());
        order.sort();
        QStringList missing;
        if (baseCount > 0)
            for (const QString& u : std::as_const(order))
                if (!baseEntries.contains(u)) missing << u;
        if (!CSyncState::ReadEntriesOf(db, missing, baseEntries, &error)) return false;
        for (const QString& u : std::as_const(order)) {
            domain << u;
            if (held.contains(u)) continue;
            const QString b = Base(u).fingerprint, l = local.value(u).fingerprint, r = Remote(u).fingerprint;
            if (l == r) continue;
            if (l == b) takeRemote << u;
            else if (r == b) takeLocal << u;
            else if (l.isEmpty()) takeRemote << u;  // an edit beats a delete
            else if (r.isEmpty()) takeLocal << u;
            else conflicts << u;
        }
        return true;
    }

    // The other side's item as parsed (read again when a large read did not keep it).
    bool RemoteItem(const QString& u, CSyncedItem& item) {
        const auto kept = remoteItems.constFind(u);
        if (kept != remoteItems.cend()) {
            item = *kept;
            return true;
        }
        const CSyncEntry e = Remote(u);
        QByteArray bytes;
        QString why;
        if (!repo.ReadBlob(e.blob, bytes, &error)) return false;
        if (!CSyncedItem::Parse(bytes, e.path, item, &why)) {
            error = why;
            return false;
        }
        item.attachmentBlob = e.attachBlob;
        return true;
    }

    bool Apply() {
        CTransaction unit(db, &error);
        if (!unit.IsOpen() || !PrepareItemAttributes(db, &error)) return false;
        const CSyncChangeWriter::SyncWrites own;
        for (const QString& u : std::as_const(takeRemote)) {
            if (!RemoteHas(u)) {
                if (!DeleteItem(db, local.value(u).id, &error)) return false;
                ++s.in;
                continue;
            }
            if (!StoreRemote(u)) return false;
            ++s.in;
        }
        for (const QString& u : std::as_const(conflicts)) {
            CSyncedItem other;
            if (!RemoteItem(u, other) || !CSyncConflicts::KeepConflictSide(db, local.value(u).id, other, &error)) return false;
            ++s.conflicts;
        }
        // Another program's conflict copy is one more side of its item.
        for (const auto& [path, copy] : std::as_const(copies)) {
            const QString u = copy.Uuid();
            const QString f = copy.Fingerprint();
            if (local.contains(u) && f != local.value(u).fingerprint && f != Remote(u).fingerprint) {
                if (!CSyncConflicts::KeepConflictSide(db, local.value(u).id, copy, &error)) return false;
                if (!conflicts.contains(u)) ++s.conflicts;
            }
        }
        // The database now holds the remote's commit plus its own changes: that commit is the base.
        for (const QString& u : std::as_const(domain)) {
            if (held.contains(u)) {
                if (baseEntries.contains(u)) newBase.insert(u, baseEntries.value(u));
                continue;
            }
            if (!RemoteHas(u)) continue;
            CSyncEntry e = Remote(u);
            if (attachSums.contains(u)) e.attachSum = attachSums.value(u);
            else if (e.attachSum.isEmpty() && !e.attachBlob.isEmpty() && local.value(u).attachBlob == e.attachBlob)
                e.attachSum = local.value(u).attachSum;
            newBase.insert(u, e);
        }
        if (!CSyncState::Write(db, CSyncState::BaseKey(), head, &error) ||
            !CSyncState::Write(db, CSyncState::BranchKey(), branch, &error) ||
            !CSyncState::Write(db, CSyncState::FolderKey(), repo.Folder(), &error) ||
            !CSyncState::Write(db, CSyncState::RemoteKey(), repo.RemoteUrl(), &error) ||
            !CSyncState::WriteEntries(db, DomainOf(baseEntries), newBase, &error))
            return false;
        return unit.Commit(&error);
    }

    // The entries of the identities this round looked at.
    SyncEntries DomainOf(const SyncEntries& entries) const {
        SyncEntries out;
        for (const QString& u : std::as_const(domain)) {
            const auto it = entries.constFind(u);
            if (it != entries.cend()) out.insert(u, *it);
        }
        return out;
    }

    bool StoreRemote(const QString& u) {
        CSyncedItem ri;
        if (!RemoteItem(u, ri)) return false;
        const bool existed = local.contains(u);
        const LocalSide mine = local.value(u);
        CItem item = ri.item;
        item.id = existed ? mine.id : -1;
        const int id = SaveItem(db, item, {}, &error);
        if (id == 0 || !RemoveItemAttributes(db, id, &error) || !SetItemAttributes(db, id, ri.attributes, &error))
            return false;
        if (!ri.attachmentBlob.isEmpty()) {
            if (existed && mine.attachBlob == ri.attachmentBlob && AttachmentName(db, id) == ri.item.fileName) {
                attachSums.insert(u, mine.attachSum);
            } else {
                QByteArray data, block;
                if (!repo.ReadBlob(ri.attachmentBlob, data, &error)) return false;
                CQuickLZ codec;
                if (!data.isEmpty() && !codec.Compress(data, block, &error)) return false;
                const QByteArray digest = AttachmentDigest(data);
                if (!StoreAttachment(db, id, data.size(), block, ri.item.fileName, &error, digest)) return false;
                attachSums.insert(u, QString::fromLatin1(digest.toHex()));
            }
        } else if (existed && !mine.attachBlob.isEmpty()) {
            if (!RemoveAttachment(db, id, &error)) return false;
        }
        // Attaching stamps the current time; the item keeps the one it had on the other side.
        return !ri.item.lastUpdate.isValid() || RestoreItemTime(db, id, utcText(ri.item.lastUpdate), &error);
    }

    bool LoadBatch(const QStringList& uuids, QHash<int, CSyncedItem>& batch) {
        batch.clear();
        QList<int> ids;
        for (const QString& u : uuids)
            if (local.contains(u)) ids << local.value(u).id;
        QList<CItem> items;
        if (!LoadItemsById(db, ids, items, &error)) return false;
        // The batch's attributes in one query rather than one query each, or every item's at once.
        QStringList numbers;
        for (const int id : std::as_const(ids)) numbers << QString::number(id);
        QHash<int, ItemAttributes> attributes;
        QByteArray scratch;
        if (!ids.isEmpty() &&
            !db.ForEachRow(QStringLiteral("SELECT ItemID, Name, Value FROM tblItemAttribute WHERE ItemID IN (%1)")
                               .arg(numbers.join(QLatin1Char(','))),
                           [&](const CSQLite::Row& r) {
                               const QString name = QString::fromUtf8(r.Utf8(1, scratch));
                               attributes[int(r.Int(0))].insert(name, QString::fromUtf8(r.Utf8(2, scratch)));
                               return true;
                           },
                           &error))
            return false;
        for (const CItem& item : std::as_const(items)) {
            CSyncedItem& one = batch[item.id];
            one.item = item;
            one.attributes = attributes.value(item.id);
            one.attachmentBlob = local.value(one.Uuid()).attachBlob;
        }
        return true;
    }

    // Whether a path (any case) is another file's: the head's files less those dropped, and
    // those written now. The head's folders are listed when first asked about.
    bool Taken(const QString& path) {
        const QString lower = path.toLower();
        if (writtenPaths.contains(pathKey(lower))) return true;
        if (droppedPaths.contains(pathKey(lower))) return false;
        const QString folder = path.left(qMax<qsizetype>(0, path.lastIndexOf(QLatin1Char('/'))));
        auto names = headFolders.find(folder);
        if (names == headFolders.end()) {
            QStringList list;
            QString ignored;
            repo.FolderNames(head, folder, list, &ignored);
            QSet<QString> set;
            for (const QString& n : std::as_const(list)) set.insert(n.toLower());
            names = headFolders.insert(folder, set);
        }
        return names->contains(lower.mid(folder.isEmpty() ? 0 : folder.size() + 1));
    }

    Outcome Publish() {
        CGitRepository::Edit edit;
        SyncEntries merged = newBase;
        QSet<QString> removed;
        const auto drop = [&](const QString& path) {
            if (path.isEmpty()) return;
            removed.insert(path);
            droppedPaths.insert(pathKey(path.toLower()));
            writtenPaths.remove(pathKey(path.toLower()));
        };
        const auto put = [&](const QString& path, const QString& blob) {
            edit.stored.insert(path, blob);
            removed.remove(path);
            writtenPaths.insert(pathKey(path.toLower()));
        };
        QStringList writes = takeLocal + conflicts;
        writes.sort();
        // Sized once: a hash that grows holds its old and new tables at the same moment.
        merged.reserve(merged.size() + writes.size());
        edit.stored.reserve(writes.size());
        writtenPaths.reserve(writes.size());
        // Items to write are read again a thousand at a time, so a first sync never holds them all.
        QHash<int, CSyncedItem> batch;
        for (qsizetype i = 0; i < writes.size(); ++i) {
            const QString& u = writes[i];
            if (i % 1000 == 0 && !LoadBatch(writes.mid(i, 1000), batch)) return Failed();
            const bool inRemote = RemoteHas(u);
            const CSyncEntry old = Remote(u);
            if (inRemote) {
                drop(old.path);
                drop(old.attachPath);
            }
            if (!local.contains(u)) {
                merged.remove(u);
                ++s.out;
                continue;
            }
            const CSyncedItem& li = batch[local.value(u).id];
            const CSyncEntry was = Base(u);
            const QString path = li.PathFor(inRemote ? old.path : was.path, [&](const QString& p) { return Taken(p); });
            int number = inRemote ? old.number : was.number;
            if (number < 1) number = li.item.id;
            QString blob, attachBlob;
            if (!repo.StoreBlob(li.Compose(path, number), blob, &error)) return Failed();
            put(path, blob);
            const QString attachPath = li.AttachmentPathFor(path);
            if (!attachPath.isEmpty()) {
                QByteArray data;
                if (!attachmentBytes(db, li.item.id, data, &error) || !repo.StoreBlob(data, attachBlob, &error))
                    return Failed();
                put(attachPath, attachBlob);
            }
            const LocalSide side = local.value(u);
            merged.insert(u, {path, blob, side.fingerprint, number, attachPath, side.attachBlob, side.attachSum});
            if (!conflicts.contains(u)) ++s.out;
        }
        for (const auto& copy : std::as_const(copies)) drop(copy.first);
        edit.remove = QList<QString>(removed.cbegin(), removed.cend());
        // Only the commit and the entries are left to write.
        batch.clear();
        writes.clear();
        local.clear();
        remoteItems.clear();
        writtenPaths.clear();
        droppedPaths.clear();
        headFolders.clear();
        releaseFreed();

        QString commit = head;
        if (!edit.IsEmpty()) {
            const QString machine = o.machine.isEmpty() ? QSysInfo::machineHostName() : o.machine;
            const QString message = QStringLiteral("Sync from %1: %2 in, %3 out, %4 in conflict\n")
                                        .arg(machine)
                                        .arg(s.in)
                                        .arg(s.out)
                                        .arg(s.conflicts);
            if (!repo.Commit(head, edit, message, commit, &error)) return Failed();
            edit = {};
            releaseFreed();
            if (hasRemote) {
                if (o.beforePush) o.beforePush();
                bool refused = false;
                if (!repo.Push(commit, branch, refused, &error)) return refused ? Outcome::Again : Failed();
            }
        }
        // A folder without remote gets its files before the base moves: a sync stopped in
        // between finds them as the other side's, equal to this database.
        if (!hasRemote && !repo.CheckOut(commit, branch, &error)) return Failed();
        if (commit != head) {
            CTransaction unit(db, &error);
            if (!unit.IsOpen() || !CSyncState::Write(db, CSyncState::BaseKey(), commit, &error) ||
                !CSyncState::WriteEntries(db, newBase, merged, &error) || !unit.Commit(&error))
                return Failed();
        }
        if (hasRemote && !repo.CheckOut(commit, branch, &error)) return Failed();
        s.commit = commit;
        return Outcome::Done;
    }

    CSQLite& db;
    CGitRepository& repo;
    const CSyncOptions& o;
    const bool hasRemote;
    const QString branch;
    CSyncSummary& s;
    QString error;
    QString base, head;
    qint64 baseCount = 0;
    // Only the identities this round looks at: those changed on either side since the base.
    SyncEntries baseEntries, remote, newBase;
    QSet<QString> touched;      // identities whose remote side was read (else it is the base's)
    QSet<QString> changedHere;  // identities changed in this database since the base
    QSet<QString> looked;       // identities compared whatever changed: conflict copies, and every
                                // item when nothing was agreed with the other side
    QStringList domain;         // every identity merged, in order
    QHash<QString, CSyncedItem> remoteItems;
    QHash<QString, LocalSide> local;
    QHash<QString, QString> attachSums;  // attachments taken in: their sums as stored
    QList<QPair<QString, CSyncedItem>> copies;
    QList<CSyncLocalSide> freshSides;
    QSet<QString> held;
    QStringList takeRemote, takeLocal, conflicts;
    // Paths by a 64-bit digest of their lower case: a first sync writes every item's, and a
    // digest that collided would only give one file a longer name.
    static quint64 pathKey(const QString& lower) {
        return qFromUnaligned<quint64>(QCryptographicHash::hash(lower.toUtf8(), QCryptographicHash::Md5).constData());
    }
    QSet<quint64> writtenPaths, droppedPaths;
    QHash<QString, QSet<QString>> headFolders;
};

}  // namespace

bool CSync::Run(CSQLite& db, const CSyncOptions& o, CSyncSummary& s) {
    s = CSyncSummary();
    if (!db.IsOpen()) {
        s.error = CSQLite::NoDatabaseText();
        return false;
    }
    QString error;
    CGitRepository repo;
    QString branch = o.branch;
    if (branch.isEmpty() && !CSyncState::Read(db, CSyncState::BranchKey(), branch, &error)) {
        s.error = error;
        return false;
    }
    if (branch.isEmpty()) branch = QStringLiteral("main");
    if (!repo.Open(o.folder, &error) || !repo.SetRemote(o.remote, &error)) {
        s.error = error;
        return false;
    }
    // One sync of a folder at a time; holding the lock, git's own lock files left in it can only
    // be those of a sync that was killed.
    const QString lockPath = repo.GitFolder() + QStringLiteral("/vellumgranary-sync.lock");
    QLockFile lock(lockPath);
    // A lock is another sync's for as long as that sync runs, however long; one whose process
    // is gone is free at once.
    lock.setStaleLockTime(0);
    bool locked = lock.tryLock(0);
    if (!locked) {
        // A sync killed while it made the lock leaves it without its owner written in: nobody
        // holds that one once it is older than the writing takes.
        qint64 pid = 0;
        QString host, app;
        const QFileInfo file(lockPath);
        if (!lock.getLockInfo(&pid, &host, &app) && file.exists() &&
            file.lastModified().msecsTo(QDateTime::currentDateTime()) > 2000)
            lock.removeStaleLockFile();
        locked = lock.tryLock(10000);
    }
    if (!locked) {
        s.error = QStringLiteral("Another sync of %1 is running").arg(o.folder);
        return false;
    }
    repo.ClearStaleLocks();
    const bool hasRemote = repo.HasRemote();
    for (int round = 1; round <= qMax(1, o.maxRounds); ++round) {
        s.rounds = round;
        switch (Round(db, repo, o, hasRemote, branch, s).Run()) {
        case Outcome::Done: s.completed = true; return true;
        case Outcome::Failed: return false;
        case Outcome::Again: break;
        }
    }
    s.error = QStringLiteral("The remote kept moving; try again later");
    return false;
}

bool CSync::Settings(CSQLite& db, QString& folder, QString& remote, QString* error) {
    return CSyncState::Read(db, CSyncState::FolderKey(), folder, error) &&
           CSyncState::Read(db, CSyncState::RemoteKey(), remote, error);
}
