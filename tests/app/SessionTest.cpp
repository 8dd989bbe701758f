// One working session of a new user, start to finish, through the window's own controls:
// create a database, fill it, delete, back up, vacuum, export,
// import, exit, and come back to it.
#include "MainWindowFixture.h"

#include <QFile>
#include <QStatusBar>

TEST_F(MainWindowTest, NewUserWorksThroughAWholeSession) {
    // First run: nothing open; File, New Database creates one.
    Start();
    const QString db = env->Path("mysnips.db");
    prompt->texts << db;
    Trigger("mnuFileNew");
    ASSERT_EQ(win->windowTitle(), "VellumGranary (mysnips.db)");

    AddItem("SQL", "Top rows", "SELECT * LIMIT 10", "Queries");
    AddItem("SQL", "Paging", "LIMIT 20 OFFSET 40", "Queries, Paging");
    AddItem("Python", "Read lines", "for line in f: pass", "Files");
    AddItem("Python", "Join words", "', '.join(w)", "Text");
    ASSERT_EQ(prompt->Messages(), QStringList());
    EXPECT_EQ(prompt->beeps, 4);
    EXPECT_EQ(Entries(Languages()), (QStringList{"<All Languages>  (4)", "Python  (2)", "SQL  (2)"}));

    // Delete another.
    PickLanguage("Python  (2)");
    ClickEntry(Titles(), "Join words");
    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(Entries(Titles()), QStringList{"Read lines"});

    // Back up from the menu, then vacuum.
    const QString copy = env->Path("copy.db");
    prompt->texts << copy;
    Trigger("mnufileBackup");
    EXPECT_TRUE(QFile::exists(copy));
    prompt->answers << CPrompt::vbOK;
    Trigger("mnuToolsVacuum");
    EXPECT_EQ(prompt->Messages().last(), "Done");
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblCategory WHERE Name = 'Text'").toInt(), 0);

    // Export, then import the file back as new items.
    const QString tab = env->Path("mysnips.tab");
    prompt->texts << tab;
    prompt->answers << CPrompt::vbNo;
    Trigger("mnuFileExport");
    EXPECT_TRUE(QFile::exists(tab));
    EXPECT_EQ(win->statusBar()->currentMessage(), QStringLiteral("Exported to ") + tab);
    prompt->texts << tab;
    prompt->answers << CPrompt::vbYes;
    Trigger("mnuFileImport");
    EXPECT_EQ(Entries(Languages()).first(), "<All Languages>  (6)");

    // Exit: the menu backup a moment ago counts, so the daily one is not due.
    PickLanguage("SQL  (4)");
    const int before = prompt->shown.size();
    ASSERT_TRUE(Close());
    EXPECT_EQ(prompt->shown.size(), before);

    // Next start: the same database and language.
    Start();
    EXPECT_EQ(win->windowTitle(), "VellumGranary (mysnips.db)");
    EXPECT_EQ(Languages()->currentText(), "SQL  (4)");
    EXPECT_EQ(Titles()->model()->rowCount(), 4);
    EXPECT_TRUE(Close());
}
