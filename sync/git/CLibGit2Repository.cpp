#include "sync/git/CLibGit2Repository.h"

#include "sync/git/CPackWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <vector>
#include <git2.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <git2/sys/mempack.h>
#include <git2/sys/odb_backend.h>
#include <unordered_map>

namespace {

// libgit2 keeps global state; it is set up once for the whole program.
void initOnce() {
    static const int once = [] {
        const int n = git_libgit2_init();
        // Packs are read through mapped windows that count as the program's memory: a sync
        // reading every tree of a large repository keeps a modest share of them mapped.
        git_libgit2_opts(GIT_OPT_SET_MWINDOW_MAPPED_LIMIT, size_t(16) * 1024 * 1024);
        // Trees are made only of objects this program just stored or read: looking each one up
        // again (in packs mapped into memory) cost a first sync of a large database as much
        // memory as its files.
        git_libgit2_opts(GIT_OPT_ENABLE_STRICT_OBJECT_CREATION, 0);
        return n;
    }();
    (void)once;
}

QString lastError(const QString& what, int code) {
    const git_error* e = git_error_last();
    QString text = what;
    if (e && e->message) text += QStringLiteral(": ") + QString::fromUtf8(e->message).trimmed();
    else text += QStringLiteral(" (libgit2 error %1)").arg(code);
    return text;
}

bool fail(QString* error, const QString& what, int code) {
    if (error) *error = lastError(what, code);
    return false;
}

template <typename T, void (*Free)(T*)>
struct Owned {
    T* p = nullptr;
    ~Owned() {
        if (p) Free(p);
    }
};
using Remote = Owned<git_remote, git_remote_free>;
using CommitObj = Owned<git_commit, git_commit_free>;
using Tree = Owned<git_tree, git_tree_free>;
using Index = Owned<git_index, git_index_free>;
using Signature = Owned<git_signature, git_signature_free>;
using Reference = Owned<git_reference, git_reference_free>;

bool toOid(const QString& hex, git_oid& oid) { return git_oid_fromstr(&oid, hex.toLatin1().constData()) == 0; }

// The tree of the commit with the hex id commit.
bool treeOf(git_repository* repo, const QString& commit, Tree& tree, QString* error) {
    git_oid oid;
    CommitObj c;
    if (!toOid(commit, oid)) return fail(error, QStringLiteral("Bad commit id"), -1);
    int rc = git_commit_lookup(&c.p, repo, &oid);
    if (rc == 0) rc = git_commit_tree(&tree.p, c.p);
    return rc == 0 || fail(error, QStringLiteral("Unable to read commit ") + commit, rc);
}
QString fromOid(const git_oid& oid) {
    char buf[GIT_OID_HEXSZ + 1];
    git_oid_tostr(buf, sizeof buf, &oid);
    return QString::fromLatin1(buf);
}

// The ssh agent is asked once per connection; a second call means the server refused its keys.
struct CredentialState {
    int asked = 0;
    bool authFailed = false;
};

int credentials(git_credential** out, const char* url, const char* user, unsigned int allowed, void* payload) {
    auto* state = static_cast<CredentialState*>(payload);
    (void)url;
    if (state->asked++ > 0) {
        state->authFailed = true;
        return GIT_EAUTH;
    }
    if (allowed & GIT_CREDENTIAL_SSH_KEY) return git_credential_ssh_key_from_agent(out, user ? user : "git");
    if (allowed & GIT_CREDENTIAL_DEFAULT) return git_credential_default_new(out);
    state->authFailed = true;
    return GIT_EAUTH;
}

QString authText(const QString& url) {
    return QStringLiteral("Authentication to %1 failed: the ssh agent has no key this server accepts "
                          "(start the agent and add your key with ssh-add; for HTTPS use an ssh URL instead)")
        .arg(url);
}

QString remoteRef(const QString& branch) { return QStringLiteral("refs/remotes/origin/") + branch; }

}  // namespace

CLibGit2Repository::CLibGit2Repository() { initOnce(); }

CLibGit2Repository::~CLibGit2Repository() {
    // Objects still in memory would be lost with it; a caller that needed them flushed.
    if (m_repo) git_repository_free(m_repo);
}

bool CLibGit2Repository::holdObjects(QString* error) {
    if (m_memory) return true;
    git_odb* odb = nullptr;
    int rc = git_repository_odb(&odb, m_repo);
    if (rc == 0) rc = git_mempack_new(&m_memory);
    // Above every other backend, so new objects are written here.
    if (rc == 0) rc = git_odb_add_backend(odb, m_memory, 1000);
    if (odb) git_odb_free(odb);
    if (rc != 0) {
        m_memory = nullptr;
        return fail(error, QStringLiteral("Unable to prepare the object store"), rc);
    }
    return true;
}

namespace {

// The pack folder of a repository's object database.
QString packFolder(git_repository* repo) {
    return QFile::decodeName(git_repository_commondir(repo)) + QStringLiteral("objects/pack");
}

// An object's bytes as one backend of a store handed them over.
struct RawObject {
    git_odb_backend* backend = nullptr;
    void* data = nullptr;
    size_t size = 0;
    git_object_t type = GIT_OBJECT_INVALID;
    git_odb_object* checked = nullptr;  // read through the object database instead
    RawObject() = default;
    RawObject(const RawObject&) = delete;
    RawObject& operator=(const RawObject&) = delete;
    ~RawObject() {
        if (checked) git_odb_object_free(checked);
        else if (backend && data) git_odb_backend_data_free(backend, data);
    }
    QByteArrayView Bytes() const { return {static_cast<const char*>(data), qsizetype(size)}; }
};

// Reads an object of this program's own store without hashing it again: every object there was
// hashed on its way in (made here, checked as it was copied from the other side, or indexed
// as it was fetched). libgit2 would hash each one on every read, and cache it.
int readTrusted(git_odb* odb, const git_oid& id, RawObject& out) {
    const size_t count = git_odb_num_backends(odb);
    for (size_t i = 0; i < count; ++i) {
        git_odb_backend* b = nullptr;
        if (git_odb_get_backend(&b, odb, i) != 0 || !b->read) continue;
        const int rc = b->read(&out.data, &out.size, &out.type, b, &id);
        if (rc == 0) {
            out.backend = b;
            return 0;
        }
        if (rc != GIT_ENOTFOUND && rc != GIT_PASSTHROUGH) return rc;
    }
    git_error_clear();
    const int rc = git_odb_read(&out.checked, odb, &id);
    if (rc != 0) return rc;
    out.data = const_cast<void*>(git_odb_object_data(out.checked));
    out.size = git_odb_object_size(out.checked);
    out.type = git_odb_object_type(out.checked);
    return 0;
}

// Objects read from one object database, packed without deltas into a pack folder (of the same
// or another repository) with their index. Written here rather than by libgit2's pack builder,
// which would look for deltas between every pair of neighbours first and compress each object
// again at its slowest level, or its indexer, which reads and hashes every object once more.
// trusted: from is this program's own store (else every object read is checked against its id).
bool packObjects(git_odb* from, bool trusted, const QList<git_oid>& ids, const QString& folder, QString& base,
                 std::vector<git_oid>& packed, QString* error) {
    CPackWriter writer;
    if (!writer.Begin(folder, quint32(ids.size()), error)) return false;
    // One object at a time from the store to the pack file, so the two never both hold everything.
    for (const git_oid& id : ids) {
        RawObject o;
        int rc = 0;
        if (trusted) {
            rc = readTrusted(from, id, o);
        } else if ((rc = git_odb_read(&o.checked, from, &id)) == 0) {
            o.data = const_cast<void*>(git_odb_object_data(o.checked));
            o.size = git_odb_object_size(o.checked);
            o.type = git_odb_object_type(o.checked);
        }
        if (rc != 0) return fail(error, QStringLiteral("Unable to read an object to pack"), rc);
        if (!writer.Add(id, o.type, o.Bytes(), error)) return false;
    }
    return writer.Finish(base, packed, error);
}

// A pack file and its index copied into another pack folder, under temporary names until whole.
bool copyPack(const QString& base, const QString& folder, QString* error) {
    const QString name = QFileInfo(base).fileName();
    QStringList temporary;
    const auto cleanUp = [&] {
        for (const QString& t : std::as_const(temporary)) QFile::remove(t);
        return false;
    };
    for (const char* ext : {".pack", ".idx"}) {
        const QString source = base + QLatin1String(ext);
        const QString target = folder + QLatin1Char('/') + CPackWriter::TemporaryPattern() + name + QLatin1String(ext);
        QFile::remove(target);
        temporary << target;
        if (!QFile::copy(source, target) ||
            !QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther)) {
            if (error) *error = QStringLiteral("Unable to copy %1 to %2").arg(source, folder);
            return cleanUp();
        }
    }
    // The pack before its index, as a pack is named when written.
    for (const char* ext : {".pack", ".idx"}) {
        const QString target = folder + QLatin1Char('/') + name + QLatin1String(ext);
        if (std::rename(QFile::encodeName(temporary.takeFirst()).constData(), QFile::encodeName(target).constData()) != 0) {
            if (error) *error = QStringLiteral("Unable to name the pack ") + target;
            return cleanUp();
        }
    }
    return true;
}

}  // namespace

bool CLibGit2Repository::Flush(QString* error) {
    if (!m_memory || m_pending.isEmpty()) return true;
    git_odb* odb = nullptr;
    int rc = git_repository_odb(&odb, m_repo);
    if (rc != 0) return fail(error, QStringLiteral("Unable to write the objects"), rc);
    const std::unique_ptr<git_odb, void (*)(git_odb*)> owned(odb, git_odb_free);
    QSet<QByteArray> seen;
    QList<git_oid> unique;
    for (const git_oid& id : std::as_const(m_pending))
        if (!seen.contains(QByteArray::fromRawData(reinterpret_cast<const char*>(id.id), GIT_OID_RAWSZ))) {
            seen.insert(QByteArray(reinterpret_cast<const char*>(id.id), GIT_OID_RAWSZ));
            unique << id;
        }
    seen = {};
    WrittenPack written;
    if (!packObjects(odb, true, unique, packFolder(m_repo), written.base, written.ids, error)) return false;
    // The pack is read from before the objects leave memory.
    rc = git_odb_refresh(odb);
    if (rc != 0) return fail(error, QStringLiteral("Unable to read the objects written"), rc);
    m_written.push_back(std::move(written));
    m_pending.clear();
    m_held = 0;
    rc = git_mempack_reset(m_memory);
    return rc == 0 || fail(error, QStringLiteral("Unable to write the objects"), rc);
}

bool CLibGit2Repository::copyObjects(git_repository* source, git_odb* from, git_odb* to, const QString& folder, const git_oid& commit,
                                 const git_oid* known, bool reuse, QString* error) {
    // What the receiving side lacks: a tree it has holds everything below it.
    const auto has = [&](const git_oid& id) { return git_odb_exists_ext(to, &id, GIT_ODB_LOOKUP_NO_REFRESH) == 1; };
    QList<git_oid> send;
    QSet<QByteArray> listed;
    const auto add = [&](const git_oid& id) {
        const QByteArray raw(reinterpret_cast<const char*>(id.id), GIT_OID_RAWSZ);
        if (listed.contains(raw)) return false;
        listed.insert(raw);
        send << id;
        return true;
    };
    // twin: the tree at the same place in a commit the receiving side holds whole; an entry
    // equal to its counterpart there is held too, and is not even looked up.
    std::function<bool(const git_oid&, const git_tree*)> addTree = [&](const git_oid& id, const git_tree* twin) {
        if (has(id) || !add(id)) return true;
        Tree t;
        if (git_tree_lookup(&t.p, source, &id) != 0) return false;
        for (size_t i = 0; i < git_tree_entrycount(t.p); ++i) {
            const git_tree_entry* e = git_tree_entry_byindex(t.p, i);
            const git_oid* oid = git_tree_entry_id(e);
            const git_tree_entry* same = twin ? git_tree_entry_byname(twin, git_tree_entry_name(e)) : nullptr;
            if (same && git_oid_equal(git_tree_entry_id(same), oid)) continue;
            if (git_tree_entry_type(e) == GIT_OBJECT_TREE) {
                Tree inner;
                if (same && git_tree_entry_type(same) == GIT_OBJECT_TREE &&
                    git_tree_lookup(&inner.p, source, git_tree_entry_id(same)) != 0) {
                    git_error_clear();
                    inner.p = nullptr;
                }
                if (!addTree(*oid, inner.p)) return false;
            } else if (git_tree_entry_type(e) == GIT_OBJECT_BLOB && !has(*oid)) {
                add(*oid);
            }
        }
        return true;
    };
    Tree knownRoot;
    if (known) {
        CommitObj k;
        if (git_commit_lookup(&k.p, source, known) != 0 || git_commit_tree(&knownRoot.p, k.p) != 0) {
            git_error_clear();
            knownRoot.p = nullptr;
        }
    }
    QList<git_oid> commits{commit};
    while (!commits.isEmpty()) {
        const git_oid id = commits.takeLast();
        if (has(id) || !add(id)) continue;
        CommitObj c;
        const int rc = git_commit_lookup(&c.p, source, &id);
        if (rc != 0 || !addTree(*git_commit_tree_id(c.p), knownRoot.p))
            return fail(error, QStringLiteral("Unable to read a commit to copy"), rc);
        for (unsigned int i = 0; i < git_commit_parentcount(c.p); ++i) commits << *git_commit_parent_id(c.p, i);
    }
    // Packs this repository wrote that mostly hold what the other side lacks go over whole: no
    // object is read, compressed or hashed again. They hold no deltas, so each stands alone;
    // objects the other side had already are there twice, which every reader allows.
    if (reuse && !m_written.empty() && !send.isEmpty()) {
        std::vector<qsizetype> wanted(m_written.size(), 0);
        std::vector<int> holder(size_t(send.size()), -1);
        const auto in = [](const std::vector<git_oid>& ids, const git_oid& id) {
            return std::binary_search(ids.begin(), ids.end(), id,
                                      [](const git_oid& a, const git_oid& b) { return git_oid_cmp(&a, &b) < 0; });
        };
        for (qsizetype i = 0; i < send.size(); ++i)
            for (size_t p = 0; p < m_written.size(); ++p)
                if (in(m_written[p].ids, send[i])) {
                    holder[size_t(i)] = int(p);
                    ++wanted[p];
                    break;
                }
        std::vector<bool> whole(m_written.size(), false);
        for (size_t p = 0; p < m_written.size(); ++p) {
            if (wanted[p] == 0 || wanted[p] * 2 < qsizetype(m_written[p].ids.size())) continue;
            if (!copyPack(m_written[p].base, folder, error)) return false;
            whole[p] = true;
        }
        QList<git_oid> rest;
        for (qsizetype i = 0; i < send.size(); ++i)
            if (holder[size_t(i)] < 0 || !whole[size_t(holder[size_t(i)])]) rest << send[i];
        send = rest;
    }
    // A few thousand objects a pack, so a first copy never holds them all.
    for (qsizetype i = 0; i < send.size(); i += 20000) {
        QString base;
        std::vector<git_oid> packed;
        if (!packObjects(from, source == m_repo, send.mid(i, 20000), folder, base, packed, error)) return false;
    }
    const int rc = git_odb_refresh(to);
    return rc == 0 || fail(error, QStringLiteral("Unable to read the objects copied"), rc);
}

bool CLibGit2Repository::fetchLocal(const QString& path, const QString& branch, QString& head, QString* error) {
    git_repository* theirs = nullptr;
    int rc = git_repository_open_ext(&theirs, QFile::encodeName(path).constData(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr);
    if (rc != 0) return fail(error, QStringLiteral("Unable to reach %1").arg(path), rc);
    const std::unique_ptr<git_repository, void (*)(git_repository*)> remoteRepo(theirs, git_repository_free);
    git_oid tip;
    if (git_reference_name_to_id(&tip, theirs, (QStringLiteral("refs/heads/") + branch).toUtf8().constData()) != 0) {
        // A new remote has no branch yet: no failure.
        git_error_clear();
        return true;
    }
    git_odb* ours = nullptr;
    git_odb* source = nullptr;
    rc = git_repository_odb(&ours, m_repo);
    if (rc == 0) rc = git_repository_odb(&source, theirs);
    const std::unique_ptr<git_odb, void (*)(git_odb*)> ownOdb(ours, git_odb_free), theirOdb(source, git_odb_free);
    if (rc != 0) return fail(error, QStringLiteral("Unable to reach %1").arg(path), rc);
    // What this side fetched last is here whole: the walk compares against it.
    git_oid fetched;
    const bool hadFetched = git_reference_name_to_id(&fetched, m_repo, remoteRef(branch).toUtf8().constData()) == 0;
    git_error_clear();
    if (!copyObjects(theirs, source, ours, packFolder(m_repo), tip, hadFetched ? &fetched : nullptr, false, error)) return false;
    Reference tracking;
    rc = git_reference_create(&tracking.p, m_repo, remoteRef(branch).toUtf8().constData(), &tip, 1, "sync: fetched");
    if (rc != 0) return fail(error, QStringLiteral("Unable to note the remote's branch"), rc);
    head = fromOid(tip);
    return true;
}

bool CLibGit2Repository::pushLocal(const QString& path, const git_oid& commit, const QString& branch, bool& refused,
                               QString* error) {
    git_repository* theirs = nullptr;
    int rc = git_repository_open_ext(&theirs, QFile::encodeName(path).constData(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr);
    if (rc != 0) return fail(error, QStringLiteral("Unable to open the repository at ") + path, rc);
    const std::unique_ptr<git_repository, void (*)(git_repository*)> remoteRepo(theirs, git_repository_free);
    git_odb* ours = nullptr;
    git_odb* target = nullptr;
    rc = git_repository_odb(&ours, m_repo);
    if (rc == 0) rc = git_repository_odb(&target, theirs);
    const std::unique_ptr<git_odb, void (*)(git_odb*)> ownOdb(ours, git_odb_free), theirOdb(target, git_odb_free);
    if (rc != 0) return fail(error, QStringLiteral("Unable to open the repository at ") + path, rc);
    const QByteArray ref = (QStringLiteral("refs/heads/") + branch).toUtf8();
    git_oid old;
    const bool hadBranch = git_reference_name_to_id(&old, theirs, ref.constData()) == 0;
    git_error_clear();
    // Only fast-forwards: the branch there must be what this commit was made on (or before it).
    if (hadBranch && !git_oid_equal(&old, &commit) && git_graph_descendant_of(m_repo, &commit, &old) != 1) {
        git_error_clear();
        refused = true;
        if (error) *error = QStringLiteral("The remote moved on");
        return false;
    }
    if (!copyObjects(m_repo, ours, target, packFolder(theirs), commit, hadBranch ? &old : nullptr, true, error)) return false;
    Reference moved;
    rc = hadBranch ? git_reference_create_matching(&moved.p, theirs, ref.constData(), &commit, 1, &old, "sync: push")
                   : git_reference_create(&moved.p, theirs, ref.constData(), &commit, 0, "sync: push");
    if (rc == GIT_EMODIFIED || rc == GIT_EEXISTS) {
        // Another machine pushed meanwhile.
        git_error_clear();
        refused = true;
        if (error) *error = QStringLiteral("The remote moved on");
        return false;
    }
    if (rc != 0) return fail(error, QStringLiteral("Unable to push to %1").arg(path), rc);
    return true;
}

bool CLibGit2Repository::holdTree(const git_oid& id, QString* error) {
    // Trees and blobs already on disk (and below them) were written by an earlier sync.
    if (!m_memory || !m_memory->exists(m_memory, &id)) return true;
    m_pending << id;
    Tree t;
    const int rc = git_tree_lookup(&t.p, m_repo, &id);
    if (rc != 0) return fail(error, QStringLiteral("Unable to read a tree"), rc);
    for (size_t i = 0; i < git_tree_entrycount(t.p); ++i) {
        const git_tree_entry* e = git_tree_entry_byindex(t.p, i);
        const git_oid* oid = git_tree_entry_id(e);
        if (git_tree_entry_type(e) == GIT_OBJECT_TREE) {
            if (!holdTree(*oid, error)) return false;
        } else if (m_memory->exists(m_memory, oid)) {
            m_pending << *oid;
        }
    }
    return true;
}

bool CLibGit2Repository::packIfLarge(QString* error) {
    // A first sync of a large database never holds all its files at once.
    return m_held < m_packEvery || Flush(error);
}

bool CLibGit2Repository::Open(const QString& folder, QString* error) {
    m_folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir().mkpath(m_folder)) {
        if (error) *error = QStringLiteral("Unable to make the folder ") + folder;
        return false;
    }
    const QByteArray path = QFile::encodeName(m_folder);
    if (git_repository_open_ext(&m_repo, path.constData(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr) != 0) {
        const int rc = git_repository_init(&m_repo, path.constData(), 0);
        if (rc != 0) return fail(error, QStringLiteral("Unable to make a git repository in ") + folder, rc);
    }
    // Items are small files that share little: looking for deltas between them (in every pack a
    // push or a sync writes) costs far more than the bytes it would save.
    // A window of one byte leaves each object one neighbour to try.
    git_config* config = nullptr;
    if (git_repository_config(&config, m_repo) == 0) {
        for (const char* key : {"pack.bigFileThreshold", "pack.windowMemory"}) {
            int32_t value = 0;
            if (git_config_get_int32(&value, config, key) != 0 || value != 1) git_config_set_int32(config, key, 1);
        }
        git_error_clear();
        git_config_free(config);
    }
    return true;
}

void CLibGit2Repository::ClearStaleLocks() {
    for (const QString& sub : {QStringLiteral("/index.lock"), QStringLiteral("/HEAD.lock")}) QFile::remove(GitFolder() + sub);
    QDirIterator it(GitFolder() + QStringLiteral("/refs"), {QStringLiteral("*.lock")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) QFile::remove(it.next());
    // Packs a killed sync was writing.
    QDirIterator packs(GitFolder() + QStringLiteral("/objects/pack"), {CPackWriter::TemporaryPattern() + QLatin1Char('*')}, QDir::Files);
    while (packs.hasNext()) QFile::remove(packs.next());
}

bool CLibGit2Repository::InitBare(const QString& folder, QString* error) {
    initOnce();
    git_repository* repo = nullptr;
    const int rc = git_repository_init(&repo, QFile::encodeName(folder).constData(), 1);
    if (repo) git_repository_free(repo);
    return rc == 0 || fail(error, QStringLiteral("Unable to make a bare repository in ") + folder, rc);
}

bool CLibGit2Repository::SetRemote(const QString& url, QString* error) {
    Remote r;
    if (git_remote_lookup(&r.p, m_repo, "origin") == 0) {
        if (url.isEmpty() || QString::fromUtf8(git_remote_url(r.p)) == url) return true;
        const int rc = git_remote_set_url(m_repo, "origin", url.toUtf8().constData());
        return rc == 0 || fail(error, QStringLiteral("Unable to set the remote"), rc);
    }
    if (url.isEmpty()) return true;
    const int rc = git_remote_create(&r.p, m_repo, "origin", url.toUtf8().constData());
    return rc == 0 || fail(error, QStringLiteral("Unable to set the remote"), rc);
}

bool CLibGit2Repository::HasRemote() const {
    Remote r;
    return git_remote_lookup(&r.p, m_repo, "origin") == 0;
}

QString CLibGit2Repository::RemoteUrl() const {
    Remote r;
    return git_remote_lookup(&r.p, m_repo, "origin") == 0 ? QString::fromUtf8(git_remote_url(r.p)) : QString();
}

bool CLibGit2Repository::Fetch(const QString& branch, QString& head, QString* error) {
    head.clear();
    Remote r;
    int rc = git_remote_lookup(&r.p, m_repo, "origin");
    if (rc != 0) return fail(error, QStringLiteral("No remote is set"), rc);
    const QString url = QString::fromUtf8(git_remote_url(r.p));
    // libgit2 calls a missing folder an unsupported protocol; the user should read what it is.
    const QString local = url.startsWith(QStringLiteral("file://")) ? url.mid(7) : url;
    if (local.startsWith(QLatin1Char('/')) && !QFileInfo::exists(local)) {
        if (error) *error = QStringLiteral("Unable to reach %1: no such folder (is the drive mounted?)").arg(url);
        return false;
    }
    // A bare repository on a local path gives only what this side lacks, found by walking from
    // its branch and stopping at every tree this side already has.
    if (local.startsWith(QLatin1Char('/'))) return fetchLocal(local, branch, head, error);
    CredentialState state;
    git_fetch_options opts = GIT_FETCH_OPTIONS_INIT;
    opts.callbacks.credentials = credentials;
    opts.callbacks.payload = &state;
    // Only the one branch; a missing branch on a new remote is no failure.
    const QByteArray spec = (QStringLiteral("+refs/heads/") + branch + QLatin1Char(':') + remoteRef(branch)).toUtf8();
    char* specs[] = {const_cast<char*>(spec.constData())};
    const git_strarray refspecs = {specs, 1};
    rc = git_remote_fetch(r.p, &refspecs, &opts, nullptr);
    if (rc != 0) {
        if (state.authFailed || rc == GIT_EAUTH) {
            if (error) *error = authText(url);
            return false;
        }
        return fail(error, QStringLiteral("Unable to reach %1").arg(url), rc);
    }
    // A remote whose branch is gone since the last fetch must not look as if it still had it.
    bool listed = false;
    const git_remote_head** heads = nullptr;
    size_t count = 0;
    if (git_remote_ls(&heads, &count, r.p) == 0)
        for (size_t i = 0; i < count; ++i)
            if (QString::fromUtf8(heads[i]->name) == QStringLiteral("refs/heads/") + branch) {
                listed = true;
                head = fromOid(heads[i]->oid);
            }
    if (!listed) head.clear();
    return true;
}

bool CLibGit2Repository::Push(const QString& commit, const QString& branch, bool& refused, QString* error) {
    refused = false;
    Remote r;
    int rc = git_remote_lookup(&r.p, m_repo, "origin");
    if (rc != 0) return fail(error, QStringLiteral("No remote is set"), rc);
    const QString url = QString::fromUtf8(git_remote_url(r.p));
    git_oid oid;
    if (!toOid(commit, oid)) return fail(error, QStringLiteral("Bad commit id"), -1);
    // A bare repository on a local path (a shared drive, a USB stick) takes the objects straight
    // into its store, packed as cheaply as this side packs its own.
    const QString local = url.startsWith(QStringLiteral("file://")) ? url.mid(7) : url;
    if (local.startsWith(QLatin1Char('/'))) {
        if (!pushLocal(local, oid, branch, refused, error)) return false;
        Reference tracking;
        git_reference_create(&tracking.p, m_repo, remoteRef(branch).toUtf8().constData(), &oid, 1, "sync: pushed");
        return true;
    }
    // The commit goes out through a ref of our own, so the local branch moves only once it is in.
    const char* outgoing = "refs/vellumgranary/outgoing";
    Reference ref;
    rc = git_reference_create(&ref.p, m_repo, outgoing, &oid, 1, "sync: outgoing");
    if (rc != 0) return fail(error, QStringLiteral("Unable to prepare the push"), rc);
    struct Payload {
        CredentialState cred;
        QString rejected;
    } payload;
    git_push_options opts = GIT_PUSH_OPTIONS_INIT;
    opts.callbacks.credentials = [](git_credential** out, const char* u, const char* user, unsigned int allowed,
                                    void* p) { return credentials(out, u, user, allowed, &static_cast<Payload*>(p)->cred); };
    opts.callbacks.push_update_reference = [](const char*, const char* status, void* p) {
        if (status) static_cast<Payload*>(p)->rejected = QString::fromUtf8(status);
        return 0;
    };
    opts.callbacks.payload = &payload;
    const QByteArray spec = (QString::fromLatin1(outgoing) + QStringLiteral(":refs/heads/") + branch).toUtf8();
    char* specs[] = {const_cast<char*>(spec.constData())};
    const git_strarray refspecs = {specs, 1};
    rc = git_remote_push(r.p, &refspecs, &opts);
    if (rc == 0 && payload.rejected.isEmpty()) {
        // The remote-tracking ref follows, as a fetch would set it.
        Reference tracking;
        git_reference_create(&tracking.p, m_repo, remoteRef(branch).toUtf8().constData(), &oid, 1, "sync: pushed");
        return true;
    }
    if (payload.cred.authFailed || rc == GIT_EAUTH) {
        if (error) *error = authText(url);
        return false;
    }
    if (rc == GIT_ENONFASTFORWARD || !payload.rejected.isEmpty() ||
        (git_error_last() && QString::fromUtf8(git_error_last()->message).contains(QStringLiteral("fast-forward")))) {
        refused = true;
        if (error) *error = QStringLiteral("The remote moved on: ") + payload.rejected;
        return false;
    }
    return fail(error, QStringLiteral("Unable to push to %1").arg(url), rc);
}

bool CLibGit2Repository::ReadTree(const QString& commit, QHash<QString, QString>& blobs, QString* error) {
    blobs.clear();
    if (commit.isEmpty()) return true;
    Tree t;
    if (!treeOf(m_repo, commit, t, error)) return false;
    const int rc = git_tree_walk(
        t.p, GIT_TREEWALK_PRE,
        [](const char* root, const git_tree_entry* entry, void* payload) {
            if (git_tree_entry_type(entry) == GIT_OBJECT_BLOB)
                static_cast<QHash<QString, QString>*>(payload)->insert(
                    QString::fromUtf8(root) + QString::fromUtf8(git_tree_entry_name(entry)), fromOid(*git_tree_entry_id(entry)));
            return 0;
        },
        &blobs);
    return rc == 0 || fail(error, QStringLiteral("Unable to read the tree of ") + commit, rc);
}

bool CLibGit2Repository::BlobAt(const QString& commit, const QString& path, QString& blob, QString* error) {
    blob.clear();
    Tree t;
    if (commit.isEmpty()) return fail(error, QStringLiteral("Bad commit id"), -1);
    if (!treeOf(m_repo, commit, t, error)) return false;
    git_tree_entry* e = nullptr;
    int rc = git_tree_entry_bypath(&e, t.p, path.toUtf8().constData());
    if (rc != 0) return fail(error, QStringLiteral("No file ") + path, rc);
    const bool isBlob = git_tree_entry_type(e) == GIT_OBJECT_BLOB;
    if (isBlob) blob = fromOid(*git_tree_entry_id(e));
    git_tree_entry_free(e);
    return isBlob;
}

bool CLibGit2Repository::ReadBlob(const QString& blob, QByteArray& bytes, QString* error) {
    git_oid oid;
    if (!toOid(blob, oid)) return fail(error, QStringLiteral("Bad blob id"), -1);
    git_odb* odb = nullptr;
    int rc = git_repository_odb(&odb, m_repo);
    const std::unique_ptr<git_odb, void (*)(git_odb*)> owned(odb, git_odb_free);
    RawObject o;
    if (rc == 0) rc = readTrusted(odb, oid, o);
    if (rc == 0 && o.type != GIT_OBJECT_BLOB) rc = GIT_EINVALID;
    if (rc != 0) return fail(error, QStringLiteral("Unable to read blob ") + blob, rc);
    bytes = o.Bytes().toByteArray();
    return true;
}

bool CLibGit2Repository::StoreBlob(QByteArrayView bytes, QString& blob, QString* error) {
    if (!holdObjects(error) || !packIfLarge(error)) return false;
    git_oid oid;
    if (!storeBlob(bytes, oid, error)) return false;
    blob = fromOid(oid);
    return true;
}

bool CLibGit2Repository::storeBlob(QByteArrayView bytes, git_oid& oid, QString* error) {
    // Straight to memory: libgit2's own write first "freshens" the object on disk, which for a
    // new one means a failed touch and a fresh listing of the pack folder, per object.
    int rc = git_odb_hash(&oid, bytes.data(), size_t(bytes.size()), GIT_OBJECT_BLOB);
    if (rc == 0 && !m_memory->exists(m_memory, &oid)) {
        git_odb* odb = nullptr;
        rc = git_repository_odb(&odb, m_repo);
        const bool known = rc == 0 && git_odb_exists_ext(odb, &oid, GIT_ODB_LOOKUP_NO_REFRESH) == 1;
        if (odb) git_odb_free(odb);
        if (rc == 0 && !known) {
            rc = m_memory->write(m_memory, &oid, bytes.data(), size_t(bytes.size()), GIT_OBJECT_BLOB);
            if (rc == 0) {
                m_held += bytes.size() + 64;
                m_pending << oid;
            }
        }
    }
    return rc == 0 || fail(error, QStringLiteral("Unable to store a file"), rc);
}


bool CLibGit2Repository::Commit(const QString& parent, const Edit& edit, const QString& message, QString& commit,
                            QString* error) {
    if (!holdObjects(error)) return false;
    CommitObj parentCommit;
    Tree baseline;
    int rc = 0;
    if (!parent.isEmpty()) {
        git_oid oid;
        if (!toOid(parent, oid)) return fail(error, QStringLiteral("Bad commit id"), -1);
        rc = git_commit_lookup(&parentCommit.p, m_repo, &oid);
        if (rc == 0) rc = git_commit_tree(&baseline.p, parentCommit.p);
        if (rc != 0) return fail(error, QStringLiteral("Unable to read the remote's tree"), rc);
    }
    // The parent's tree with only the touched folders rebuilt: reading all of it into an index
    // cost a large repository more than the few files a sync changes.
    struct Update {
        QByteArray path;
        git_oid id;
        bool remove = false;
    };
    std::vector<Update> updates;
    updates.reserve(size_t(edit.write.size() + edit.stored.size() + edit.remove.size()));
    for (auto it = edit.write.cbegin(); it != edit.write.cend(); ++it) {
        Update u{it.key().toUtf8(), {}, false};
        if (!storeBlob(it.value(), u.id, error)) return false;
        updates.push_back(std::move(u));
    }
    for (auto it = edit.stored.cbegin(); it != edit.stored.cend(); ++it) {
        Update u{it.key().toUtf8(), {}, false};
        if (!toOid(it.value(), u.id)) return fail(error, QStringLiteral("Bad blob id"), -1);
        updates.push_back(std::move(u));
    }
    for (const QString& path : edit.remove) {
        // Removing what the tree does not hold is an error for libgit2, and a no-op here.
        if (!baseline.p) break;
        git_tree_entry* e = nullptr;
        if (git_tree_entry_bypath(&e, baseline.p, path.toUtf8().constData()) != 0) {
            git_error_clear();
            continue;
        }
        git_tree_entry_free(e);
        updates.push_back({path.toUtf8(), {}, true});
    }
    // In byte order, libgit2 takes them in one pass instead of sorting them one insert at a time.
    // A path both written and removed is written: the first of each path is kept, and writes
    // come before removals.
    std::stable_sort(updates.begin(), updates.end(), [](const Update& a, const Update& b) { return a.path < b.path; });
    updates.erase(std::unique(updates.begin(), updates.end(), [](const Update& a, const Update& b) { return a.path == b.path; }),
                  updates.end());
    std::vector<git_tree_update> list(updates.size());
    for (size_t i = 0; i < updates.size(); ++i) {
        list[i].action = updates[i].remove ? GIT_TREE_UPDATE_REMOVE : GIT_TREE_UPDATE_UPSERT;
        list[i].id = updates[i].id;
        list[i].filemode = GIT_FILEMODE_BLOB;
        list[i].path = updates[i].path.constData();
    }
    git_oid treeId, commitId;
    Tree tree;
    if (!baseline.p) {
        git_treebuilder* empty = nullptr;
        rc = git_treebuilder_new(&empty, m_repo, nullptr);
        if (rc == 0) rc = git_treebuilder_write(&treeId, empty);
        if (empty) git_treebuilder_free(empty);
        if (rc == 0) rc = git_tree_lookup(&baseline.p, m_repo, &treeId);
        if (rc == 0 && m_memory->exists(m_memory, &treeId)) m_pending << treeId;
    }
    if (rc == 0) rc = git_tree_create_updated(&treeId, m_repo, baseline.p, list.size(), list.data());
    if (rc == 0) rc = git_tree_lookup(&tree.p, m_repo, &treeId);
    if (rc != 0) return fail(error, QStringLiteral("Unable to write the tree"), rc);
    Signature sig;
    if (git_signature_default(&sig.p, m_repo) != 0)
        rc = git_signature_now(&sig.p, "VellumGranary", "vellumgranary@localhost");
    if (rc != 0) return fail(error, QStringLiteral("Unable to sign the commit"), rc);
    const git_commit* parents[] = {parentCommit.p};
    rc = git_commit_create(&commitId, m_repo, nullptr, sig.p, sig.p, "UTF-8", message.toUtf8().constData(), tree.p,
                           parentCommit.p ? 1 : 0, parents);
    if (rc != 0) return fail(error, QStringLiteral("Unable to commit"), rc);
    commit = fromOid(commitId);
    m_pending << commitId;
    return holdTree(treeId, error) && Flush(error);
}

bool CLibGit2Repository::ChangedFiles(const QString& from, const QString& to, QList<FileChange>& changes, QString* error) {
    changes.clear();
    if (from == to) return true;
    Tree trees[2];
    const QString ids[2] = {from, to};
    for (int i = 0; i < 2; ++i) {
        if (!ids[i].isEmpty() && !treeOf(m_repo, ids[i], trees[i], error)) return false;
    }
    return diffTrees(trees[0].p, trees[1].p, QByteArray(), changes, error);
}

bool CLibGit2Repository::diffTrees(git_tree* from, git_tree* to, const QByteArray& prefix, QList<FileChange>& changes,
                               QString* error) {
    // Both trees in git's order (a folder sorts as its name with a slash): one pass over each,
    // and a folder whose tree id is the same on both sides is not even opened.
    struct Entry {
        QByteArray key;
        const git_tree_entry* e = nullptr;
    };
    const auto entries = [](git_tree* t) {
        std::vector<Entry> list;
        const size_t n = t ? git_tree_entrycount(t) : 0;
        list.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            const git_tree_entry* e = git_tree_entry_byindex(t, i);
            const git_object_t type = git_tree_entry_type(e);
            if (type != GIT_OBJECT_TREE && type != GIT_OBJECT_BLOB) continue;
            QByteArray key(git_tree_entry_name(e));
            if (type == GIT_OBJECT_TREE) key += '/';
            list.push_back({key, e});
        }
        std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
        return list;
    };
    const std::vector<Entry> a = entries(from), b = entries(to);
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const int order = i == a.size() ? 1 : j == b.size() ? -1 : (a[i].key < b[j].key ? -1 : a[i].key == b[j].key ? 0 : 1);
        const git_tree_entry* x = order <= 0 ? a[i].e : nullptr;
        const git_tree_entry* y = order >= 0 ? b[j].e : nullptr;
        const git_tree_entry* any = x ? x : y;
        const QByteArray name = prefix + git_tree_entry_name(any);
        if (x && y && git_oid_equal(git_tree_entry_id(x), git_tree_entry_id(y))) {
            // unchanged
        } else if (git_tree_entry_type(any) == GIT_OBJECT_TREE) {
            Tree tx, ty;
            int rc = x ? git_tree_lookup(&tx.p, m_repo, git_tree_entry_id(x)) : 0;
            if (rc == 0 && y) rc = git_tree_lookup(&ty.p, m_repo, git_tree_entry_id(y));
            if (rc != 0) return fail(error, QStringLiteral("Unable to read the folder ") + QString::fromUtf8(name), rc);
            if (!diffTrees(tx.p, ty.p, name + '/', changes, error)) return false;
        } else {
            FileChange c;
            c.path = QString::fromUtf8(name);
            if (x) c.oldBlob = fromOid(*git_tree_entry_id(x));
            if (y) c.newBlob = fromOid(*git_tree_entry_id(y));
            changes << c;
        }
        if (order <= 0) ++i;
        if (order >= 0) ++j;
    }
    return true;
}

bool CLibGit2Repository::FolderNames(const QString& commit, const QString& folder, QStringList& names, QString* error) {
    names.clear();
    if (commit.isEmpty()) return true;
    Tree root;
    if (!treeOf(m_repo, commit, root, error)) return false;
    Tree sub;
    git_tree* t = root.p;
    if (!folder.isEmpty()) {
        git_tree_entry* e = nullptr;
        if (git_tree_entry_bypath(&e, root.p, folder.toUtf8().constData()) != 0) {
            git_error_clear();
            return true;
        }
        int rc = 0;
        if (git_tree_entry_type(e) == GIT_OBJECT_TREE) rc = git_tree_lookup(&sub.p, m_repo, git_tree_entry_id(e));
        git_tree_entry_free(e);
        if (rc != 0) return fail(error, QStringLiteral("Unable to read the folder ") + folder, rc);
        if (!sub.p) return true;
        t = sub.p;
    }
    const size_t count = git_tree_entrycount(t);
    for (size_t i = 0; i < count; ++i) names << QString::fromUtf8(git_tree_entry_name(git_tree_entry_byindex(t, i)));
    return true;
}

bool CLibGit2Repository::Contains(const QString& descendant, const QString& commit) {
    git_oid a, b;
    if (commit.isEmpty()) return true;
    if (descendant.isEmpty() || !toOid(descendant, a) || !toOid(commit, b)) return false;
    return git_oid_equal(&a, &b) || git_graph_descendant_of(m_repo, &a, &b) == 1;
}

bool CLibGit2Repository::HasCommit(const QString& commit) {
    git_oid oid;
    CommitObj c;
    return !commit.isEmpty() && toOid(commit, oid) && git_commit_lookup(&c.p, m_repo, &oid) == 0;
}

bool CLibGit2Repository::MoveBranch(const QString& commit, const QString& branch, QString* error) {
    git_oid oid;
    if (!toOid(commit, oid)) return fail(error, QStringLiteral("Bad commit id"), -1);
    const QByteArray ref = (QStringLiteral("refs/heads/") + branch).toUtf8();
    Reference r;
    int rc = git_reference_create(&r.p, m_repo, ref.constData(), &oid, 1, "sync");
    if (rc == 0) rc = git_repository_set_head(m_repo, ref.constData());
    return rc == 0 || fail(error, QStringLiteral("Unable to move the branch"), rc);
}

bool CLibGit2Repository::changedSinceHead(git_commit* target, QList<QByteArray>& paths, bool& all, QString* error) {
    paths.clear();
    all = true;
    Reference head;
    CommitObj was;
    if (git_repository_head(&head.p, m_repo) != 0 ||
        git_reference_peel(reinterpret_cast<git_object**>(&was.p), head.p, GIT_OBJECT_COMMIT) != 0) {
        git_error_clear();
        return true;
    }
    Tree from, to;
    int rc = git_commit_tree(&from.p, was.p);
    if (rc == 0) rc = git_commit_tree(&to.p, target);
    if (rc != 0) return fail(error, QStringLiteral("Unable to compare the sync folder's commits"), rc);
    QList<FileChange> changes;
    if (!diffTrees(from.p, to.p, QByteArray(), changes, error)) return false;
    for (const FileChange& c : std::as_const(changes)) paths << c.path.toUtf8();
    // Past a few thousand files the whole tree is as quick.
    all = paths.size() > 5000;
    return true;
}

bool CLibGit2Repository::writeFresh(git_commit* target, QList<QByteArray>& left, bool& done, QString* error) {
    left.clear();
    done = false;
    Index index;
    Tree tree;
    int rc = git_repository_index(&index.p, m_repo);
    if (rc == 0) rc = git_commit_tree(&tree.p, target);
    if (rc != 0) return fail(error, QStringLiteral("Unable to read the sync folder's index"), rc);
    // Filters would change the bytes on the way out: those folders are libgit2's to write.
    int autocrlf = 0;
    git_config* config = nullptr;
    if (git_repository_config_snapshot(&config, m_repo) == 0) {
        if (git_config_get_bool(&autocrlf, config, "core.autocrlf") != 0) {
            const char* text = nullptr;
            autocrlf = git_config_get_string(&text, config, "core.autocrlf") == 0 && text && qstrcmp(text, "false") != 0;
        }
        git_config_free(config);
    }
    git_error_clear();
    if (autocrlf || git_index_entrycount(index.p) != 0 || QFileInfo::exists(GitFolder() + QStringLiteral("/info/attributes")))
        return true;
    struct File {
        QByteArray path;
        git_oid id;
        git_filemode_t mode;
    };
    std::vector<File> files;
    bool attributes = false;
    std::pair<std::vector<File>*, bool*> walk(&files, &attributes);
    rc = git_tree_walk(
        tree.p, GIT_TREEWALK_PRE,
        [](const char* root, const git_tree_entry* e, void* payload) {
            auto* p = static_cast<std::pair<std::vector<File>*, bool*>*>(payload);
            if (qstrcmp(git_tree_entry_name(e), ".gitattributes") == 0) *p->second = true;
            if (git_tree_entry_type(e) == GIT_OBJECT_BLOB)
                p->first->push_back({QByteArray(root) + git_tree_entry_name(e), *git_tree_entry_id(e), git_tree_entry_filemode(e)});
            return 0;
        },
        &walk);
    if (rc != 0) return fail(error, QStringLiteral("Unable to read the tree"), rc);
    if (attributes) return true;
    // The blobs went into the packs in item order, the files come in path order: with only a few
    // packs mapped at a time nearly every read would unmap one pack and map another. Read pack by
    // pack instead (those this object wrote; any other blob afterwards, in path order).
    if (m_written.size() > 1) {
        struct OidHash {
            size_t operator()(const git_oid& o) const {
                size_t h = 0;
                std::memcpy(&h, o.id, sizeof h);
                return h;
            }
        };
        struct OidEqual {
            bool operator()(const git_oid& a, const git_oid& b) const { return git_oid_equal(&a, &b); }
        };
        std::unordered_map<git_oid, int, OidHash, OidEqual> packOf;
        for (size_t p = 0; p < m_written.size(); ++p)
            for (const git_oid& id : m_written[p].ids) packOf.emplace(id, int(p));
        std::vector<std::pair<int, size_t>> order(files.size());
        for (size_t k = 0; k < files.size(); ++k) {
            const auto at = packOf.find(files[k].id);
            order[k] = {at == packOf.end() ? int(m_written.size()) : at->second, k};
        }
        packOf = {};
        std::sort(order.begin(), order.end());
        std::vector<File> sorted;
        sorted.reserve(files.size());
        for (const auto& o : order) sorted.push_back(std::move(files[o.second]));
        files.swap(sorted);
    }
    // A fresh folder gets each file with one create and one write, and the index their stat
    // data; libgit2's checkout looked at every folder and path several times per file.
    const QByteArray root = QFile::encodeName(m_folder) + '/';
    git_odb* store = nullptr;
    rc = git_repository_odb(&store, m_repo);
    const std::unique_ptr<git_odb, void (*)(git_odb*)> odb(store, git_odb_free);
    if (rc != 0) return fail(error, QStringLiteral("Unable to read the sync folder's objects"), rc);
    QSet<QByteArray> folders;
    for (const File& f : files) {
        if (f.mode != GIT_FILEMODE_BLOB) {
            left << f.path;
            continue;
        }
        const QByteArray full = root + f.path;
        const qsizetype slash = f.path.lastIndexOf('/');
        if (slash > 0 && !folders.contains(f.path.left(slash))) {
            if (!QDir().mkpath(QFile::decodeName(root + f.path.left(slash)))) {
                if (error) *error = QStringLiteral("Unable to make the folder ") + QFile::decodeName(root + f.path.left(slash));
                return false;
            }
            folders.insert(f.path.left(slash));
        }
        RawObject blob;
        rc = readTrusted(odb.get(), f.id, blob);
        if (rc != 0) return fail(error, QStringLiteral("Unable to read ") + QString::fromUtf8(f.path), rc);
        const char* data = blob.Bytes().data();
        const qint64 size = qint64(blob.size);
        struct stat st {};
        const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        bool ok = fd >= 0;
        if (!ok && errno == EEXIST) {
            // Already there (a user's file, or one of a sync stopped while writing): kept unless
            // it holds these very bytes, and left to libgit2's careful checkout.
            QFile existing(QFile::decodeName(full));
            if (existing.size() == size && existing.open(QIODevice::ReadOnly) &&
                existing.readAll() == QByteArrayView(data, size) && ::stat(full.constData(), &st) == 0)
                ok = true;
            else
                left << f.path;
            if (!ok) continue;
        } else if (ok) {
            for (qint64 at = 0; ok && at < size;) {
                const ssize_t n = ::write(fd, data + at, size_t(size - at));
                if (n < 0 && errno == EINTR) continue;
                ok = n > 0;
                at += n;
            }
            ok = ok && ::fstat(fd, &st) == 0;
            ok = ::close(fd) == 0 && ok;
        }
        if (!ok) {
            if (error) *error = QStringLiteral("Unable to write %1: %2").arg(QFile::decodeName(full), QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        git_index_entry e{};
        e.ctime.seconds = int32_t(st.st_ctim.tv_sec);
        e.ctime.nanoseconds = uint32_t(st.st_ctim.tv_nsec);
        e.mtime.seconds = int32_t(st.st_mtim.tv_sec);
        e.mtime.nanoseconds = uint32_t(st.st_mtim.tv_nsec);
        e.dev = uint32_t(st.st_dev);
        e.ino = uint32_t(st.st_ino);
        e.mode = GIT_FILEMODE_BLOB;
        e.uid = uint32_t(st.st_uid);
        e.gid = uint32_t(st.st_gid);
        e.file_size = uint32_t(st.st_size);
        e.id = f.id;
        e.path = f.path.constData();
        rc = git_index_add(index.p, &e);
        if (rc != 0) return fail(error, QStringLiteral("Unable to index ") + QString::fromUtf8(f.path), rc);
    }
    rc = git_index_write(index.p);
    if (rc != 0) return fail(error, QStringLiteral("Unable to write the sync folder's index"), rc);
    done = true;
    return true;
}

bool CLibGit2Repository::CheckOut(const QString& commit, const QString& branch, QString* error) {
    if (commit.isEmpty()) return true;
    git_oid oid;
    CommitObj c;
    if (!toOid(commit, oid)) return fail(error, QStringLiteral("Bad commit id"), -1);
    int rc = git_commit_lookup(&c.p, m_repo, &oid);
    if (rc != 0) return fail(error, QStringLiteral("Unable to read commit ") + commit, rc);
    git_checkout_options opts = GIT_CHECKOUT_OPTIONS_INIT;
    // Hand edits and foreign files stay; files missing from the work tree come back.
    opts.checkout_strategy = GIT_CHECKOUT_SAFE | GIT_CHECKOUT_RECREATE_MISSING | GIT_CHECKOUT_ALLOW_CONFLICTS;
    // A sync changes a few files of many: the others are not even looked at.
    QList<QByteArray> paths;
    bool all = true;
    if (!changedSinceHead(c.p, paths, all, error)) return false;
    if (all && git_repository_head_unborn(m_repo) == 1) {
        bool done = false;
        if (!writeFresh(c.p, paths, done, error)) return false;
        all = !done;
        if (done && paths.isEmpty()) return MoveBranch(commit, branch, error);
    }
    if (!all && paths.isEmpty()) return MoveBranch(commit, branch, error);
    QList<char*> names;
    for (QByteArray& p : paths) names << p.data();
    if (!all) {
        opts.checkout_strategy |= GIT_CHECKOUT_DISABLE_PATHSPEC_MATCH;
        opts.paths = {names.data(), size_t(names.size())};
    }
    rc = git_checkout_tree(m_repo, reinterpret_cast<git_object*>(c.p), &opts);
    if (rc != 0) return fail(error, QStringLiteral("Unable to update the sync folder"), rc);
    return MoveBranch(commit, branch, error);
}

bool CLibGit2Repository::CommitWorkTree(const QString& parent, const QString& message, QString& commit, QString* error) {
    commit = parent;
    Index index;
    int rc = git_repository_index(&index.p, m_repo);
    if (rc == 0) rc = git_index_read(index.p, 1);
    if (rc == 0) rc = git_index_add_all(index.p, nullptr, GIT_INDEX_ADD_DEFAULT, nullptr, nullptr);
    if (rc == 0) rc = git_index_update_all(index.p, nullptr, nullptr, nullptr);
    git_oid treeId;
    if (rc == 0) rc = git_index_write_tree(&treeId, index.p);
    if (rc == 0) rc = git_index_write(index.p);
    if (rc != 0) return fail(error, QStringLiteral("Unable to read the sync folder"), rc);
    // The index now names the folder's blobs: they go to disk before anything else happens.
    if (!holdTree(treeId, error) || !Flush(error)) return false;
    CommitObj parentCommit;
    if (!parent.isEmpty()) {
        git_oid oid;
        if (!toOid(parent, oid) || git_commit_lookup(&parentCommit.p, m_repo, &oid) != 0)
            return fail(error, QStringLiteral("Unable to read commit ") + parent, -1);
        if (git_oid_equal(git_commit_tree_id(parentCommit.p), &treeId)) return true;
    }
    Tree tree;
    Signature sig;
    git_oid commitId;
    rc = git_tree_lookup(&tree.p, m_repo, &treeId);
    if (rc == 0 && git_signature_default(&sig.p, m_repo) != 0)
        rc = git_signature_now(&sig.p, "VellumGranary", "vellumgranary@localhost");
    const git_commit* parents[] = {parentCommit.p};
    if (rc == 0)
        rc = git_commit_create(&commitId, m_repo, nullptr, sig.p, sig.p, "UTF-8", message.toUtf8().constData(), tree.p,
                               parentCommit.p ? 1 : 0, parents);
    if (rc != 0) return fail(error, QStringLiteral("Unable to commit the sync folder"), rc);
    commit = fromOid(commitId);
    m_pending << commitId;
    return Flush(error);
}

// The module's entry point, looked up by name when a sync first needs git.
extern "C" __attribute__((visibility("default"))) CGitBackend* vgMakeGitBackend() { return new CLibGit2Repository; }
