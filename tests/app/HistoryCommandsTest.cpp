// Item > History..., the History button, Edit > Undo <command> and Edit > Trash... in the window.
#include "app/MainWindowFixture.h"

#include "ui/frmHistory.h"
#include "ui/frmTrash.h"

#include <QListWidget>
#include <QMenu>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

namespace {

template <typename Dialog>
void WhenShown(const std::function<void(Dialog*)>& work) {
    QTimer::singleShot(0, [work] {
        auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        work(d);
        if (d->isVisible()) d->reject();
    });
}

}  // namespace

TEST_F(MainWindowTest, HistoryShowsTheDifferenceAndRestoresAVersionThatUndoTakesBack) {
    StartWithFourItems();
    ClickEntry(Titles(), "Bravo");
    Title()->setText("Bravo edited");
    Click("cmdSave");
    WhenShown<frmHistory>([](frmHistory* d) {
        auto* versions = d->findChild<QListWidget*>("lstVersions");
        ASSERT_EQ(versions->count(), 1);
        EXPECT_TRUE(versions->item(0)->text().endsWith("Save  Bravo"));
        const QString diff = d->findChild<QTextBrowser*>("txtDiff")->toPlainText();
        EXPECT_TRUE(diff.contains("- Title: Bravo\n+ Title: Bravo edited")) << diff.toStdString();
        EXPECT_TRUE(diff.contains("  select 2"));
        d->findChild<QPushButton*>("cmdRestore")->click();
    });
    Click("cmdHistory");
    EXPECT_EQ(Title()->text(), "Bravo");
    EXPECT_EQ(Stored("Title", 1), "Bravo");

    QMenu* edit = Find<QMenu>("mnuEdit");
    QAction* undo = Find<QAction>("mnuEditUndo");
    emit edit->aboutToShow();
    EXPECT_EQ(undo->text(), "&Undo Restore Version");
    undo->trigger();
    EXPECT_EQ(Stored("Title", 1), "Bravo edited");
    EXPECT_EQ(Title()->text(), "Bravo edited");
    emit edit->aboutToShow();
    EXPECT_FALSE(undo->isEnabled());
}

TEST_F(MainWindowTest, DeleteGoesToTheTrashWhichRestoresItUnderItsNumber) {
    StartWithFourItems();
    ClickEntry(Titles(), "Delta");
    prompt->answers << CPrompt::vbOK;
    Click("cmdDelete");
    EXPECT_EQ(ItemCount(), 3);
    WhenShown<frmTrash>([](frmTrash* d) {
        auto* list = d->findChild<QTreeWidget*>("lstTrash");
        ASSERT_EQ(list->topLevelItemCount(), 1);
        EXPECT_EQ(list->topLevelItem(0)->text(0), "Delta");
        EXPECT_EQ(list->topLevelItem(0)->text(1), "SQL");
        d->findChild<QPushButton*>("cmdRestore")->click();
        EXPECT_EQ(list->topLevelItemCount(), 0);
    });
    Find<QAction>("mnuEditTrash")->trigger();
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(Stored("Title", 2), "Delta");
    EXPECT_EQ(Title()->text(), "Delta");
}
