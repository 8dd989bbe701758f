#pragma once
// The sync folder's git repository through libgit2: fetch and push of one branch of one remote,
// trees of commits read entry by entry, blobs and commits written, the work tree brought to a
// commit. Built into the vggit module (see CGitBackend), with its own pack writer.
#include "sync/CGitBackend.h"

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

class CLibGit2Repository final : public CGitBackend {
public:
    CLibGit2Repository();
    ~CLibGit2Repository() override;
    CLibGit2Repository(const CLibGit2Repository&) = delete;
    CLibGit2Repository& operator=(const CLibGit2Repository&) = delete;

    bool Open(const QString& folder, QString* error) override;
    bool InitBare(const QString& folder, QString* error) override;
    bool SetRemote(const QString& url, QString* error) override;
    bool HasRemote() const override;
    QString RemoteUrl() const override;
    bool Fetch(const QString& branch, QString& head, QString* error) override;
    bool Push(const QString& commit, const QString& branch, bool& refused, QString* error) override;
    bool ReadTree(const QString& commit, QHash<QString, QString>& blobs, QString* error) override;
    bool ReadBlob(const QString& blob, QByteArray& bytes, QString* error) override;
    bool BlobAt(const QString& commit, const QString& path, QString& blob, QString* error) override;
    // Objects written are held in memory and go to disk as packs, never as one file per object.
    bool StoreBlob(QByteArrayView bytes, QString& blob, QString* error) override;
    void SetPackEvery(qint64 bytes) override { m_packEvery = bytes; }
    bool Flush(QString* error) override;
    bool Commit(const QString& parent, const Edit& edit, const QString& message, QString& commit,
                QString* error) override;
    bool HasCommit(const QString& commit) override;
    bool ChangedFiles(const QString& from, const QString& to, QList<FileChange>& changes, QString* error) override;
    bool FolderNames(const QString& commit, const QString& folder, QStringList& names, QString* error) override;
    bool MoveBranch(const QString& commit, const QString& branch, QString* error) override;
    bool Contains(const QString& descendant, const QString& commit) override;
    bool CheckOut(const QString& commit, const QString& branch, QString* error) override;
    bool CommitWorkTree(const QString& parent, const QString& message, QString& commit, QString* error) override;
    void ClearStaleLocks() override;
    QString GitFolder() const { return m_folder + QStringLiteral("/.git"); }
    QString Folder() const override { return m_folder; }

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
    qint64 m_packEvery = qint64(8) * 1024 * 1024;  // bytes held in memory before a pack is written
    qint64 m_held = 0;                           // bytes written to m_memory since the last pack
    QList<git_oid> m_pending;                    // what the next pack holds
    struct WrittenPack {
        QString base;               // path without ".pack"/".idx"
        std::vector<git_oid> ids;   // in index order
    };
    std::vector<WrittenPack> m_written;          // packs written by this object
    QString m_folder;
};
