// File and Tools menu commands: new and open database, backup and vacuum (export and import
// from the menus run in the whole-session test).
#include "MainWindowFixture.h"

#include <QFile>

TEST_F(MainWindowTest, NewDatabaseCreatesAFileAndAnExistingNameIsOpenedNotOverwritten) {
    MakeDatabase(FourItems());
    Start();
    ClickEntry(Titles(), QStringLiteral("Alpha"));
    const QString fresh = env->Path(QStringLiteral("fresh.db"));
    prompt->texts << fresh;
    Trigger("mnuFileNew");
    EXPECT_EQ(prompt->shown.last().kind, QStringLiteral("save"));
    EXPECT_TRUE(QFile::exists(fresh));
    EXPECT_EQ(win->windowTitle(), QStringLiteral("VellumGranary (fresh.db)"));
    EXPECT_EQ(Setting(QStringLiteral("LastDatabase")), fresh);
    EXPECT_EQ(Entries(Languages()), QStringList{QStringLiteral("<All Languages>  (0)")});
    EXPECT_EQ(Titles()->count(), 0);
    EXPECT_EQ(Title()->text(), QString());
    EXPECT_EQ(LabelText("lblItemNo"), QStringLiteral("Not Saved"));

    prompt->texts << dbPath;
    Trigger("mnuFileNew");
    EXPECT_EQ(win->windowTitle(), QStringLiteral("VellumGranary (snippets.db)"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM tblItem")).toInt(), 4);
    EXPECT_EQ(Entries(Languages()).first(), QStringLiteral("<All Languages>  (4)"));

    // A cancelled dialog changes nothing.
    prompt->texts << QString();
    Trigger("mnuFileOpen");
    EXPECT_EQ(win->windowTitle(), QStringLiteral("VellumGranary (snippets.db)"));
}

TEST_F(MainWindowTest, OpenThenSaveStoresANewItemAndEditsAreOfferedForSavingFirst) {
    const QString other = env->Path(QStringLiteral("other.db"));
    {
        InitGlobals();
        QString f = other;
        ASSERT_FALSE(OpenDatabase(f).isEmpty());
        ReleaseGlobals();
    }
    MakeDatabase(FourItems());
    Start();
    PickLanguage(QStringLiteral("SQL  (2)"));
    ClickEntry(Titles(), QStringLiteral("Bravo"));
    Type(Title(), QStringLiteral("Bravo moved"));

    // Cancel at the save question: nothing is opened and the edits stay.
    prompt->answers << CPrompt::vbCancel;
    Trigger("mnuFileOpen");
    EXPECT_EQ(win->windowTitle(), QStringLiteral("VellumGranary (snippets.db)"));
    EXPECT_EQ(Title()->text(), QStringLiteral("Bravo moved"));

    prompt->answers << CPrompt::vbNo;
    prompt->texts << other;
    Trigger("mnuFileOpen");
    EXPECT_EQ(prompt->shown.last().text, QStringLiteral("Select Database File"));
    EXPECT_EQ(win->windowTitle(), QStringLiteral("VellumGranary (other.db)"));
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_FALSE(win->ItemChanged());

    // The editor's item is new after an open: the save makes item 1 of the other database.
    TypeLanguage(QStringLiteral("SQL"));
    QTest::keyClicks(Title(), QStringLiteral("Bravo moved"));
    Type(ItemCategories(), QStringLiteral("Queries"));
    Click("cmdSave");
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM tblItem")).toInt(), 1);
}

TEST_F(MainWindowTest, OpeningAFileThatIsNoDatabaseShowsTheTitleAloneAndEmptyLists) {
    MakeDatabase(FourItems());
    const QString junk = env->Path(QStringLiteral("junk.db"));
    WriteFileBytes(junk, QByteArray(4096, 'x'));
    Start();
    prompt->texts << junk;
    Trigger("mnuFileOpen");
    EXPECT_TRUE(prompt->Messages().contains(NotValidDatabaseMessage()));
    EXPECT_EQ(win->windowTitle(), QStringLiteral("VellumGranary"));
    EXPECT_EQ(Entries(Languages()), QStringList{QStringLiteral("<All Languages>  (0)")});
    EXPECT_EQ(Titles()->count(), 0);
    EXPECT_EQ(ReadFileBytes(junk), QByteArray(4096, 'x'));
    // Nothing works on the refused file: a save says no database is open.
    EXPECT_FALSE(gDB->IsOpen());
    TypeLanguage(QStringLiteral("SQL"));
    QTest::keyClicks(Title(), QStringLiteral("lost?"));
    Type(ItemCategories(), QStringLiteral("Queries"));
    Click("cmdSave");
    EXPECT_TRUE(prompt->Messages().last().startsWith(QStringLiteral("Unable to save this item.")));
    EXPECT_EQ(ReadFileBytes(junk), QByteArray(4096, 'x'));
}

TEST_F(MainWindowTest, BackupAsksOnlyBeforeReplacingAFile) {
    MakeDatabase(FourItems());
    Start();
    const QString copy = env->Path(QStringLiteral("copy.db"));
    prompt->texts << copy;
    Trigger("mnufileBackup");
    EXPECT_EQ(prompt->shown.size(), 1);
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(dbPath));
    EXPECT_EQ(Setting(QStringLiteral("BackupFile")), copy);
    // The window goes on with its database.
    EXPECT_TRUE(gDB->IsOpen());
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM tblItem")).toInt(), 4);

    WriteFileBytes(copy, "older");
    prompt->texts << copy;
    prompt->answers << CPrompt::vbCancel;
    Trigger("mnufileBackup");
    EXPECT_EQ(prompt->shown.last().text, QStringLiteral("Overwrite existing file?"));
    EXPECT_EQ(ReadFileBytes(copy), QByteArray("older"));

    prompt->texts << copy;
    prompt->answers << CPrompt::vbOK;
    Trigger("mnufileBackup");
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(dbPath));
}

TEST_F(MainWindowTest, VacuumAsksThenRemovesWhatNoItemUsesAndReloads) {
    MakeDatabase(FourItems());
    Start();
    ClickEntry(Titles(), QStringLiteral("Charlie"));
    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(Entries(Languages()).first(), QStringLiteral("<All Languages>  (4)"));  // not reloaded yet

    prompt->answers << CPrompt::vbCancel;
    Trigger("mnuToolsVacuum");
    EXPECT_FALSE(prompt->Messages().contains(QStringLiteral("Done")));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM tblCategory WHERE Name = 'Files'")).toInt(), 1);

    prompt->answers << CPrompt::vbOK;
    Trigger("mnuToolsVacuum");
    EXPECT_EQ(prompt->shown.last().text, QStringLiteral("Done"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM tblCategory WHERE Name = 'Files'")).toInt(), 0);
    EXPECT_EQ(Entries(Languages()), (QStringList{QStringLiteral("<All Languages>  (3)"),
                                                 QStringLiteral("Python  (1)"), QStringLiteral("SQL  (2)")}));
}
