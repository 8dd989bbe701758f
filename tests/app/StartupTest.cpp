// Start-up, the closing sequence with its save question and daily backup, and the window's
// controls and menus as the user finds them.
#include "MainWindowFixture.h"

#include <QDir>

namespace {
QString SerialText(double v) { return QString::number(v, 'g', 17); }
}  // namespace

TEST_F(MainWindowTest, FirstRunOpensNothingAndSwitchesTheDailyBackupOn) {
    Start();
    EXPECT_EQ(win->windowTitle(), "VellumGranary");
    EXPECT_EQ(Setting("BackupDaily"), "-1");
    EXPECT_TRUE(Find<QAction>("mnuToolsBackupDaily")->isChecked());
    EXPECT_EQ(win->CurrentItemID(), -1);
    EXPECT_EQ(Languages()->currentText(), "<All Languages>  (0)");
    EXPECT_EQ(Entries(Categories()), QStringList{"<All Categories>  (0)"});
    EXPECT_EQ(Selected(Categories()), "<All Categories>  (0)");
    EXPECT_EQ(Titles()->model()->rowCount(), 0);
    EXPECT_TRUE(prompt->shown.isEmpty());
    // Ctrl+O reaches the open command.
    prompt->texts << QString();
    QTest::keyClick(win.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(prompt->shown.size(), 1);
    EXPECT_EQ(prompt->shown[0].text, "Select Database File");

    // Nothing is open, so the exit offers no backup.
    EXPECT_TRUE(Close());
    EXPECT_EQ(prompt->shown.size(), 1);
}

TEST_F(MainWindowTest, RememberedLanguageIsFoundByPrefixRegardlessOfCaseAndAGoneOneSelectsNothing) {
    MakeDatabase({{"ShellScript", "ls", QString(), "Files"}, {"SQL", "top", QString(), "Queries"}});
    Preset("LastLanguage", "shell");
    Start();
    EXPECT_EQ(Languages()->currentText(), "ShellScript  (1)");
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (1)", "Files  (1)"}));
    EXPECT_EQ(Entries(Titles()), QStringList{"ls"});

    // Closing remembers the name without its count.
    EXPECT_TRUE(Close());
    EXPECT_EQ(Setting("LastLanguage"), "ShellScript");

    // A language that is gone selects nothing and shows every category.
    Restart({{"LastLanguage", "Perl"}});
    EXPECT_EQ(Languages()->currentText(), QString());
    EXPECT_EQ(Entries(Categories()).size(), 3);
    EXPECT_EQ(Entries(Titles()), (QStringList{"ls", "top"}));
}

// A save that cannot happen counts as Cancel, both when another title opens and at closing.
TEST_F(MainWindowTest, ClosingWithEditsAsksOnceCancelKeepsNoDiscardsAndYesSavesUnlessItFails) {
    StartWithFourItems();
    // No category typed and none selected: the save is refused.
    ClickEntry(Titles(), "Alpha");
    Type(Body(), "print(10)");
    ItemCategories()->clear();
    prompt->answers << CPrompt::vbYes << CPrompt::vbYes << CPrompt::vbCancel;
    ClickEntry(Titles(), "Delta");
    EXPECT_EQ(win->CurrentItemID(), 3);
    EXPECT_EQ(Selected(Titles()), "Alpha");
    EXPECT_FALSE(Close());
    EXPECT_EQ(CountMessages("Please select a category or enter one or more categories separated by commas"), 2);
    EXPECT_FALSE(Close());
    EXPECT_TRUE(win->isVisible());
    EXPECT_EQ(Body()->text(), "print(10)");
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_TRUE(gDB->IsOpen());
    EXPECT_EQ(prompt->shown.last().style, CPrompt::vbYesNoCancel | CPrompt::vbQuestion);
    EXPECT_EQ(prompt->shown.last().title, "Save");

    ItemCategories()->setText("Queries");
    prompt->answers << CPrompt::vbYes;
    EXPECT_TRUE(Close());
    Reopen();
    EXPECT_EQ(Stored("Code", 3), "print(10)");

    // Exit from the menu runs the same sequence once; No closes without saving.
    Restart();
    ClickEntry(Titles(), "Alpha");
    Type(Body(), "print(20)");
    const int asked = CountMessages("Save changes to this item?");
    prompt->answers << CPrompt::vbNo;
    Trigger("mnuFileExit");
    QApplication::processEvents();
    EXPECT_FALSE(win->isVisible());
    EXPECT_EQ(CountMessages("Save changes to this item?"), asked + 1);
    EXPECT_FALSE(gDB->IsOpen());
    Reopen();
    EXPECT_EQ(Stored("Code", 3), "print(10)");
}

// The daily backup of one database never offers the file another database backed up to.
TEST_F(MainWindowTest, DailyBackupOffersEachDatabaseItsOwnFile) {
    const QString other = env->Path("other.db");
    OnDatabase(other, [] {});
    MakeDatabase(FourItems(), true);
    const QString copyA = env->Path("copies/a-copy.db");
    QDir().mkpath(env->Path("copies"));
    Start();
    prompt->texts << copyA;
    EXPECT_TRUE(Close());
    EXPECT_EQ(prompt->shown.last().value, env->Path("snippets-backup.db"));
    const QString contentsA = Contents(copyA);
    ASSERT_FALSE(contentsA.isEmpty());

    // Other database, backup due: its own name in the folder of the last backup.
    const struct {
        QString database, offered;
    } exits[] = {{other, env->Path("copies/other-backup.db")}, {dbPath, copyA}};
    for (const auto& c : exits) {
        prompt->shown.clear();
        prompt->texts << QString();
        Restart({{"LastDatabase", c.database}, {"BackupTime", QString()}});
        EXPECT_TRUE(Close());
        ASSERT_EQ(prompt->shown.size(), 1);
        EXPECT_EQ(prompt->shown[0].value, c.offered) << c.database.toStdString();
    }
    EXPECT_EQ(Contents(copyA), contentsA);
}

// Never backed up, the exit offers the backup until one is made; then it is due again only a
// day after, and never while switched off.
TEST_F(MainWindowTest, DailyBackupAtExitIsOfferedUntilMadeThenDueADayLaterUnlessSwitchedOff) {
    MakeDatabase(FourItems(), true);
    const QString backup = env->Path("old.db");
    WriteFileBytes(backup, "old copy");
    Start();
    prompt->texts << QString();
    EXPECT_TRUE(Close());
    ASSERT_EQ(prompt->shown.size(), 1);
    EXPECT_EQ(prompt->shown[0].kind, "save");
    EXPECT_EQ(prompt->shown[0].text, "Back Up Snippet Database?");
    EXPECT_EQ(prompt->shown[0].title, "Snippet Databases (*.db)|*.db|All Files|*.*|");
    EXPECT_EQ(Setting("BackupTime"), QString());

    // The cancelled dialog comes again at the next exit: onto an existing file, asking first.
    Restart();
    prompt->texts << backup;
    prompt->answers << CPrompt::vbCancel;
    EXPECT_FALSE(Close());
    EXPECT_EQ(prompt->shown.size(), 3);
    EXPECT_EQ(prompt->shown[1].text, "Back Up Snippet Database?");
    EXPECT_TRUE(win->isVisible());
    EXPECT_TRUE(gDB->IsOpen());
    EXPECT_EQ(prompt->shown.last().text, QStringLiteral("Overwrite existing file?\n") + backup);
    EXPECT_EQ(prompt->shown.last().style, CPrompt::vbYesNoCancel | CPrompt::vbQuestion);

    prompt->texts << backup;
    prompt->answers << CPrompt::vbNo;
    EXPECT_TRUE(Close());
    EXPECT_EQ(ReadFileBytes(backup), QByteArray("old copy"));
    EXPECT_EQ(Setting("BackupTime"), QString());

    // Still due at the next exit; Yes replaces the old copy.
    Restart();
    prompt->texts << backup;
    prompt->answers << CPrompt::vbYes;
    EXPECT_TRUE(Close());
    EXPECT_FALSE(Contents(backup).isEmpty());
    EXPECT_EQ(Contents(backup), Contents(dbPath));

    // Within a day nothing is asked; a day after, the copy is made and remembered.
    const int shown = prompt->shown.size();
    Restart({{"BackupTime", SerialText(BackupTimeNow() - 0.999)}});
    EXPECT_TRUE(Close());
    EXPECT_EQ(prompt->shown.size(), shown);
    const QString daily = env->Path("daily.db");
    Restart({{"BackupTime", SerialText(BackupTimeNow() - 1.001)}});
    prompt->texts << daily;
    EXPECT_TRUE(Close());
    EXPECT_EQ(Contents(daily), Contents(dbPath));
    EXPECT_EQ(Setting("BackupFile"), daily);
    EXPECT_NEAR(Setting("BackupTime").toDouble(), BackupTimeNow(), 0.01);
    EXPECT_FALSE(gDB->IsOpen());

    // Switched off, it is never due; the menu's check mark and the setting go together.
    Restart({{"BackupTime", QString()}, {"BackupDaily", "0"}});
    QAction* toggle = Find<QAction>("mnuToolsBackupDaily");
    EXPECT_FALSE(toggle->isChecked());
    toggle->trigger();
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(Setting("BackupDaily"), "-1");
    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(Setting("BackupDaily"), "0");
    EXPECT_TRUE(Close());
    EXPECT_EQ(prompt->shown.size(), shown + 1);
}

TEST_F(MainWindowTest, SaveSettingsToRegistryMovesTheSettingsAndAnUnreadableBackupSwitchIsReported) {
    StartWithFourItems();
    QAction* registry = Find<QAction>("mnuToolsSaveSettings");
    // A new user's settings live in Settings.ini beside the program.
    ASSERT_TRUE(gSettings->SaveToINI());
    EXPECT_FALSE(registry->isChecked());

    registry->trigger();
    EXPECT_TRUE(registry->isChecked());
    EXPECT_FALSE(gSettings->SaveToINI());
    EXPECT_EQ(Setting("LastDatabase"), dbPath);
    EXPECT_EQ(Setting("BackupDaily"), "0");

    // The choice holds at the next start.
    Restart();
    EXPECT_TRUE(Find<QAction>("mnuToolsSaveSettings")->isChecked());
    EXPECT_EQ(win->windowTitle(), "VellumGranary (snippets.db)");

    Find<QAction>("mnuToolsSaveSettings")->trigger();
    EXPECT_FALSE(Find<QAction>("mnuToolsSaveSettings")->isChecked());
    EXPECT_TRUE(gSettings->SaveToINI());
    EXPECT_EQ(Setting("LastDatabase"), dbPath);

    // An unreadable backup switch is reported at the start and at exit, and the window still
    // closes with the database closed.
    Restart({{"BackupDaily", "often"}});
    EXPECT_EQ(prompt->Messages(), QStringList{"Type mismatch 13"});
    EXPECT_EQ(prompt->shown.last().style, int(CPrompt::vbCritical));
    EXPECT_TRUE(Close());
    EXPECT_EQ(prompt->Messages().last(), "Unload Error: 13 Type mismatch");
    EXPECT_FALSE(gDB->IsOpen());
}

// Tab follows the screen; Ctrl+Tab and Ctrl+Shift+Tab leave the code pane, where Tab indents.
TEST_F(MainWindowTest, TabFollowsTheScreenAndCtrlTabLeavesTheCodePane) {
    StartWithFourItems();
    const QStringList chain = {"cboLanguage", "lstCategory", "cmdFind", "cmdFindClear", "lstItem",
                               "cmdNew", "cmdSave", "cmdDelete", "txtTitle", "txtItem"};
    Languages()->setFocus();
    QApplication::processEvents();
    for (int i = 1; i < chain.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        ASSERT_NE(now, nullptr);
        // A combo's line edit counts as the combo.
        const QString name = qobject_cast<QComboBox*>(now->parentWidget()) ? now->parentWidget()->objectName() : now->objectName();
        EXPECT_EQ(name, chain[i]) << "after " << chain[i - 1].toStdString();
    }
    // In the code pane Tab indents; Ctrl+Tab moves on, Ctrl+Shift+Tab back.
    const struct {
        Qt::KeyboardModifiers modifiers;
        const char* from;
        const char* to;
    } moves[] = {
        {Qt::NoModifier, "txtItem", "txtItem"},
        {Qt::ControlModifier, "txtItem", "txtFileName"},
        {Qt::ControlModifier | Qt::ShiftModifier, "txtItem", "txtTitle"},
    };
    for (const auto& m : moves) {
        Find<QWidget>(m.from)->setFocus();
        QTest::keyClick(Find<QWidget>(m.from), Qt::Key_Tab, m.modifiers);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), m.to) << int(m.modifiers);
    }
    EXPECT_EQ(Body()->text(), "\t");
}
