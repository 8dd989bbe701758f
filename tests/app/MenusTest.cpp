// File and Tools menu commands: new and open database, backup and vacuum, and what they do while
// an import runs (export and import themselves run in the whole-session test).
#include "MainWindowFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QSet>

#include "db/CSQLite.h"
#include "app/frmMainExchange.h"
#include "ui/TextEx.h"
#include "ui/UiDrive.h"
#include "ui/frmHelp.h"
#include "ui/frmSQL.h"

#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStatusBar>
#include <functional>
#include <utility>

TEST_F(MainWindowTest, NewAndOpenDatabaseOfferEditsForSavingFirstAndRefuseAFileThatIsNoDatabase) {
    const QString other = env->Path("other.db");
    OnDatabase(other, [] {});  // an empty database
    StartWithFourItems();
    ClickEntry(Titles(), "Alpha");
    const QString fresh = env->Path("fresh.db");
    prompt->texts << fresh;
    Trigger("mnuFileNew");
    EXPECT_EQ(prompt->shown.last().kind, "save");
    EXPECT_TRUE(QFile::exists(fresh));
    EXPECT_EQ(win->windowTitle(), "VellumGranary (fresh.db)");
    EXPECT_EQ(Setting("LastDatabase"), fresh);
    EXPECT_EQ(Entries(Languages()), QStringList{"<All Languages>  (0)"});
    EXPECT_EQ(Titles()->model()->rowCount(), 0);
    EXPECT_EQ(Title()->text(), QString());
    EXPECT_EQ(LabelText("lblItemNo"), "Not Saved");

    prompt->texts << dbPath;
    Trigger("mnuFileNew");
    EXPECT_EQ(win->windowTitle(), "VellumGranary (snippets.db)");
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(Entries(Languages()).first(), "<All Languages>  (4)");

    // A cancelled dialog changes nothing.
    prompt->texts << QString();
    Trigger("mnuFileOpen");
    EXPECT_EQ(win->windowTitle(), "VellumGranary (snippets.db)");

    // Cancel at the save question: nothing is opened and the edits stay.
    PickLanguage("SQL  (2)");
    ClickEntry(Titles(), "Bravo");
    Type(Title(), "Bravo moved");
    prompt->answers << CPrompt::vbCancel;
    Trigger("mnuFileOpen");
    EXPECT_EQ(win->windowTitle(), "VellumGranary (snippets.db)");
    EXPECT_EQ(Title()->text(), "Bravo moved");

    prompt->answers << CPrompt::vbNo;
    prompt->texts << other;
    Trigger("mnuFileOpen");
    EXPECT_EQ(win->windowTitle(), "VellumGranary (other.db)");
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_FALSE(win->ItemChanged());

    // The editor's item is new after an open: the save makes item 1 of the other database.
    AddItem("SQL", "Bravo moved", QString(), "Queries");
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(ItemCount(), 1);

    // A file that is no database is refused by name, untouched, and the database that was open
    // stays open with its lists and the edits in the editor.
    const QString junk = env->Path("junk.db");
    WriteFileBytes(junk, QByteArray(4096, 'x'));
    const QStringList languages = Entries(Languages());
    Type(Title(), "typed before");
    prompt->answers << CPrompt::vbNo;
    prompt->texts << junk;
    Trigger("mnuFileOpen");
    EXPECT_EQ(prompt->Messages().last(), NotValidDatabaseMessage() + "\n" + QDir::toNativeSeparators(junk));
    EXPECT_EQ(win->windowTitle(), "VellumGranary (other.db)");
    EXPECT_EQ(Entries(Languages()), languages);
    EXPECT_EQ(Title()->text(), "typed before");
    EXPECT_EQ(ReadFileBytes(junk), QByteArray(4096, 'x'));
    for (const char* command : {"mnufileBackup", "mnuFileExport", "mnuFileImport", "mnuToolsVacuum"})
        EXPECT_TRUE(Find<QAction>(command)->isEnabled()) << command;
    ASSERT_TRUE(gDB->IsOpen());
    EXPECT_EQ(QFileInfo(gDB->Filename()).fileName(), "other.db");
    EXPECT_EQ(Setting("LastDatabase"), other);
    prompt->answers << CPrompt::vbNo;
    AddItem("SQL", "kept", QString(), "Queries");
    EXPECT_EQ(ItemCount(), 2);
    EXPECT_EQ(ReadFileBytes(junk), QByteArray(4096, 'x'));
}

TEST_F(MainWindowTest, BackupAsksOnlyBeforeReplacingAFileAndVacuumAsksThenRemovesWhatNoItemUses) {
    StartWithFourItems();
    const QString copy = env->Path("copy.db");
    prompt->texts << copy;
    EXPECT_TRUE(Find<QAction>("mnufileBackup")->isEnabled());
    Trigger("mnufileBackup");
    EXPECT_EQ(prompt->shown.size(), 1);
    EXPECT_FALSE(Contents(dbPath).isEmpty());
    EXPECT_EQ(Contents(copy), Contents(dbPath));
    // Where it went shows in the status bar, with no box to click away.
    EXPECT_EQ(win->statusBar()->currentMessage(), QStringLiteral("Backed up to ") + copy);
    EXPECT_EQ(Setting("BackupFile"), copy);
    // The window goes on with its database.
    EXPECT_TRUE(gDB->IsOpen());
    EXPECT_EQ(ItemCount(), 4);

    WriteFileBytes(copy, "older");
    prompt->texts << copy;
    prompt->answers << CPrompt::vbCancel;
    Trigger("mnufileBackup");
    EXPECT_EQ(prompt->shown.last().text, "Overwrite existing file?");
    EXPECT_EQ(ReadFileBytes(copy), QByteArray("older"));

    prompt->texts << copy;
    prompt->answers << CPrompt::vbOK;
    Trigger("mnufileBackup");
    EXPECT_EQ(Contents(copy), Contents(dbPath));

    // Vacuum asks, then removes what no item uses and reloads.
    ClickEntry(Titles(), "Charlie");
    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(Entries(Languages()).first(), "<All Languages>  (3)");  // counts follow the delete

    prompt->answers << CPrompt::vbCancel;
    Trigger("mnuToolsVacuum");
    EXPECT_FALSE(prompt->Messages().contains("Done"));
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblCategory WHERE Name = 'Files'").toInt(), 1);

    prompt->answers << CPrompt::vbOK;
    Trigger("mnuToolsVacuum");
    EXPECT_EQ(prompt->shown.last().text, "Done");
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblCategory WHERE Name = 'Files'").toInt(), 0);
    EXPECT_EQ(Entries(Languages()), (QStringList{"<All Languages>  (3)", "Python  (1)", "SQL  (2)"}));
}

namespace {
// The real progress window lets every pending event run inside Update: here the user acts at
// the first update of an operation.
class ActingPrompt : public ScriptedPrompt {
public:
    std::function<void()> during;
    bool ProgressUpdate(int percent) override {
        if (auto act = std::exchange(during, nullptr)) act();
        return ScriptedPrompt::ProgressUpdate(percent);
    }
};
}  // namespace

// The progress window lets the user act on the main window: every way to save, to open or make
// another database or to start a command does nothing until the operation ends, and closing
// waits for it. The operation itself completes, and the window keeps the user's edits.
TEST_F(MainWindowTest, ImportShowsTheItemAgainUnlessEditedAndNothingStartsWhileAnExportOrImportRuns) {
    const QString tab = env->Path("items.tab");
    MakeDatabase(FourItems());
    OnDatabase(dbPath, [&] {
        ASSERT_TRUE(ExportDatabase(tab, false));
        ASSERT_EQ(gDB->Run("UPDATE ftsItem SET Code = 'print(100)' WHERE DOCID = 3"), QString());
    });
    prompt.reset();  // the old prompt uninstalls itself: before the new one installs
    auto* acting = new ActingPrompt;
    prompt.reset(acting);
    Start();
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));

    // An import over the item on show shows the imported text, but keeps edits.
    ClickEntry(Titles(), "Alpha");
    ASSERT_EQ(Body()->text(), "print(100)");
    prompt->texts << tab << tab;
    prompt->answers << CPrompt::vbNo << CPrompt::vbNo;  // overwrite the same numbers
    Trigger("mnuFileImport");
    EXPECT_EQ(Body()->text(), "print(1)");
    EXPECT_FALSE(win->ItemChanged());
    Type(Body(), "print(2)");
    Trigger("mnuFileImport");
    EXPECT_EQ(Body()->text(), "print(2)");
    EXPECT_TRUE(win->ItemChanged());

    Type(Title(), "Alpha edited");  // what a save inside the operation would store

    const struct {
        const char* command;
        QString file;
        int answer;  // attachments: no; import: as new items
        int items;
    } operations[] = {{"mnuFileExport", env->Path("out.tab"), CPrompt::vbNo, 4},
                      {"mnuFileImport", tab, CPrompt::vbYes, 8}};
    for (const auto& op : operations) {
        qsizetype asked = -1;
        bool closed = true;
        acting->during = [&] {
            asked = prompt->shown.size();
            Click("cmdSave");
            Click("cmdNew");
            QTest::keyClick(win.get(), Qt::Key_O, Qt::ControlModifier);  // Open Database
            QTest::keyClick(win.get(), Qt::Key_S, Qt::AltModifier);      // the Save button
            QTest::keyClick(win.get(), Qt::Key_F, Qt::AltModifier);      // the File menu
            // The menu bar's own keys: Alt, down into the File menu, its New Database.
            for (const Qt::Key key : {Qt::Key_Alt, Qt::Key_Down, Qt::Key_Return, Qt::Key_N})
                QTest::keyClick(win.get(), key);
            EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
            QTest::keyClicks(Title(), "x");
            closed = win->close();
            EXPECT_EQ(prompt->shown.size(), asked) << "nothing asked inside the operation";
        };
        prompt->texts << op.file;
        prompt->answers << op.answer;
        Trigger(op.command);
        EXPECT_GE(asked, 0) << op.command << " showed no progress";
        EXPECT_FALSE(closed);
        EXPECT_TRUE(win->isVisible());
        EXPECT_EQ(win->windowTitle(), "VellumGranary (snippets.db)");
        EXPECT_EQ(ItemCount(), op.items) << op.command;
        EXPECT_EQ(Scalar("SELECT Count(*) FROM ftsItem WHERE Title = 'Alpha edited'").toInt(), 0);
        // The window works again, with the edits and the focus where they were.
        EXPECT_TRUE(Title()->isEnabled());
        EXPECT_EQ(Title()->text(), "Alpha edited");
        EXPECT_TRUE(win->ItemChanged());
        EXPECT_EQ(QApplication::focusWidget(), Title());
        EXPECT_EQ(win->menuBar()->activeAction(), nullptr);
    }
    EXPECT_EQ(ReadFileBytes(env->Path("out.tab")), ReadFileBytes(tab));
    EXPECT_EQ(Entries(Languages()).first(), "<All Languages>  (8)");
    prompt->answers << CPrompt::vbNo;
    EXPECT_TRUE(Close());
}

TEST_F(MainWindowTest, MenuTitlesWinTheAccessKeysTheyShareAndAboutShowsTheSameLoadedHelpWindowAfterTheTester) {
    StartWithFourItems();
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    // Tools against "&Title", File against "&Find": the menu opens, every time.
    for (int round = 0; round < 2; ++round) {
        for (const auto& [key, menu] : {std::pair{Qt::Key_T, "mnuTools"}, std::pair{Qt::Key_F, "mnuFile"}}) {
            QTest::keyClick(win.get(), key, Qt::AltModifier);
            QApplication::processEvents();
            EXPECT_EQ(win->menuBar()->activeAction(), Find<QMenu>(menu)->menuAction()) << menu;
            while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            if (win->menuBar()->activeAction()) QTest::keyClick(win->menuBar(), Qt::Key_Escape);
            QApplication::processEvents();
            ASSERT_EQ(win->menuBar()->activeAction(), nullptr);
        }
    }
    // Keys no menu claims still reach their controls.
    for (const auto& [key, widget] : {std::pair<Qt::Key, QWidget*>{Qt::Key_P, Body()}, {Qt::Key_G, ItemCategories()},
                                      {Qt::Key_I, Titles()}, {Qt::Key_L, Title()}}) {
        QTest::keyClick(win.get(), key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), widget) << widget->objectName().toStdString();
    }
    QTest::keyClick(win.get(), Qt::Key_U, Qt::AltModifier);
    EXPECT_TRUE(QApplication::focusWidget() == Languages() || QApplication::focusWidget() == Languages()->lineEdit());

    // About shows the help window, and after the tester the same loaded one.
    QList<frmHelp*> seen;  // compared only while the first one is known to live
    QList<QPointer<frmHelp>> alive;
    QList<int> loads;
    // About, the chord into the tester, About again (the same window), a close, About (anew).
    auto answer = [&](bool chord) {
        WhenModal<frmHelp>([&, chord](frmHelp* help) {
            seen << help;
            alive << help;
            loads << help->Loads();
            if (!chord) {
                help->close();
                return;
            }
            WhenModal<frmSQL>([](frmSQL* tester) {
                // The tester runs on the open database.
                tester->RunQuery("SELECT count(*) AS n FROM tblItem");
                EXPECT_TRUE(tester->findChild<TextEx*>("txtResult")->Text().endsWith("1.\t4\t\n"));
                tester->close();
            });
            QTest::keyRelease(help->findChild<QPlainTextEdit*>("txtHelp"), Qt::Key_Q,
                              Qt::ControlModifier | Qt::AltModifier);
        });
        Trigger("mnuHelpAbout");
    };
    answer(true);
    answer(false);
    answer(false);
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_TRUE(alive[1].isNull());  // closing unloads it
    EXPECT_EQ(loads, (QList<int>{1, 1, 1}));
    EXPECT_TRUE(prompt->shown.isEmpty());
}


// With no database the item pane offers New and Open; a new item typed all the same goes into
// the database New creates, when the user says so.
TEST_F(MainWindowTest, WithoutADatabaseThePaneOffersNewAndOpenAndNewDatabaseKeepsATypedItem) {
    Start();
    QWidget* panel = Find<QWidget>("fraNoDatabase");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), Find<QWidget>("fraItems")->rect());
    TypeLanguage("SQL");
    QTest::keyClicks(Title(), "Kept");
    Type(Body(), "select 1");
    Type(ItemCategories(), "Queries");
    const struct {
        int answer;
        QString file;
        QString caption;
        int items;  // in the database open afterwards; -1 when none is
    } cases[] = {
        {CPrompt::vbCancel, {}, "VellumGranary", -1},
        {CPrompt::vbYes, {}, "VellumGranary", -1},  // the file dialog cancelled
        {CPrompt::vbYes, dbPath, "VellumGranary (snippets.db)", 1},
    };
    for (const auto& c : cases) {
        prompt->answers << c.answer;
        if (c.answer != CPrompt::vbCancel) prompt->texts << c.file;
        QTest::mouseClick(Find<QPushButton>("cmdNoDatabaseNew"), Qt::LeftButton);
        EXPECT_EQ(prompt->shown.first().text, "Keep the item you typed and save it into the new database?");
        prompt->shown.clear();
        EXPECT_EQ(win->windowTitle(), c.caption);
        EXPECT_EQ(Title()->text(), "Kept");
        EXPECT_EQ(panel->isVisible(), c.items < 0);
        if (c.items >= 0) {
            EXPECT_EQ(ItemCount(), c.items);
        }
    }
    EXPECT_EQ(win->CurrentItemID(), 1);
    EXPECT_EQ(Stored("Code", 1), "select 1");
    EXPECT_FALSE(win->ItemChanged());
}

// Every label and button of the window has an access key of its own, and none a menu title has.
TEST_F(MainWindowTest, EveryCaptionHasAnAccessKeyOfItsOwn) {
    StartWithFourItems();
    QSet<QString> menuKeys;
    for (QAction* a : win->menuBar()->actions()) menuKeys << QKeySequence::mnemonic(a->text()).toString();
    EXPECT_EQ(menuKeys.size(), win->menuBar()->actions().size());
    QHash<QString, QString> owner;
    QStringList captions;
    for (QLabel* l : win->findChildren<QLabel*>())
        if (l->buddy()) captions << l->text();
    for (QAbstractButton* b : win->findChildren<QAbstractButton*>())
        if (b->objectName().startsWith("cmd") && b->isVisibleTo(win.get()) && !b->objectName().startsWith("cmdNoDatabase"))
            captions << b->text();
    for (const QString& caption : captions) {
        const QString key = QKeySequence::mnemonic(caption).toString();
        ASSERT_FALSE(key.isEmpty()) << caption.toStdString();
        EXPECT_FALSE(menuKeys.contains(key)) << caption.toStdString();
        EXPECT_FALSE(owner.contains(key)) << caption.toStdString() << " and " << owner.value(key).toStdString();
        owner.insert(key, caption);
    }
    EXPECT_GE(captions.size(), 17);
}
