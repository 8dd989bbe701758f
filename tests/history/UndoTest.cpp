// Each destructive command, then undo, gives back every row of the five tables.
#include "history/HistoryFixture.h"

#include "db/basDBMaintenance.h"
#include "exchange/basExport.h"
#include "exchange/basImport.h"
#include "search/CSearchIndex.h"
#include "support/SearchIndexRebuilt.h"

#include <functional>

namespace {

struct UndoCase {
    const char* name;
    const char* command;  // as the undo entry names it
    std::function<void(HistoryTest&, CSQLite&)> prepare;  // before the state that is compared
    std::function<bool(CSQLite&, QString*)> run;
};

int categoryId(CSQLite& db, const char* name) {
    return db.LookupField(QStringLiteral("tblCategory"), QStringLiteral("ID"), {QStringLiteral("Name"), QString::fromLatin1(name)}).toInt();
}

bool importFile(CSQLite& db, QString* e) {
    ImportSummary s;
    const bool ok = ImportDatabase(db, QFileInfo(db.Filename()).dir().filePath(QStringLiteral("items.tab")), true, &s);
    if (e) *e = s.error;
    return ok && s.items == 3;
}

bool restoreOldest(CSQLite& db, QString* e) {
    QList<CItemVersion> v;
    return CHistory::Versions(db, 2, v, e) && !v.isEmpty() && CHistory::Restore(db, v.last(), nullptr, e) == 2;
}

const UndoCase kCases[] = {
    {"DeleteWithAttachment", "Delete", nullptr, [](CSQLite& db, QString* e) { return DeleteItem(db, 1, e); }},
    {"DeletePlain", "Delete", nullptr, [](CSQLite& db, QString* e) { return DeleteItem(db, 3, e); }},
    {"RenameCategory", "Rename Category", nullptr,
     [](CSQLite& db, QString* e) { return RenameCategory(db, categoryId(db, "a"), QStringLiteral("z"), e); }},
    {"MergeCategory", "Rename Category", nullptr,
     [](CSQLite& db, QString* e) { return RenameCategory(db, categoryId(db, "a"), QStringLiteral("b"), e); }},
    {"ClearAttachment", "Clear Attachment", nullptr, [](CSQLite& db, QString* e) { return RemoveAttachment(db, 1, e); }},
    {"AttachOverAnother", "Attach", nullptr,
     [](CSQLite& db, QString* e) { return StoreAttachment(db, 1, 9, QByteArrayView("new"), QStringLiteral("g.txt"), e); }},
    {"RestoreVersion", "Restore Version",
     [](HistoryTest& t, CSQLite&) { t.Save("C++", "Second, edited", "a", "changed", HistoryTest::kTime, 2); },
     restoreOldest},
    // The file holds items 1 to 3 as they were; 2 and 3 are edited since and 3 deleted: the
    // import replaces 1 and 2 and adds 3 again.
    {"ImportOverExistingItems", "Import",
     [](HistoryTest& t, CSQLite& db) {
         ASSERT_TRUE(ExportDatabase(db, t.env.Path("items.tab"), false));
         t.Save("C++", "Second, edited", "a", "changed", HistoryTest::kTime, 2);
         t.Save("C++", "First, edited", "b", "changed", HistoryTest::kTime, 1);
         ASSERT_TRUE(DeleteItem(db, 3));
     },
     importFile},
    // Items whose links span two languages (C++ and Python) come back with each link under its
    // own language, whichever way the undo takes: the whole item put back (1, with its
    // attachment) or the bulk of an import (2).
    {"DeleteTwoLanguages", "Delete", [](HistoryTest& t, CSQLite&) { t.AlsoUnderPython(2); },
     [](CSQLite& db, QString* e) { return DeleteItem(db, 2, e); }},
    {"ClearAttachmentTwoLanguages", "Clear Attachment", [](HistoryTest& t, CSQLite&) { t.AlsoUnderPython(1); },
     [](CSQLite& db, QString* e) { return RemoveAttachment(db, 1, e); }},
    {"MergeCategoryTwoLanguages", "Rename Category", [](HistoryTest& t, CSQLite&) { t.AlsoUnderPython(1); },
     [](CSQLite& db, QString* e) { return RenameCategory(db, categoryId(db, "a"), QStringLiteral("b"), e); }},
    {"RestoreVersionOverTwoLanguages", "Restore Version",
     [](HistoryTest& t, CSQLite&) {
         t.Save("C++", "Second, edited", "a", "changed", HistoryTest::kTime, 2);
         t.AlsoUnderPython(2);
     },
     restoreOldest},
    {"ImportOverTwoLanguages", "Import",
     [](HistoryTest& t, CSQLite& db) {
         ASSERT_TRUE(ExportDatabase(db, t.env.Path("items.tab"), false));
         t.Save("C++", "Second, edited", "a", "changed", HistoryTest::kTime, 2);
         t.AlsoUnderPython(1);
         t.AlsoUnderPython(2);
     },
     importFile},
    // The file names a language and a category the database no longer has: the import makes
    // them, and its undo lets them go again.
    {"ImportMakingALanguageAndCategory", "Import",
     [](HistoryTest& t, CSQLite& db) {
         t.Save("Go", "Second", "fresh,a", "second body", HistoryTest::kTime, 2);
         ASSERT_TRUE(ExportDatabase(db, t.env.Path("items.tab"), false));
         t.Save("C++", "Second", "a", "second body", HistoryTest::kTime, 2);
         ASSERT_EQ(db.Run("DELETE FROM tblCategory WHERE TypeID = (SELECT ID FROM tblType WHERE Name = 'Go');"
                          "DELETE FROM tblType WHERE Name = 'Go'"),
                   QString());
         ASSERT_TRUE(DeleteItem(db, 3));
     },
     importFile},
};

class UndoEachCommand : public HistoryTest, public ::testing::WithParamInterface<UndoCase> {};

}  // namespace

TEST_P(UndoEachCommand, GivesBackEveryRow) {
    const UndoCase& c = GetParam();
    Fill();
    if (c.prepare) c.prepare(*this, db);
    const QString before = Rows();
    QString e;
    ASSERT_TRUE(c.run(db, &e)) << e.toStdString();
    ASSERT_NE(Rows(), before);
    CUndoEntry last;
    ASSERT_TRUE(CUndo::Last(db, last, &e));
    EXPECT_EQ(last.command, QString::fromLatin1(c.command));
    EXPECT_EQ(Undo().undoId, last.undoId);
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(Scalar("PRAGMA integrity_check").toString(), "ok");
    EXPECT_EQ(SearchIndexDifference(db, env.Root()), QString());
}

INSTANTIATE_TEST_SUITE_P(Commands, UndoEachCommand, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HistoryTest, UndoGoesSeveralLevelsDeepAndThenHasNothingLeft) {
    Fill();
    const QString start = Rows();
    QString e;
    ASSERT_TRUE(DeleteItem(db, 2, &e));
    const QString afterFirst = Rows();
    ASSERT_TRUE(RemoveAttachment(db, 1, &e));
    EXPECT_EQ(Undo().command, "Clear Attachment");
    EXPECT_EQ(Rows(), afterFirst);
    EXPECT_EQ(Undo().command, "Delete");
    EXPECT_EQ(Rows(), start);
    CUndoEntry none;
    EXPECT_FALSE(CUndo::Last(db, none, &e));
    EXPECT_FALSE(CUndo::UndoLast(db, nullptr, nullptr, &e));
    EXPECT_EQ(e, "There is nothing to undo");
    // A plain save is kept as a version but is not a command to take back.
    Save("C++", "Again", "a", "x", kTime, 2);
    EXPECT_FALSE(CUndo::Last(db, none, &e));
}

TEST_F(HistoryTest, UndoOfADeleteWhoseNumberIsTakenGivesANewNumberAndSaysSo) {
    Fill();
    QString e, notice;
    ASSERT_TRUE(DeleteItem(db, 3, &e));
    EXPECT_EQ(Save("Go", "Taker", "y"), 3);  // the engine hands the highest free number out again
    ASSERT_TRUE(CUndo::UndoLast(db, nullptr, &notice, &e)) << e.toStdString();
    EXPECT_EQ(notice, "The number was taken: item 3 came back as item 4");
    EXPECT_EQ(Item(3).title, "Taker");
    EXPECT_EQ(Item(4).title, "Third");
}

TEST_F(HistoryTest, AMergeOfMoreItemsThanRecordsCarryIsTakenBackWholeAndCopiesNoText) {
    Fill();
    const int a = categoryId(db, "a");
    constexpr int kMany = int(CChange::kValuesUpTo) + 5;
    ASSERT_EQ(db.Run(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                    "INSERT INTO tblItem (ID, LastUpdate) SELECT 100 + i, 2460000.5 FROM n;"
                                    "INSERT INTO ftsItem (docid, Title, Code) SELECT ID, 'bulk ' || ID, 'code' FROM tblItem "
                                    "WHERE ID > 100;"
                                    "INSERT INTO tblItemCategory (ItemID, CategoryID) SELECT ID, %2 FROM tblItem WHERE ID > 100;")
                         .arg(kMany)
                         .arg(a)),
              QString());
    QList<CChange> heard;
    db.AddChangeListener([&](CSQLite&, const QList<CChange>& changes, const CSQLite::Stamp&) { heard += changes; });
    const QString before = Rows();
    const int versions = Count("tblItemVersion");
    QString e;
    ASSERT_TRUE(RenameCategory(db, a, QStringLiteral("b"), &e)) << e.toStdString();
    ASSERT_EQ(heard.size(), 1);
    EXPECT_TRUE(heard[0].valuesOmitted);
    EXPECT_EQ(heard[0].items.size(), kMany + 2);
    EXPECT_EQ(Count("tblItemVersion"), versions);
    EXPECT_EQ(Undo().items, kMany + 2);
    EXPECT_EQ(Rows(), before);
}

// More items than the search index takes out one by one: the undo writes each table in a few
// statements and the index is made again. An item another program changed meanwhile (the index
// does not know) is indexed as it is now.
TEST_F(HistoryTest, UndoOfAnImportOverThousandsOfItemsGivesBackEveryRowAndAnExactIndex) {
    Fill();
    constexpr int kMany = 2100;
    ASSERT_EQ(db.Run(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                    "INSERT INTO tblItem (ID, LastUpdate) SELECT 100 + i, 2460000.5 + i / 7.0 FROM n;"
                                    "INSERT INTO ftsItem (docid, Title, Code) SELECT ID, 'bulk ' || ID, 'parseJson(' || ID "
                                    "|| ') rows_' || (ID % 13) FROM tblItem WHERE ID > 100;"
                                    "INSERT INTO tblItemCategory (ItemID, CategoryID) SELECT ID, %2 FROM tblItem WHERE ID > 100;"
                                    "INSERT INTO tblItemCategory (ItemID, CategoryID) SELECT ID, %3 FROM tblItem WHERE ID > 100 "
                                    "AND ID % 3 = 0;")
                         .arg(kMany)
                         .arg(CatId("C++", "b"))
                         .arg(CatId("C++", "a"))),
              QString());
    QString e;
    ASSERT_TRUE(CSearchIndex::CatchUp(db, &e)) << e.toStdString();
    ASSERT_TRUE(ExportDatabase(db, env.Path("items.tab"), false));
    // The import brings every item back as exported, over these changes.
    ASSERT_EQ(db.Run("UPDATE ftsItem SET Code = Code || ' changedByHand' WHERE docid > 100"), QString());
    ASSERT_TRUE(CSearchIndex::CatchUp(db, &e)) << e.toStdString();
    ASSERT_TRUE(DeleteItem(db, 150, &e));
    const QString before = Rows();
    ImportSummary s;
    ASSERT_TRUE(ImportDatabase(db, env.Path("items.tab"), true, &s)) << s.error.toStdString();
    ASSERT_NE(Rows(), before);
    // Item 2 is in the file as it is: the import leaves it, and so does the undo.
    ASSERT_EQ(db.Run("UPDATE ftsItem SET Code = 'unseenByTheIndex' WHERE docid = 2"), QString());
    EXPECT_EQ(Undo().command, "Import");
    EXPECT_EQ(Rows(), QString(before).replace("|second body|", "|unseenByTheIndex|"));
    EXPECT_EQ(Scalar("PRAGMA integrity_check").toString(), "ok");
    EXPECT_EQ(SearchIndexDifference(db, env.Root()), QString());
}

namespace {

// Item 2 as it is before an import that brings back its state of the file (C++, a, "second
// body", kTime); byHand: a save puts that state back after the import, before its undo.
struct Difference {
    const char* name;
    const char* categories;
    const char* body;
    const char* time;
    bool byHand;
    bool text, links;  // what the undo has to write again
};

const Difference kDifferences[] = {
    {"Code", "a", "edited body", HistoryTest::kTime, false, true, false},
    {"Categories", "b", "second body", HistoryTest::kTime, false, false, true},
    {"Time", "a", "second body", "2024-03-01 10:00:00", false, false, false},
    {"NothingLeft", "b", "edited body", HistoryTest::kTime, true, false, false},
};

class UndoOfAnImport : public HistoryTest, public ::testing::WithParamInterface<Difference> {};

}  // namespace

// The undo writes only what differs from the item now: a full-text row written again makes a
// new full-text segment, links written again get new row numbers. An item with nothing left to
// change keeps no version of the undo.
TEST_P(UndoOfAnImport, WritesOnlyWhatDiffers) {
    const Difference& d = GetParam();
    Fill();
    ASSERT_TRUE(ExportDatabase(db, env.Path("items.tab"), false));
    Save("C++", "Second", d.categories, d.body, d.time, 2);
    const QString before = Rows();
    const auto linkRows = [&] { return Column(Query("SELECT rowid FROM tblItemCategory WHERE ItemID = 2 ORDER BY rowid"), 0); };
    QString e;
    ASSERT_TRUE(importFile(db, &e)) << e.toStdString();
    if (d.byHand) Save("C++", "Second", d.categories, d.body, d.time, 2);
    const QStringList links = linkRows();
    const int segments = Count("ftsItem_segdir");
    EXPECT_EQ(Undo().command, "Import");
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(Count("ftsItem_segdir") != segments, d.text);
    EXPECT_EQ(linkRows() != links, d.links);
    EXPECT_EQ(Count("tblItemVersion WHERE ItemID = 2 AND Command = 'Undo Import'"), d.byHand ? 0 : 1);
    EXPECT_EQ(SearchIndexDifference(db, env.Root()), QString());
}

INSTANTIATE_TEST_SUITE_P(Items, UndoOfAnImport, ::testing::ValuesIn(kDifferences),
                         [](const auto& info) { return std::string(info.param.name); });
