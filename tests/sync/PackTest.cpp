// Packs this program writes itself must read back through libgit2 object for object, and what
// a push leaves in a bare repository must be a whole, readable history that another machine
// syncs from.
#include "SyncFixture.h"

#include "attach/basAttachment.h"
#include "sync/git/CPackWriter.h"

#include <QDir>
#include <QRandomGenerator>
#include <QtEndian>
#include <git2.h>

namespace {

using Repo = std::unique_ptr<git_repository, void (*)(git_repository*)>;
using Odb = std::unique_ptr<git_odb, void (*)(git_odb*)>;

Repo OpenRepo(const QString& path) {
    git_repository* r = nullptr;
    EXPECT_EQ(git_repository_open_ext(&r, QFile::encodeName(path).constData(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr), 0)
        << path.toStdString();
    return Repo(r, git_repository_free);
}

Odb OdbOf(git_repository* r) {
    git_odb* o = nullptr;
    EXPECT_EQ(git_repository_odb(&o, r), 0);
    return Odb(o, git_odb_free);
}

QStringList Named(const QString& folder, const QString& pattern) { return QDir(folder).entryList({pattern}, QDir::Files); }

// Every object reachable from the branch, read (libgit2 checks each one's hash as it reads);
// returns how many, or -1 at the first that is missing or damaged.
int ReadHistory(const QString& repoPath, const QString& branch) {
    git_libgit2_opts(GIT_OPT_ENABLE_STRICT_HASH_VERIFICATION, 1);
    Repo repo = OpenRepo(repoPath);
    if (!repo) return -1;
    Odb odb = OdbOf(repo.get());
    git_oid tip;
    if (git_reference_name_to_id(&tip, repo.get(), ("refs/heads/" + branch).toUtf8().constData()) != 0) return -1;
    git_revwalk* walk = nullptr;
    git_revwalk_new(&walk, repo.get());
    git_revwalk_push(walk, &tip);
    QSet<QByteArray> seen;
    int count = 0;
    bool ok = true;
    const auto read = [&](const git_oid& id) {
        const QByteArray key(reinterpret_cast<const char*>(id.id), GIT_OID_RAWSZ);
        if (seen.contains(key)) return false;
        seen.insert(key);
        git_odb_object* o = nullptr;
        if (git_odb_read(&o, odb.get(), &id) != 0) {
            ADD_FAILURE() << "unreadable object " << git_oid_tostr_s(&id);
            ok = false;
            return false;
        }
        git_odb_object_free(o);
        ++count;
        return true;
    };
    std::function<void(const git_oid&)> tree = [&](const git_oid& id) {
        if (!read(id)) return;
        git_tree* t = nullptr;
        if (git_tree_lookup(&t, repo.get(), &id) != 0) {
            ok = false;
            return;
        }
        for (size_t i = 0; i < git_tree_entrycount(t); ++i) {
            const git_tree_entry* e = git_tree_entry_byindex(t, i);
            if (git_tree_entry_type(e) == GIT_OBJECT_TREE) tree(*git_tree_entry_id(e));
            else read(*git_tree_entry_id(e));
        }
        git_tree_free(t);
    };
    git_oid id;
    while (ok && git_revwalk_next(&id, walk) == 0) {
        git_commit* c = nullptr;
        read(id);
        if (git_commit_lookup(&c, repo.get(), &id) != 0) {
            ok = false;
            break;
        }
        tree(*git_commit_tree_id(c));
        git_commit_free(c);
    }
    git_revwalk_free(walk);
    return ok ? count : -1;
}

struct Object {
    const char* what;
    git_object_t type;
    QByteArray bytes;
};

QByteArray Noise(int size) {
    QByteArray out(size, '\0');
    QRandomGenerator random(size);
    for (char& c : out) c = char(random.bounded(256));
    return out;
}

}  // namespace

class PackTest : public ::testing::Test {
protected:
    void SetUp() override {
        repoPath = env.Path("bare.git");
        QString error;
        ASSERT_TRUE(CGitRepository::InitBare(repoPath, &error)) << error.toStdString();
        packs = repoPath + "/objects/pack";
    }
    // Writes objects as one pack; returns its base path (empty on failure).
    QString Write(const QList<Object>& objects, QString* error) {
        CPackWriter writer;
        if (!writer.Begin(packs, quint32(objects.size()), error)) return {};
        for (const Object& o : objects) {
            git_oid id;
            git_odb_hash(&id, o.bytes.constData(), size_t(o.bytes.size()), o.type);
            if (!writer.Add(id, o.type, o.bytes, error)) return {};
        }
        QString base;
        std::vector<git_oid> ids;
        if (!writer.Finish(base, ids, error)) return {};
        EXPECT_EQ(ids.size(), size_t(objects.size()));
        return base;
    }
    TestEnv env;
    QString repoPath, packs;
};

// Sizes around each step of the size header (4 bits, then 7 more a byte), nothing at all, text
// that compresses and noise that grows, and each kind of object.
TEST_F(PackTest, EveryObjectReadsBackWithItsTypeAndBytes) {
    const QList<Object> objects{
        {"empty blob", GIT_OBJECT_BLOB, QByteArray()},
        {"one byte", GIT_OBJECT_BLOB, "x"},
        {"15 bytes", GIT_OBJECT_BLOB, QByteArray(15, 'a')},
        {"16 bytes", GIT_OBJECT_BLOB, QByteArray(16, 'b')},
        {"2047 bytes", GIT_OBJECT_BLOB, QByteArray(2047, 'c')},
        {"2048 bytes", GIT_OBJECT_BLOB, QByteArray(2048, 'd')},
        {"text", GIT_OBJECT_BLOB, QByteArray("int main() { return 0; }\n").repeated(500)},
        {"noise", GIT_OBJECT_BLOB, Noise(300000)},
        {"empty tree", GIT_OBJECT_TREE, QByteArray()},
        {"tree", GIT_OBJECT_TREE, QByteArray("100644 a.md\0", 12) + QByteArray(20, '\x11')},
        {"commit", GIT_OBJECT_COMMIT,
         "tree 4b825dc642cb6eb9a060e54bf8d69288fbee4904\nauthor A <a@b> 1 +0000\ncommitter A <a@b> 1 +0000\n\nm\n"},
    };
    QString error;
    const QString base = Write(objects, &error);
    ASSERT_FALSE(base.isEmpty()) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(base + ".pack"));
    EXPECT_TRUE(QFileInfo::exists(base + ".idx"));
    EXPECT_TRUE(Named(packs, CPackWriter::TemporaryPattern() + "*").isEmpty());
    // libgit2's indexer, fed the pack, checks every object's hash and checksum and must write
    // the very index this writer did.
    QFile pack(base + ".pack"), index(base + ".idx");
    ASSERT_TRUE(pack.open(QIODevice::ReadOnly) && index.open(QIODevice::ReadOnly));
    const QString again = env.Path("indexed");
    QDir().mkpath(again);
    git_indexer* indexer = nullptr;
    git_indexer_progress progress{};
    const QByteArray packBytes = pack.readAll();
    ASSERT_EQ(git_indexer_new(&indexer, QFile::encodeName(again).constData(), 0, nullptr, nullptr), 0);
    EXPECT_EQ(git_indexer_append(indexer, packBytes.constData(), size_t(packBytes.size()), &progress), 0);
    EXPECT_EQ(git_indexer_commit(indexer, &progress), 0);
    const QString name = QString::fromLatin1(git_indexer_name(indexer));
    git_indexer_free(indexer);
    EXPECT_EQ("pack-" + name, QFileInfo(base).fileName());
    QFile theirs(again + "/pack-" + name + ".idx");
    ASSERT_TRUE(theirs.open(QIODevice::ReadOnly));
    EXPECT_TRUE(theirs.readAll() == index.readAll()) << "the index differs from libgit2's";
    git_libgit2_opts(GIT_OPT_ENABLE_STRICT_HASH_VERIFICATION, 1);
    Repo repo = OpenRepo(repoPath);
    Odb odb = OdbOf(repo.get());
    int listed = 0;
    git_odb_foreach(
        odb.get(),
        [](const git_oid*, void* n) {
            ++*static_cast<int*>(n);
            return 0;
        },
        &listed);
    EXPECT_EQ(listed, objects.size());
    for (const Object& o : objects) {
        SCOPED_TRACE(o.what);
        git_oid id;
        git_odb_hash(&id, o.bytes.constData(), size_t(o.bytes.size()), o.type);
        git_odb_object* read = nullptr;
        ASSERT_EQ(git_odb_read(&read, odb.get(), &id), 0);
        EXPECT_EQ(git_odb_object_type(read), o.type);
        EXPECT_EQ(QByteArray(static_cast<const char*>(git_odb_object_data(read)), qsizetype(git_odb_object_size(read))), o.bytes);
        git_odb_object_free(read);
    }
}

// A pack that does not hold what its header promised is never named: readers would find it
// short or find objects twice; nothing but temporary names may be left, and those go.
// The blob id the core computes without git is the one the git module stores the bytes under.
TEST_F(PackTest, TheCoresBlobHashIsGits) {
    CGitRepository repo;
    QString error;
    ASSERT_TRUE(repo.Open(env.Path("work"), &error)) << error.toStdString();
    for (const QByteArray& bytes : {QByteArray(), QByteArray("abc"), QByteArray("a\0b\0", 4), Noise(70000)}) {
        QString stored;
        ASSERT_TRUE(repo.StoreBlob(bytes, stored, &error)) << error.toStdString();
        EXPECT_EQ(CGitRepository::HashBlob(bytes), stored) << bytes.size();
    }
}

TEST_F(PackTest, AWrongCountOrADuplicateNamesNoPack) {
    git_oid one, two;
    git_odb_hash(&one, "1", 1, GIT_OBJECT_BLOB);
    git_odb_hash(&two, "2", 1, GIT_OBJECT_BLOB);
    struct Case {
        const char* what;
        quint32 promised;
        QList<git_oid> added;
        bool addFails;
        bool finish;
    };
    const QList<Case> cases{
        {"fewer than promised", 3, {one, two}, false, true},
        {"more than promised", 1, {one, two}, true, false},
        {"the same object twice", 2, {one, one}, false, true},
        {"begun and dropped, as by a kill", 2, {one}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            CPackWriter writer;
            QString error;
            ASSERT_TRUE(writer.Begin(packs, c.promised, &error));
            bool added = true;
            for (const git_oid& id : c.added) added = added && writer.Add(id, GIT_OBJECT_BLOB, "x", &error);
            EXPECT_EQ(added, !c.addFails);
            QString base;
            std::vector<git_oid> ids;
            if (c.finish) {
                EXPECT_FALSE(writer.Finish(base, ids, &error));
            }
        }
        EXPECT_EQ(Named(packs, "*"), QStringList());
    }
}

// A sync's first push, a later one and a race all leave the remote's whole history readable,
// and a machine syncing from nothing takes every item from it.
TEST_F(SyncTest, ThePushedHistoryIsWholeAndAnotherMachineSyncsFromIt) {
    for (int i = 0; i < 40; ++i) Add(a, QStringLiteral("item %1").arg(i), QStringLiteral("body %1\n").arg(i).repeated(i));
    const int withFile = IdOf(a, "item 7");
    WriteFileBytes(env.Path("data.bin"), QByteArray(5000, '\x7f'));
    ASSERT_TRUE(SaveAttachment(*a.db, withFile, env.Path("data.bin")));
    Sync(a);
    const int first = ReadHistory(remote, "main");
    EXPECT_GT(first, 40);
    Sync(b);
    EXPECT_EQ(Snapshot(a), Snapshot(b));
    Change(b, "item 3", [](CItem& i) { i.body = "from b"; });
    Sync(b);
    Change(a, "item 4", [](CItem& i) { i.body = "from a"; });
    Change(b, "item 5", [](CItem& i) { i.body = "from b"; });
    // a's push meets b's: a fetches again and pushes once more.
    bool once = false;
    const CSyncSummary s = Sync(a, [&] {
        if (!once) {
            once = true;
            Sync(b);
        }
    });
    EXPECT_EQ(s.rounds, 2);
    EXPECT_GT(ReadHistory(remote, "main"), first);
    Machine c;
    Open(c, "c");
    Sync(c);
    Sync(b);
    EXPECT_EQ(Snapshot(c), Snapshot(a));
    EXPECT_EQ(Snapshot(b), Snapshot(a));
    EXPECT_EQ(Body(c, "item 5"), "from b");
    EXPECT_EQ(Body(c, "item 4"), "from a");
}

// A pack of this side that holds mostly what the remote has already is not sent whole: the few
// objects it lacks go in a pack of their own, and the remote's branch is whole either way.
TEST_F(SyncTest, APushSendsWholePacksOnlyWhenTheRemoteLacksMostOfThem) {
    QString error, head, commit;
    bool refused = false;
    CGitRepository one, other;
    ASSERT_TRUE(other.Open(env.Path("other"), &error) && other.SetRemote(remote, &error)) << error.toStdString();
    CGitRepository::Edit nine;
    for (int i = 0; i < 9; ++i) nine.write.insert(QStringLiteral("f%1.md").arg(i), QByteArray::number(i).repeated(100));
    ASSERT_TRUE(other.Commit({}, nine, "nine", commit, &error) && other.Push(commit, "seeded", refused, &error))
        << error.toStdString();
    const QString packs = remote + "/objects/pack";
    const auto newPacks = [&](QStringList& known) {
        QList<int> counts;  // objects in each pack not seen before
        for (const QString& name : Named(packs, "*.pack")) {
            if (known.contains(name)) continue;
            known << name;
            QFile f(packs + "/" + name);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            const QByteArray header = f.read(12);
            counts << int(qFromBigEndian<quint32>(header.constData() + 8));
        }
        return counts;
    };
    QStringList known;
    newPacks(known);
    ASSERT_TRUE(one.Open(env.Path("one"), &error) && one.SetRemote(remote, &error)) << error.toStdString();
    CGitRepository::Edit ten = nine;
    ten.write.insert("f9.md", "the one new file");
    struct Case {
        const char* branch;
        QList<int> sent;  // objects of each new pack on the remote
    };
    // Partly known: the new file, the tree and the commit in a pack of their own rather than this
    // side's pack of twelve. Then a commit alone: this side's pack of one goes over as it is.
    for (const Case& c : {Case{"partly-known", {3}}, Case{"new", {1}}}) {
        SCOPED_TRACE(c.branch);
        ASSERT_TRUE(one.Commit({}, ten, c.branch, commit, &error)) << error.toStdString();
        ASSERT_TRUE(one.Push(commit, c.branch, refused, &error)) << error.toStdString();
        EXPECT_EQ(ReadHistory(remote, c.branch), 12);  // commit, tree, ten files
        EXPECT_EQ(newPacks(known), c.sent);
    }
    EXPECT_TRUE(Named(packs, CPackWriter::TemporaryPattern() + "*").isEmpty());
}
