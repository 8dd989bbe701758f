#include "ui/frmTrash.h"

#include "history/CTrash.h"
#include "util/CPrompt.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmTrash::frmTrash(CSQLite& db, CPrompt& prompt, QWidget* parent) : QDialog(parent), m_db(db), m_prompt(prompt) {
    setObjectName(QStringLiteral("frmTrash"));
    setWindowTitle(QStringLiteral("Trash"));
    resize(640, 400);
    lstTrash = new QTreeWidget(this);
    lstTrash->setObjectName(QStringLiteral("lstTrash"));
    lstTrash->setRootIsDecorated(false);
    lstTrash->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Language"), QStringLiteral("Deleted"),
                               QStringLiteral("Item#")});
    lstTrash->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdRestore = buttons->addButton(QStringLiteral("&Restore"), QDialogButtonBox::ActionRole);
    cmdDelete = buttons->addButton(QStringLiteral("&Delete for Good"), QDialogButtonBox::ActionRole);
    cmdEmpty = buttons->addButton(QStringLiteral("&Empty Trash"), QDialogButtonBox::ActionRole);
    cmdRestore->setObjectName(QStringLiteral("cmdRestore"));
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    cmdEmpty->setObjectName(QStringLiteral("cmdEmpty"));
    connect(cmdRestore, &QPushButton::clicked, this, &frmTrash::RestoreSelected);
    connect(cmdDelete, &QPushButton::clicked, this, &frmTrash::DeleteSelected);
    connect(cmdEmpty, &QPushButton::clicked, this, &frmTrash::EmptyTrash);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lstTrash, 1);
    layout->addWidget(buttons);
    Fill();
}

void frmTrash::Fill() {
    QString error;
    if (!CTrash::List(m_db, m_entries, &error)) m_prompt.MsgBox(error, CPrompt::vbExclamation);
    lstTrash->clear();
    for (const CTrashEntry& t : std::as_const(m_entries))
        lstTrash->addTopLevelItem(new QTreeWidgetItem(
            {t.title, t.language, t.deleted.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
             QString::number(t.itemId)}));
    if (!m_entries.isEmpty()) lstTrash->setCurrentItem(lstTrash->topLevelItem(0));
    cmdRestore->setEnabled(!m_entries.isEmpty());
    cmdDelete->setEnabled(!m_entries.isEmpty());
    cmdEmpty->setEnabled(!m_entries.isEmpty());
}

const CTrashEntry* frmTrash::Selected() const {
    const int row = lstTrash->indexOfTopLevelItem(lstTrash->currentItem());
    return row >= 0 && row < m_entries.size() ? &m_entries[row] : nullptr;
}

void frmTrash::RestoreSelected() {
    const CTrashEntry* t = Selected();
    if (!t) return;
    bool renumbered = false;
    QString error;
    const int n = CTrash::Undelete(m_db, t->trashId, &renumbered, &error);
    if (!n) {
        m_prompt.MsgBox(QStringLiteral("Unable to restore the item.\n") + error, CPrompt::vbExclamation);
        return;
    }
    if (renumbered)
        m_prompt.MsgBox(QStringLiteral("Item #%1's number is taken by another item: it is back as item #%2.")
                            .arg(t->itemId)
                            .arg(n),
                        CPrompt::vbInformation);
    m_restored << n;
    Fill();
}

void frmTrash::DeleteSelected() {
    const CTrashEntry* t = Selected();
    if (!t) return;
    if (m_prompt.MsgBox(QStringLiteral("Delete \"%1\" for good? It cannot be restored afterwards.").arg(t->title),
                        CPrompt::vbOKCancel | CPrompt::vbQuestion) != CPrompt::vbOK)
        return;
    QString error;
    if (!CTrash::Forget(m_db, t->trashId, &error))
        m_prompt.MsgBox(QStringLiteral("Unable to delete the item.\n") + error, CPrompt::vbExclamation);
    Fill();
}

void frmTrash::EmptyTrash() {
    if (m_entries.isEmpty() ||
        m_prompt.MsgBox(QStringLiteral("Delete all %1 items in the trash for good?").arg(m_entries.size()),
                        CPrompt::vbOKCancel | CPrompt::vbQuestion) != CPrompt::vbOK)
        return;
    QString error;
    if (!CTrash::Empty(m_db, &error))
        m_prompt.MsgBox(QStringLiteral("Unable to empty the trash.\n") + error, CPrompt::vbExclamation);
    Fill();
}
