#include "SyncFixture.h"

#include "db/basDBAttachments.h"
#include "attach/basAttachment.h"
#include "history/CHistory.h"

#include <QDir>

TEST_F(SyncTest, EditsOnEachSideReachTheOtherAndRenamesKeepIdentity) {
    Add(a, "one", "1");
    Add(a, "two", "2");
    Add(a, "three", "3", {"Old"});
    EXPECT_EQ(Sync(a).out, 3);
    EXPECT_EQ(Sync(b).in, 3);
    EXPECT_EQ(Snapshot(a), Snapshot(b));

    Change(a, "one", [](CItem& i) { i.body = "1 from a"; });
    Change(b, "two", [](CItem& i) { i.body = "2 from b"; });
    // A rename with a move to another category and language is the same item, not a new one.
    Change(a, "three", [](CItem& i) {
        i.title = "three renamed";
        i.categories = {"New", "Other"};
        i.language = "Python";
    });
    EXPECT_EQ(Sync(a).out, 2);
    const CSyncSummary s = Sync(b);
    EXPECT_EQ(s.in, 2);
    EXPECT_EQ(s.out, 1);
    EXPECT_EQ(Sync(a).in, 1);
    EXPECT_EQ(Snapshot(a), Snapshot(b));
    EXPECT_EQ(Snapshot(b).size(), 3);
    EXPECT_EQ(Body(b, "one"), "1 from a");
    EXPECT_EQ(Body(a, "two"), "2 from b");
    EXPECT_GT(IdOf(b, "three renamed"), 0);
    // The work tree holds the renamed file only.
    EXPECT_TRUE(QFileInfo::exists(b.folder + "/Python/New/three renamed.md"));
    EXPECT_FALSE(QFileInfo::exists(b.folder + "/C++/Old/three.md"));
    // Nothing changed: nothing moves either way.
    const CSyncSummary quiet = Sync(b);
    EXPECT_EQ(quiet.in + quiet.out + quiet.conflicts, 0);
}

TEST_F(SyncTest, TheSameItemEditedOnBothSidesKeepsBothVersions) {
    EditOnBothSides("shared");
    EXPECT_EQ(Body(b, "shared"), "b's");
    QList<CSyncConflict> conflicts;
    ASSERT_TRUE(CSyncConflicts::List(*b.db, conflicts, nullptr));
    ASSERT_EQ(conflicts.size(), 1);
    EXPECT_EQ(conflicts[0].itemId, IdOf(b, "shared"));
    EXPECT_EQ(conflicts[0].remote.item.body, "a's");
    // The other side is in the item's history too, where it can be compared and restored.
    QList<CItemVersion> versions;
    ASSERT_TRUE(CHistory::Versions(*b.db, IdOf(b, "shared"), versions, nullptr));
    ASSERT_FALSE(versions.isEmpty());
    EXPECT_EQ(versions[0].command, "Sync Conflict");
    EXPECT_EQ(versions[0].item.body, "a's");
    // A second sync keeps the one conflict and brings b's version to a.
    EXPECT_EQ(Sync(b).conflicts, 0);
    Sync(a);
    EXPECT_EQ(Body(a, "shared"), "b's");

    ASSERT_TRUE(CSyncConflicts::Resolve(*b.db, IdOf(b, "shared"), true, nullptr));
    EXPECT_EQ(Body(b, "shared"), "a's");
    ASSERT_TRUE(CSyncConflicts::List(*b.db, conflicts, nullptr));
    EXPECT_TRUE(conflicts.isEmpty());
    EXPECT_FALSE(CSyncConflicts::Resolve(*b.db, IdOf(b, "shared"), true, nullptr));
}

TEST_F(SyncTest, AnEditBeatsADeleteWhicheverSideDeletes) {
    for (const bool aDeletes : {true, false}) {
        SCOPED_TRACE(aDeletes);
        const QString title = aDeletes ? "deleted on a" : "deleted on b";
        Add(a, title, "kept?");
        Sync(a);
        Sync(b);
        Machine& deleter = aDeletes ? a : b;
        Machine& editor = aDeletes ? b : a;
        ASSERT_TRUE(DeleteItem(*deleter.db, IdOf(deleter, title)));
        Change(editor, title, [](CItem& i) { i.body = "edited"; });
        Sync(deleter);
        Sync(editor);
        Sync(deleter);
        EXPECT_EQ(Body(a, title), "edited");
        EXPECT_EQ(Snapshot(a), Snapshot(b));
    }
    // A delete with no edit against it goes through.
    ASSERT_TRUE(DeleteItem(*a.db, IdOf(a, "deleted on a")));
    Sync(a);
    EXPECT_EQ(Sync(b).in, 1);
    EXPECT_EQ(IdOf(b, "deleted on a"), 0);
}

TEST_F(SyncTest, APushRaceIsRetriedAndBothSidesEndWithTheUnion) {
    Add(a, "first", "a");
    Sync(a);
    Sync(b);
    Add(a, "from a", "a");
    Add(b, "from b", "b");
    Change(b, "first", [](CItem& i) { i.body = "b moved it"; });
    int pushes = 0;
    // b wins the race: a's first push is refused and a starts again from the fetch.
    const CSyncSummary s = Sync(a, [&] {
        if (pushes++ == 0) Sync(b);
    });
    EXPECT_EQ(s.rounds, 2);
    EXPECT_EQ(s.in, 2);
    Sync(b);
    EXPECT_EQ(Snapshot(a), Snapshot(b));
    EXPECT_EQ(Snapshot(a).size(), 3);
    EXPECT_EQ(Body(a, "first"), "b moved it");
}

TEST_F(SyncTest, AttachmentsTravelWithTheirItems) {
    const int id = Add(a, "with file", "x");
    WriteFileBytes(env.Path("data.bin"), QByteArray("\x00\x01zip\xff", 6).repeated(1000));
    ASSERT_TRUE(SaveAttachment(*a.db, id, env.Path("data.bin")));
    Sync(a);
    Sync(b);
    QString out = env.Path("out.bin");
    ASSERT_TRUE(ExtractAttachment(*b.db, IdOf(b, "with file"), out, false));
    EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(env.Path("data.bin")));
    // Removed on b: gone on a.
    ASSERT_TRUE(ClearAttachment(*b.db, IdOf(b, "with file")));
    Sync(b);
    EXPECT_EQ(Sync(a).in, 1);
    EXPECT_TRUE(AttachmentName(*a.db, IdOf(a, "with file")).isEmpty());
    EXPECT_EQ(Snapshot(a), Snapshot(b));
}

// Files put in the repository by hand from a third clone.
TEST_F(SyncTest, BrokenUnknownAndForeignFilesInTheRepository) {
    Add(a, "fine", "1");
    Add(a, "to break", "2");
    Sync(a);
    CGitRepository third;
    QString error, head, commit;
    ASSERT_TRUE(third.Open(env.Path("third"), &error) && third.SetRemote(remote, &error) && third.Fetch("main", head, &error))
        << error.toStdString();
    CGitRepository::Edit edit;
    edit.write.insert("C++/Misc/to break.md", "---\ntitle: [unclosed\nvellumgranary: 1\n---\n");
    edit.write.insert("README.md", "# my snippets\n");
    edit.write.insert("notes/todo.txt", "buy milk\n");
    edit.write.insert("Go/Web/new one.md", "---\nlanguage: \"Go\"\ntitle: \"new one\"\nuuid: \"1b4e28ba-2fa1-11d2-883f-0016d3cca427\"\n"
                                           "vellumgranary: 1\n---\n\n```go\nfunc main() {}\n```\n");
    bool refused = false;
    ASSERT_TRUE(third.Commit(head, edit, "by hand", commit, &error) && third.Push(commit, "main", refused, &error))
        << error.toStdString();

    Change(a, "fine", [](CItem& i) { i.body = "still syncs"; });
    const CSyncSummary s = Sync(a);
    ASSERT_EQ(s.skipped.size(), 1);
    EXPECT_TRUE(s.skipped[0].contains("to break.md")) << s.skipped[0].toStdString();
    EXPECT_EQ(s.in, 1);
    EXPECT_EQ(s.out, 1);
    EXPECT_EQ(Body(a, "new one"), "func main() {}");
    EXPECT_EQ(Body(a, "to break"), "2");  // the broken file deletes nothing
    Sync(b);
    EXPECT_EQ(Body(b, "fine"), "still syncs");
    EXPECT_EQ(ReadFileBytes(b.folder + "/README.md"), "# my snippets\n");
    EXPECT_EQ(ReadFileBytes(b.folder + "/notes/todo.txt"), "buy milk\n");
}

TEST_F(SyncTest, AnUnreachableRemoteSaysSoAndChangesNothing) {
    Add(a, "item", "1");
    a.db->CloseFile();
    const QByteArray before = ReadFileBytes(a.dbPath);
    StoreError e;
    ASSERT_TRUE(OpenDatabase(*a.db, a.dbPath, &e));
    CSyncOptions o;
    o.folder = a.folder;
    o.remote = env.Path("no such remote.git");
    CSyncSummary s;
    EXPECT_FALSE(CSync::Run(*a.db, o, s));
    EXPECT_TRUE(s.error.contains("Unable to reach")) << s.error.toStdString();
    a.db->CloseFile();
    EXPECT_EQ(ReadFileBytes(a.dbPath), before);
}

// Without a remote the folder's files are the other side, as Syncthing or a shared drive leave them.
TEST_F(SyncTest, AFolderWithoutRemoteMergesItsFilesAndConflictCopies) {
    Add(a, "alpha", "1");
    Add(a, "beta", "2");
    CSyncOptions o;
    o.folder = a.folder;
    CSyncSummary s;
    ASSERT_TRUE(CSync::Run(*a.db, o, s)) << s.error.toStdString();
    EXPECT_EQ(s.out, 2);
    const QString alpha = a.folder + "/C++/Misc/alpha.md", beta = a.folder + "/C++/Misc/beta.md";
    ASSERT_TRUE(QFileInfo::exists(alpha));
    // Another machine's edit arrives as the file; a third one's as a conflict copy beside.
    const QByteArray original = ReadFileBytes(beta);
    WriteFileBytes(alpha, ReadFileBytes(alpha).replace("\n1\n", "\nfrom the folder\n"));
    WriteFileBytes(a.folder + "/C++/Misc/beta.sync-conflict-20260101-120000-ABCDEFG.md",
                   QByteArray(original).replace("\n2\n", "\nother copy\n"));
    ASSERT_TRUE(CSync::Run(*a.db, o, s)) << s.error.toStdString();
    EXPECT_EQ(s.in, 1);
    EXPECT_EQ(s.conflicts, 1);
    EXPECT_EQ(Body(a, "alpha"), "from the folder");
    EXPECT_EQ(Body(a, "beta"), "2");
    QList<CSyncConflict> conflicts;
    ASSERT_TRUE(CSyncConflicts::List(*a.db, conflicts, nullptr));
    ASSERT_EQ(conflicts.size(), 1);
    EXPECT_EQ(conflicts[0].remote.item.body, "other copy");
    EXPECT_EQ(QDir(a.folder + "/C++/Misc").entryList(QDir::Files).size(), 2);
    // This database's edit reaches the folder.
    Change(a, "beta", [](CItem& i) { i.body = "edited here"; });
    ASSERT_TRUE(CSync::Run(*a.db, o, s)) << s.error.toStdString();
    EXPECT_EQ(s.out, 1);
    EXPECT_TRUE(ReadFileBytes(beta).contains("\nedited here\n"));
}

// A save of an item in conflict settles it when it changes what the sync carries; the saved
// version is what the next sync gives the other machine.
TEST_F(SyncTest, SavingAnEditedVersionSettlesTheConflict) {
    struct Case {
        const char* what;
        std::function<void(CItem&)> change;
        bool settles;
    };
    const Case cases[] = {
        {"saved unchanged", [](CItem&) {}, false},
        {"categories in another order", [](CItem& i) { std::reverse(i.categories.begin(), i.categories.end()); }, false},
        {"body edited", [](CItem& i) { i.body = "merged by hand"; }, true},
        {"title edited", [](CItem& i) { i.title += " (merged)"; }, true},
        {"language changed", [](CItem& i) { i.language = "Python"; }, true},
        {"category added", [](CItem& i) { i.categories << "Third"; }, true},
        {"the other side's text typed in", [](CItem& i) { i.body = "a's"; }, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString title = QStringLiteral("shared %1").arg(++n);
        EditOnBothSides(title, {"Misc", "Other"});
        const int id = IdOf(b, title);
        CItem edited;
        ASSERT_TRUE(LoadItem(*b.db, id, edited, nullptr));
        Change(b, title, c.change);
        c.change(edited);
        QSet<int> marked;
        ASSERT_TRUE(CSyncConflicts::Items(*b.db, marked, nullptr));
        EXPECT_EQ(marked.contains(id), !c.settles);
        const CSyncSummary s = Sync(b);
        EXPECT_EQ(s.out, c.settles ? 1 : 0);
        Sync(a);
        CItem there;
        ASSERT_TRUE(LoadItem(*a.db, IdOf(a, edited.title), there, nullptr));
        EXPECT_EQ(there.body, edited.body);
        EXPECT_EQ(there.language, edited.language);
        EXPECT_EQ(Snapshot(a), Snapshot(b));
        // Settled or not, the item's conflict goes once the user picks a side.
        if (!c.settles) {
            ASSERT_TRUE(CSyncConflicts::Resolve(*b.db, id, false, nullptr));
        }
    }
}

TEST_F(SyncTest, OnlyTheUsersOwnWritesSettleAConflict) {
    Add(a, "last", "x");
    EditOnBothSides("shared");
    Sync(a);
    // A newer version from the other machine comes in through the sync: no choice made here.
    Change(a, "shared", [](CItem& i) { i.body = "a's again"; });
    Sync(a);
    EXPECT_EQ(Sync(b).in, 1);
    QList<CSyncConflict> conflicts;
    ASSERT_TRUE(CSyncConflicts::List(*b.db, conflicts, nullptr));
    EXPECT_EQ(conflicts.size(), 1);
    // An edit through another connection to the file (the command-line tool) settles it.
    {
        CSQLite other;
        StoreError e;
        ASSERT_TRUE(OpenDatabase(other, b.dbPath, &e)) << e.text.toStdString();
        CItem item;
        ASSERT_TRUE(LoadItem(other, IdOf(b, "shared"), item, nullptr));
        item.body = "settled elsewhere";
        item.lastUpdate = QDateTime();
        ASSERT_GT(SaveItem(other, item, {}, nullptr), 0);
    }
    ASSERT_TRUE(CSyncConflicts::List(*b.db, conflicts, nullptr));
    EXPECT_TRUE(conflicts.isEmpty());
    Sync(b);
    Sync(a);
    EXPECT_EQ(Body(a, "shared"), "settled elsewhere");
}

// Deleting an item in conflict takes its conflict with it: a later item given the same number
// is not in conflict.
TEST_F(SyncTest, ANewItemNeverInheritsTheConflictOfADeletedOne) {
    Add(a, "first", "1");
    EditOnBothSides("shared");
    const int id = IdOf(b, "shared");
    ASSERT_TRUE(DeleteItem(*b.db, id));
    const int again = Add(b, "newcomer", "n");
    QSet<int> marked;
    ASSERT_TRUE(CSyncConflicts::Items(*b.db, marked, nullptr));
    EXPECT_FALSE(marked.contains(again));
    EXPECT_TRUE(marked.isEmpty());
}

// Writes by other programs (the sqlite3 shell) bypass the store, yet the next sync sees them.
TEST_F(SyncTest, ChangesMadeOutsideTheStoreAreSynced) {
    Add(a, "longer", "12345");
    Add(a, "same length", "abcde");
    Add(a, "recategorized", "r", {"Before"});
    Sync(a);
    Sync(b);
    const auto raw = [&](const QString& sql) { ASSERT_EQ(a.db->Run(sql), QString()) << sql.toStdString(); };
    raw(QStringLiteral("UPDATE ftsItem SET Code = '123456' WHERE docid = %1").arg(IdOf(a, "longer")));
    // Same length: only the stamp the shell's update leaves tells it.
    raw(QStringLiteral("UPDATE ftsItem SET Code = 'vwxyz' WHERE docid = %1").arg(IdOf(a, "same length")));
    raw(QStringLiteral("UPDATE tblItem SET LastUpdate = LastUpdate + 1 WHERE ID = %1").arg(IdOf(a, "same length")));
    raw(QStringLiteral("UPDATE tblCategory SET Name = 'After' WHERE Name = 'Before'"));
    EXPECT_EQ(Sync(a).out, 3);
    Sync(b);
    EXPECT_EQ(Body(b, "longer"), "123456");
    EXPECT_EQ(Body(b, "same length"), "vwxyz");
    EXPECT_EQ(Snapshot(a), Snapshot(b));
}

// A remote whose history no longer holds the last agreed commit (its branch deleted, or a new
// repository under the same address) never makes this side's items count as deleted there.
TEST_F(SyncTest, ARemoteThatLostTheAgreedHistoryDeletesNothingAndGetsTheUnion) {
    for (const bool othersFirst : {false, true}) {
        SCOPED_TRACE(othersFirst ? "the new remote holds another machine's items" : "the remote is empty");
        Add(a, "kept", "1");
        Add(a, "edited", "2");
        Sync(a);
        QString error;
        ASSERT_TRUE(QDir(remote).removeRecursively());
        ASSERT_TRUE(CGitRepository::InitBare(remote, &error)) << error.toStdString();
        Change(a, "edited", [](CItem& i) { i.body = "edited after"; });
        if (othersFirst) {
            Add(b, "from b", "b");
            Sync(b);
        }
        const CSyncSummary s = Sync(a);
        EXPECT_EQ(s.conflicts, 0);
        EXPECT_EQ(Body(a, "kept"), "1");
        EXPECT_EQ(Body(a, "edited"), "edited after");
        Sync(b);
        EXPECT_EQ(Snapshot(a), Snapshot(b));
        EXPECT_EQ(Snapshot(a).size(), othersFirst ? 3 : 2);
        // A fresh pair of machines for the next case.
        for (Machine* m : {&a, &b}) {
            m->db->CloseFile();
            m->db = std::make_unique<CSQLite>();
            QFile::remove(m->dbPath);
            QDir(m->folder).removeRecursively();
        }
        ASSERT_TRUE(QDir(remote).removeRecursively());
        ASSERT_TRUE(CGitRepository::InitBare(remote, &error)) << error.toStdString();
        Open(a, "a");
        Open(b, "b");
    }
}
