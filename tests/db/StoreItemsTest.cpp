#include "StoreFixture.h"
#include "attach/basAttachment.h"
#include "exchange/basImport.h"
#include "support/ScriptedPrompt.h"

#include <QDateTime>
#include <functional>

namespace {

class ItemsTest : public ItemStoreTest {
protected:
    // A save that must fail: gives the error and leaves the caller's number as it was.
    QString SaveFails(const QString& title, const QString& cats, int id = -1, const QString& time = kTime,
                      TimeBase base = TimeBase::Local) {
        QString error;
        int given = id;
        EXPECT_EQ(SaveItem(db, "C++", given, title, "new body", cats, time, {}, base, &error), 0);
        EXPECT_EQ(given, id);
        EXPECT_FALSE(error.isEmpty());
        return error;
    }
    QString ModifyDate(int id) {
        return Scalar("SELECT DateTime(LastUpdate) FROM tblItem WHERE ID = " + QString::number(id)).toString();
    }
    // The stored form of a local time: UTC, as the export writes it.
    static QString Utc(const QString& local) {
        return QDateTime::fromString(local, "yyyy-MM-dd hh:mm:ss").toUTC().toString("yyyy-MM-dd hh:mm:ss");
    }
};

TEST_F(ItemsTest, NewItemThenUpdateReplacesTextTimeLinksAndALostFullTextRow) {
    const int n = Save("C++", "Sort", "Sorting,Files", "v1");
    EXPECT_EQ(n, Scalar("SELECT Max(ID) FROM tblItem").toInt());
    EXPECT_EQ(Scalar("SELECT Title FROM ftsItem WHERE DOCID = " + QString::number(n)).toString(), "Sort");
    EXPECT_EQ(Count("tblType"), 1);
    EXPECT_EQ(Count("tblItemCategory"), 2);

    EXPECT_EQ(Save("c++", "Sort v2", "Files", "v2", "2024-02-01 09:00:00", n), n);
    ItemRecord rec = Item(n);
    EXPECT_EQ(rec.title, "Sort v2");
    EXPECT_EQ(rec.body, "v2");
    EXPECT_EQ(rec.categories, "Files");
    EXPECT_EQ(rec.lastUpdate, "02/01/2024 09:00");
    EXPECT_EQ(Count("tblItem"), 1);
    EXPECT_EQ(Count("ftsItem"), 1);
    EXPECT_EQ(Count("tblType"), 1);  // "c++" found "C++"
    // Sorting stays until compaction, without links.
    EXPECT_EQ(Count("tblCategory"), 2);
    EXPECT_EQ(Count("tblItemCategory"), 1);

    // An item that lost its full-text row gets it back on the next save.
    Query("DELETE FROM ftsItem WHERE DOCID = " + QString::number(n));
    EXPECT_EQ(Save("C++", "Whole again", "Files", "text", kTime, n), n);
    EXPECT_EQ(Item(n).title, "Whole again");
    EXPECT_EQ(Item(n).body, "text");
    EXPECT_EQ(Count("ftsItem"), 1);
}

TEST_F(ItemsTest, CategoryTextIsSplitTrimmedAndMatchedWithoutCase) {
    const struct {
        const char* lang;
        const char* given;
        const char* stored;
    } cases[] = {
        {"C++", " Sorting , Files", "Sorting,Files"},
        {"C++", "Sorting,sorting", "Sorting"},
        {"VB", "SORTING", "SORTING"},  // another language's category
        {"C++", ",Files,, ,Math,", "Files,Math"},  // empty names are no categories
    };
    for (const auto& c : cases) EXPECT_EQ(Cats(Save(c.lang, "T", c.given)), c.stored) << c.given;
    EXPECT_EQ(Count("tblItemCategory WHERE ItemID = 2"), 1);
    EXPECT_EQ(Count("tblCategory WHERE Name = 'sorting'"), 2);
    EXPECT_EQ(Count("tblCategory WHERE trim(Name) = ''"), 0);
    // A text naming no category at all stores nothing.
    for (const char* none : {"", ",", " , "}) SaveFails("E", none);
    EXPECT_EQ(Count("tblItem"), 4);
}

TEST_F(ItemsTest, DuplicateTitleAsksAndMergesOrCreates) {
    const int first = Save("C++", "Quick sort", "Sorting", "original", "2024-01-31 13:05:09");
    const QString before = ModifyDate(first);
    QList<int> asked;
    const auto answer = [&](bool yes) { return [&asked, yes](int existing) { asked << existing; return yes; }; };

    const QString later = "2024-03-01 10:00:00";
    EXPECT_EQ(Save("C++", "Quick sort", "Algorithms, sorting", "new body", later, -1, TimeBase::Local, answer(true)),
              first);
    EXPECT_EQ(asked, QList<int>({first}));
    ItemRecord rec = Item(first);
    // The joining text is kept below the stored one.
    EXPECT_TRUE(rec.body.startsWith("original\n\n--- Added by merge on ")) << rec.body.toStdString();
    EXPECT_TRUE(rec.body.endsWith(" ---\nnew body"));
    EXPECT_EQ(rec.categories.split(',').size(), 2);
    EXPECT_TRUE(rec.categories.contains("Algorithms"));
    EXPECT_EQ(ModifyDate(first), before);
    EXPECT_EQ(Count("tblItem"), 1);

    EXPECT_GT(Save("C++", "Quick sort", "Sorting", "second", later, -1, TimeBase::Local, answer(false)), first);
    EXPECT_EQ(Count("tblItem"), 2);
    EXPECT_EQ(Count("ftsItem"), 2);
    // A title nobody has asks nothing.
    Save("C++", "Unique", "Sorting", "", later, -1, TimeBase::Local, answer(true));
    EXPECT_EQ(asked.size(), 2);
}

TEST_F(ItemsTest, QuotesSemicolonsAndSqlAreStoredVerbatimAndRunNothing) {
    const QString evil = "x'); DROP TABLE tblItem; --";
    const QString title = "O'Brien's \"tip\"; " + evil;
    const QString body = "it's\r\n\t'';\\ SELECT * FROM tblType; " + evil + QString::fromUtf8(" \u00e9\u20ac");
    const QString lang = "La'ng; " + evil;
    const QString cat = "Ca't; DELETE FROM tblCategory";
    const int n = Save(lang, title, cat, body, "2024-01-31 13:05:09'); DROP TABLE tblType; --");
    ItemRecord rec = Item(n);
    EXPECT_EQ(rec.title, title);
    EXPECT_EQ(rec.body, body);
    EXPECT_EQ(rec.categories, cat);
    EXPECT_EQ(Scalar("SELECT Name FROM tblType").toString(), lang);
    EXPECT_EQ(Count("tblType"), 1);
    EXPECT_EQ(Count("tblCategory"), 1);
    // A time the engine cannot read stamps the current time.
    const double now = Scalar("SELECT JulianDay('now')").toDouble();
    EXPECT_NEAR(Scalar("SELECT LastUpdate FROM tblItem").toDouble(), now, 1.0 / 1440);

    // The update path takes the same text safely.
    EXPECT_EQ(Save(lang, title + "2", cat, body, "'; DELETE FROM tblItem; --", n, TimeBase::Utc), n);
    EXPECT_EQ(Count("tblItem"), 1);
    EXPECT_EQ(Count("ftsItem"), 1);
}

TEST_F(ItemsTest, NumbersGivenByTheCallerAreKept) {
    EXPECT_EQ(Save("C++", "Imported", "Sorting", "code", kTime, 500), 500);
    EXPECT_EQ(Scalar("SELECT DOCID FROM ftsItem").toInt(), 500);
    // No item can be 0 (that is how a failed save reads): such numbers make new items.
    EXPECT_GT(Save("C++", "Zero", "Sorting", "code", kTime, 0), 500);
    EXPECT_EQ(Count("tblItem WHERE ID < 1"), 0);
    // After the largest number new items take free numbers, never ones past 32 bits.
    EXPECT_EQ(Save("C++", "Last", "Sorting", "code", kTime, 2147483647), 2147483647);
    EXPECT_EQ(Save("C++", "After last", "Sorting"), 1);
    EXPECT_EQ(Save("C++", "After that", "Sorting"), 2);
    EXPECT_EQ(Cats(2), "Sorting");
    EXPECT_EQ(Scalar("SELECT Max(ID) FROM tblItem").toLongLong(), 2147483647);
}

TEST_F(ItemsTest, DeleteRemovesTheItemEverywhereButKeepsNamesUntilCompaction) {
    const int a = Save("C++", "Pivot sort", "Sorting,Files");
    const int b = Save("VB", "Other", "Misc");
    ASSERT_TRUE(DeleteItem(db, a));
    const QString sa = QString::number(a);
    EXPECT_EQ(Count("tblItem WHERE ID = " + sa), 0);
    EXPECT_EQ(Count("ftsItem WHERE DOCID = " + sa), 0);
    EXPECT_EQ(Count("tblItemCategory WHERE ItemID = " + sa), 0);
    EXPECT_FALSE(ItemExists(db, a));
    EXPECT_EQ(Count("tblType"), 2);
    EXPECT_EQ(Count("tblCategory"), 3);
    EXPECT_TRUE(DeleteItem(db, a));  // nothing left to delete is no failure
    EXPECT_EQ(Cats(b), "Misc");
}

TEST_F(ItemsTest, LoadItemReadsEveryFieldAndRefusesUnknownItems) {
    const int n = Save("C++", "Zip it", "Files,Sorting", "code", "2024-07-04 23:30:00");
    Query("UPDATE ftsItem SET File = 'a.zip' WHERE DOCID = " + QString::number(n));
    Query("UPDATE tblItem SET FileSize = 1234, FileBLOB = X'0102030405' WHERE ID = " + QString::number(n));
    ItemRecord rec = Item(n);
    EXPECT_EQ(rec.fileName, "a.zip");
    EXPECT_EQ(rec.fileSize, 1234);
    EXPECT_EQ(rec.storedSize, 5);
    EXPECT_EQ(rec.categories, "Files,Sorting");

    const ItemRecord kept = rec;
    QString error;
    EXPECT_FALSE(LoadItem(db, n + 1, rec, &error));
    EXPECT_EQ(error, "Item " + QString::number(n + 1) + " does not exist");
    EXPECT_EQ(rec.title, kept.title);
    EXPECT_EQ(rec.categories, kept.categories);
    EXPECT_EQ(rec.lastUpdate, kept.lastUpdate);

    // No attachment reads as sizes 0, not as what the record held before.
    Query("UPDATE tblItem SET FileSize = NULL, FileBLOB = NULL WHERE ID = " + QString::number(n));
    ASSERT_TRUE(LoadItem(db, n, rec, &error));
    EXPECT_EQ(rec.fileSize, 0);
    EXPECT_EQ(rec.storedSize, 0);
}

TEST_F(ItemsTest, LocalTimesAreStoredAsUtcAndExportedTimesSurviveImport) {
    ASSERT_NE(QDateTime::fromString(kTime, "yyyy-MM-dd hh:mm:ss").offsetFromUtc(), 0)
        << "run under a time zone other than UTC";
    // Winter on the insert path, summer on the update path.
    const int a = Save("C++", "Edited", "Sorting", "x", "2024-07-04 23:30:00");
    EXPECT_EQ(ModifyDate(a), Utc("2024-07-04 23:30:00"));
    Save("C++", "Edited", "Sorting", "x", "2024-01-31 13:05:09", a);
    EXPECT_EQ(Item(a).lastUpdate, "01/31/2024 13:05");
    // A time set by the trigger carries milliseconds the export does not write.
    const int b = Save("VB", "Stamped", "Files", "y", "");
    const QString ta = ModifyDate(a), tb = ModifyDate(b);
    EXPECT_EQ(ta, Utc("2024-01-31 13:05:09"));

    // Import as new items: the insert path.
    EXPECT_EQ(ModifyDate(Save("C++", "Edited", "Sorting", "x", ta, -1, TimeBase::Utc)), ta);
    EXPECT_EQ(ModifyDate(Save("VB", "Stamped", "Files", "y", tb, -1, TimeBase::Utc)), tb);

    // Import keeping numbers over the same items: the update path, where the stored value
    // may equal the imported one.
    ASSERT_EQ(db.Run("BEGIN TRANSACTION;"), "");
    Save("C++", "Edited", "Sorting", "x", ta, a, TimeBase::Utc);
    Save("VB", "Stamped", "Files", "y", tb, b, TimeBase::Utc);
    ASSERT_EQ(db.Run("COMMIT TRANSACTION;"), "");
    EXPECT_EQ(ModifyDate(a), ta);
    EXPECT_EQ(ModifyDate(b), tb);

    // Kept numbers of items deleted since the export: the insert path with a number.
    ASSERT_TRUE(DeleteItem(db, a));
    Save("C++", "Edited", "Sorting", "x", ta, a, TimeBase::Utc);
    EXPECT_EQ(ModifyDate(a), ta);
    EXPECT_EQ(Item(a).lastUpdate, "01/31/2024 13:05");
}

TEST_F(ItemsTest, ReadOnlyFileFailsWithoutWritingAnything) {
    const int n = Save("C++", "Kept", "Sorting");
    ASSERT_NO_FATAL_FAILURE(ReopenReadOnly());
    SaveFails("New", "Sorting");
    SaveFails("Changed", "Files", n);
    QString error;
    EXPECT_FALSE(DeleteItem(db, n, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(Count("tblItem"), 1);
    EXPECT_EQ(Cats(n), "Sorting");
}

// Every silent operation on a connection without a file gives the one text.
TEST_F(ItemsTest, ClosedConnectionFailsEveryOperationWithTheSameText) {
    CSQLite closed;
    const QString src = env.Path("a.txt");
    WriteFileBytes(src, "a");
    const std::function<bool(QString*)> operations[] = {
        [&](QString* e) { ItemRecord r; return LoadItem(closed, 1, r, e); },
        [&](QString* e) { int id = -1; return SaveItem(closed, "C", id, "t", "b", "c", "", MergeDecision(), TimeBase::Local, e) > 0; },
        [&](QString* e) { return DeleteItem(closed, 1, e); },
        [&](QString* e) { return RenameCategory(closed, 1, "x", e); },
        [&](QString* e) { return VacuumDatabase(closed, e); },
        [&](QString* e) { int code; return BackupDatabase(closed, env.Path("b.db"), &code, e); },
        [&](QString* e) { return SaveAttachment(closed, 1, src, e); },
        [&](QString* e) { QString to = env.Path("x"); return ExtractAttachment(closed, 1, to, false, e); },
        [&](QString* e) { return ClearAttachment(closed, 1, e); },
        [&](QString* e) { ImportSummary s; const bool ok = ImportDatabase(closed, src, false, &s); *e = s.error; return ok; },
    };
    for (const auto& operation : operations) {
        QString error;
        EXPECT_FALSE(operation(&error));
        EXPECT_EQ(error, CSQLite::NoDatabaseText());
    }
    EXPECT_EQ(CSQLite::NoDatabaseText(), "No database is open");
    EXPECT_FALSE(QFile::exists(env.Path("b.db")));
}

TEST_F(ItemsTest, FailedStatementRollsBackItsOwnTransaction) {
    const int kept = Save("C++", "Kept", "Sorting", "old body");
    ASSERT_EQ(db.Run("CREATE TEMP TRIGGER refuse BEFORE INSERT ON tblItemCategory "
                     "BEGIN SELECT RAISE(ABORT, 'links refused'); END;"), "");
    EXPECT_EQ(SaveFails("New", "Files"), "links refused");
    EXPECT_EQ(Count("tblItem"), 1);
    EXPECT_EQ(Count("ftsItem"), 1);
    EXPECT_EQ(Count("tblCategory WHERE Name = 'Files'"), 0);

    // Existing item: its text and links come back as they were.
    EXPECT_EQ(SaveFails("Changed", "Files", kept), "links refused");
    ItemRecord rec = Item(kept);
    EXPECT_EQ(rec.title, "Kept");
    EXPECT_EQ(rec.body, "old body");
    EXPECT_EQ(rec.categories, "Sorting");
    EXPECT_FALSE(db.InTransaction());

    ASSERT_EQ(db.Run("DROP TRIGGER temp.refuse; CREATE TEMP TRIGGER refuse BEFORE DELETE ON tblItemCategory "
                     "BEGIN SELECT RAISE(ABORT, 'delete refused'); END;"), "");
    QString error;
    EXPECT_FALSE(DeleteItem(db, kept, &error));
    EXPECT_EQ(error, "delete refused");
    EXPECT_EQ(Count("tblItem"), 1);
    EXPECT_EQ(Count("ftsItem"), 1);
    EXPECT_FALSE(db.InTransaction());
}

TEST_F(ItemsTest, TextTheEngineCannotTakeFailsCleanly) {
    // A NUL ends the statement text inside the literal: the engine refuses the statement.
    for (bool own : {true, false}) {
        if (!own) { ASSERT_EQ(db.Run("BEGIN TRANSACTION;"), ""); }
        SaveFails(QString("a") + QChar(0) + "b", "Sorting", -1, "");
        if (!own) { ASSERT_EQ(db.Run("COMMIT TRANSACTION;"), ""); }
        EXPECT_EQ(Count("tblItem"), 0);
        EXPECT_EQ(Count("ftsItem"), 0);
        EXPECT_EQ(Count("tblItemCategory"), 0);
    }
}

TEST_F(ItemsTest, FailedSaveInTheCallersTransactionReportsAndKeepsTheCallersWork) {
    // A full-text row left without its item (a damaged file): the save of that number
    // inserts tblItem, then the ftsItem insert fails.
    Query("INSERT INTO ftsItem (DOCID, Title, Code) VALUES (77, 'orphan', '')");
    ASSERT_EQ(db.Run("BEGIN TRANSACTION;"), "");
    const int good = Save("C++", "Good", "Sorting", "b", "2021-06-15 08:30:00", -1, TimeBase::Utc);
    SaveFails("Bad", "Sorting", 77, "2021-06-15 08:30:00", TimeBase::Utc);
    // The caller's transaction is still open; no item row without its full-text row.
    EXPECT_TRUE(db.InTransaction());
    EXPECT_EQ(Count("tblItem WHERE ID = 77"), 0);
    ASSERT_EQ(db.Run("COMMIT TRANSACTION;"), "");
    EXPECT_EQ(Count("tblItem WHERE ID = " + QString::number(good)), 1);
    EXPECT_EQ(Count("tblItem"), 1);
    EXPECT_EQ(Count("tblItemCategory"), 1);

    // The caller can still roll back everything it did.
    ASSERT_EQ(db.Run("BEGIN TRANSACTION;"), "");
    Save("C++", "More", "Sorting", "b", "");
    ASSERT_EQ(db.Run("ROLLBACK TRANSACTION;"), "");
    EXPECT_EQ(Count("tblItem"), 1);
}

// What only the gDB forms have: the open-item message and the time conversion.
using ItemsOnGlobalTest = StoreTest;

TEST_F(ItemsOnGlobalTest, UnknownItemMessageAndJulianDays) {
    ItemRecord rec;
    EXPECT_FALSE(LoadItem(7, rec));
    EXPECT_EQ(prompt->Messages(), QStringList({"Unable to open item. Error: Item 7 does not exist"}));
    EXPECT_EQ(prompt->shown[0].style, CPrompt::vbOKOnly);

    const QDateTime probe = QDateTime::fromString("2024-01-31 13:05:09", "yyyy-MM-dd hh:mm:ss");
    const double local = JulianDay("2024-01-31 13:05:09");
    const double utc = JulianDay("2024-01-31 13:05:09", TimeBase::Utc);
    EXPECT_NEAR((local - utc) * 86400.0, -probe.offsetFromUtc(), 0.01);
    for (const char* bad : {"not a time", "2024-01-01'); DROP TABLE tblItem; --"}) EXPECT_EQ(JulianDay(bad), 0.0);
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItem").toInt(), 0);
}

}  // namespace
