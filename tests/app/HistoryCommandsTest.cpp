// The history and trash windows on the open database, and Edit > Undo <command> in the window.
#include "app/MainWindowFixture.h"

#include "ui/frmHistory.h"
#include "ui/frmTrash.h"

#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>

TEST_F(MainWindowTest, HistoryListsVersionsWithTheirDifferenceAndUndoNamesWhatItTakesBack) {
    StartWithFourItems();
    CItem item;
    QString e;
    ASSERT_TRUE(LoadItem(*gDB, 1, item, &e));
    item.title = "Bravo edited";
    item.body = "select 2\nselect 22";
    ASSERT_TRUE(SaveItem(*gDB, item, SaveOptions(), &e)) << e.toStdString();
    {
        frmHistory d(*gDB, 1, win.get());
        auto* versions = d.findChild<QListWidget*>("lstVersions");
        ASSERT_EQ(versions->count(), 1);
        EXPECT_TRUE(versions->item(0)->text().endsWith("Save  Bravo"));
        const QString diff = d.findChild<QTextBrowser*>("txtDiff")->toPlainText();
        EXPECT_TRUE(diff.contains("- Title: Bravo\n+ Title: Bravo edited")) << diff.toStdString();
        EXPECT_TRUE(diff.contains("  select 2\n+ select 22")) << diff.toStdString();
        ASSERT_NE(d.Chosen(), nullptr);
        EXPECT_EQ(d.Chosen()->item.title, "Bravo");
    }
    EXPECT_NE(Find<QToolButton>("cmdHistory"), nullptr);
    EXPECT_NE(Find<QAction>("mnuItemHistory"), nullptr);

    QMenu* edit = Find<QMenu>("mnuEdit");
    QAction* undo = Find<QAction>("mnuEditUndo");
    emit edit->aboutToShow();
    EXPECT_FALSE(undo->isEnabled());  // a save is kept in the history, not taken back
    ASSERT_TRUE(DeleteItem(*gDB, 2, &e));
    emit edit->aboutToShow();
    EXPECT_EQ(undo->text(), "&Undo Delete");
    undo->trigger();
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(Stored("Title", 2), "Delta");
    // A rename shows on top, says what changed and cannot be restored.
    ASSERT_TRUE(RenameCategory(*gDB, Scalar("SELECT CategoryID FROM tblItemCategory WHERE ItemID = 1").toInt(), "Renamed", &e));
    {
        frmHistory d(*gDB, 1, win.get());
        auto* versions = d.findChild<QListWidget*>("lstVersions");
        ASSERT_EQ(versions->count(), 2);
        EXPECT_TRUE(versions->item(0)->text().contains("Rename Category  category ")) << versions->item(0)->text().toStdString();
        EXPECT_TRUE(versions->item(0)->text().endsWith(" -> Renamed"));
        EXPECT_FALSE(d.findChild<QPushButton*>("cmdRestore")->isEnabled());
        EXPECT_TRUE(d.findChild<QTextBrowser*>("txtDiff")->toPlainText().contains("no version to restore"));
        versions->setCurrentRow(1);
        EXPECT_TRUE(d.findChild<QPushButton*>("cmdRestore")->isEnabled());
    }
}

TEST_F(MainWindowTest, TheTrashListsDeletedItemsAndRestoresThemUnderTheirNumber) {
    StartWithFourItems();
    QString e;
    ASSERT_TRUE(DeleteItem(*gDB, 2, &e));
    ASSERT_TRUE(DeleteItem(*gDB, 4, &e));
    frmTrash d(*gDB, *prompt, win.get());
    auto* list = d.findChild<QTreeWidget*>("lstTrash");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->text(0), "Delta");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "SQL");
    list->setCurrentItem(list->topLevelItem(1));
    d.findChild<QPushButton*>("cmdRestore")->click();
    EXPECT_EQ(d.Restored(), QList<int>{2});
    EXPECT_EQ(Stored("Title", 2), "Delta");
    prompt->answers << CPrompt::vbOK;
    d.findChild<QPushButton*>("cmdEmpty")->click();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(ItemCount(), 3);
}
