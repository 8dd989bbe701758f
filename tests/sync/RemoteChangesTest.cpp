// What a sync reads of each side is only what changed since the commit both agreed on; these
// cases change the remote or the database behind the sync's back.
#include "SyncFixture.h"

#include "attach/basAttachment.h"
#include "db/basDBAttachments.h"

#include <QDir>

namespace {

// A third clone that changes the remote's files directly.
struct Third {
    CGitRepository repo;
    QString head;
    QHash<QString, QString> tree;
    CGitRepository::Edit edit;
    QByteArray Bytes(const QString& path) {
        QByteArray bytes;
        repo.ReadBlob(tree.value(path), bytes, nullptr);
        return bytes;
    }
};

}  // namespace

class RemoteChangesTest : public SyncTest {
protected:
    void ChangeRemote(const std::function<void(Third&)>& change) {
        Third t;
        QString error, commit;
        ASSERT_TRUE(t.repo.Open(env.Path("third"), &error) && t.repo.SetRemote(remote, &error) &&
                    t.repo.Fetch("main", t.head, &error) && t.repo.ReadTree(t.head, t.tree, &error))
            << error.toStdString();
        change(t);
        bool refused = false;
        ASSERT_TRUE(t.repo.Commit(t.head, t.edit, "by hand", commit, &error) && t.repo.Push(commit, "main", refused, &error))
            << error.toStdString();
    }
};

TEST_F(RemoteChangesTest, MovedCopiedAndAttachmentOnlyChangesOnTheRemote) {
    Add(a, "moved", "m");
    Add(a, "copied", "c");
    const int id = Add(a, "with file", "w");
    WriteFileBytes(env.Path("data.bin"), "first bytes");
    ASSERT_TRUE(SaveAttachment(*a.db, id, env.Path("data.bin")));
    Sync(a);
    Sync(b);
    const int movedId = IdOf(b, "moved");
    ChangeRemote([](Third& t) {
        t.edit.remove << "C++/Misc/moved.md";
        t.edit.write.insert("C++/Elsewhere/moved.md", t.Bytes("C++/Misc/moved.md"));
        t.edit.write.insert("C++/Misc/copied again.md", t.Bytes("C++/Misc/copied.md"));
        QString attachment;
        for (auto it = t.tree.cbegin(); it != t.tree.cend(); ++it)
            if (it.key().startsWith("C++/Misc/with file.") && !it.key().endsWith(".md")) attachment = it.key();
        ASSERT_FALSE(attachment.isEmpty());
        t.edit.write.insert(attachment, "second bytes");
    });
    const CSyncSummary s = Sync(b);
    // Only the attachment is news; the moved file is the same item, the copy is no new one.
    EXPECT_EQ(s.in, 1);
    ASSERT_EQ(s.skipped.size(), 1);
    EXPECT_TRUE(s.skipped[0].contains("copied again.md")) << s.skipped[0].toStdString();
    EXPECT_EQ(IdOf(b, "moved"), movedId);
    EXPECT_EQ(Snapshot(b).size(), 3);
    QString out = env.Path("out.bin");
    ASSERT_TRUE(ExtractAttachment(*b.db, IdOf(b, "with file"), out, false));
    EXPECT_EQ(ReadFileBytes(out), "second bytes");
    // Edited here, the moved item goes back to the folder of its category, in one file.
    Change(b, "moved", [](CItem& i) { i.body = "m2"; });
    EXPECT_EQ(Sync(b).out, 1);
    EXPECT_TRUE(ReadFileBytes(b.folder + "/C++/Misc/moved.md").contains("\nm2\n"));
    EXPECT_FALSE(QFileInfo::exists(b.folder + "/C++/Elsewhere/moved.md"));
    Sync(a);
    EXPECT_EQ(Snapshot(a), Snapshot(b));
}

// Writes by other programs that change what the sync carries, and one that does not.
TEST_F(SyncTest, OutsideWritesAreSeenByTheirEffectOnTheItem) {
    struct Case {
        const char* name;
        const char* sql;
        int out;
    };
    const Case cases[] = {
        {"language renamed", "UPDATE tblType SET Name = 'C' WHERE Name = 'C++'", 2},
        {"link moved to another category", "UPDATE tblItemCategory SET CategoryID = (SELECT ID FROM tblCategory WHERE Name = 'Other') "
                                           "WHERE ItemID = (SELECT docid FROM ftsItem WHERE Title = 'first')", 1},
        {"time stamp only", "UPDATE tblItem SET LastUpdate = LastUpdate + 1", 0},
    };
    Add(a, "first", "1");
    Add(a, "second", "2", {"Other"});
    Sync(a);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(a.db->Run(QString::fromLatin1(c.sql)), QString());
        EXPECT_EQ(Sync(a).out, c.out);
        Sync(b);
        EXPECT_EQ(Snapshot(a), Snapshot(b));
    }
}

// A folder with no checkout yet gets its files written directly; files already in the way keep
// their bytes, and the index it leaves sees the rest as unchanged.
TEST(GitFreshCheckOut, WritesTheFilesLeavesOthersAndIndexesThem) {
    TestEnv env;
    CGitRepository repo;
    QString error, commit, again;
    ASSERT_TRUE(repo.Open(env.Path("work"), &error)) << error.toStdString();
    CGitRepository::Edit edit;
    edit.write.insert("a/x.md", "x\n");
    edit.write.insert("a/y.md", "y\n");
    edit.write.insert("top.txt", "t\n");
    edit.remove << "not/there.md";  // nothing to remove: no error
    ASSERT_TRUE(repo.Commit(QString(), edit, "first", commit, &error)) << error.toStdString();
    QDir().mkpath(env.Path("work/a"));
    WriteFileBytes(env.Path("work/a/y.md"), "mine\n");
    WriteFileBytes(env.Path("work/top.txt"), "t\n");
    ASSERT_TRUE(repo.CheckOut(commit, "main", &error)) << error.toStdString();
    EXPECT_EQ(ReadFileBytes(env.Path("work/a/x.md")), "x\n");
    EXPECT_EQ(ReadFileBytes(env.Path("work/a/y.md")), "mine\n");
    EXPECT_EQ(ReadFileBytes(env.Path("work/top.txt")), "t\n");
    ASSERT_TRUE(repo.CommitWorkTree(commit, "folder", again, &error)) << error.toStdString();
    QList<CGitRepository::FileChange> changes;
    ASSERT_TRUE(repo.ChangedFiles(commit, again, changes, &error)) << error.toStdString();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].path, "a/y.md");
    // A path both written and removed in one commit is written; the others stay.
    CGitRepository::Edit second;
    second.write.insert("a/x.md", "x2\n");
    second.remove << "a/x.md" << "top.txt";
    ASSERT_TRUE(repo.Commit(again, second, "second", commit, &error)) << error.toStdString();
    QHash<QString, QString> tree;
    ASSERT_TRUE(repo.ReadTree(commit, tree, &error));
    EXPECT_EQ(QStringList(tree.keys()).size(), 2);
    EXPECT_TRUE(tree.contains("a/x.md") && tree.contains("a/y.md"));
}

// Blobs spread over many packs in another order than their paths (as a first sync stores them
// by item): every file is written with its own bytes, and the index sees each as written.
TEST(GitFreshCheckOut, WritesFilesWhoseBlobsLieInManyPacks) {
    TestEnv env;
    const qint64 every = CGitRepository::PackEvery;
    CGitRepository::PackEvery = 1;  // a pack after every blob
    CGitRepository repo;
    QString error, commit, again;
    ASSERT_TRUE(repo.Open(env.Path("work"), &error)) << error.toStdString();
    const auto path = [](int k) { return QStringLiteral("f%1/%2.md").arg(k % 3).arg(k, 2, 10, QLatin1Char('0')); };
    CGitRepository::Edit edit;
    for (int k = 30; k >= 1; --k) {
        QString blob;
        ASSERT_TRUE(repo.StoreBlob(QByteArray::number(k) + "\n", blob, &error)) << error.toStdString();
        edit.stored.insert(path(k), blob);
    }
    ASSERT_TRUE(repo.Commit(QString(), edit, "first", commit, &error)) << error.toStdString();
    CGitRepository::PackEvery = every;
    EXPECT_GT(QDir(env.Path("work/.git/objects/pack")).entryList({"*.pack"}).size(), 20);
    ASSERT_TRUE(repo.CheckOut(commit, "main", &error)) << error.toStdString();
    for (int k = 1; k <= 30; ++k) EXPECT_EQ(ReadFileBytes(env.Path("work/" + path(k))), QByteArray::number(k) + "\n") << k;
    ASSERT_TRUE(repo.CommitWorkTree(commit, "folder", again, &error)) << error.toStdString();
    EXPECT_EQ(again, commit);
}

