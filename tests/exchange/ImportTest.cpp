// Import: round trips through export, hand-made and damaged files, cancel and failure.
#include "ExchangeFixture.h"
#include "exchange/basExport.h"
#include "exchange/basImport.h"

#include <QFile>
#include <QFileInfo>

namespace {

const char* kEmptyTables = "DELETE FROM tblItem; DELETE FROM ftsItem; DELETE FROM tblItemCategory; "
                           "DELETE FROM tblCategory; DELETE FROM tblType;";

}  // namespace

TEST_F(ExchangeTest, ImportAsNewItemsDoublesEveryExportedItem) {
    FillSample(true);
    const QMap<QString, int> before = Contents();
    QDir().mkpath(env->Path("x"));
    const QString file = env->Path("x/all.tab");
    ASSERT_TRUE(Export(file, true));
    const int itemsBefore = Scalar("SELECT Count(*) FROM tblItem").toInt();
    prompt->progressLines.clear();

    ImportSummary summary;
    ASSERT_TRUE(Import(file, false, &summary));
    EXPECT_TRUE(summary.completed);
    EXPECT_EQ(summary.categoryLines, 3);
    EXPECT_EQ(ImportSummaryText(summary), "4 items imported, 0 lines skipped, 0 attachments missing.");
    EXPECT_EQ(prompt->openProgress, 0);
    EXPECT_EQ(prompt->progressLines.value(0), "Importing Database...");

    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItem").toInt(), itemsBefore + 4);
    // Same language, categories, title, code, time and attachment, twice each (the item without
    // category was not exported and stays single). No language or category was duplicated.
    const QMap<QString, int> after = Contents();
    EXPECT_EQ(after.keys().join("\n"), before.keys().join("\n"));
    for (auto it = before.begin(); it != before.end(); ++it)
        EXPECT_EQ(after[it.key()], it.key().startsWith("|") ? 1 : 2) << it.key().toStdString();
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblType").toInt(), 3);
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblCategory").toInt(), 8);

    // The editor shows the new copy in local time.
    const int copy = Scalar("SELECT Max(ID) FROM tblItem").toInt();
    ItemRecord rec;
    ASSERT_TRUE(LoadItem(copy - 3, rec));
    EXPECT_EQ(rec.title, "Quick sort");
    EXPECT_EQ(rec.lastUpdate, "06/15/2021 04:30");
    EXPECT_EQ(rec.fileName, "notes.txt");
}

TEST_F(ExchangeTest, ImportKeepingNumbersRestoresAnEmptiedDatabaseExactly) {
    FillSample(true);
    // Leave out what an export cannot carry: the item without category and its category.
    Query("DELETE FROM tblItem WHERE ID = " + QString::number(uncategorised));
    Query("DELETE FROM ftsItem WHERE DOCID = " + QString::number(uncategorised));
    Query("DELETE FROM tblCategory WHERE Name = 'Temp'");
    const QString before = Snapshot();
    const QString file = env->Path("full.tab");
    ASSERT_TRUE(Export(file, true));

    Query(kEmptyTables);
    ASSERT_EQ(Scalar("SELECT Count(*) FROM tblItem").toInt(), 0);
    ImportSummary summary;
    ASSERT_TRUE(Import(file, true, &summary));
    EXPECT_EQ(summary.missingAttachments, 0);
    ExpectSame(Snapshot(), before);
}

TEST_F(ExchangeTest, ImportKeepingNumbersOverwritesAndBringsBackDeletedItems) {
    FillSample();
    const QString file = env->Path("keep.tab");
    ASSERT_TRUE(Export(file, false));
    const QString before = Snapshot();

    ASSERT_TRUE(DeleteItem(ids[2]));
    int id = ids[0];
    SaveItem("Go", id, "changed", "changed", "Other", "2023-01-01 00:00:00", false);
    ImportSummary summary;
    ASSERT_TRUE(Import(file, true, &summary));
    // Exported without attachments: the names are not beside the file, the items keep theirs.
    EXPECT_EQ(summary.missingAttachments, 2);
    ItemRecord rec;
    LoadItem(ids[2], rec);
    EXPECT_EQ(rec.title, "Tab\there");
    EXPECT_EQ(rec.categories.split(',').size(), 3);
    LoadItem(ids[0], rec);
    EXPECT_EQ(rec.title, "Quick sort");
    EXPECT_EQ(rec.fileName, "notes.txt");
    EXPECT_EQ(rec.lastUpdate, "06/15/2021 04:30");
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItem").toInt(), 5);
    // Only the language and category of the overwritten edit are new.
    Query("DELETE FROM tblCategory WHERE Name = 'Other'; DELETE FROM tblType WHERE Name = 'Go';");
    ExpectSame(Snapshot(), before);
}

TEST_F(ExchangeTest, OverwrittenItemWithoutAttachmentInTheFileLosesItsAttachment) {
    const int id = AddItem("C", "t", "b", "c");
    ASSERT_EQ(id, 1);
    Attach(id, "old.bin", "old");
    const QString file = env->Path("plain.tab");
    WriteFileBytes(file, "1\tC\tc\tt\tb\t\t2020-05-05 10:00:00\t\r\n");
    ASSERT_TRUE(Import(file, true));
    EXPECT_FALSE(Scalar("SELECT FileBLOB FROM tblItem WHERE ID = 1").isValid());
    EXPECT_FALSE(Scalar("SELECT File FROM ftsItem WHERE DOCID = 1").isValid());
    EXPECT_EQ(Scalar("SELECT DateTime(LastUpdate) FROM tblItem WHERE ID = 1").toString(),
              "2020-05-05 10:00:00");
}

TEST_F(ExchangeTest, ImportOfAHandMadeFile) {
    QDir().mkpath(env->Path("in"));
    WriteFileBytes(env->Path("in/here.txt"), "attached");
    WriteFileBytes(env->Path("secret.txt"), "outside");
    // No header; damaged lines; further categories in new languages and categories, escaped;
    // a hostile time; attachments present, missing and outside the folder; no final line end.
    const QByteArray text =
        "10\tL\\TAB1\tCat\\\\A\tFirst\tline1\\CR\\LFline2\\\\TAB\there.txt\t2020-02-02 02:02:02\t\r\n"
        "10\tOther\\LFLang\tExtra\\CR\t\r\n"
        "10\tL\t \t\r\n"
        "14\tL\t , \tNo category\t\t\t\t\r\n"
        "14\tL\tLater\t\r\n"
        "junk line\r\n"
        "x1\tL\tC\tBad number\t\t\t\t\r\n"
        "\r\n"
        "11\tL\tC\tSecond\t\t../secret.txt\t2020-01-01'); DROP TABLE tblType; --\t\r\n"
        "12\tL\tC\tThird\t\tnot-there.bin\t\t\r\n"
        "15\tL\tC\tLinked\t\tlink.txt\t\t\r\n"
        "13\tL\tD\tLast";
    const QString file = env->Path("in/hand.tab");
    WriteFileBytes(file, text);
    ASSERT_TRUE(QFile::link(env->Path("secret.txt"), env->Path("in/link.txt")));
    ImportSummary summary;
    ASSERT_TRUE(Import(file, false, &summary));
    EXPECT_EQ(summary.categoryLines, 1);
    // Item 14's first line names no category; its next line does, and stores it.
    EXPECT_EQ(ImportSummaryText(summary), "6 items imported, 4 lines skipped, 3 attachments missing.");
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblCategory WHERE trim(Name) = ''").toInt(), 0);
    EXPECT_EQ(Scalar("SELECT Title FROM qryItem JOIN tblItemCategory ON ItemID = qryItem.ID JOIN tblCategory ON "
                     "CategoryID = tblCategory.ID WHERE Name = 'Later'").toString(), "No category");

    const int first = Scalar("SELECT DOCID FROM ftsItem WHERE Title = 'First'").toInt();
    ItemRecord rec;
    LoadItem(first, rec);
    EXPECT_EQ(rec.body, "line1\r\nline2\\TAB");
    EXPECT_EQ(rec.fileName, "here.txt");
    EXPECT_EQ(Scalar("SELECT DateTime(LastUpdate) FROM tblItem WHERE ID = " +
                     QString::number(first)).toString(),
              "2020-02-02 02:02:02");
    EXPECT_EQ(Scalar("SELECT group_concat(n, '|') FROM (SELECT tblType.Name || '/' || tblCategory.Name AS n "
                     "FROM tblItemCategory JOIN tblCategory ON CategoryID = tblCategory.ID JOIN tblType ON "
                     "TypeID = tblType.ID WHERE ItemID = " + QString::number(first) + " ORDER BY tblType.Name)")
                  .toString(),
              "L\t1/Cat\\A|Other\nLang/Extra");  // names lose white space at their ends

    // The time text stayed data; the file outside the folder was not read, not even by a link.
    EXPECT_EQ(Scalar("SELECT Count(*) FROM sqlite_master WHERE name = 'tblType'").toInt(), 1);
    EXPECT_EQ(Scalar("SELECT Count(*) FROM qryItem WHERE File IS NOT NULL").toInt(), 1);
    EXPECT_EQ(Scalar("SELECT Code FROM qryItem WHERE Title = 'Last'").toString(), "");
}

TEST_F(ExchangeTest, ImportReadsWindows1252AndEmptyFiles) {
    const QString file = env->Path("ansi.tab");
    WriteFileBytes(file, "ID\tType\r\n1\tC\xE9\tCaf\xE9\tNa\xEFve \x80\t\t\t\t\r\n");
    ASSERT_TRUE(Import(file, false));
    EXPECT_EQ(Scalar("SELECT Title FROM ftsItem").toString(), QString::fromUtf8("Naïve €"));
    EXPECT_EQ(Scalar("SELECT Name FROM tblType").toString(), QString::fromUtf8("Cé"));

    const QString before = Snapshot();
    WriteFileBytes(env->Path("empty.tab"), "");
    ImportSummary summary;
    EXPECT_TRUE(Import(env->Path("empty.tab"), false, &summary));
    EXPECT_EQ(summary.items, 0);
    WriteFileBytes(env->Path("header.tab"), "id\tType\tCategory\t\r\n");
    EXPECT_TRUE(Import(env->Path("header.tab"), true, &summary));
    EXPECT_EQ(summary.items, 0);
    ExpectSame(Snapshot(), before);

    // A file that cannot be read, or not into memory, is reported.
    QFile sparse(env->Path("huge.tab"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize((qint64(1) << 30) + 1));
    sparse.close();
    for (const char* name : {"nothing.tab", "huge.tab"}) {
        EXPECT_FALSE(Import(env->Path(name), false, &summary));
        EXPECT_TRUE(summary.error.startsWith("Unable to read the import file: "));
        EXPECT_EQ(prompt->openProgress, 0);
    }
    EXPECT_EQ(summary.error, "Unable to read the import file: the file is larger than 1 GB");
}

TEST_F(ExchangeTest, CancelledImportLeavesEveryTableAsItWas) {
    FillSample();
    const QString file = env->Path("c.tab");
    ASSERT_TRUE(Export(file, true));
    for (bool keepIds : {false, true}) {
        const QString before = Snapshot();
        prompt->progressUpdates = 0;
        prompt->cancelAtUpdate = 6;  // after items with attachments and further categories
        ImportSummary summary;
        EXPECT_FALSE(Import(file, keepIds, &summary));
        EXPECT_TRUE(summary.cancelled);
        EXPECT_EQ(prompt->openProgress, 0);
        ExpectSame(Snapshot(), before);
    }
    // The connection is usable afterwards, outside any transaction.
    EXPECT_TRUE(gDB->Run("BEGIN TRANSACTION; COMMIT TRANSACTION;").isEmpty());

    // A statement failing in the middle of a batch (a link refused, or a full-text row whose
    // number is taken when the batch's rows are written) takes the whole import back.
    const char* faults[] = {
        "CREATE TRIGGER refuse BEFORE INSERT ON tblItemCategory WHEN (SELECT Count(*) FROM "
        "tblItemCategory) >= 8 BEGIN SELECT RAISE(ABORT, 'refused'); END",
        "INSERT INTO ftsItem (DOCID, Title) VALUES ((SELECT Max(ID) FROM tblItem) + 2, 'taken')",
    };
    for (const char* fault : faults) {
        ASSERT_EQ(gDB->Run(QLatin1String(fault)), QString());
        const QString before = Snapshot();
        ImportSummary summary;
        EXPECT_FALSE(Import(file, false, &summary)) << fault;
        EXPECT_TRUE(summary.error.startsWith("Import error")) << summary.error.toStdString();
        ExpectSame(Snapshot(), before);
        gDB->Run(QStringLiteral("DROP TRIGGER IF EXISTS refuse"));
    }
}

TEST_F(ExchangeTest, ImportIntoAReadOnlyDatabaseFailsAndChangesNothing) {
    FillSample();
    const QString file = env->Path("ro.tab");
    ASSERT_TRUE(Export(file, false));
    const QString before = Snapshot();
    ASSERT_NO_FATAL_FAILURE(ReopenReadOnly());
    prompt->shown.clear();

    ImportSummary summary;
    EXPECT_FALSE(Import(file, false, &summary));
    EXPECT_FALSE(summary.completed);
    EXPECT_TRUE(summary.error.startsWith("Import error in line 2 (item #")) << summary.error.toStdString();
    EXPECT_EQ(prompt->openProgress, 0);
    ExpectSame(Snapshot(), before);
}

namespace {

// Also keeps the percentages passed to the progress bar.
class PercentPrompt : public ScriptedPrompt {
public:
    QList<int> percents;
    bool ProgressUpdate(int percent) override {
        percents << percent;
        return ScriptedPrompt::ProgressUpdate(percent);
    }
};

}  // namespace

TEST_F(ExchangeTest, ProgressFollowsTheFileAndTheRows) {
    PercentPrompt p;
    // Export: row r of 7 at r / 7 * 98, halves to even, then 98 while writing.
    FillSample();
    const QString file = env->Path("p.tab");
    ASSERT_TRUE(Export(file, false));
    EXPECT_EQ(p.percents, (QList<int>{14, 28, 42, 56, 70, 84, 98, 98}));

    // Import: the position of each line's end in the file, in percent, cut to a whole number.
    const QByteArray text = ReadFileBytes(file);
    QList<int> expected;
    for (qsizetype at = text.indexOf("\r\n", text.indexOf("\r\n") + 2); at >= 0;
         at = text.indexOf("\r\n", at + 2))
        expected << int(at * 100 / text.size());
    p.percents.clear();
    p.progressLines.clear();
    ASSERT_TRUE(Import(file, false));
    EXPECT_EQ(p.percents, expected);
    EXPECT_EQ(p.progressLines.value(0), "Importing Database...");
    EXPECT_EQ(QDir::fromNativeSeparators(p.progressLines.value(1)), file);
}
