// Find and the Edit menu, driven through the menus, the buttons and the real shortcuts.
#include "MainWindowFixture.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>

TEST_F(MainWindowTest, FindNarrowsTheTitlesWithinTheSelectionAndClearShowsAllAgain) {
    StartWithFourItems();
    // A malformed query says why and leaves the lists and the edits, asking nothing.
    ClickEntry(Titles(), "Alpha");
    Type(Title(), "Alpha edited");
    const QStringList before = Entries(Titles());
    for (const char* query : {"\"unbalanced", "select OR", "OR", "(select"}) {
        prompt->shown.clear();
        prompt->texts << QLatin1String(query);
        Trigger("mnuEditFind");
        QApplication::processEvents();
        const QStringList msgs = prompt->Messages();
        ASSERT_EQ(msgs.size(), 1) << query;
        EXPECT_TRUE(msgs.first().startsWith("Search error: ")) << query;
        EXPECT_EQ(Entries(Titles()), before) << query;
        EXPECT_EQ(Title()->text(), "Alpha edited") << query;
        EXPECT_TRUE(win->ItemChanged()) << query;
    }

    // A good query: the edits are offered for saving first (No drops them), then the first hit
    // is opened as a click would, its words marked until the code is edited.
    prompt->texts << "select";
    prompt->answers << CPrompt::vbNo;
    Trigger("mnuEditFind");
    QApplication::processEvents();
    EXPECT_EQ(CountMessages("Save changes to this item?"), 1);
    EXPECT_EQ(Entries(Titles()), (QStringList{"Bravo", "Delta"}));
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(Title()->text(), "Bravo");
    EXPECT_FALSE(win->ItemChanged());
    EXPECT_EQ(Marked(), QStringList{"select"});
    // The focus is in the hits, so the next key cannot replace the title.
    EXPECT_TRUE(Titles()->hasFocus());
    EXPECT_FALSE(Title()->hasSelectedText());
    Body()->setFocus();
    QTest::keyClick(Body(), Qt::Key_End);
    QTest::keyClicks(Body(), " ");
    EXPECT_EQ(Marked(), QStringList());
    // Another hit shows its own marks.
    prompt->answers << CPrompt::vbNo;
    ClickEntry(Titles(), "Delta");
    EXPECT_EQ(Marked(), QStringList{"select"});

    // Ctrl+F from the code box; the last text is offered again. A category limits the hits.
    PickLanguage("SQL  (2)");
    ClickEntry(Categories(), "Paging  (1)");
    Body()->setFocus();
    prompt->texts << "select";
    QTest::keyClick(Body(), Qt::Key_F, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(prompt->shown.last().value, "select");
    EXPECT_EQ(Entries(Titles()), QStringList{"Delta"});

    // No hits: the message, the list as it was, the editor cleared by New.
    prompt->texts << "zebra";
    Click("cmdFind");
    EXPECT_EQ(prompt->Messages().last(), "No items found");
    EXPECT_EQ(Entries(Titles()), QStringList{"Delta"});
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_EQ(Title()->text(), QString());

    // Cancel searches nothing and empties the next default.
    const int shown = prompt->shown.size();
    prompt->texts << QString() << QString();
    Click("cmdFind");
    Click("cmdFind");
    ASSERT_EQ(prompt->shown.size(), shown + 2);
    EXPECT_EQ(prompt->shown.last().value, QString());

    // Clear reloads everything, counts included.
    PickLanguage("<All Languages>  (4)");
    ClickRow(Categories(), 0);
    prompt->texts << "print";
    Trigger("mnuEditFind");
    QApplication::processEvents();
    EXPECT_EQ(Entries(Titles()), (QStringList{"Alpha", "Charlie"}));
    EXPECT_EQ(Marked(), QStringList{"print"});
    int id = -1;
    ASSERT_GT(SaveItem("SQL", id, "Echo", "x", "Queries", "2024-02-01 10:00:00", false,
                       TimeBase::Local),
              0);
    Click("cmdFindClear");
    EXPECT_EQ(Titles()->model()->rowCount(), 5);
    EXPECT_EQ(Marked(), QStringList());
    EXPECT_EQ(Languages()->currentText(), "<All Languages>  (5)");
}

TEST_F(MainWindowTest, PasteIntoTheTitleKeepsOneLineAndClipboardCommandsActOnTheFocusedBoxOnly) {
    StartWithFourItems();
    QClipboard* clip = QGuiApplication::clipboard();
    // The clipboard commands act on the focused box only.
    ClickEntry(Titles(), "Delta");
    clip->setText("kept");

    // Nothing selected: Copy and Cut leave the clipboard and the box alone.
    Body()->setFocus();
    Body()->setCursorPosition(0, 0);
    QTest::keyClick(Body(), Qt::Key_C, Qt::ControlModifier);
    Trigger("mnuEditCut");
    EXPECT_EQ(clip->text(), "kept");
    EXPECT_EQ(Body()->text(), "select 4");

    // Select All, Cut and Paste in the code box, lines kept.
    Body()->SetCode("one\ntwo");
    QTest::keyClick(Body(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Body(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(clip->text(), "one\ntwo");
    EXPECT_EQ(Body()->text(), QString());
    QTest::keyClick(Body(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Body()->text(), "one\ntwo");

    // A list has no selection to copy; Select All in the language combo does nothing.
    clip->setText("kept");
    Titles()->setFocus();
    QTest::keyClick(Titles(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clip->text(), "kept");
    QLineEdit* combo = Languages()->lineEdit();
    combo->setFocus();
    combo->setCursorPosition(0);
    QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
    EXPECT_FALSE(combo->hasSelectedText());
    // The menu's Cut, Copy and Paste work in the combo as its keys do.
    const QString language = Languages()->currentText();
    Languages()->setFocus();
    combo->selectAll();
    Trigger("mnuEditCopy");
    EXPECT_EQ(clip->text(), language);
    Trigger("mnuEditCut");
    EXPECT_EQ(combo->text(), QString());
    Trigger("mnuEditPaste");
    EXPECT_EQ(combo->text(), language);
    // The attachment name is copied but never cut away.
    QLineEdit* file = Find<QLineEdit>("txtFileName");
    file->setText("notes.txt");
    file->setFocus();
    QTest::keyClick(file, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(file, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(clip->text(), "notes.txt");
    EXPECT_EQ(file->text(), "notes.txt");
    EXPECT_TRUE(prompt->Messages().isEmpty());
    prompt->answers << CPrompt::vbNo;

    // A paste into the title keeps one line and puts the rest before the code, on a line of its
    // own, its first line's indentation kept; a selection in the code pane is never replaced.
    struct Case {
        QString clipboard, title, body;  // pasted into "Alpha" (whole title selected) / "print(1)"
        bool codeSelected = false;
    };
    const QList<Case> cases = {
        {"Title line\n\nbody", "Title line", "body\nprint(1)"},
        {"Title line\r\n\r\n  body\r\nmore\r\n", "Title line", "  body\nmore\nprint(1)"},
        {"Title line\n    if x:\n        y", "Title line", "    if x:\n        y\nprint(1)", true},
        {"Only a title\n \t\n", "Only a title", "print(1)", true},
        {"One line", "One line", "print(1)", true},
    };
    for (const Case& c : cases) {
        ClickEntry(Titles(), "Bravo");
        ClickEntry(Titles(), "Alpha");
        if (c.codeSelected) Body()->selectAll();
        clip->setText(c.clipboard);
        Title()->setFocus();
        Title()->selectAll();
        QTest::keyClick(Title(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(Title()->text(), c.title) << c.clipboard.toStdString();
        EXPECT_EQ(Body()->text(), c.body) << c.clipboard.toStdString();
        EXPECT_TRUE(win->ItemChanged());
        if (c.body != "print(1)") {
            EXPECT_EQ(Body()->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS), 0);
        }
        prompt->answers << CPrompt::vbNo;
    }
    ClickEntry(Titles(), "Bravo");

    // A single line replaces the selection only; Shift+Insert and the box's own menu take the
    // same road.
    clip->setText("XY");
    Title()->setFocus();
    Title()->setSelection(1, 2);
    QTest::keyClick(Title(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Title()->text(), "BXYvo");
    clip->setText("Menu title\nmenu body");
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5), Title()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Title(), &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions())
        if (a->text().startsWith("&Paste")) a->trigger();
    menu->close();
    EXPECT_EQ(Title()->text(), "Menu title");
    EXPECT_TRUE(Body()->text().startsWith("menu body"));
    prompt->answers << CPrompt::vbNo;
}

TEST_F(MainWindowTest, RenameCategoryRenamesOrMergesAndRefusesWhatItCannotStore) {
    MakeDatabase({{"C", "One", "a", "Win32"}, {"C", "Two", "b", "API"}, {"C", "Three", "c", "API,Win32"}});
    Start();
    Trigger("mnuEditRenameCategory");
    EXPECT_EQ(prompt->Messages(), QStringList{"Please select a category"});

    // Cancel and a refused name keep the category selected.
    ClickEntry(Categories(), "Win32  (2)");
    prompt->texts << QString() << "A,B" << "   ";
    for (int i = 0; i < 3; ++i) {
        Trigger("mnuEditRenameCategory");
        EXPECT_EQ(Selected(Categories()), "Win32  (2)");
    }
    EXPECT_EQ(prompt->Messages().mid(1),
              (QStringList{"Unable to rename the category.\nA category name cannot contain a comma",
                           "Unable to rename the category.\nA category name cannot be empty"}));

    // Win32 into API: one category API with all three items, selected; the shown item follows.
    ClickEntry(Titles(), "One");
    prompt->texts << "API";
    Trigger("mnuEditRenameCategory");
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (3)", "API  (3)"}));
    EXPECT_EQ(Selected(Categories()), "API  (3)");
    EXPECT_EQ(Titles()->model()->rowCount(), 3);
    EXPECT_EQ(ItemCategories()->text(), "API");
    EXPECT_FALSE(win->ItemChanged());

    prompt->texts << "Windows API";
    Trigger("mnuEditRenameCategory");
    EXPECT_EQ(Selected(Categories()), "Windows API  (3)");
}

TEST_F(MainWindowTest, FindListsTheBestHitFirstAndTheCaptionSortsTheSameHits) {
    StartWithFourItems();
    int id = -1;
    ASSERT_GT(SaveItem("Python", id, "Zeta parser", "x = 1", "Files", "2024-02-01 10:00:00", false, TimeBase::Local), 0);
    id = -1;
    ASSERT_GT(SaveItem("Python", id, "Alpha two", "parseArgs(parser)", "Files", "2024-02-02 10:00:00", false,
                       TimeBase::Local),
              0);
    prompt->texts << "parser";
    Trigger("mnuEditFind");
    QApplication::processEvents();
    // The title's match first; the code's word marked where "parser" is a part of it.
    EXPECT_EQ(Entries(Titles()), (QStringList{"Zeta parser", "Alpha two"}));
    ClickEntry(Titles(), "Alpha two");
    EXPECT_EQ(Marked(), QStringList{"parser"});
    QLabel* label = Find<QLabel>("lblTitles");
    EXPECT_EQ(label->text(), "T&itles: (Best match)");
    const QList<QPair<QString, QStringList>> cycle = {
        {"Modify Date", {"Alpha two", "Zeta parser"}},
        {"Created Date", {"Zeta parser", "Alpha two"}},
        {"File Size", {"Alpha two", "Zeta parser"}},
        {"Name", {"Alpha two", "Zeta parser"}},
    };
    for (const auto& [name, order] : cycle) {
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_EQ(Entries(Titles()), order) << name.toStdString();
        EXPECT_EQ(label->text(), "T&itles: (" + name + ")");
    }
    // Found again and cleared: the caption names the list's order again.
    prompt->texts << "parser";
    Trigger("mnuEditFind");
    EXPECT_EQ(label->text(), "T&itles: (Best match)");
    Click("cmdFindClear");
    EXPECT_EQ(Titles()->model()->rowCount(), 6);
    EXPECT_EQ(label->text(), "T&itles: (Name)");
}
