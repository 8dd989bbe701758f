// The three browse levels, their counts, the selection kept across reloads, the sort label, and
// opening a title while the editor holds edits.
#include "MainWindowFixture.h"

#include "db/CSQLite.h"
#include "exchange/basImport.h"

#include <QFile>

TEST_F(MainWindowTest, LanguageCategoryAndTitleListsNarrowEachOtherByClickOrKey) {
    StartWithFourItems();
    EXPECT_EQ(Entries(Languages()), (QStringList{"<All Languages>  (4)", "Python  (2)", "SQL  (2)"}));
    EXPECT_EQ(Entries(Titles()), (QStringList{"Alpha", "Bravo", "Charlie", "Delta"}));

    // A language's category total counts item-category pairs.
    PickLanguage("SQL  (2)");
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (2)", "Paging  (1)", "Queries  (2)"}));
    EXPECT_EQ(Selected(Categories()), "<All Categories>  (2)");
    EXPECT_EQ(Entries(Titles()), (QStringList{"Bravo", "Delta"}));

    ClickEntry(Categories(), "Paging  (1)");
    EXPECT_EQ(Entries(Titles()), QStringList{"Delta"});
    // Browsing does not touch the editor.
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_EQ(Title()->text(), QString());

    // Python has no Paging: no category stays selected and every Python title shows.
    PickLanguage("Python  (2)");
    EXPECT_EQ(Selected(Categories()), QString());
    EXPECT_EQ(Entries(Titles()), (QStringList{"Alpha", "Charlie"}));

    // A category of the same name stays selected when the language changes.
    ClickEntry(Categories(), "Queries  (1)");
    EXPECT_EQ(Entries(Titles()), QStringList{"Alpha"});
    PickLanguage("SQL  (2)");
    EXPECT_EQ(Selected(Categories()), "Queries  (2)");
    EXPECT_EQ(Entries(Titles()), (QStringList{"Bravo", "Delta"}));

    // Tabbing into the titles opens nothing; arrow keys open titles.
    Titles()->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_EQ(Title()->text(), QString());

    QTest::keyClick(Titles(), Qt::Key_Down);
    QApplication::processEvents();
    ASSERT_NE(win->CurrentItemID(), -1);
    const QString first = Title()->text();
    EXPECT_EQ(Selected(Titles()), first);
    QTest::keyClick(Titles(), Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_NE(Title()->text(), first);
    EXPECT_EQ(Selected(Titles()), Title()->text());

    // Moving into the categories with the keyboard filters the titles too.
    ClickEntry(Categories(), "<All Categories>  (2)");
    QTest::keyClick(Categories(), Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(Entries(Titles()), QStringList{"Delta"});

    // Another program breaks the file: a failed read is told once and the lists stay as shown,
    // never emptied as if the database held nothing.
    {
        CSQLite other;
        ASSERT_EQ(other.OpenFile(dbPath), 0);
        ASSERT_EQ(other.Run("ALTER TABLE tblCategory RENAME TO gone"), QString());
    }
    const QStringList categories = Entries(Categories()), titles = Entries(Titles());
    prompt->answers << CPrompt::vbOK;
    PickLanguage("Python  (2)");
    ASSERT_EQ(prompt->Messages().size(), 1);
    EXPECT_TRUE(prompt->Messages()[0].startsWith(QStringLiteral("Unable to read the database: no such table")))
        << prompt->Messages()[0].toStdString();
    EXPECT_EQ(Entries(Categories()), categories);
    EXPECT_EQ(Entries(Titles()), titles);
}

TEST_F(MainWindowTest, TypingALanguageReloadsOnceTheTypingPausesAnUnknownNameSelectsNothingAndTheSortLabelCycles) {
    StartWithFourItems();
    PickLanguage("SQL  (2)");
    ASSERT_EQ(Categories()->count(), 3);
    int reloads = 0;
    const QObject counting;  // ends the count with the test, before the window goes
    QObject::connect(Categories()->model(), &QAbstractItemModel::modelReset, &counting, [&] { ++reloads; });
    Type(Languages()->lineEdit(), "Ru");
    EXPECT_EQ(reloads, 0);
    QTest::qWait(frmMain::kTypingPauseMs + 100);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(Languages()->currentText(), "Ru");
    // Every category of every language (Queries twice, once per language).
    EXPECT_EQ(Categories()->count(), 5);
    EXPECT_EQ(Categories()->item(0)->text(), "<All Categories>  (4)");
    EXPECT_EQ(Titles()->model()->rowCount(), 4);
    // An entry's whole text is a pick: no waiting.
    Type(Languages()->lineEdit(), "SQL  (2)");
    EXPECT_EQ(Categories()->count(), 3);
    EXPECT_EQ(reloads, 2);
    // No completion from the entries: what the user typed stays as typed.
    TypeLanguage("S");
    EXPECT_EQ(Languages()->currentText(), "S");

    // The sort label cycles through four orders and back. Distinct modify times and file sizes;
    // the created order is the item number.
    for (const char* sql : {"UPDATE tblItem SET LastUpdate = 2460000.1, FileSize = 10 WHERE ID = 1",
                               "UPDATE tblItem SET LastUpdate = 2460000.4, FileSize = 30 WHERE ID = 2",
                               "UPDATE tblItem SET LastUpdate = 2460000.2, FileSize = 40 WHERE ID = 3",
                               "UPDATE tblItem SET LastUpdate = 2460000.3, FileSize = 20 WHERE ID = 4"})
        ASSERT_EQ(gDB->Run(sql), QString());
    QLabel* label = Find<QLabel>("lblTitles");
    const QList<QPair<QString, QString>> cycle = {
        {"Modify Date", "Delta Charlie Alpha Bravo"},
        {"Created Date", "Bravo Delta Alpha Charlie"},
        {"File Size", "Alpha Delta Charlie Bravo"},
        {"Name", "Alpha Bravo Charlie Delta"},
    };
    for (const auto& [name, order] : cycle) {
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_EQ(label->text(), QStringLiteral("T&itles: (") + name + QLatin1Char(')'));
        EXPECT_EQ(label->toolTip(), QStringLiteral("Sorted by ") + name + ". Click to change.");
        EXPECT_EQ(Entries(Titles()).join(QLatin1Char(' ')), order) << name.toStdString();
    }
}

TEST_F(MainWindowTest, OpeningATitleOrANewItemWithEditsCancelKeepsYesSavesAndNoDiscards) {
    StartWithFourItems();
    PickLanguage("SQL  (2)");
    ClickEntry(Titles(), "Bravo");
    Type(Title(), "Bravo two");

    prompt->answers << CPrompt::vbCancel;
    ClickEntry(Titles(), "Delta");
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(Title()->text(), "Bravo two");
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(Selected(Titles()), "Bravo");
    EXPECT_EQ(Stored("Title", 1), "Bravo");

    prompt->answers << CPrompt::vbYes;
    ClickEntry(Titles(), "Delta");
    EXPECT_EQ(CountMessages("Save changes to this item?"), 2);
    EXPECT_EQ(Stored("Title", 1), "Bravo two");
    EXPECT_EQ(win->CurrentItemID(), 2);
    EXPECT_EQ(Title()->text(), "Delta");
    EXPECT_EQ(Selected(Titles()), "Delta");
    EXPECT_FALSE(win->ItemChanged());
    EXPECT_EQ(prompt->beeps, 1);

    Type(Body(), "select 44");
    prompt->answers << CPrompt::vbNo;
    ClickEntry(Titles(), "Bravo two");
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(Body()->text(), "select 2");
    EXPECT_FALSE(win->ItemChanged());
    EXPECT_EQ(Stored("Code", 2), "select 4");
    EXPECT_EQ(prompt->beeps, 1);

    // New asks the same; No starts an empty unsaved item and keeps the selections.
    Type(Title(), "Bravo three");
    prompt->answers << CPrompt::vbCancel;
    Click("cmdNew");
    EXPECT_EQ(Title()->text(), "Bravo three");
    EXPECT_EQ(win->CurrentItemID(), 1);
    prompt->answers << CPrompt::vbNo;
    Click("cmdNew");
    for (const QString& text : {Title()->text(), Body()->text(), ItemCategories()->text(), LabelText("lblLastUpdate")})
        EXPECT_EQ(text, QString());
    EXPECT_EQ(LabelText("lblItemNo"), "Not Saved");
    EXPECT_FALSE(win->ItemChanged());
    EXPECT_TRUE(Title()->hasFocus());
    EXPECT_EQ(Languages()->currentText(), "SQL  (2)");
    EXPECT_EQ(Stored("Title", 1), "Bravo two");
}


// Writes made through the store by anyone but the window (another window, an import) reach the
// lists through the change records alone: nothing here calls the window.
TEST_F(MainWindowTest, ListsFollowSavesDeletesRenamesAndImportsMadeOutsideTheWindow) {
    StartWithFourItems();
    PickLanguage("SQL  (2)");
    CItem item;
    item.title = "Echo";
    item.body = "select 5";
    item.language = "SQL";
    item.categories = {"Paging"};
    ASSERT_GT(SaveItem(*gDB, item, {}, nullptr), 0);
    EXPECT_EQ(Entries(Languages()), (QStringList{"<All Languages>  (5)", "Python  (2)", "SQL  (3)"}));
    EXPECT_EQ(Languages()->currentText(), "SQL  (3)");
    EXPECT_EQ(Entries(Titles()), (QStringList{"Bravo", "Delta", "Echo"}));

    ASSERT_TRUE(DeleteItem(*gDB, 1));
    EXPECT_EQ(Entries(Titles()), (QStringList{"Delta", "Echo"}));
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (2)", "Paging  (2)", "Queries  (1)"}));

    const int paging = Categories()->item(1)->data(Qt::UserRole).toInt();
    ASSERT_TRUE(RenameCategory(*gDB, paging, "Pages"));
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (2)", "Pages  (2)", "Queries  (1)"}));

    const QString file = env->Path("more.txt");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("1\tSQL\tQueries\tFoxtrot\tselect 6\t\t2024-02-01 10:00:00\t\r\n");
    }
    ImportSummary summary;
    ASSERT_TRUE(ImportDatabase(*gDB, file, false, &summary)) << summary.error.toStdString();
    EXPECT_EQ(Entries(Titles()), (QStringList{"Delta", "Echo", "Foxtrot"}));
    EXPECT_EQ(Languages()->currentText(), "SQL  (3)");
}

// Counts are of items, each once, and follow every save and delete at once.
TEST_F(MainWindowTest, CountsAreDistinctItemsAndFollowSavesAndDeletes) {
    StartWithFourItems();
    PickLanguage("SQL  (2)");
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (2)", "Paging  (1)", "Queries  (2)"}));
    ClickEntry(Titles(), "Delta");
    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(Entries(Languages()), (QStringList{"<All Languages>  (3)", "Python  (2)", "SQL  (1)"}));
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (1)", "Queries  (1)"}));
    ClickEntry(Titles(), "Bravo");
    Type(ItemCategories(), "Queries,Joins,Views");
    Click("cmdSave");
    EXPECT_EQ(Entries(Languages()), (QStringList{"<All Languages>  (3)", "Python  (2)", "SQL  (1)"}));
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (1)", "Joins  (1)", "Queries  (1)", "Views  (1)"}));
}
