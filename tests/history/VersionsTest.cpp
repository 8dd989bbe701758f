// Versions, restore, trash, kept blocks, retention and a damaged history table.
#include "history/HistoryFixture.h"

#include "db/basDBMaintenance.h"

TEST_F(HistoryTest, EachSaveKeepsTheStateBeforeItNewestFirst) {
    const int id = Save("C++", "v1", "a", "body 1");
    Save("C++", "v2", "a,b", "body 2", kTime, id);
    Save("Go", "v3", "c", "body 3", "2024-02-01 08:00:00", id);
    Save("Go", "v3", "c", "body 3", "2024-02-01 08:00:00", id);  // nothing changed: no version
    const QList<CItemVersion> v = Versions(id);
    ASSERT_EQ(v.size(), 2);
    EXPECT_EQ(v[0].item.title, "v2");
    EXPECT_EQ(v[0].item.categories, QStringList({"a", "b"}));
    EXPECT_EQ(v[0].number, 2);
    EXPECT_EQ(v[1].item.title, "v1");
    EXPECT_EQ(v[1].item.body, "body 1");
    EXPECT_EQ(v[1].item.language, "C++");
    EXPECT_EQ(v[1].command, "Save");
    EXPECT_EQ(v[1].number, 1);
    bool renumbered = true;
    QString e;
    ASSERT_EQ(CHistory::Restore(db, v[1], &renumbered, &e), id) << e.toStdString();
    EXPECT_FALSE(renumbered);
    EXPECT_EQ(Item(id).title, "v1");
    EXPECT_EQ(Cats(id), "a");
    const QList<CItemVersion> after = Versions(id);
    ASSERT_EQ(after.size(), 3);
    EXPECT_EQ(after[0].item.title, "v3");
    EXPECT_EQ(after[0].command, "Restore Version");
}

TEST_F(HistoryTest, AMergeIsOneUndoEntryOverTheLinksOfTheItemsItTouches) {
    Fill();
    QString e;
    ASSERT_TRUE(RenameCategory(db, CatId("C++", "a"), "b", &e));
    // No copy of the items' texts: the entry's links put them back.
    EXPECT_EQ(Versions(1).size(), 1);  // the attach only
    EXPECT_TRUE(Versions(2).isEmpty());
    EXPECT_EQ(Count("tblUndo WHERE Kind = 'rename'"), 1);
    CUndoEntry last;
    ASSERT_TRUE(CUndo::Last(db, last, &e));
    EXPECT_EQ(last.items, 2);
    ASSERT_TRUE(CUndo::UndoLast(db, nullptr, nullptr, &e)) << e.toStdString();
    EXPECT_EQ(Cats(1), "a,b");
    EXPECT_EQ(Cats(2), "a");
    EXPECT_TRUE(Versions(2).isEmpty());
}

// A rename or merge keeps no version, but each item it touched lists it among its versions by
// time, with what changed; it cannot be restored (it would blank the item).
TEST_F(HistoryTest, TheHistoryListShowsEachRenameAmongTheVersions) {
    const struct {
        const char* to;
        const char* note;
    } cases[] = {{"z", "category a -> z"}, {"b", "category a -> b"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        db.CloseFile();
        QFile::remove(dbPath);
        StoreError opened;
        ASSERT_TRUE(OpenDatabase(db, dbPath, &opened)) << opened.text.toStdString();
        Fill();
        Save("C++", "Second, edited", "a", "changed", kTime, 2);
        QString e;
        ASSERT_TRUE(RenameCategory(db, CatId("C++", "a"), c.to, &e)) << e.toStdString();
        QList<CItemVersion> entries;
        ASSERT_TRUE(CHistory::Entries(db, 2, entries, &e)) << e.toStdString();
        ASSERT_EQ(entries.size(), 2);
        EXPECT_EQ(entries[0].note, c.note);
        EXPECT_EQ(entries[0].command, "Rename Category");
        EXPECT_EQ(entries[0].number, 0);
        EXPECT_EQ(entries[1].item.title, "Second");
        EXPECT_EQ(entries[1].number, 1);
        ASSERT_TRUE(CHistory::Entries(db, 3, entries, &e));
        EXPECT_TRUE(entries.isEmpty());  // not in the category
        ASSERT_TRUE(CHistory::Entries(db, 2, entries, &e));
        EXPECT_EQ(CHistory::Restore(db, entries[0], nullptr, &e), 0);
        EXPECT_EQ(Item(2).title, "Second, edited");
    }
}

TEST_F(HistoryTest, DeleteMovesToTheTrashAndUndeleteBringsItBackUnderItsNumber) {
    Fill();
    QString e;
    ASSERT_TRUE(DeleteItem(db, 1, &e));
    EXPECT_EQ(Count("tblItem WHERE ID = 1"), 0);
    EXPECT_EQ(Count("ftsItem WHERE docid = 1"), 0);
    EXPECT_EQ(Count("tblItemCategory WHERE ItemID = 1"), 0);
    QList<CTrashEntry> trash;
    ASSERT_TRUE(CTrash::List(db, trash, &e));
    ASSERT_EQ(trash.size(), 1);
    EXPECT_EQ(trash[0].itemId, 1);
    EXPECT_EQ(trash[0].title, "First");
    EXPECT_EQ(trash[0].language, "C++");
    bool renumbered = true;
    ASSERT_EQ(CTrash::Undelete(db, trash[0].trashId, &renumbered, &e), 1) << e.toStdString();
    EXPECT_FALSE(renumbered);
    EXPECT_EQ(Item(1).categories, "a,b");
    EXPECT_EQ(Item(1).fileName, "f.bin");
    EXPECT_EQ(Scalar("SELECT FileBLOB FROM tblItem WHERE ID = 1").toByteArray(), "block-bytes");
    ASSERT_TRUE(CTrash::List(db, trash, &e));
    EXPECT_TRUE(trash.isEmpty());
}

TEST_F(HistoryTest, DeletedForGoodAndEmptiedTrashLeaveNoVersionsOrBlocks) {
    Fill();
    QString e;
    ASSERT_TRUE(DeleteItem(db, 1, &e));
    ASSERT_TRUE(DeleteItem(db, 2, &e));
    QList<CTrashEntry> trash;
    ASSERT_TRUE(CTrash::List(db, trash, &e));
    ASSERT_TRUE(CTrash::Forget(db, trash[0].trashId, &e));  // item 2, the newest
    EXPECT_TRUE(Versions(2).isEmpty());
    EXPECT_EQ(Versions(1).size(), 2);
    ASSERT_TRUE(CTrash::Empty(db, &e));
    EXPECT_EQ(Count("tblItemVersion"), 0);
    EXPECT_EQ(Count("tblVersionBlock"), 0);
}

TEST_F(HistoryTest, ABlockKeptTwiceIsStoredOnceAndOnlyWhenItChanged) {
    Fill();
    QString e;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(RemoveAttachment(db, 1, &e));
        Attach(1, "block-bytes", "f.bin");
        Save("C++", QStringLiteral("First %1").arg(i), "a,b", "one", kTime, 1);
    }
    EXPECT_EQ(Count("tblVersionBlock"), 1);
    EXPECT_EQ(Count("tblItemVersion WHERE BlockKept = 1"), 7);  // the first attach kept "no block"
    EXPECT_EQ(Count("tblItemVersion WHERE BlockKept = 0"), 3);
}

TEST_F(HistoryTest, TenSavesOfATwoKilobyteItemTakeLittleRoom) {
    QString body;
    while (body.size() < 2048) body += QStringLiteral("line %1 of the snippet\n").arg(body.size());
    const int id = Save("C++", "Big", "a", body);
    for (int i = 0; i < 10; ++i) Save("C++", "Big", "a", body + QString::number(i), kTime, id);
    EXPECT_EQ(Versions(id).size(), 10);
    EXPECT_EQ(Versions(id).back().item.body, body);
    // The pages of the versions' table and index alone (the full-text index grows as well).
    const qint64 bytes = Scalar("SELECT Sum(pgsize) FROM dbstat WHERE name LIKE 'tblItemVersion%'").toLongLong();
    EXPECT_LT(bytes, 30 * 1024);
}

TEST_F(HistoryTest, CompactionLetsOnlyWhatIsPastTheRetentionGo) {
    Fill();
    QString e;
    Save("C++", "Second, edited", "a", "x", kTime, 2);
    ASSERT_TRUE(DeleteItem(db, 1, &e));
    ASSERT_TRUE(DeleteItem(db, 3, &e));
    // Item 1's deletion and its versions are a hundred days old, the rest is new.
    Query("UPDATE tblItemVersion SET Changed = Changed - 100 * 86400000 WHERE ItemID = 1");
    Query("UPDATE tblTrash SET Deleted = Deleted - 100 * 86400000 WHERE ItemID = 1");
    Query("UPDATE tblUndo SET Done = Done - 100 * 86400000 WHERE ID = (SELECT Min(ID) FROM tblUndo)");
    ASSERT_TRUE(VacuumDatabase(db, &e)) << e.toStdString();
    EXPECT_EQ(Count("tblItemVersion WHERE ItemID = 1"), 0);
    EXPECT_EQ(Count("tblVersionBlock"), 0);
    EXPECT_EQ(Count("tblItemVersion WHERE ItemID IN (2, 3)"), 2);
    QList<CTrashEntry> trash;
    ASSERT_TRUE(CTrash::List(db, trash, &e));
    ASSERT_EQ(trash.size(), 1);
    EXPECT_EQ(trash[0].itemId, 3);
    EXPECT_EQ(Undo().command, "Delete");
    ASSERT_TRUE(CHistory::Purge(db, 0, &e));
    EXPECT_EQ(Count("tblItemVersion"), 0);
}

TEST_F(HistoryTest, AFileWithoutHistoryTablesGainsThemOnFirstWrite) {
    EXPECT_EQ(Count("sqlite_master WHERE name LIKE 'tblItemVersion%'"), 0);
    QString e;
    EXPECT_TRUE(Versions(1).isEmpty());
    QList<CTrashEntry> trash;
    EXPECT_TRUE(CTrash::List(db, trash, &e));
    const int id = Save("C++", "t", "a");
    Save("C++", "t2", "a", "code", kTime, id);
    EXPECT_EQ(Versions(id).size(), 1);
}

TEST_F(HistoryTest, ADamagedHistoryTableIsReportedAndNeverBlocksSaving) {
    const int id = Save("C++", "t", "a");
    Save("C++", "t2", "a", "code", kTime, id);
    Query("DROP TABLE tblItemVersion; CREATE TABLE tblItemVersion (Junk)");
    db.CloseFile();
    StoreError se;
    ASSERT_TRUE(OpenDatabase(db, dbPath, &se)) << se.text.toStdString();
    Save("C++", "t3", "a", "more", kTime, id);
    EXPECT_EQ(Item(id).title, "t3");
    QList<CItemVersion> v;
    QString e;
    EXPECT_FALSE(CHistory::Versions(db, id, v, &e));
    EXPECT_TRUE(e.startsWith("The history of this database is damaged")) << e.toStdString();
    // A delete that cannot keep the item refuses, and the item stays.
    EXPECT_FALSE(DeleteItem(db, id, &e));
    EXPECT_EQ(Count("tblItem"), 1);
}
