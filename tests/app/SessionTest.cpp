// One working session of a new user, start to finish, through the window's own controls:
// create a database, fill it, browse and sort, edit and delete, back up, vacuum, export,
// import, exit, and come back to it.
#include "MainWindowFixture.h"

#include <QFile>
#include <QStatusBar>

class SessionTest : public MainWindowTest {
public:
    void Add(const QString& language, const QString& title, const QString& code, const QString& categories) {
        TypeLanguage(language);
        Click("cmdNew");
        QTest::keyClicks(Title(), title);
        Type(Body(), code);
        Type(ItemCategories(), categories);
        Click("cmdSave");
    }
};

TEST_F(SessionTest, NewUserWorksThroughAWholeSession) {
    // First run: nothing open; File, New Database creates one.
    Start();
    const QString db = env->Path(QStringLiteral("mysnips.db"));
    prompt->texts << db;
    Trigger("mnuFileNew");
    ASSERT_EQ(win->windowTitle(), QStringLiteral("VellumGranary (mysnips.db)"));

    Add(QStringLiteral("SQL"), QStringLiteral("Top rows"), QStringLiteral("SELECT * LIMIT 10"), QStringLiteral("Queries"));
    Add(QStringLiteral("SQL"), QStringLiteral("Paging"), QStringLiteral("LIMIT 20 OFFSET 40"), QStringLiteral("Queries, Paging"));
    Add(QStringLiteral("Python"), QStringLiteral("Read lines"), QStringLiteral("for line in f: pass"), QStringLiteral("Files"));
    Add(QStringLiteral("Python"), QStringLiteral("Join words"), QStringLiteral("', '.join(w)"), QStringLiteral("Text"));
    ASSERT_EQ(prompt->Messages(), QStringList());
    EXPECT_EQ(prompt->beeps, 4);
    EXPECT_EQ(Entries(Languages()), (QStringList{QStringLiteral("<All Languages>  (4)"),
                                                 QStringLiteral("Python  (2)"), QStringLiteral("SQL  (2)")}));

    // Browse: SQL, then its Paging category.
    PickLanguage(QStringLiteral("SQL  (2)"));
    ClickEntry(Categories(), QStringLiteral("Paging  (1)"));
    EXPECT_EQ(Entries(Titles()), QStringList{QStringLiteral("Paging")});
    ClickEntry(Categories(), QStringLiteral("<All Categories>  (3)"));
    // Sort by created date: the order of saving.
    QTest::mouseClick(Find<QLabel>("lblTitles"), Qt::LeftButton);
    QTest::mouseClick(Find<QLabel>("lblTitles"), Qt::LeftButton);
    EXPECT_EQ(Entries(Titles()), (QStringList{QStringLiteral("Top rows"), QStringLiteral("Paging")}));

    // Edit one item and save it.
    ClickEntry(Titles(), QStringLiteral("Top rows"));
    Type(Body(), QStringLiteral("SELECT * FROM t LIMIT 10"));
    Click("cmdSave");
    EXPECT_EQ(Body()->text(), QStringLiteral("SELECT * FROM t LIMIT 10"));
    EXPECT_FALSE(win->ItemChanged());

    // Delete another.
    PickLanguage(QStringLiteral("Python  (2)"));
    ClickEntry(Titles(), QStringLiteral("Join words"));
    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(Entries(Titles()), QStringList{QStringLiteral("Read lines")});

    // Back up from the menu, then vacuum.
    const QString copy = env->Path(QStringLiteral("copy.db"));
    prompt->texts << copy;
    Trigger("mnufileBackup");
    EXPECT_TRUE(QFile::exists(copy));
    prompt->answers << CPrompt::vbOK;
    Trigger("mnuToolsVacuum");
    EXPECT_EQ(prompt->Messages().last(), QStringLiteral("Done"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM tblCategory WHERE Name = 'Text'")).toInt(), 0);

    // Export, then import the file back as new items.
    const QString tab = env->Path(QStringLiteral("mysnips.tab"));
    prompt->texts << tab;
    prompt->answers << CPrompt::vbNo;
    Trigger("mnuFileExport");
    EXPECT_TRUE(QFile::exists(tab));
    EXPECT_EQ(win->statusBar()->currentMessage(), QStringLiteral("Exported to ") + tab);
    prompt->texts << tab;
    prompt->answers << CPrompt::vbYes;
    Trigger("mnuFileImport");
    EXPECT_EQ(Entries(Languages()).first(), QStringLiteral("<All Languages>  (6)"));

    // Exit: the menu backup a moment ago counts, so the daily one is not due.
    PickLanguage(QStringLiteral("SQL  (4)"));
    const int before = prompt->shown.size();
    ASSERT_TRUE(Close());
    EXPECT_EQ(prompt->shown.size(), before);

    // Next start: the same database and language.
    Start();
    EXPECT_EQ(win->windowTitle(), QStringLiteral("VellumGranary (mysnips.db)"));
    EXPECT_EQ(Languages()->currentText(), QStringLiteral("SQL  (4)"));
    EXPECT_EQ(Titles()->model()->rowCount(), 4);
    EXPECT_TRUE(Close());
}
