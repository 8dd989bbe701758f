#include "ui/frmHistory.h"

#include "db/basDBItems.h"
#include "history/CHistory.h"
#include "ui/CVersionDiff.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

frmHistory::frmHistory(CSQLite& db, int itemId, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("History of Item #%1").arg(itemId));
    resize(900, 560);
    QString error;
    if (!LoadItem(db, itemId, m_current, &error)) m_current = CItem();
    if (!CHistory::Entries(db, itemId, m_versions, &error)) m_problem = error;

    lstVersions = new QListWidget(this);
    lstVersions->setObjectName(QStringLiteral("lstVersions"));
    txtDiff = new QTextBrowser(this);
    txtDiff->setObjectName(QStringLiteral("txtDiff"));
    lblNote = new QLabel(this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    for (const CItemVersion& v : std::as_const(m_versions))
        lstVersions->addItem(QStringLiteral("%1  %2  %3")
                                 .arg(v.changed.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                      v.command, v.note.isEmpty() ? v.item.title : v.note));
    if (!m_problem.isEmpty()) lblNote->setText(m_problem);
    else if (m_versions.isEmpty()) lblNote->setText(QStringLiteral("This item has no earlier versions."));
    else lblNote->setText(QStringLiteral("Lines marked - are in the version only, + in the item as it is now."));

    auto* split = new QSplitter(this);
    split->addWidget(lstVersions);
    split->addWidget(txtDiff);
    split->setStretchFactor(1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdRestore = buttons->addButton(QStringLiteral("&Restore This Version"), QDialogButtonBox::AcceptRole);
    cmdRestore->setObjectName(QStringLiteral("cmdRestore"));
    cmdRestore->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblNote);
    layout->addWidget(split, 1);
    layout->addWidget(buttons);
    connect(lstVersions, &QListWidget::currentRowChanged, this, [this] { ShowDiff(); });
    if (!m_versions.isEmpty()) lstVersions->setCurrentRow(0);
}

const CItemVersion* frmHistory::Chosen() const {
    const int row = lstVersions->currentRow();
    return row >= 0 && row < m_versions.size() ? &m_versions[row] : nullptr;
}

void frmHistory::ShowDiff() {
    const CItemVersion* v = Chosen();
    // A rename changed the categories only and kept no text: there is nothing to restore.
    const bool rename = v && !v->note.isEmpty();
    cmdRestore->setEnabled(v && !rename);
    cmdRestore->setToolTip(rename ? QStringLiteral("A category rename keeps no version of the item; Edit > Undo "
                                                   "takes the last one back.")
                                  : QString());
    if (rename)
        txtDiff->setPlainText(QStringLiteral("%1: %2.\nOnly the item's categories changed; there is no version to "
                                             "restore.")
                                  .arg(v->command, v->note));
    else
        txtDiff->setHtml(v ? CVersionDiff::Html(v->item, m_current) : QString());
}
