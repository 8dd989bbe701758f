// The item editor: showing an item, the checks before a save, what a save stores, New and
// Delete, and saves or deletes that the database refuses.
#include "MainWindowFixture.h"

#include "db/CSQLite.h"

namespace {
// Holds the database file locked by a second connection, so every write of the window fails.
class WriteLock {
public:
    explicit WriteLock(const QString& file) {
        EXPECT_EQ(m_db.OpenFile(file), 0);
        EXPECT_EQ(m_db.Run(QStringLiteral("BEGIN EXCLUSIVE;")), QString());
    }
    ~WriteLock() { m_db.Run(QStringLiteral("ROLLBACK;")); }

private:
    CSQLite m_db;
};
}  // namespace

TEST_F(MainWindowTest, OpeningATitleShowsTheStoredItemWithAttachmentNameAndSizes) {
    StartWithFourItems();
    // Clicking into the title selects its whole text.
    ClickEntry(Titles(), QStringLiteral("Charlie"));
    QTest::mouseClick(Title(), Qt::LeftButton, {}, QPoint(5, Title()->height() / 2));
    QApplication::processEvents();
    EXPECT_EQ(Title()->selectedText(), QStringLiteral("Charlie"));
    QTest::keyClicks(Title(), QStringLiteral("Delta"));
    EXPECT_EQ(Title()->text(), QStringLiteral("Delta"));
    prompt->answers << CPrompt::vbNo;
    ASSERT_EQ(gDB->Run(QStringLiteral("UPDATE ftsItem SET File = 'notes.txt' WHERE DOCID = 2;"
                                      "UPDATE tblItem SET FileSize = 2000, FileBLOB = x'00112233', "
                                      "LastUpdate = LastUpdate + 0.5 WHERE ID = 2;")),
              QString());
    ClickEntry(Titles(), QStringLiteral("Bravo"));
    EXPECT_EQ(LabelText("lblItemNo"), QStringLiteral("Item# 1"));
    EXPECT_EQ(Title()->text(), QStringLiteral("Bravo"));
    EXPECT_EQ(Body()->text(), QStringLiteral("select 2"));
    EXPECT_EQ(ItemCategories()->text(), QStringLiteral("Queries"));
    EXPECT_EQ(LabelText("lblLastUpdate"), QStringLiteral("Updated: 01/31/2024 13:05"));
    EXPECT_EQ(Find<QLineEdit>("txtFileName")->text(), QString());
    EXPECT_EQ(LabelText("lblFileSize"), QString());
    EXPECT_FALSE(win->ItemChanged());

    ClickEntry(Titles(), QStringLiteral("Delta"));
    EXPECT_EQ(ItemCategories()->text(), QStringLiteral("Queries,Paging"));
    EXPECT_EQ(Find<QLineEdit>("txtFileName")->text(), QStringLiteral("notes.txt"));
    EXPECT_EQ(LabelText("lblFileSize"), QStringLiteral("1.95 KB"));
    EXPECT_EQ(Find<QLabel>("lblFileSize")->toolTip(), QStringLiteral("4 bytes Compressed"));

    // Each of the three text boxes marks the item changed.
    for (QWidget* box : {static_cast<QWidget*>(Title()), static_cast<QWidget*>(Body()),
                         static_cast<QWidget*>(ItemCategories())}) {
        ClickEntry(Titles(), QStringLiteral("Bravo"));
        ClickEntry(Titles(), QStringLiteral("Delta"));
        ASSERT_FALSE(win->ItemChanged());
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("x"));
        EXPECT_TRUE(win->ItemChanged()) << box->objectName().toStdString();
        prompt->answers << CPrompt::vbNo;
    }
}

TEST_F(MainWindowTest, SaveTakesTheSelectedCategoryWhenNoneIsTyped) {
    StartWithFourItems();
    PickLanguage(QStringLiteral("SQL  (2)"));
    ClickEntry(Categories(), QStringLiteral("Paging  (1)"));
    Click("cmdNew");
    EXPECT_TRUE(Title()->hasFocus());
    QTest::keyClicks(Title(), QStringLiteral("Echo"));
    Body()->setFocus();
    QTest::keyClicks(Body(), QStringLiteral("select 5"));
    QTest::keyClick(Body(), Qt::Key_Return);
    QTest::keyClick(Body(), Qt::Key_Tab);
    QTest::keyClicks(Body(), QStringLiteral("limit 10"));
    Click("cmdSave");

    EXPECT_EQ(prompt->Messages(), QStringList());
    EXPECT_EQ(win->CurrentItemID(), 5);
    EXPECT_EQ(LabelText("lblItemNo"), QStringLiteral("Item# 5"));
    EXPECT_EQ(ItemCategories()->text(), QStringLiteral("Paging"));
    EXPECT_FALSE(win->ItemChanged());
    EXPECT_EQ(prompt->beeps, 1);
    EXPECT_TRUE(LabelText("lblLastUpdate").startsWith(QStringLiteral("Updated: ")));
    // The lists were reloaded with the new counts, keeping the selections.
    EXPECT_EQ(Languages()->currentText(), QStringLiteral("SQL  (3)"));
    EXPECT_EQ(Selected(Categories()), QStringLiteral("Paging  (2)"));
    EXPECT_EQ(Entries(Titles()), (QStringList{QStringLiteral("Delta"), QStringLiteral("Echo")}));
    EXPECT_EQ(Stored("Code", 5),
              QStringLiteral("select 5\n\tlimit 10"));
}

TEST_F(MainWindowTest, CrLfCodeShowsWithLineFeedsAndIsStoredUnchangedUnlessEdited) {
    QList<SampleItem> items = FourItems();
    items[0].body = QStringLiteral("select 2\r\nfrom t\r\n");
    MakeDatabase(items);
    Start();
    const QString stored = QStringLiteral("SELECT Code FROM ftsItem WHERE DOCID = 1");
    PickLanguage(QStringLiteral("SQL  (2)"));
    ClickEntry(Titles(), QStringLiteral("Bravo"));
    EXPECT_EQ(Body()->text(), QStringLiteral("select 2\nfrom t\n"));
    EXPECT_FALSE(win->ItemChanged());
    Type(Title(), QStringLiteral("Bravo 2"));
    Click("cmdSave");
    EXPECT_EQ(Stored("Title", 1), QStringLiteral("Bravo 2"));
    EXPECT_EQ(Scalar(stored).toString(), items[0].body);
    // An edit stores what the pane shows.
    Body()->setFocus();
    QTest::keyClick(Body(), Qt::Key_End);
    QTest::keyClicks(Body(), QStringLiteral(";"));
    Click("cmdSave");
    EXPECT_EQ(Scalar(stored).toString(), QStringLiteral("select 2;\nfrom t\n"));
    EXPECT_EQ(prompt->Messages(), QStringList());
}

TEST_F(MainWindowTest, SaveRefusesWithoutLanguageOrCategoryAndOffersToMergeAnExistingTitle) {
    StartWithFourItems();
    Click("cmdNew");
    QTest::keyClicks(Title(), QStringLiteral("Orphan"));
    Click("cmdSave");
    EXPECT_EQ(prompt->Messages(), QStringList{QStringLiteral("Please select a language before saving")});

    PickLanguage(QStringLiteral("SQL  (2)"));
    for (const char* none : {"", " , "}) {
        ItemCategories()->setText(QLatin1String(none));
        Click("cmdSave");
        EXPECT_EQ(prompt->Messages().last(),
                  QStringLiteral("Please select a category or enter one or more categories separated by commas"));
    }
    EXPECT_EQ(Title()->text(), QStringLiteral("Orphan"));
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(prompt->beeps, 0);

    // A new item with an existing title is offered for merging.
    Type(Title(), QStringLiteral("Bravo"));
    Type(ItemCategories(), QStringLiteral("Joins"));
    prompt->answers << CPrompt::vbYes;
    Click("cmdSave");
    EXPECT_EQ(prompt->Messages().last(), QStringLiteral("Merge this with existing item #1?"));
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(ItemCategories()->text().split(QLatin1Char(',')).size(), 2);
    EXPECT_EQ(ItemCount(), 4);
}

TEST_F(MainWindowTest, SaveWithoutAnOpenDatabaseOrOnALockedFileTellsWhyAndKeepsTheEdits) {
    // First run: nothing is open.
    Start();
    TypeLanguage(QStringLiteral("SQL"));
    QTest::keyClicks(Title(), QStringLiteral("Nowhere"));
    Type(ItemCategories(), QStringLiteral("Queries"));
    Click("cmdSave");
    ASSERT_EQ(prompt->Messages().size(), 1);
    EXPECT_TRUE(prompt->Messages()[0].startsWith(QStringLiteral("Unable to save this item.\n")));
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_EQ(LabelText("lblItemNo"), QStringLiteral("Not Saved"));

    // Another program holds the file locked: the engine refuses and says so.
    win.reset();
    prompt->shown.clear();
    StartWithFourItems();
    PickLanguage(QStringLiteral("SQL  (2)"));
    ClickEntry(Titles(), QStringLiteral("Bravo"));
    Type(Title(), QStringLiteral("Bravo locked"));
    {
        WriteLock lock(dbPath);
        Click("cmdSave");
    }
    ASSERT_EQ(prompt->Messages().size(), 1);
    EXPECT_TRUE(prompt->Messages()[0].startsWith(QStringLiteral("Unable to save this item.\n")));
    EXPECT_TRUE(prompt->Messages()[0].contains(QStringLiteral("locked"))) << prompt->Messages()[0].toStdString();
    EXPECT_EQ(Title()->text(), QStringLiteral("Bravo locked"));
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(prompt->beeps, 0);

    // Once the lock is gone the same edits save.
    Click("cmdSave");
    EXPECT_EQ(Stored("Title", 1), QStringLiteral("Bravo locked"));
    EXPECT_FALSE(win->ItemChanged());
}

TEST_F(MainWindowTest, NewAsksAboutEditsAndStartsAnEmptyUnsavedItem) {
    StartWithFourItems();
    PickLanguage(QStringLiteral("SQL  (2)"));
    ClickEntry(Titles(), QStringLiteral("Bravo"));
    Type(Title(), QStringLiteral("Bravo two"));

    prompt->answers << CPrompt::vbCancel;
    Click("cmdNew");
    EXPECT_EQ(Title()->text(), QStringLiteral("Bravo two"));
    EXPECT_EQ(win->CurrentItemID(), 1);

    prompt->answers << CPrompt::vbNo;
    Click("cmdNew");
    EXPECT_EQ(Title()->text(), QString());
    EXPECT_EQ(Body()->text(), QString());
    EXPECT_EQ(ItemCategories()->text(), QString());
    EXPECT_EQ(LabelText("lblLastUpdate"), QString());
    EXPECT_EQ(LabelText("lblItemNo"), QStringLiteral("Not Saved"));
    EXPECT_FALSE(win->ItemChanged());
    EXPECT_TRUE(Title()->hasFocus());
    // The selections stay for the next save.
    EXPECT_EQ(Languages()->currentText(), QStringLiteral("SQL  (2)"));
    EXPECT_EQ(Stored("Title", 1), QStringLiteral("Bravo"));
}

TEST_F(MainWindowTest, DeleteAsksRemovesOnlyTheTitleUntilTheNextReloadAndARefusedOneKeepsTheEdits) {
    StartWithFourItems();
    PickLanguage(QStringLiteral("SQL  (2)"));
    ClickEntry(Titles(), QStringLiteral("Delta"));

    prompt->answers << CPrompt::vbCancel;
    Click("cmdDelete");
    EXPECT_EQ(prompt->shown.last().text, QStringLiteral("Are you sure you want to delete this item?"));
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(Title()->text(), QStringLiteral("Delta"));

    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(ItemCount(), 3);
    EXPECT_EQ(Entries(Titles()), QStringList{QStringLiteral("Bravo")});
    EXPECT_EQ(Title()->text(), QString());
    EXPECT_EQ(LabelText("lblItemNo"), QStringLiteral("Not Saved"));
    EXPECT_FALSE(win->ItemChanged());
    // Only the titles were reloaded; the counts wait for the next full reload.
    EXPECT_EQ(Languages()->currentText(), QStringLiteral("SQL  (2)"));

    // A never saved item: nothing is deleted, the editor is cleared.
    QTest::keyClicks(Title(), QStringLiteral("Scratch"));
    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(ItemCount(), 3);
    EXPECT_EQ(Title()->text(), QString());
    EXPECT_FALSE(win->ItemChanged());
    // A delete the database refuses keeps the item and its edits in the editor.
    ClickEntry(Titles(), QStringLiteral("Bravo"));
    Type(Body(), QStringLiteral("select 22"));
    const int messages = prompt->Messages().size();
    {
        WriteLock lock(dbPath);
        prompt->answers << CPrompt::vbOK;
        Click("cmdDelete");
    }
    ASSERT_EQ(prompt->Messages().size(), messages + 2);
    EXPECT_TRUE(prompt->Messages().last().startsWith(QStringLiteral("Unable to delete this item.")));
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(Body()->text(), QStringLiteral("select 22"));
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(ItemCount(), 3);
    EXPECT_EQ(Entries(Titles()), QStringList{QStringLiteral("Bravo")});
    prompt->answers << CPrompt::vbNo;
}

TEST_F(MainWindowTest, TypedLanguageWithParenthesesIsSavedAndRememberedAsTyped) {
    StartWithFourItems();
    TypeLanguage(QStringLiteral("SQL (legacy)"));
    QTest::keyClicks(Title(), QStringLiteral("Old join"));
    Type(ItemCategories(), QStringLiteral("Joins"));
    Click("cmdSave");
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM tblType WHERE Name = 'SQL (legacy)'")).toInt(), 1);
    EXPECT_EQ(Languages()->currentText(), QStringLiteral("SQL (legacy)  (1)"));

    // The next start selects it again, not the SQL entry its name begins with.
    ASSERT_TRUE(Close());
    EXPECT_EQ(Setting(QStringLiteral("LastLanguage")), QStringLiteral("SQL (legacy)"));
    Start();
    EXPECT_EQ(Languages()->currentText(), QStringLiteral("SQL (legacy)  (1)"));
}
