// Items whose links span several languages, and files whose versions were kept before each
// link's language was.
#include "history/HistoryFixture.h"

#include "db/basDBMaintenance.h"
#include "exchange/basImport.h"

#include <functional>

namespace {

// A way a kept state of item 2 becomes its present state again.
struct WayBack {
    const char* name;
    std::function<void(HistoryTest&, CSQLite&)> leave;  // after the state to come back to
    std::function<bool(HistoryTest&, CSQLite&, QString*)> back;
};

const WayBack kWaysBack[] = {
    {"TrashUndelete", [](HistoryTest&, CSQLite& db) { ASSERT_TRUE(DeleteItem(db, 2)); },
     [](HistoryTest&, CSQLite& db, QString* e) {
         CTrashEntry t;
         return CTrash::FindItem(db, 2, t, e) && CTrash::Undelete(db, t.trashId, nullptr, e) == 2;
     }},
    {"VersionRestore",
     [](HistoryTest& t, CSQLite&) { t.Save("C++", "Second, edited", "a", "changed", HistoryTest::kTime, 2); },
     [](HistoryTest&, CSQLite& db, QString* e) {
         QList<CItemVersion> v;
         return CHistory::Versions(db, 2, v, e) && !v.isEmpty() && CHistory::Restore(db, v.first(), nullptr, e) == 2;
     }},
    {"UndoOfAnImportOverIt",
     [](HistoryTest& t, CSQLite& db) {
         // A file of the item under C++ only.
         const QString file = t.env.Path("one.tab");
         QFile f(file);
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         f.write("ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n"
                 "2\tC++\ta\tSecond\tother body\t\t2024-02-02 10:00:00\t\r\n");
         f.close();
         ImportSummary s;
         ASSERT_TRUE(ImportDatabase(db, file, true, &s)) << s.error.toStdString();
     },
     [](HistoryTest&, CSQLite& db, QString* e) { return CUndo::UndoLast(db, nullptr, nullptr, e); }},
};

class EachWayBack : public HistoryTest, public ::testing::WithParamInterface<WayBack> {};

}  // namespace

TEST_P(EachWayBack, GivesEachLinkItsOwnLanguage) {
    const WayBack& w = GetParam();
    Fill();
    AlsoUnderPython(2);
    const QString mixed = Rows();
    w.leave(*this, db);
    ASSERT_NE(Rows(), mixed);
    QString e;
    ASSERT_TRUE(w.back(*this, db, &e)) << e.toStdString();
    EXPECT_EQ(Rows(), mixed);
    // No category of either language was made under the other.
    EXPECT_EQ(CatId("C++", "x"), 0);
}

INSTANTIATE_TEST_SUITE_P(Ways, EachWayBack, ::testing::ValuesIn(kWaysBack),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HistoryTest, AVersionKeepsEachLinksLanguageOnlyWhenTheyDiffer) {
    Fill();
    AlsoUnderPython(2);
    Save("C++", "Second, edited", "a", "changed", kTime, 2);  // leaves Python
    Save("C++", "Second, again", "a", "again", kTime, 2);
    const QList<CItemVersion> v = Versions(2);
    ASSERT_EQ(v.size(), 2);
    EXPECT_TRUE(v[0].linkLanguages.isEmpty());
    EXPECT_EQ(v[1].item.categories, QStringList({"a", "x"}));
    EXPECT_EQ(v[1].linkLanguages, QStringList({"C++", "Python"}));
    EXPECT_EQ(Count("tblItemVersion WHERE Languages IS NOT NULL"), 1);
}

// A file whose versions were kept before each link's language was: they read as one language
// each, read-only too; the first write adds the column and keeps the old rows as they were.
TEST_F(HistoryTest, VersionsKeptWithoutLinkLanguagesReadAsOneLanguage) {
    Fill();
    Save("C++", "Second, edited", "a", "changed", kTime, 2);
    ASSERT_EQ(db.Run("ALTER TABLE tblItemVersion DROP COLUMN Languages"), QString());
    db.CloseFile();
    StoreError se;
    ASSERT_TRUE(OpenDatabase(db, dbPath, &se)) << se.text.toStdString();
    // The oldest version of item 2, kept by the old layout.
    const auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        const QList<CItemVersion> v = Versions(2);
        ASSERT_FALSE(v.isEmpty());
        EXPECT_EQ(v.last().item.title, "Second");
        EXPECT_EQ(v.last().item.language, "C++");
        EXPECT_EQ(v.last().item.categories, QStringList{"a"});
        EXPECT_TRUE(v.last().linkLanguages.isEmpty());
    };
    check("before any write");
    EXPECT_EQ(Scalar("SELECT Count(*) FROM pragma_table_info('tblItemVersion') WHERE name = 'Languages'").toInt(), 0);
    // A delete of an item under two languages is the first write: it adds the column, and its
    // undo gives the links back.
    AlsoUnderPython(3);
    ASSERT_EQ(db.Run("INSERT INTO tblItemCategory (ItemID, CategoryID) SELECT 3, ID FROM tblCategory WHERE Name = 'b'"),
              QString());
    const QString before = Rows();
    QString e;
    ASSERT_TRUE(DeleteItem(db, 3, &e)) << e.toStdString();
    EXPECT_EQ(Scalar("SELECT Count(*) FROM pragma_table_info('tblItemVersion') WHERE name = 'Languages'").toInt(), 1);
    check("after the column was added");
    EXPECT_EQ(Undo().command, "Delete");
    EXPECT_EQ(Rows(), before);
    // The old version still restores, under its one language.
    QList<CItemVersion> v = Versions(2);
    ASSERT_FALSE(v.isEmpty());
    ASSERT_EQ(CHistory::Restore(db, v.last(), nullptr, &e), 2) << e.toStdString();
    EXPECT_EQ(Cats(2), "a");
    EXPECT_EQ(Item(2).title, "Second");
    ReopenReadOnly();
    check("read-only");
}

// The undo of an import lets the categories and languages it made go, but one the user has
// filled since stays.
TEST_F(HistoryTest, ACategoryAnImportMadeAndTheUserFilledSinceStaysAfterItsUndo) {
    Fill();
    const QString file = env.Path("new.tab");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n"
            "2\tRust\tkept\tSecond\tother\t\t2024-02-02 10:00:00\t\r\n"
            "2\tRust\tgone\t\r\n"
            "9\tZig\tlonely\tNew\tnew\t\t2024-02-02 10:00:00\t\r\n");
    f.close();
    ImportSummary s;
    ASSERT_TRUE(ImportDatabase(db, file, true, &s)) << s.error.toStdString();
    ASSERT_EQ(s.items, 2);
    ASSERT_NE(CatId("Rust", "gone"), 0);
    Save("Rust", "Later", "kept", "made after the import");  // a save is no command to undo
    EXPECT_EQ(Undo().command, "Import");
    EXPECT_NE(CatId("Rust", "kept"), 0);
    EXPECT_EQ(CatId("Rust", "gone"), 0);
    EXPECT_EQ(TypeId("Zig"), 0);
    EXPECT_EQ(Count("tblCategory WHERE ID NOT IN (SELECT CategoryID FROM tblItemCategory)"), 0);
    EXPECT_EQ(Cats(2), "a");
}
