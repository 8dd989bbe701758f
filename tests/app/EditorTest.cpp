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
        EXPECT_EQ(m_db.Run("BEGIN EXCLUSIVE;"), QString());
    }
    ~WriteLock() { m_db.Run("ROLLBACK;"); }

private:
    CSQLite m_db;
};
}  // namespace

TEST_F(MainWindowTest, OpeningATitleShowsTheStoredItemWithAttachmentNameAndSizesAndCrLfCodeKeptUnlessEdited) {
    StartWithFourItems();
    // Clicking into the title selects its whole text.
    ClickEntry(Titles(), "Charlie");
    QTest::mouseClick(Title(), Qt::LeftButton, {}, QPoint(5, Title()->height() / 2));
    QApplication::processEvents();
    EXPECT_EQ(Title()->selectedText(), "Charlie");
    QTest::keyClicks(Title(), "Delta");
    EXPECT_EQ(Title()->text(), "Delta");
    prompt->answers << CPrompt::vbNo;
    ASSERT_EQ(gDB->Run(QStringLiteral("UPDATE ftsItem SET File = 'notes.txt' WHERE DOCID = 2;"
                                      "UPDATE tblItem SET FileSize = 2000, FileBLOB = x'00112233', "
                                      "LastUpdate = LastUpdate + 0.5 WHERE ID = 2;")),
              QString());
    ClickEntry(Titles(), "Bravo");
    EXPECT_EQ(LabelText("lblItemNo"), "Item# 1");
    EXPECT_EQ(Title()->text(), "Bravo");
    EXPECT_EQ(Body()->text(), "select 2");
    EXPECT_EQ(ItemCategories()->text(), "Queries");
    EXPECT_EQ(LabelText("lblLastUpdate"), "Updated: 01/31/2024 13:05");
    EXPECT_EQ(Find<QLineEdit>("txtFileName")->text(), QString());
    EXPECT_EQ(LabelText("lblFileSize"), QString());
    EXPECT_FALSE(win->ItemChanged());

    ClickEntry(Titles(), "Delta");
    EXPECT_EQ(ItemCategories()->text(), "Queries,Paging");
    EXPECT_EQ(Find<QLineEdit>("txtFileName")->text(), "notes.txt");
    EXPECT_EQ(LabelText("lblFileSize"), "1.95 KB");
    EXPECT_EQ(Find<QLabel>("lblFileSize")->toolTip(), "4 bytes Compressed");

    // Each of the three text boxes marks the item changed.
    for (QWidget* box : {static_cast<QWidget*>(Title()), static_cast<QWidget*>(Body()),
                         static_cast<QWidget*>(ItemCategories())}) {
        ClickEntry(Titles(), "Bravo");
        ClickEntry(Titles(), "Delta");
        ASSERT_FALSE(win->ItemChanged());
        box->setFocus();
        QTest::keyClicks(box, "x");
        EXPECT_TRUE(win->ItemChanged()) << box->objectName().toStdString();
        prompt->answers << CPrompt::vbNo;
    }

    // Code stored with CR LF shows with line feeds and is stored unchanged unless edited.
    ASSERT_EQ(gDB->Run("UPDATE ftsItem SET Code = 'select 2' || char(13, 10) || 'from t' || char(13, 10) WHERE DOCID = 1"), QString());
    PickLanguage("SQL  (2)");
    ClickEntry(Titles(), "Bravo");
    const qsizetype messages = prompt->Messages().size();
    EXPECT_EQ(Body()->text(), "select 2\nfrom t\n");
    EXPECT_FALSE(win->ItemChanged());
    Type(Title(), "Bravo 2");
    Click("cmdSave");
    EXPECT_EQ(Stored("Title", 1), "Bravo 2");
    EXPECT_EQ(Stored("Code", 1), "select 2\r\nfrom t\r\n");
    // An edit stores what the pane shows.
    Body()->setFocus();
    QTest::keyClick(Body(), Qt::Key_End);
    QTest::keyClicks(Body(), ";");
    Click("cmdSave");
    EXPECT_EQ(Stored("Code", 1), "select 2;\nfrom t\n");
    EXPECT_EQ(prompt->Messages().size(), messages);
}

TEST_F(MainWindowTest, SaveRefusesWithoutLanguageOrCategoryOffersToMergeAndTakesTheSelectedCategory) {
    StartWithFourItems();
    Click("cmdNew");
    QTest::keyClicks(Title(), "Orphan");
    Click("cmdSave");
    EXPECT_EQ(prompt->Messages(), QStringList{"Please select a language before saving"});

    PickLanguage("SQL  (2)");
    for (const char* none : {"", " , "}) {
        ItemCategories()->setText(QLatin1String(none));
        Click("cmdSave");
        EXPECT_EQ(prompt->Messages().last(),
                  "Please select a category or enter one or more categories separated by commas");
    }
    EXPECT_EQ(Title()->text(), "Orphan");
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(prompt->beeps, 0);

    // A new item with an existing title is offered for merging.
    Type(Title(), "Bravo");
    Type(ItemCategories(), "Joins");
    Body()->SetCode("select 22");
    prompt->answers << CPrompt::vbYes;
    Click("cmdSave");
    EXPECT_EQ(prompt->Messages().last(), "Merge this with existing item #1?");
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(ItemCategories()->text().split(QLatin1Char(',')).size(), 2);
    EXPECT_EQ(ItemCount(), 4);
    // The text typed for the new item is kept below the stored one.
    EXPECT_TRUE(Body()->Code().startsWith("select 2\n\n--- Added by merge on ")) << Body()->Code().toStdString();
    EXPECT_TRUE(Body()->Code().endsWith(" ---\nselect 22"));

    // No category typed: the selected one is taken.
    prompt->shown.clear();
    prompt->beeps = 0;
    ClickEntry(Categories(), "Paging  (1)");
    Click("cmdNew");
    EXPECT_TRUE(Title()->hasFocus());
    QTest::keyClicks(Title(), "Echo");
    Body()->setFocus();
    QTest::keyClicks(Body(), "select 5");
    QTest::keyClick(Body(), Qt::Key_Return);
    QTest::keyClick(Body(), Qt::Key_Tab);
    QTest::keyClicks(Body(), "limit 10");
    Click("cmdSave");

    EXPECT_EQ(prompt->Messages(), QStringList());
    EXPECT_EQ(win->CurrentItemID(), 5);
    EXPECT_EQ(LabelText("lblItemNo"), "Item# 5");
    EXPECT_EQ(ItemCategories()->text(), "Paging");
    EXPECT_FALSE(win->ItemChanged());
    EXPECT_EQ(prompt->beeps, 1);
    EXPECT_TRUE(LabelText("lblLastUpdate").startsWith("Updated: "));
    // The lists were reloaded with the new counts, keeping the selections.
    EXPECT_EQ(Languages()->currentText(), "SQL  (3)");
    EXPECT_EQ(Selected(Categories()), "Paging  (2)");
    EXPECT_EQ(Entries(Titles()), (QStringList{"Delta", "Echo"}));
    EXPECT_EQ(Stored("Code", 5), "select 5\n\tlimit 10");

    // A typed language with parentheses is saved and remembered as typed.
    AddItem("SQL (legacy)", "Old join", QString(), "Joins");
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblType WHERE Name = 'SQL (legacy)'").toInt(), 1);
    EXPECT_EQ(Languages()->currentText(), "SQL (legacy)  (1)");

    // The next start selects it again, not the SQL entry its name begins with.
    ASSERT_TRUE(Close());
    EXPECT_EQ(Setting("LastLanguage"), "SQL (legacy)");
    Start();
    EXPECT_EQ(Languages()->currentText(), "SQL (legacy)  (1)");
}

TEST_F(MainWindowTest, SaveOrDeleteOnALockedFileTellsWhyAndKeepsTheEditsAndDeleteAsksFirst) {
    // Another program holds the file locked: the engine refuses and says so.
    StartWithFourItems();
    PickLanguage("SQL  (2)");
    ClickEntry(Titles(), "Bravo");
    Type(Title(), "Bravo locked");
    {
        WriteLock lock(dbPath);
        Click("cmdSave");
    }
    ASSERT_EQ(prompt->Messages().size(), 1);
    EXPECT_TRUE(prompt->Messages()[0].startsWith("Unable to save this item.\n"));
    EXPECT_TRUE(prompt->Messages()[0].contains("locked")) << prompt->Messages()[0].toStdString();
    EXPECT_EQ(Title()->text(), "Bravo locked");
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(prompt->beeps, 0);

    // Once the lock is gone the same edits save.
    Click("cmdSave");
    EXPECT_EQ(Stored("Title", 1), "Bravo locked");
    EXPECT_FALSE(win->ItemChanged());

    // Delete asks and removes only the title until the next reload.
    ClickEntry(Titles(), "Delta");

    prompt->answers << CPrompt::vbCancel;
    Click("cmdDelete");
    EXPECT_EQ(prompt->shown.last().text, "Are you sure you want to delete this item?");
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(Title()->text(), "Delta");

    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(ItemCount(), 3);
    EXPECT_EQ(Entries(Titles()), QStringList{"Bravo locked"});
    EXPECT_EQ(Title()->text(), QString());
    EXPECT_EQ(LabelText("lblItemNo"), "Not Saved");
    EXPECT_FALSE(win->ItemChanged());
    // The counts follow the delete at once.
    EXPECT_EQ(Languages()->currentText(), "SQL  (1)");

    // A never saved item: nothing is deleted, the editor is cleared.
    QTest::keyClicks(Title(), "Scratch");
    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(ItemCount(), 3);
    EXPECT_EQ(Title()->text(), QString());
    EXPECT_FALSE(win->ItemChanged());
    // A delete the database refuses keeps the item and its edits in the editor.
    ClickEntry(Titles(), "Bravo locked");
    Type(Body(), "select 22");
    const int messages = prompt->Messages().size();
    {
        WriteLock lock(dbPath);
        prompt->answers << CPrompt::vbOK;
        Click("cmdDelete");
    }
    ASSERT_EQ(prompt->Messages().size(), messages + 2);
    EXPECT_TRUE(prompt->Messages().last().startsWith("Unable to delete this item."));
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(Body()->text(), "select 22");
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(ItemCount(), 3);
    EXPECT_EQ(Entries(Titles()), QStringList{"Bravo locked"});
    prompt->answers << CPrompt::vbNo;
}

