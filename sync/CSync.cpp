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

#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <algorithm>

namespace {

enum class Outcome { Done, Again, Failed };

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
        if (!CSyncState::Read(db, CSyncState::BaseKey(), base, &error) || !CSyncState::ReadEntries(db, baseEntries, &error))
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
        if (!CMarkdownWriter::AssignIdentities(db, &error) || !ReadRemote() || !ReadLocal()) return Failed();
        Merge();
        if (!Apply()) return Failed();
        return Publish();
    }

private:
    Outcome Failed() {
        s.error = error;
        return Outcome::Failed;
    }

    bool ReadRemote() {
        if (!repo.ReadTree(head, tree, &error)) return false;
        QHash<QString, QString> uuidByBlob;
        for (auto it = baseEntries.cbegin(); it != baseEntries.cend(); ++it) uuidByBlob.insert(it->blob, it.key());
        QStringList paths = tree.keys();
        paths.sort();
        QSet<QString> unreadable;
        for (const QString& path : std::as_const(paths)) {
            if (!path.endsWith(QStringLiteral(".md")) || hiddenPath(path)) continue;
            const QString& blob = tree[path];
            const bool copy = isConflictCopy(path);
            // A file whose bytes the base already had is the base's item: no need to read it.
            const auto known = uuidByBlob.constFind(blob);
            if (!copy && known != uuidByBlob.cend() && !remote.contains(*known)) {
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
                continue;
            }
            QString attachPath;
            if (!item.attachmentFile.isEmpty()) {
                attachPath = folderOf(path) + item.attachmentFile;
                if (!tree.contains(attachPath)) {
                    unreadable.insert(path);
                    s.skipped << path + QStringLiteral(": its attachment %1 is missing").arg(item.attachmentFile);
                    continue;
                }
                item.attachmentBlob = tree[attachPath];
            }
            if (copy) {
                copies.append({path, item});
                continue;
            }
            const QString uuid = item.Uuid();
            if (remote.contains(uuid)) {
                s.skipped << path + QStringLiteral(": the same identity as ") + remote[uuid].path;
                continue;
            }
            remote.insert(uuid, {path, blob, item.Fingerprint(), item.item.id, attachPath, item.attachmentBlob, {}});
            remoteItems.insert(uuid, item);
        }
        // An item whose file was made unreadable is left as it is on both sides until mended.
        for (auto it = baseEntries.cbegin(); it != baseEntries.cend(); ++it)
            if (!remote.contains(it.key()) && unreadable.contains(it->path)) held.insert(it.key());
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
            const CSyncEntry was = baseEntries.value(uuid);
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
        return true;
    }

    // Only the items whose stored state moved since the last sync are read and fingerprinted;
    // the others keep the side remembered then.
    bool ReadLocal() {
        QHash<int, QString> stale;  // item -> its key now
        qsizetype count = 0;
        if (!CSyncLocalSides::Read(
                db, [&](const CSyncLocalSide& x) { local.insert(x.uuid, {x.id, x.fingerprint, x.attachBlob, x.attachSum}); },
                stale, count, &error))
            return false;
        if (stale.isEmpty()) return true;
        if (stale.size() > count / 4) {
            // Most items: one pass over all of them beats looking each up.
            QString inner;
            const bool ok = CStoredItems::ForEach(
                db,
                [&](const CItem& item, const ItemAttributes& attributes) {
                    if (!stale.contains(item.id)) return true;
                    if (SideOf(item, attributes, stale.value(item.id))) return true;
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
                if (!ReadItemAttributes(db, item.id, attributes, &error) ||
                    !SideOf(item, attributes, stale.value(item.id)))
                    return false;
            }
        }
        return true;
    }

    void Merge() {
        QSet<QString> all;
        for (auto it = baseEntries.cbegin(); it != baseEntries.cend(); ++it) all.insert(it.key());
        for (auto it = local.cbegin(); it != local.cend(); ++it) all.insert(it.key());
        for (auto it = remote.cbegin(); it != remote.cend(); ++it) all.insert(it.key());
        QStringList order(all.cbegin(), all.cend());
        order.sort();
        for (const QString& u : std::as_const(order)) {
            if (held.contains(u)) continue;
            const QString b = baseEntries.value(u).fingerprint, l = local.value(u).fingerprint,
                          r = remote.value(u).fingerprint;
            if (l == r) continue;
            if (l == b) takeRemote << u;
            else if (r == b) takeLocal << u;
            else if (l.isEmpty()) takeRemote << u;  // an edit beats a delete
            else if (r.isEmpty()) takeLocal << u;
            else conflicts << u;
        }
    }

    bool Apply() {
        CTransaction unit(db, &error);
        if (!unit.IsOpen() || !PrepareItemAttributes(db, &error)) return false;
        // Written first: storing an item below drops its row again, as it must.
        if (!CSyncLocalSides::Write(db, freshSides, &error)) return false;
        const CSyncChangeWriter::SyncWrites own;
        for (const QString& u : std::as_const(takeRemote)) {
            if (!remote.contains(u)) {
                if (!DeleteItem(db, local.value(u).id, &error)) return false;
                ++s.in;
                continue;
            }
            if (!StoreRemote(u)) return false;
            ++s.in;
        }
        for (const QString& u : std::as_const(conflicts)) {
            if (!CSyncConflicts::KeepConflictSide(db, local.value(u).id, remoteItems.value(u), &error)) return false;
            ++s.conflicts;
        }
        // Another program's conflict copy is one more side of its item.
        for (const auto& [path, copy] : std::as_const(copies)) {
            const QString u = copy.Uuid();
            const QString f = copy.Fingerprint();
            if (local.contains(u) && f != local.value(u).fingerprint && f != remote.value(u).fingerprint) {
                if (!CSyncConflicts::KeepConflictSide(db, local.value(u).id, copy, &error)) return false;
                if (!conflicts.contains(u)) ++s.conflicts;
            }
        }
        for (auto it = remote.begin(); it != remote.end(); ++it)
            if (it->attachSum.isEmpty() && !it->attachBlob.isEmpty() && local.value(it.key()).attachBlob == it->attachBlob)
                it->attachSum = local.value(it.key()).attachSum;
        // The database now holds the remote's commit plus its own changes: that commit is the base.
        newBase = remote;
        for (const QString& u : std::as_const(held)) newBase.insert(u, baseEntries.value(u));
        if (!CSyncState::Write(db, CSyncState::BaseKey(), head, &error) ||
            !CSyncState::Write(db, CSyncState::BranchKey(), branch, &error) ||
            !CSyncState::Write(db, CSyncState::FolderKey(), repo.Folder(), &error) ||
            !CSyncState::Write(db, CSyncState::RemoteKey(), repo.RemoteUrl(), &error) ||
            !CSyncState::WriteEntries(db, baseEntries, newBase, &error))
            return false;
        return unit.Commit(&error);
    }

    bool StoreRemote(const QString& u) {
        CSyncedItem ri = remoteItems.value(u);
        CSyncEntry& re = remote[u];
        const bool existed = local.contains(u);
        const LocalSide mine = local.value(u);
        CItem item = ri.item;
        item.id = existed ? mine.id : -1;
        const int id = SaveItem(db, item, {}, &error);
        if (id == 0 || !RemoveItemAttributes(db, id, &error) || !SetItemAttributes(db, id, ri.attributes, &error))
            return false;
        if (!ri.attachmentBlob.isEmpty()) {
            if (existed && mine.attachBlob == ri.attachmentBlob && AttachmentName(db, id) == ri.item.fileName) {
                re.attachSum = mine.attachSum;
            } else {
                QByteArray data, block;
                if (!repo.ReadBlob(ri.attachmentBlob, data, &error)) return false;
                CQuickLZ codec;
                if (!data.isEmpty() && !codec.Compress(data, block, &error)) return false;
                const QByteArray digest = AttachmentDigest(data);
                if (!StoreAttachment(db, id, data.size(), block, ri.item.fileName, &error, digest)) return false;
                re.attachSum = QString::fromLatin1(digest.toHex());
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
        // Many items to write: every item's attributes in one query rather than one query each.
        if (uuids.size() >= 1000 && allAttributes.isEmpty() && !ReadAllItemAttributes(db, allAttributes, &error))
            return false;
        for (const CItem& item : std::as_const(items)) {
            CSyncedItem& one = batch[item.id];
            one.item = item;
            if (!allAttributes.isEmpty()) one.attributes = allAttributes.value(item.id);
            else if (!ReadItemAttributes(db, item.id, one.attributes, &error)) return false;
            one.attachmentBlob = local.value(one.Uuid()).attachBlob;
        }
        return true;
    }

    Outcome Publish() {
        CGitRepository::Edit edit;
        SyncEntries merged = newBase;
        QSet<QString> taken;
        for (auto it = tree.cbegin(); it != tree.cend(); ++it) taken.insert(it.key().toLower());
        const auto drop = [&](const QString& path) {
            if (path.isEmpty()) return;
            edit.remove << path;
            taken.remove(path.toLower());
        };
        QStringList writes = takeLocal + conflicts;
        writes.sort();
        // Items to write are read again a thousand at a time, so a first sync never holds them all.
        QHash<int, CSyncedItem> batch;
        for (qsizetype i = 0; i < writes.size(); ++i) {
            const QString& u = writes[i];
            if (i % 1000 == 0 && !LoadBatch(writes.mid(i, 1000), batch)) return Failed();
            const bool inRemote = remote.contains(u);
            const CSyncEntry old = remote.value(u);
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
            const CSyncEntry was = baseEntries.value(u);
            const QString path =
                li.PathFor(inRemote ? old.path : was.path, [&](const QString& p) { return taken.contains(p.toLower()); });
            int number = inRemote ? old.number : was.number;
            if (number < 1) number = li.item.id;
            QString blob, attachBlob;
            if (!repo.StoreBlob(li.Compose(path, number), blob, &error)) return Failed();
            edit.stored.insert(path, blob);
            edit.remove.removeAll(path);
            taken.insert(path.toLower());
            const QString attachPath = li.AttachmentPathFor(path);
            if (!attachPath.isEmpty()) {
                QByteArray data;
                if (!attachmentBytes(db, li.item.id, data, &error) || !repo.StoreBlob(data, attachBlob, &error))
                    return Failed();
                edit.stored.insert(attachPath, attachBlob);
                edit.remove.removeAll(attachPath);
                taken.insert(attachPath.toLower());
            }
            const LocalSide side = local.value(u);
            merged.insert(u, {path, blob, side.fingerprint, number, attachPath, side.attachBlob, side.attachSum});
            if (!conflicts.contains(u)) ++s.out;
        }
        for (const auto& copy : std::as_const(copies)) drop(copy.first);

        QString commit = head;
        if (!edit.IsEmpty()) {
            const QString machine = o.machine.isEmpty() ? QSysInfo::machineHostName() : o.machine;
            const QString message = QStringLiteral("Sync from %1: %2 in, %3 out, %4 in conflict\n")
                                        .arg(machine)
                                        .arg(s.in)
                                        .arg(s.out)
                                        .arg(s.conflicts);
            if (!repo.Commit(head, edit, message, commit, &error)) return Failed();
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
    SyncEntries baseEntries, remote, newBase;
    QHash<QString, QString> tree;
    QHash<QString, CSyncedItem> remoteItems;
    QHash<QString, LocalSide> local;
    QList<QPair<QString, CSyncedItem>> copies;
    QList<CSyncLocalSide> freshSides;
    QHash<int, ItemAttributes> allAttributes;
    QSet<QString> held;
    QStringList takeRemote, takeLocal, conflicts;
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
    QLockFile lock(repo.GitFolder() + QStringLiteral("/vellumgranary-sync.lock"));
    if (!lock.tryLock(10000)) {
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
