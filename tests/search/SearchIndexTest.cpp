// The search index follows every change of the items: the store's own saves, deletes, renames,
// attachments and imports in the same transaction, and another program's changes before the
// next search.
#include "SearchFixture.h"
#include "support/ScriptedPrompt.h"
#include "db/CTransaction.h"
#include "db/basDBAttachments.h"
#include "exchange/basExport.h"
#include "exchange/basImport.h"

#include <QProcess>

namespace {

class SearchIndexTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        SaveAll({
            {"C++", "Strings", "Split a string", "std::vector<std::string> splitString(const std::string& s);"},
            {"Python", "Files", "Read lines", "with open(path) as f:\n    lines = f.readlines()"},
            {"SQL", "Queries", "Count rows", "SELECT Count(*) FROM tblItem;"},
        });
    }
    bool Current() { return CSearchIndex::IsCurrent(db); }
};

TEST_F(SearchIndexTest, TheStoreKeepsTheIndexCurrentInTheSameTransaction) {
    EXPECT_TRUE(CSearchIndex::Exists(db));
    // The first search finds the index complete; from then on each change keeps it so.
    EXPECT_EQ(Titles("split"), QStringList({"Split a string"}));
    EXPECT_TRUE(Current());

    int id = ids["Read lines"];
    Save("Python", "Read all lines", "Files", "text = pathlib.Path(p).read_text()", kTime, id);
    EXPECT_TRUE(Current());
    EXPECT_EQ(Titles("readText"), QStringList({"Read all lines"}));
    EXPECT_EQ(Titles("readlines"), QStringList());

    ASSERT_TRUE(DeleteItem(db, ids["Count rows"]));
    EXPECT_TRUE(Current());
    EXPECT_EQ(Titles("count"), QStringList());

    // A category rename changes no text: the filter reads the new name.
    ASSERT_TRUE(RenameCategory(db, CatId("C++", "Strings"), "Text"));
    EXPECT_TRUE(Current());
    EXPECT_EQ(Titles("split cat:text"), QStringList({"Split a string"}));
    EXPECT_EQ(Titles("split cat:strings"), QStringList());

    // The attachment's name is searched, and forgotten with the attachment.
    id = ids["Split a string"];
    ASSERT_TRUE(StoreAttachment(db, id, 3, QByteArray("abc"), "tokenizer_notes.txt", nullptr));
    EXPECT_TRUE(Current());
    EXPECT_EQ(Titles("tokenizerNotes"), QStringList({"Split a string"}));
    ASSERT_TRUE(RemoveAttachment(db, id, nullptr));
    EXPECT_EQ(Titles("tokenizer"), QStringList());
    EXPECT_TRUE(Current());
    ExpectIndexSound();
}

TEST_F(SearchIndexTest, ManyChangesInOneTransactionStoreTheFingerprintOnceAndStayCurrent) {
    Titles("split");
    int stored = 0;
    sqlite3_trace_v2(
        db.Handle(), SQLITE_TRACE_STMT,
        [](unsigned, void* n, void* st, void*) {
            if (QByteArray(sqlite3_sql(static_cast<sqlite3_stmt*>(st))).contains("UPDATE tblSearchInfo")) ++*static_cast<int*>(n);
            return 0;
        },
        &stored);
    {
        CTransaction unit(db);
        for (int i = 0; i < 20; ++i) Save("Go", QStringLiteral("Batch %1").arg(i), "Loops", QStringLiteral("for i := %1").arg(i));
        ASSERT_TRUE(unit.Commit());
    }
    sqlite3_trace_v2(db.Handle(), 0, nullptr, nullptr);
    EXPECT_EQ(stored, 1);
    EXPECT_TRUE(Current());
    EXPECT_EQ(Titles("batch 7"), QStringList({"Batch 7"}));
    ExpectIndexSound();
}

TEST_F(SearchIndexTest, AFailedSaveTakesItsIndexRowsBackWithIt) {
    Titles("split");
    const int before = Count("tblSearchState");
    QString error;
    int id = -1;
    // No category: the save fails before anything is written.
    EXPECT_EQ(SaveItem(db, "C++", id, "Lost", "lostWord", "", kTime, {}, TimeBase::Local, &error), 0);
    EXPECT_EQ(Count("tblSearchState"), before);
    EXPECT_EQ(Titles("lostWord"), QStringList());
    ExpectIndexSound();
}

TEST_F(SearchIndexTest, ImportsAreIndexedWithTheirItems) {
    const QString file = env.Path("out.tab");
    ASSERT_TRUE(ExportDatabase(db, file, false));
    ImportSummary summary;
    ASSERT_TRUE(ImportDatabase(db, file, false, &summary)) << summary.error.toStdString();
    EXPECT_EQ(Titles("splitString"), QStringList({"Split a string", "Split a string"}));
    EXPECT_TRUE(Current());
    ExpectIndexSound();
}

TEST_F(SearchIndexTest, AnotherProgramsChangesAreCaughtUpBeforeTheNextSearch) {
    EXPECT_EQ(Titles("split"), QStringList({"Split a string"}));
    const int split = ids["Split a string"];
    OtherProgram(QStringLiteral("UPDATE ftsItem SET Code = 'joinStrings(parts)' WHERE docid = %1;"
                                "INSERT INTO ftsItem (docid, Title, Code) VALUES (99, 'Added elsewhere', 'fooBarBaz');"
                                "DELETE FROM ftsItem WHERE docid = %2;")
                     .arg(split)
                     .arg(ids["Count rows"]));
    EXPECT_FALSE(Current());
    EXPECT_EQ(Titles("join"), QStringList({"Split a string"}));
    EXPECT_TRUE(lastRanked);
    EXPECT_EQ(Titles("splitString"), QStringList());
    EXPECT_EQ(Titles("bar"), QStringList({"Added elsewhere"}));
    EXPECT_EQ(Titles("count"), QStringList());
    EXPECT_TRUE(Current());
    ExpectIndexSound();

    // A text of the same length, the item's time untouched: still noticed.
    OtherProgram(QStringLiteral("UPDATE ftsItem SET Code = 'fooBarBax' WHERE docid = 99"));
    EXPECT_EQ(Titles("bax"), QStringList({"Added elsewhere"}));

    // Changed elsewhere, then saved here before any search: the save does not hide the change.
    OtherProgram(QStringLiteral("UPDATE ftsItem SET Title = 'Renamed elsewhere' WHERE docid = 99"));
    Save("SQL", "Another", "Queries", "more");
    EXPECT_FALSE(Current());
    EXPECT_EQ(Titles("renamed"), QStringList({"Renamed elsewhere"}));
    ExpectIndexSound();
}

TEST_F(SearchIndexTest, ALargeCatchUpShowsProgressAndACancelLeavesTheIndexAsItWas) {
    EXPECT_EQ(Titles("split"), QStringList({"Split a string"}));
    OtherProgram("WITH RECURSIVE n(i) AS (SELECT 1000 UNION ALL SELECT i + 1 FROM n WHERE i < 3499) "
                 "INSERT INTO ftsItem (docid, Title, Code) SELECT i, 'Bulk ' || i, 'bulkWord' || (i % 7) FROM n;");
    ScriptedPrompt prompt;
    SetPrompt(&prompt);
    prompt.cancelAtUpdate = 1;
    QString error;
    EXPECT_FALSE(CSearchIndex::CatchUp(db, &error));
    EXPECT_EQ(error, "Cancelled");
    EXPECT_FALSE(Current());
    EXPECT_EQ(Count("tblSearchState"), 3);
    EXPECT_EQ(Count("tblSearchTitle"), 3);

    prompt.cancelAtUpdate = 0;
    int rewritten = 0;
    EXPECT_TRUE(CSearchIndex::CatchUp(db, &error, &rewritten)) << error.toStdString();
    EXPECT_EQ(rewritten, 2500);
    EXPECT_GT(prompt.progressUpdates, 2);
    EXPECT_EQ(prompt.openProgress, 0);
    SetPrompt(nullptr);
    EXPECT_TRUE(Current());
    EXPECT_EQ(Titles("bulk 1003"), QStringList({"Bulk 1003"}));
    EXPECT_EQ(Titles("splitString"), QStringList({"Split a string"}));
    ExpectIndexSound();
}

TEST_F(SearchIndexTest, ChangesMadeWithTheSqliteShellAreCaughtUp) {
    Titles("split");
    db.CloseFile();
    const ProcessResult r = [&] {
        QProcess p;
        p.start("sqlite3", {dbPath, "UPDATE ftsItem SET Title = 'Shell was here' WHERE docid = " +
                                        QString::number(ids["Read lines"]) + ";"});
        ProcessResult out;
        if (!p.waitForStarted()) return out;
        p.waitForFinished();
        out.status = p.exitCode();
        return out;
    }();
    if (r.status != 0) GTEST_SKIP() << "no sqlite3 shell";
    StoreError error;
    ASSERT_TRUE(OpenDatabase(db, dbPath, &error));
    EXPECT_EQ(Titles("shell"), QStringList({"Shell was here"}));
    ExpectIndexSound();
}

TEST_F(SearchIndexTest, AnIndexOfAnotherVersionIsMadeAgainWithItsTitles) {
    const struct {
        const char* what;
        const char* sql;
    } cases[] = {
        {"made before the titles table", "DROP TABLE tblSearchTitle; UPDATE tblSearchInfo SET Value = 1 WHERE Name = 'Version';"},
        // An older program remade the index as it knew it, leaving the titles as they were then.
        {"remade by an older program", "UPDATE tblSearchTitle SET Title = 'stale'; UPDATE tblSearchInfo SET Value = 1 "
                                       "WHERE Name = 'Version';"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Titles("split"), QStringList({"Split a string"}));
        ASSERT_EQ(db.Run(QString::fromLatin1(c.sql)), QString());
        EXPECT_FALSE(Current());
        EXPECT_EQ(Titles("splitString"), QStringList({"Split a string"}));
        EXPECT_TRUE(lastRanked);
        EXPECT_TRUE(Current());
        ExpectIndexSound();
    }
}

TEST_F(SearchIndexTest, AFileWithoutTheIndexSearchesPlainlyUntilItCanBeWritten) {
    // As older files are: the five tables only.
    db.Run("DROP TABLE ftsSearch; DROP TABLE tblSearchState; DROP TABLE tblSearchInfo; DROP TABLE tblSearchTitle;");
    ReopenReadOnly();
    EXPECT_EQ(Titles("split"), QStringList({"Split a string"}));
    EXPECT_FALSE(lastRanked);
    EXPECT_EQ(Titles("lang:sql"), QStringList({"Count rows"}));
    EXPECT_FALSE(CSearchIndex::Exists(db));

    db.CloseFile();
    QFile::setPermissions(dbPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    StoreError error;
    ASSERT_TRUE(OpenDatabase(db, dbPath, &error));
    EXPECT_EQ(Titles("splitString"), QStringList({"Split a string"}));
    EXPECT_TRUE(lastRanked);
    ExpectIndexSound();
}

TEST_F(SearchIndexTest, AnOutOfDateIndexOnAReadOnlyFileIsLeftAloneAndTheSearchIsPlain) {
    Titles("split");
    OtherProgram("UPDATE ftsItem SET Title = 'Changed title' WHERE docid = " + QString::number(ids["Count rows"]));
    ReopenReadOnly();
    EXPECT_EQ(Titles("changed"), QStringList({"Changed title"}));
    EXPECT_FALSE(lastRanked);
    EXPECT_FALSE(Current());
}

TEST_F(SearchIndexTest, AnIndexOfAnotherVersionIsMadeAgain) {
    Titles("split");
    db.Run("UPDATE tblSearchInfo SET Value = 0 WHERE Name = 'Version'");
    // A save meanwhile leaves the old rows to the rebuild.
    Save("SQL", "Meanwhile", "Queries", "meanwhileWord");
    int rewritten = 0;
    QString error;
    ASSERT_TRUE(CSearchIndex::CatchUp(db, &error, &rewritten)) << error.toStdString();
    EXPECT_EQ(rewritten, 4);
    EXPECT_EQ(Titles("meanwhile"), QStringList({"Meanwhile"}));
    EXPECT_EQ(Scalar("SELECT Value FROM tblSearchInfo WHERE Name = 'Version'").toInt(), CSearchIndex::kVersion);
    ExpectIndexSound();
    // Nothing to do the second time.
    ASSERT_TRUE(CSearchIndex::CatchUp(db, &error, &rewritten));
    EXPECT_EQ(rewritten, 0);
}

}  // namespace
