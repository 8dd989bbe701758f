// Item > History..., the item pane's History button, Edit > Undo <command> and Edit > Trash...
#include "app/frmMain.h"

#include "app/CApplication.h"
#include "db/basDB.h"
#include "history/CHistory.h"
#include "history/CUndo.h"
#include "ui/frmHistory.h"
#include "ui/frmTrash.h"
#include "util/CPrompt.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>
#include <QStatusBar>

namespace {

QBoxLayout* layoutHolding(QLayout* layout, QWidget* widget) {
    if (!layout) return nullptr;
    if (auto* box = qobject_cast<QBoxLayout*>(layout); box && box->indexOf(widget) >= 0) return box;
    for (int i = 0; i < layout->count(); ++i)
        if (QBoxLayout* found = layoutHolding(layout->itemAt(i)->layout(), widget)) return found;
    return nullptr;
}

}  // namespace

void frmMain::BuildHistoryCommands() {
    auto* undo = new QAction(QStringLiteral("&Undo"), this);
    undo->setObjectName(QStringLiteral("mnuEditUndo"));
    // No Ctrl+Z here: the text boxes keep theirs.
    const QList<QAction*> actions = mnuEdit->actions();
    QAction* first = actions.value(0);
    mnuEdit->insertAction(first, undo);
    mnuEdit->insertSeparator(first);
    connect(mnuEdit, &QMenu::aboutToShow, this, [this, undo] {
        CUndoEntry last;
        const bool any = IsDatabaseOpen() && CUndo::Last(*gDB, last, nullptr);
        undo->setText(any ? QStringLiteral("&Undo ") + last.command : QStringLiteral("&Undo"));
        undo->setEnabled(any);
    });
    connect(undo, &QAction::triggered, this, [this] { UndoLastCommand(); });

    auto* trash = new QAction(QStringLiteral("Tras&h..."), this);
    trash->setObjectName(QStringLiteral("mnuEditTrash"));
    mnuEdit->addSeparator();
    mnuEdit->addAction(trash);
    connect(trash, &QAction::triggered, this, [this] {
        if (!IsDatabaseOpen()) return;
        frmTrash dialog(*gDB, Prompt(), this);
        dialog.exec();
        if (!dialog.Restored().isEmpty()) ShowItem(dialog.Restored().last());
    });

    auto* item = new QMenu(QStringLiteral("Ite&m"), this);
    item->setObjectName(QStringLiteral("mnuItem"));
    menuBar()->insertMenu(mnuTools->menuAction(), item);
    QAction* history = item->addAction(QStringLiteral("&History..."));
    history->setObjectName(QStringLiteral("mnuItemHistory"));
    history->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+H")));
    connect(history, &QAction::triggered, this, [this] { ShowHistory(); });

    // Beside the last update time it belongs with, as a link-like button of the label's height,
    // so the pane keeps its rows and minimum width.
    auto* button = new QToolButton(lblLastUpdate->parentWidget());
    button->setText(QStringLiteral("Histor&y..."));
    button->setToolTip(QStringLiteral("The item's earlier versions (Ctrl+Shift+H)"));
    button->setObjectName(QStringLiteral("cmdHistory"));
    button->setAutoRaise(true);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setFixedHeight(lblLastUpdate->sizeHint().height());
    if (QBoxLayout* row = layoutHolding(lblLastUpdate->parentWidget()->layout(), lblLastUpdate))
        row->insertWidget(row->indexOf(lblLastUpdate), button, 0, Qt::AlignTop);
    connect(button, &QToolButton::clicked, this, [this] { ShowHistory(); });
}

void frmMain::ShowHistory() {
    if (!IsDatabaseOpen()) return;
    if (m_itemId < 1) {
        Prompt().MsgBox(QStringLiteral("Pick a saved item to see its history."), CPrompt::vbInformation);
        return;
    }
    // The difference is to the stored item: edits are saved (or given up) first.
    if (m_app.SaveEdits() == CPrompt::vbCancel) return;
    frmHistory dialog(*gDB, m_itemId, this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Chosen()) return;
    bool renumbered = false;
    QString error;
    const int n = CHistory::Restore(*gDB, *dialog.Chosen(), &renumbered, &error);
    if (!n) {
        Prompt().MsgBox(QStringLiteral("Unable to restore the version.\n") + error, CPrompt::vbExclamation);
        return;
    }
    if (renumbered)
        Prompt().MsgBox(QStringLiteral("The item's number is taken: the version is back as item #%1.").arg(n),
                        CPrompt::vbInformation);
    m_itemChanged = false;
    ShowItem(n);
}

void frmMain::UndoLastCommand() {
    if (!IsDatabaseOpen()) return;
    if (m_app.SaveEdits() == CPrompt::vbCancel) return;
    CUndoEntry done;
    QString notice, error;
    if (!CUndo::UndoLast(*gDB, &done, &notice, &error)) {
        Prompt().MsgBox(QStringLiteral("Unable to undo.\n") + error, CPrompt::vbExclamation);
        return;
    }
    if (!notice.isEmpty()) Prompt().MsgBox(notice, CPrompt::vbInformation);
    statusBar()->showMessage(QStringLiteral("Undone: ") + done.command, 5000);
    m_itemChanged = false;
    if (m_itemId > 0 && ItemExists(*gDB, m_itemId)) ShowItem(m_itemId);
    else {
        ClearItem();
        SetCurrentItemID(-1);
    }
}
