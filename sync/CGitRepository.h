#pragma once
// The sync folder's git repository through libgit2: fetch and push of one branch of one remote,
// trees of commits read entry by entry, blobs and commits written, the work tree brought to a
// commit. Errors come back as texts; nothing here knows about items.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <git2/oid.h>
#include <memory>
#include <vector>

struct git_repository;
struct git_index;
struct git_commit;
struct git_odb_backend;
struct git_odb;
struct git_tree;

class CGitRepository {
public:
    CGitRepository();
    ~CGitRepository();
    CGitRepository(const CGitRepository&) = delete;
    CGitRepository& operator=(const CGitRepository&) = delete;

    // Opens the repository at folder, making one (and the folder) when there is none.
    bool Open(const QString& folder, QString* error);
    // Makes a bare repository at folder (a remote on a shared drive or USB stick).
    static bool InitBare(const QString& folder, QString* error);
    // Points the remote "origin" at url (made when missing; empty url keeps what is set).
    bool SetRemote(const QString& url, QString* error);
    bool HasRemote() const;
    QString RemoteUrl() const;

    // Fetches the branch; head gets the remote's commit (hex), empty when the branch does not
    // exist there yet. False with a readable reason (unreachable, authentication refused).
    bool Fetch(const QString& branch, QString& head, QString* error);
    // Pushes commit to the branch. refused is set (and false returned) when the remote moved on.
    bool Push(const QString& commit, const QString& branch, bool& refused, QString* error);

    // Every blob of the commit's tree: path -> blob id (hex). Empty commit: nothing.
    bool ReadTree(const QString& commit, QHash<QString, QString>& blobs, QString* error);
    bool ReadBlob(const QString& blob, QByteArray& bytes, QString* error);
    // The blob id of one file of the commit's tree; false when there is no such file.
    bool BlobAt(const QString& commit, const QString& path, QString& blob, QString* error);
    // Stores bytes as a blob. Objects written are held in memory and go to disk as packs (a
    // pack every few tens of megabytes, and at Flush), never as one file per object.
    bool StoreBlob(QByteArrayView bytes, QString& blob, QString* error);
    // Bytes held in memory before the next StoreBlob writes them as a pack.
    static inline qint64 PackEvery = 8 * 1024 * 1024;
    // Writes the objects held in memory as one pack; Commit does it before it returns, so
    // nothing a ref points at lives in memory only.
    bool Flush(QString* error);
    // The blob id the bytes would have, without storing them.
    static QString HashBlob(QByteArrayView bytes);

    // A new tree: the commit's tree (or an empty one) with files written and removed, committed
    // with that commit as parent. commit receives the new commit's id.
    struct Edit {
        QHash<QString, QByteArray> write;  // path -> bytes
        QHash<QString, QString> stored;    // path -> blob already stored (StoreBlob)
        QList<QString> remove;
        bool IsEmpty() const { return write.isEmpty() && stored.isEmpty() && remove.isEmpty(); }
    };
    bool Commit(const QString& parent, const Edit& edit, const QString& message, QString& commit, QString* error);
    bool HasCommit(const QString& commit);
    // The files that differ between two commits' trees (either may be empty: no files), without
    // reading the trees whole. A blob id is empty on the side without the file.
    struct FileChange {
        QString path;
        QString oldBlob, newBlob;
    };
    bool ChangedFiles(const QString& from, const QString& to, QList<FileChange>& changes, QString* error);
    // The names of the entries of folder (relative to the root; empty: the root) in commit's tree;
    // none when the folder is missing.
    bool FolderNames(const QString& commit, const QString& folder, QStringList& names, QString* error);
    // Moves the local branch and HEAD to commit without touching the work tree.
    bool MoveBranch(const QString& commit, const QString& branch, QString* error);
    // Whether commit is ancestor (or equal to) descendant.
    bool Contains(const QString& descendant, const QString& commit);
    // Moves the local branch and HEAD to commit and brings the work tree there; files the user
    // changed by hand and files git does not track are left as they are. Only the files that
    // differ between HEAD and commit are looked at (every file when HEAD is missing).
    bool CheckOut(const QString& commit, const QString& branch, QString* error);
    // The work tree's tracked files as they are now, committed on top of parent (a folder kept in
    // step by another program); commit equals parent when nothing differs.
    bool CommitWorkTree(const QString& parent, const QString& message, QString& commit, QString* error);

    // Removes the lock files git leaves in this repository when a process is killed mid-write;
    // only safe while the caller holds the sync's own lock.
    void ClearStaleLocks();
    QString GitFolder() const { return m_folder + QStringLiteral("/.git"); }
    QString Folder() const { return m_folder; }

private:
    bool holdObjects(QString* error);
    bool storeBlob(QByteArrayView bytes, git_oid& oid, QString* error);
    bool diffTrees(git_tree* from, git_tree* to, const QByteArray& prefix, QList<FileChange>& changes, QString* error);
    // Copies what the repository behind to lacks of commit's history into its pack folder. known
    // (optional): a commit to holds with all its history, so what equals it needs no look-up;
    // reuse: packs this repository wrote go over whole where they mostly hold what is missing.
    bool copyObjects(git_repository* source, git_odb* from, git_odb* to, const QString& folder, const git_oid& commit,
                     const git_oid* known, bool reuse, QString* error);
    bool fetchLocal(const QString& path, const QString& branch, QString& head, QString* error);
    bool pushLocal(const QString& path, const git_oid& commit, const QString& branch, bool& refused, QString* error);
    bool packIfLarge(QString* error);
    // Names for the next pack the tree id and what below it is still held in memory only.
    bool holdTree(const git_oid& id, QString* error);
    // The paths that differ between HEAD's tree and target's; all set when there is no HEAD.
    // Writes the commit's files into a folder that has none of git's yet (no HEAD, empty index)
    // and fills the index; left gets the paths it did not write (files already there that
    // differ, links). done is false when the folder is not one to write this way (filters).
    bool writeFresh(git_commit* target, QList<QByteArray>& left, bool& done, QString* error);
    bool changedSinceHead(git_commit* target, QList<QByteArray>& paths, bool& all, QString* error);

    git_repository* m_repo = nullptr;
    git_odb_backend* m_memory = nullptr;  // owned by the repository's object database
    qint64 m_held = 0;                           // bytes written to m_memory since the last pack
    QList<git_oid> m_pending;                    // what the next pack holds
    struct WrittenPack {
        QString base;               // path without ".pack"/".idx"
        std::vector<git_oid> ids;   // in index order
    };
    std::vector<WrittenPack> m_written;          // packs written by this object
    QString m_folder;
};
