#pragma once
// The sync folder's git repository: fetch and push of one branch of one remote, trees of
// commits read entry by entry, blobs and commits written, the work tree brought to a commit.
// The work is done by the git module (CGitModule), loaded by the first repository made; when it
// cannot be loaded, every operation fails with the reason. Errors come back as texts; nothing
// here knows about items.
#include "sync/CGitBackend.h"

#include <memory>

class CGitRepository {
public:
    using Edit = CGitBackend::Edit;
    using FileChange = CGitBackend::FileChange;

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
    // The blob id the bytes would have, without storing them (git's SHA-1 of a blob).
    static QString HashBlob(QByteArrayView bytes);

    // The commit's tree (or an empty one) with the edit's files written and removed, committed
    // with that commit as parent. commit receives the new commit's id.
    bool Commit(const QString& parent, const Edit& edit, const QString& message, QString& commit, QString* error);
    bool HasCommit(const QString& commit);
    // The files that differ between two commits' trees (either may be empty: no files), without
    // reading the trees whole.
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
    QString GitFolder() const { return Folder() + QStringLiteral("/.git"); }
    QString Folder() const;

private:
    bool missing(QString* error) const;

    std::unique_ptr<CGitBackend> m_git;
    QString m_why;  // why there is no backend
};
