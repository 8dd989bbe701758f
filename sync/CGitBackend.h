#pragma once
// What sync asks of the sync folder's git repository. The one implementation (libgit2, in
// sync/git/) is built as a module of its own and loaded when a sync first needs it, so that
// libgit2 and the dozen libraries it brings are not loaded at every start of the programs.
// Errors come back as texts; nothing here knows about items.
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class CGitBackend {
public:
    // A new tree: the commit's tree (or an empty one) with files written and removed.
    struct Edit {
        QHash<QString, QByteArray> write;  // path -> bytes
        QHash<QString, QString> stored;    // path -> blob already stored (StoreBlob)
        QList<QString> remove;
        bool IsEmpty() const { return write.isEmpty() && stored.isEmpty() && remove.isEmpty(); }
    };
    // A file that differs between two commits' trees; a blob id is empty on the side without it.
    struct FileChange {
        QString path;
        QString oldBlob, newBlob;
    };

    virtual ~CGitBackend() = default;
    // See CGitRepository for what each does.
    virtual bool Open(const QString& folder, QString* error) = 0;
    virtual bool InitBare(const QString& folder, QString* error) = 0;
    virtual bool SetRemote(const QString& url, QString* error) = 0;
    virtual bool HasRemote() const = 0;
    virtual QString RemoteUrl() const = 0;
    virtual bool Fetch(const QString& branch, QString& head, QString* error) = 0;
    virtual bool Push(const QString& commit, const QString& branch, bool& refused, QString* error) = 0;
    virtual bool ReadTree(const QString& commit, QHash<QString, QString>& blobs, QString* error) = 0;
    virtual bool ReadBlob(const QString& blob, QByteArray& bytes, QString* error) = 0;
    virtual bool BlobAt(const QString& commit, const QString& path, QString& blob, QString* error) = 0;
    virtual bool StoreBlob(QByteArrayView bytes, QString& blob, QString* error) = 0;
    virtual void SetPackEvery(qint64 bytes) = 0;
    virtual bool Flush(QString* error) = 0;
    virtual bool Commit(const QString& parent, const Edit& edit, const QString& message, QString& commit,
                        QString* error) = 0;
    virtual bool HasCommit(const QString& commit) = 0;
    virtual bool ChangedFiles(const QString& from, const QString& to, QList<FileChange>& changes, QString* error) = 0;
    virtual bool FolderNames(const QString& commit, const QString& folder, QStringList& names, QString* error) = 0;
    virtual bool MoveBranch(const QString& commit, const QString& branch, QString* error) = 0;
    virtual bool Contains(const QString& descendant, const QString& commit) = 0;
    virtual bool CheckOut(const QString& commit, const QString& branch, QString* error) = 0;
    virtual bool CommitWorkTree(const QString& parent, const QString& message, QString& commit, QString* error) = 0;
    virtual void ClearStaleLocks() = 0;
    virtual QString Folder() const = 0;
};

// The module's entry point (vgMakeGitBackend): a new backend, the caller's to delete.
using VgMakeGitBackend = CGitBackend* (*)();
