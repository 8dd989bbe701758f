// The window with the program's own Qt prompt: the save question as a real message box whose
// buttons give the answers the window acts on, and the real progress window during an import.
#include "MainWindowFixture.h"
#include "app/frmMainExchange.h"
#include "ui/QtPrompt.h"
#include "ui/UiDrive.h"
#include "ui/frmStatusBar.h"

#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

namespace {

// Puts the Qt prompt in place of the scripted one while it lives.
class RealPrompt {
public:
    explicit RealPrompt(CPrompt* scripted) : m_scripted(scripted) { SetPrompt(&m_qt); }
    ~RealPrompt() { SetPrompt(m_scripted); }

private:
    QtPrompt m_qt;
    CPrompt* m_scripted;
};

}  // namespace

// The busy switch leaves the progress window alone: a window of its own, its Cancel is heard
// while the main window is off, and the main window comes back on after the rollback.
TEST_F(MainWindowTest, TheRealProgressWindowKeepsItsCancelWhileTheMainWindowIsOffAndSaveQuestionsUseRealBoxes) {
    const QString tab = env->Path("items.tab");
    MakeDatabase(FourItems());
    OnDatabase(dbPath, [&] { ASSERT_TRUE(ExportDatabase(tab, false)); });
    Start();
    RealPrompt real(prompt.get());
    QList<bool> enabled;  // panes, menu bar, progress window
    QTimer::singleShot(0, win.get(), [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* bar = qobject_cast<frmStatusBar*>(w);
            if (!bar || !bar->isVisible()) continue;
            enabled = {win->centralWidget()->isEnabled(), win->menuBar()->isEnabled(), bar->isEnabled()};
            QTest::mouseClick(bar->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
        }
    });
    ImportSummary summary;
    EXPECT_FALSE(ImportDatabase(tab, false, &summary, false));
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(enabled, (QList<bool>{false, false, true}));
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_TRUE(win->centralWidget()->isEnabled());
    EXPECT_TRUE(win->menuBar()->isEnabled());

    // The save question as a real message box, its buttons giving the answers.
    PickLanguage("SQL  (2)");
    ClickEntry(Titles(), "Bravo");
    Type(Title(), "Bravo edited");
    {
        // Two quick arrow keys ask once: both land before the first title opens, and its
        // question runs the events meanwhile.
        int questions = 0;
        const auto answering = WhileModal<QMessageBox>([&](QMessageBox* box) {
            ++questions;
            box->button(QMessageBox::No)->click();
        });
        Titles()->setFocus();
        QTest::keyClick(Titles(), Qt::Key_Down);
        QTest::keyClick(Titles(), Qt::Key_Up);
        QTest::qWait(300);
        EXPECT_EQ(questions, 1);
        EXPECT_EQ(Title()->text(), "Bravo");
        EXPECT_EQ(Selected(Titles()), "Bravo");
        EXPECT_FALSE(win->ItemChanged());
    }

    // On close: Cancel keeps the window and the edits, No closes.
    Type(Title(), "Bravo edited");
    QString text, title;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        title = box->windowTitle();
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_FALSE(Close());
    EXPECT_EQ(text, "Save changes to this item?");
    EXPECT_EQ(title, "Save");
    EXPECT_EQ(Title()->text(), "Bravo edited");

    WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_TRUE(Close());
    EXPECT_FALSE(gDB->IsOpen());
}
