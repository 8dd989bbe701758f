// Find and the Edit menu, driven through the menus, the buttons and the real shortcuts.
#include "MainWindowFixture.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>

namespace {
const QString kFindPrompt = QStringLiteral(
    "Enter search text. All currently displayed items will be searched. See help for options.");
}  // namespace

TEST_F(MainWindowTest, FindNarrowsTheTitlesWithinTheSelectionAndClearShowsAllAgain) {
    StartWithFourItems();
    prompt->texts << QStringLiteral("select");
    Trigger("mnuEditFind");
    QApplication::processEvents();
    EXPECT_EQ(prompt->shown.last().text, kFindPrompt);
    EXPECT_EQ(prompt->shown.last().value, QString());
    EXPECT_EQ(Entries(Titles()), (QStringList{QStringLiteral("Bravo"), QStringLiteral("Delta")}));
    // The first hit is opened as a click would, its words marked until the code is edited.
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(Title()->text(), QStringLiteral("Bravo"));
    EXPECT_EQ(Marked(), QStringList{QStringLiteral("select")});
    Body()->setFocus();
    QTest::keyClick(Body(), Qt::Key_End);
    QTest::keyClicks(Body(), QStringLiteral(" "));
    EXPECT_EQ(Marked(), QStringList());
    // Another hit shows its own marks.
    prompt->answers << CPrompt::vbNo;
    ClickEntry(Titles(), QStringLiteral("Delta"));
    EXPECT_EQ(Marked(), QStringList{QStringLiteral("select")});

    // Ctrl+F from the code box; the last text is offered again. A category limits the hits.
    PickLanguage(QStringLiteral("SQL  (2)"));
    ClickEntry(Categories(), QStringLiteral("Paging  (1)"));
    Body()->setFocus();
    prompt->texts << QStringLiteral("select");
    QTest::keyClick(Body(), Qt::Key_F, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(prompt->shown.last().value, QStringLiteral("select"));
    EXPECT_EQ(Entries(Titles()), QStringList{QStringLiteral("Delta")});

    // No hits: the message, the list as it was, the editor cleared by New.
    prompt->texts << QStringLiteral("zebra");
    Click("cmdFind");
    EXPECT_EQ(prompt->Messages().last(), QStringLiteral("No items found"));
    EXPECT_EQ(Entries(Titles()), QStringList{QStringLiteral("Delta")});
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
    PickLanguage(QStringLiteral("<All Languages>  (4)"));
    ClickRow(Categories(), 0);
    prompt->texts << QStringLiteral("print");
    Trigger("mnuEditFind");
    QApplication::processEvents();
    EXPECT_EQ(Entries(Titles()), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Charlie")}));
    EXPECT_EQ(Marked(), QStringList{QStringLiteral("print")});
    int id = -1;
    ASSERT_GT(SaveItem(QStringLiteral("SQL"), id, QStringLiteral("Echo"), QStringLiteral("x"),
                       QStringLiteral("Queries"), QStringLiteral("2024-02-01 10:00:00"), false, true,
                       TimeBase::Local),
              0);
    Click("cmdFindClear");
    EXPECT_EQ(Titles()->model()->rowCount(), 5);
    EXPECT_EQ(Marked(), QStringList());
    EXPECT_EQ(Languages()->currentText(), QStringLiteral("<All Languages>  (5)"));
}

TEST_F(MainWindowTest, FindAsksAboutEditsAndAMalformedQueryLeavesListsAndEditor) {
    StartWithFourItems();
    ClickEntry(Titles(), QStringLiteral("Alpha"));
    Type(Title(), QStringLiteral("Alpha edited"));
    const QStringList before = Entries(Titles());
    for (const char* query : {"\"unbalanced", "select OR", "OR", "(select"}) {
        prompt->shown.clear();
        prompt->texts << QLatin1String(query);
        Trigger("mnuEditFind");
        QApplication::processEvents();
        const QStringList msgs = prompt->Messages();
        ASSERT_EQ(msgs.size(), 1) << query;  // no save question
        EXPECT_TRUE(msgs.first().startsWith(QStringLiteral("Search error: "))) << query;
        EXPECT_EQ(Entries(Titles()), before) << query;
        EXPECT_EQ(Title()->text(), QStringLiteral("Alpha edited")) << query;
        EXPECT_TRUE(win->ItemChanged()) << query;
    }

    // A good query: the edits are offered for saving first (No drops them), then the first hit.
    prompt->texts << QStringLiteral("select");
    prompt->answers << CPrompt::vbNo;
    Trigger("mnuEditFind");
    QApplication::processEvents();
    EXPECT_EQ(CountMessages(QStringLiteral("Save changes to this item?")), 1);
    EXPECT_EQ(Title()->text(), QStringLiteral("Bravo"));
    EXPECT_FALSE(win->ItemChanged());
}

TEST_F(MainWindowTest, PasteIntoTheTitleKeepsOneLineAndSendsTheRestToTheCode) {
    StartWithFourItems();
    QClipboard* clip = QGuiApplication::clipboard();
    struct Case {
        QString clipboard, title, body;  // pasted into "Alpha" (whole title selected) / "print(1)"
    };
    const QList<Case> cases = {
        {QStringLiteral("Title line\n\nbody"), QStringLiteral("Title line"), QStringLiteral("bodyprint(1)")},
        {QStringLiteral("Title line\r\n\r\n  body\r\nmore\r\n"), QStringLiteral("Title line"),
         QStringLiteral("body\nmoreprint(1)")},
        {QStringLiteral("Only a title\n \t\n"), QStringLiteral("Only a title"), QStringLiteral("print(1)")},
        {QStringLiteral("One line"), QStringLiteral("One line"), QStringLiteral("print(1)")},
    };
    for (const Case& c : cases) {
        ClickEntry(Titles(), QStringLiteral("Bravo"));
        ClickEntry(Titles(), QStringLiteral("Alpha"));
        clip->setText(c.clipboard);
        Title()->setFocus();
        Title()->selectAll();
        QTest::keyClick(Title(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(Title()->text(), c.title) << c.clipboard.toStdString();
        EXPECT_EQ(Body()->text(), c.body) << c.clipboard.toStdString();
        EXPECT_TRUE(win->ItemChanged());
        if (c.body != QStringLiteral("print(1)")) {
            EXPECT_EQ(Body()->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS), 0);
        }
        prompt->answers << CPrompt::vbNo;
    }
    ClickEntry(Titles(), QStringLiteral("Bravo"));

    // A single line replaces the selection only; Shift+Insert and the box's own menu take the
    // same road.
    clip->setText(QStringLiteral("XY"));
    Title()->setFocus();
    Title()->setSelection(1, 2);
    QTest::keyClick(Title(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Title()->text(), QStringLiteral("BXYvo"));
    clip->setText(QStringLiteral("Menu title\nmenu body"));
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5), Title()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Title(), &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions())
        if (a->text().startsWith(QStringLiteral("&Paste"))) a->trigger();
    menu->close();
    EXPECT_EQ(Title()->text(), QStringLiteral("Menu title"));
    EXPECT_TRUE(Body()->text().startsWith(QStringLiteral("menu body")));
    prompt->answers << CPrompt::vbNo;
}

TEST_F(MainWindowTest, ClipboardCommandsActOnTheFocusedBoxOnly) {
    StartWithFourItems();
    ClickEntry(Titles(), QStringLiteral("Bravo"));
    QClipboard* clip = QGuiApplication::clipboard();
    clip->setText(QStringLiteral("kept"));

    // Nothing selected: Copy and Cut leave the clipboard and the box alone.
    Body()->setFocus();
    Body()->setCursorPosition(0, 0);
    QTest::keyClick(Body(), Qt::Key_C, Qt::ControlModifier);
    Trigger("mnuEditCut");
    EXPECT_EQ(clip->text(), QStringLiteral("kept"));
    EXPECT_EQ(Body()->text(), QStringLiteral("select 2"));

    // Select All, Cut and Paste in the code box, lines kept.
    Body()->SetCode(QStringLiteral("one\ntwo"));
    QTest::keyClick(Body(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Body(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(clip->text(), QStringLiteral("one\ntwo"));
    EXPECT_EQ(Body()->text(), QString());
    QTest::keyClick(Body(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Body()->text(), QStringLiteral("one\ntwo"));

    // A list has no selection to copy; Select All in the language combo does nothing.
    clip->setText(QStringLiteral("kept"));
    Titles()->setFocus();
    QTest::keyClick(Titles(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clip->text(), QStringLiteral("kept"));
    QLineEdit* combo = Languages()->lineEdit();
    combo->setFocus();
    combo->setCursorPosition(0);
    QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
    EXPECT_FALSE(combo->hasSelectedText());
    // The attachment name is copied but never cut away.
    QLineEdit* file = Find<QLineEdit>("txtFileName");
    file->setText(QStringLiteral("notes.txt"));
    file->setFocus();
    QTest::keyClick(file, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(file, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(clip->text(), QStringLiteral("notes.txt"));
    EXPECT_EQ(file->text(), QStringLiteral("notes.txt"));
    EXPECT_TRUE(prompt->Messages().isEmpty());
    prompt->answers << CPrompt::vbNo;
}

TEST_F(MainWindowTest, RenameCategoryRenamesOrMergesAndRefusesWhatItCannotStore) {
    MakeDatabase({
        {QStringLiteral("C"), QStringLiteral("One"), QStringLiteral("a"), QStringLiteral("Win32")},
        {QStringLiteral("C"), QStringLiteral("Two"), QStringLiteral("b"), QStringLiteral("API")},
        {QStringLiteral("C"), QStringLiteral("Three"), QStringLiteral("c"), QStringLiteral("API,Win32")},
    });
    Start();
    const QString kAsk = QStringLiteral("Enter the new category name, or enter the name of another "
                                        "category to merge the items from this category into the new one.");
    Trigger("mnuEditRenameCategory");
    EXPECT_EQ(prompt->Messages(), QStringList{QStringLiteral("Please select a category")});

    // Cancel and a refused name keep the category selected.
    ClickEntry(Categories(), QStringLiteral("Win32  (2)"));
    prompt->texts << QString() << QStringLiteral("A,B") << QStringLiteral("   ");
    for (int i = 0; i < 3; ++i) {
        Trigger("mnuEditRenameCategory");
        EXPECT_EQ(Selected(Categories()), QStringLiteral("Win32  (2)"));
    }
    EXPECT_EQ(prompt->shown[1].text, kAsk);
    EXPECT_EQ(prompt->shown[1].title, QStringLiteral("VellumGranary"));
    EXPECT_EQ(prompt->Messages().mid(1),
              (QStringList{QStringLiteral("Unable to rename the category.\nA category name cannot contain a comma"),
                           QStringLiteral("Unable to rename the category.\nA category name cannot be empty")}));

    // Win32 into API: one category API with all three items, selected; the shown item follows.
    ClickEntry(Titles(), QStringLiteral("One"));
    prompt->texts << QStringLiteral("API");
    Trigger("mnuEditRenameCategory");
    EXPECT_EQ(Entries(Categories()),
              (QStringList{QStringLiteral("<All Categories>  (3)"), QStringLiteral("API  (3)")}));
    EXPECT_EQ(Selected(Categories()), QStringLiteral("API  (3)"));
    EXPECT_EQ(Titles()->model()->rowCount(), 3);
    EXPECT_EQ(ItemCategories()->text(), QStringLiteral("API"));
    EXPECT_FALSE(win->ItemChanged());

    prompt->texts << QStringLiteral("Windows API");
    Trigger("mnuEditRenameCategory");
    EXPECT_EQ(Selected(Categories()), QStringLiteral("Windows API  (3)"));
}
