#include "sync/CGitRepository.h"

#include "sync/CGitModule.h"

#include <QCryptographicHash>

CGitRepository::CGitRepository() : m_git(CGitModule::Make(&m_why)) {}

CGitRepository::~CGitRepository() = default;

bool CGitRepository::missing(QString* error) const {
    if (error) *error = m_why;
    return false;
}

bool CGitRepository::Open(const QString& folder, QString* error) {
    if (!m_git) return missing(error);
    m_git->SetPackEvery(PackEvery);
    return m_git->Open(folder, error);
}

bool CGitRepository::InitBare(const QString& folder, QString* error) {
    const CGitRepository made;
    return made.m_git ? made.m_git->InitBare(folder, error) : made.missing(error);
}

bool CGitRepository::SetRemote(const QString& url, QString* error) {
    return m_git ? m_git->SetRemote(url, error) : missing(error);
}

bool CGitRepository::HasRemote() const { return m_git && m_git->HasRemote(); }

QString CGitRepository::RemoteUrl() const { return m_git ? m_git->RemoteUrl() : QString(); }

bool CGitRepository::Fetch(const QString& branch, QString& head, QString* error) {
    return m_git ? m_git->Fetch(branch, head, error) : missing(error);
}

bool CGitRepository::Push(const QString& commit, const QString& branch, bool& refused, QString* error) {
    return m_git ? m_git->Push(commit, branch, refused, error) : missing(error);
}

bool CGitRepository::ReadTree(const QString& commit, QHash<QString, QString>& blobs, QString* error) {
    return m_git ? m_git->ReadTree(commit, blobs, error) : missing(error);
}

bool CGitRepository::ReadBlob(const QString& blob, QByteArray& bytes, QString* error) {
    return m_git ? m_git->ReadBlob(blob, bytes, error) : missing(error);
}

bool CGitRepository::BlobAt(const QString& commit, const QString& path, QString& blob, QString* error) {
    return m_git ? m_git->BlobAt(commit, path, blob, error) : missing(error);
}

bool CGitRepository::StoreBlob(QByteArrayView bytes, QString& blob, QString* error) {
    if (!m_git) return missing(error);
    m_git->SetPackEvery(PackEvery);
    return m_git->StoreBlob(bytes, blob, error);
}

bool CGitRepository::Flush(QString* error) { return m_git ? m_git->Flush(error) : missing(error); }

QString CGitRepository::HashBlob(QByteArrayView bytes) {
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(QByteArray("blob ") + QByteArray::number(bytes.size()) + '\0');
    h.addData(bytes);
    return QString::fromLatin1(h.result().toHex());
}

bool CGitRepository::Commit(const QString& parent, const Edit& edit, const QString& message, QString& commit,
                            QString* error) {
    return m_git ? m_git->Commit(parent, edit, message, commit, error) : missing(error);
}

bool CGitRepository::HasCommit(const QString& commit) { return m_git && m_git->HasCommit(commit); }

bool CGitRepository::ChangedFiles(const QString& from, const QString& to, QList<FileChange>& changes, QString* error) {
    return m_git ? m_git->ChangedFiles(from, to, changes, error) : missing(error);
}

bool CGitRepository::FolderNames(const QString& commit, const QString& folder, QStringList& names, QString* error) {
    return m_git ? m_git->FolderNames(commit, folder, names, error) : missing(error);
}

bool CGitRepository::MoveBranch(const QString& commit, const QString& branch, QString* error) {
    return m_git ? m_git->MoveBranch(commit, branch, error) : missing(error);
}

bool CGitRepository::Contains(const QString& descendant, const QString& commit) {
    return m_git && m_git->Contains(descendant, commit);
}

bool CGitRepository::CheckOut(const QString& commit, const QString& branch, QString* error) {
    return m_git ? m_git->CheckOut(commit, branch, error) : missing(error);
}

bool CGitRepository::CommitWorkTree(const QString& parent, const QString& message, QString& commit, QString* error) {
    return m_git ? m_git->CommitWorkTree(parent, message, commit, error) : missing(error);
}

void CGitRepository::ClearStaleLocks() {
    if (m_git) m_git->ClearStaleLocks();
}

QString CGitRepository::Folder() const { return m_git ? m_git->Folder() : QString(); }
