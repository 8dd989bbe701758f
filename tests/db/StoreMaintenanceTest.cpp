#include "StoreFixture.h"
#include "support/ScriptedPrompt.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

namespace {

class MaintenanceTest : public ItemStoreTest {
protected:
    // A backup that must fail: gives the code and reason, and leaves the database open.
    QString BackupFails(const QString& target) {
        int code = 0;
        QString why;
        EXPECT_FALSE(BackupDatabase(db, target, &code, &why)) << target.toStdString();
        EXPECT_TRUE(db.IsOpen());
        return QString::number(code) + " " + why;
    }
    // How many files of the folder have part in their name (temporaries included).
    int FilesNamed(const QString& part) {
        return QDir(env.Root()).entryList(QDir::Files | QDir::Hidden).filter(part).size();
    }
};

TEST_F(MaintenanceTest, RenameChangesCaseInPlaceMovesItemsToANewCategoryOrMerges) {
    const int a = Save("A", "One", "Sorting");
    const int b = Save("A", "Two", "Sorting,Files");
    const int c = Save("A", "Three", "Files");
    const int other = Save("B", "Four", "Searching");
    const int sorting = CatId("A", "Sorting"), files = CatId("A", "Files");

    ASSERT_TRUE(RenameCategory(db, sorting, "  sorting "));
    EXPECT_EQ(Scalar("SELECT Name FROM tblCategory WHERE ID = " + QString::number(sorting)).toString(), "sorting");

    ASSERT_TRUE(RenameCategory(db, sorting, "Searching"));
    const int searching = CatId("A", "Searching");
    EXPECT_NE(searching, sorting);
    EXPECT_EQ(Count("tblCategory WHERE ID = " + QString::number(sorting)), 0);
    EXPECT_EQ(Cats(a), "Searching");
    EXPECT_TRUE(Cats(b).contains("Searching"));
    // Language B's Searching is another category and keeps its items.
    EXPECT_EQ(Cats(other), "Searching");
    EXPECT_EQ(Count("tblItemCategory WHERE CategoryID = " + QString::number(CatId("B", "Searching"))), 1);

    // An existing name of the language: one category, one link per item.
    ASSERT_TRUE(RenameCategory(db, searching, "FILES"));
    EXPECT_EQ(CatId("A", "Searching"), 0);
    for (const int id : {a, b, c}) EXPECT_EQ(Cats(id), "Files") << id;
    EXPECT_EQ(Count("tblItemCategory WHERE CategoryID = " + QString::number(files)), 3);
    EXPECT_EQ(Count("tblItemCategory"), 4);

    ASSERT_TRUE(RenameCategory(db, files, "O'Brien's tips"));
    EXPECT_EQ(Cats(a), "O'Brien's tips");
}

TEST_F(MaintenanceTest, RenameOfAMissingCategoryOrOnAReadOnlyFileChangesNothing) {
    const int a = Save("A", "One", "Sorting");
    QString error;
    EXPECT_FALSE(RenameCategory(db, 9999, "Ghost", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(Count("tblCategory"), 1);
    EXPECT_FALSE(db.InTransaction());
    // Item texts list categories between commas: such a name would split at the next save.
    EXPECT_FALSE(RenameCategory(db, CatId("A", "Sorting"), "C, C++", &error));
    EXPECT_EQ(error, "A category name cannot contain a comma");
    EXPECT_EQ(Cats(a), "Sorting");

    // A failing link move must not lose the links by deleting the category after all.
    ASSERT_EQ(db.Run("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON tblItemCategory "
                     "BEGIN SELECT RAISE(ABORT, 'move refused'); END;"), "");
    EXPECT_FALSE(RenameCategory(db, CatId("A", "Sorting"), "Elsewhere", &error));
    EXPECT_EQ(error, "move refused");
    EXPECT_EQ(Cats(a), "Sorting");
    EXPECT_EQ(CatId("A", "Elsewhere"), 0);
    db.Run("DROP TRIGGER temp.refuse;");

    ASSERT_NO_FATAL_FAILURE(ReopenReadOnly());
    EXPECT_FALSE(RenameCategory(db, CatId("A", "Sorting"), "Renamed"));
    EXPECT_EQ(Cats(a), "Sorting");
    EXPECT_FALSE(VacuumDatabase(db, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(MaintenanceTest, VacuumRemovesOrphansInOrderAndShrinksTheFile) {
    const int a = Save("A", "One", "Sorting,Files");
    Save("B", "Two", "Misc");
    const int c = Save("C", "Three", "Only");
    Save("C", "Four", "Other");
    Query("UPDATE tblItem SET FileBLOB = zeroblob(300000) WHERE ID IN (" + QString::number(a) + ", " +
          QString::number(c) + ")");
    // A link to an item that is gone, as an older program version could leave behind.
    Query("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (4242, " +
          QString::number(CatId("C", "Only")) + ")");
    ASSERT_TRUE(DeleteItem(db, a));
    ASSERT_TRUE(DeleteItem(db, c));
    const qint64 before = QFileInfo(dbPath).size();

    ASSERT_TRUE(VacuumDatabase(db));
    EXPECT_EQ(Count("tblItemCategory"), 2);
    EXPECT_EQ(Column(Query("SELECT Name FROM tblCategory ORDER BY Name"), 0), QStringList({"Misc", "Other"}));
    EXPECT_EQ(Count("tblType"), 2);  // A went, C keeps Other
    EXPECT_LT(QFileInfo(dbPath).size(), before / 2);
}

TEST_F(MaintenanceTest, BackupIsTheCommittedStateWhateverAnotherConnectionDoes) {
    Save("A", "One", "Sorting");
    CSQLite other;
    ASSERT_EQ(other.OpenFile(dbPath), 0);
    // Committed in WAL mode, so not yet in the main file; then a write transaction held open.
    ASSERT_EQ(other.Run("PRAGMA journal_mode = WAL; INSERT INTO tblType (Name) VALUES ('Committed');"
                        "BEGIN IMMEDIATE; INSERT INTO tblType (Name) VALUES ('Open');"),
              "");
    // What a killed backup left, and a file that only looks alike; an older backup is replaced.
    const QString leftover = env.Path(".backup.db.vgbackup-Ab12Cd");
    const QString alike = env.Path(".backup.db.vgbackup-mine");
    WriteFileBytes(leftover, "half a copy");
    WriteFileBytes(alike, "not ours");
    const QString target = env.Path("backup.db");
    WriteFileBytes(target, "an older backup");
    int code = 0;
    QString why;
    ASSERT_TRUE(BackupDatabase(db, target, &code, &why)) << code << why.toStdString();
    EXPECT_FALSE(QFile::exists(leftover));
    EXPECT_TRUE(QFile::exists(alike));
    EXPECT_EQ(FilesNamed("backup"), 2);  // the copy and the look-alike, no temporary
    EXPECT_TRUE(db.IsOpen());
    EXPECT_EQ(QFileInfo(db.Filename()).canonicalFilePath(), QFileInfo(dbPath).canonicalFilePath());
    CSQLite copy;
    ASSERT_EQ(copy.OpenFile(target), 0);
    EXPECT_EQ(copy.LookupField("pragma_integrity_check", "integrity_check"), "ok");
    EXPECT_EQ(copy.LookupField("tblType", "group_concat(Name)"), "A,Committed");
    EXPECT_EQ(copy.LookupField("qryItem", "Title"), "One");
    copy.CloseFile();
    other.Run("ROLLBACK");

    // The open database itself is no backup target.
    const QByteArray before = ReadFileBytes(dbPath);
    EXPECT_TRUE(BackupFails(dbPath).endsWith("The backup file is the open database"));
    EXPECT_EQ(ReadFileBytes(dbPath), before);
}

TEST_F(MaintenanceTest, FailedBackupReportsTheSystemsReasonAndKeepsTheOldBackup) {
    Save("A", "One", "Sorting", QString(300000, QChar('y')));
    EXPECT_TRUE(BackupFails(env.Path("no/such/folder/b.db")).startsWith("2 "));

    // A copy that breaks off half-way (here: a file size limit) leaves the old backup whole.
    const QString target = env.Path("kept.db");
    WriteFileBytes(target, "the previous backup");
    QString why;
    {
        FileSizeLimit limit(65536);
        why = BackupFails(target);
    }
    EXPECT_EQ(ReadFileBytes(target), "the previous backup");
    // The system's reason, not the engine's "disk I/O error"; no copy or journal left behind.
    EXPECT_EQ(why, QString::number(EFBIG) + " " + qt_error_string(EFBIG));
    EXPECT_EQ(FilesNamed("kept"), 1);

    // A folder in the way.
    QDir().mkpath(env.Path("adir"));
    BackupFails(env.Path("adir"));
    EXPECT_EQ(Count("tblItem"), 1);
}

// The window's backup: its failure message and the settings only it writes; the silent forms
// write none (vgcli relies on that).
using BackupOnGlobalTest = StoreTest;

TEST_F(BackupOnGlobalTest, FailureShowsTheMessageAndSilentFormsLeaveTheSettingsAlone) {
    gSettings->SaveSetting("BackupFile", "previous");
    gSettings->SaveSetting("BackupTime", "1");
    EXPECT_FALSE(BackupDatabase(env->Path("no/such/folder/b.db")));
    ASSERT_EQ(prompt->Messages().size(), 1);
    EXPECT_TRUE(prompt->Messages()[0].startsWith("Unable to create backup.\r\nError: 2 "))
        << prompt->Messages()[0].toStdString();
    EXPECT_EQ(prompt->shown[0].style & CPrompt::vbCritical, CPrompt::vbCritical);
    EXPECT_EQ(gSettings->GetSetting("BackupFile"), "previous");
    EXPECT_EQ(gSettings->GetSetting("BackupTime"), "1");
    // The setting's form: a day number since 1899, not a Julian day.
    EXPECT_GT(BackupTimeNow(), 45000.0);
    EXPECT_LT(BackupTimeNow(), 100000.0);

    gSettings->SaveSetting("LastDatabase", "kept");
    CSQLite db;
    StoreError error;
    ASSERT_TRUE(OpenDatabase(db, env->Path("other.db"), &error)) << error.text.toStdString();
    int code = 0;
    QString why;
    ASSERT_TRUE(BackupDatabase(db, env->Path("other-copy.db"), &code, &why)) << why.toStdString();
    EXPECT_TRUE(QFile::exists(env->Path("other-copy.db")));
    EXPECT_EQ(gSettings->GetSetting("LastDatabase"), "kept");
    EXPECT_EQ(gSettings->GetSetting("BackupFile"), "previous");
    EXPECT_EQ(prompt->shown.size(), 1);
}

}  // namespace
