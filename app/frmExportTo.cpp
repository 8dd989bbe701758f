#include "app/frmExportTo.h"

#include "db/basDB.h"
#include "formats/CFormatWriter.h"
#include "util/CPrompt.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmExportTo::frmExportTo(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmExportTo"));
    setWindowTitle(QStringLiteral("Export To"));
    cboFormat = new QComboBox(this);
    cboFormat->setObjectName(QStringLiteral("cboFormat"));
    cboFormat->addItem(QStringLiteral("VS Code snippets (one .json file per language)"), QStringLiteral("vscode"));
    cboFormat->addItem(QStringLiteral("Markdown folder (one file per item)"), QStringLiteral("markdown"));
    txtPath = new QLineEdit(this);
    txtPath->setObjectName(QStringLiteral("txtPath"));
    auto* cmdBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    auto* cmdExport = new QPushButton(QStringLiteral("&Export"), this);
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    cmdExport->setDefault(true);
    auto* cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* path = new QHBoxLayout;
    path->addWidget(txtPath, 1);
    path->addWidget(cmdBrowse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("F&ormat:"), cboFormat);
    form->addRow(QStringLiteral("&Folder:"), path);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdExport);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(560, 140);

    connect(cmdBrowse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Export To Folder"), txtPath->text());
        if (!chosen.isEmpty()) txtPath->setText(chosen);
    });
    connect(cmdExport, &QPushButton::clicked, this, [this] { Export(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmExportTo::Export() {
    const QString folder = txtPath->text().trimmed();
    if (folder.isEmpty()) {
        Prompt().MsgBox(QStringLiteral("Please choose a folder"), CPrompt::vbOKOnly | CPrompt::vbExclamation);
        return;
    }
    CExportSummary s;
    if (!CFormatWriter::Create(cboFormat->currentData().toString())->Write(StoreDB(), folder, s)) {
        if (!s.cancelled) Prompt().MsgBox(s.error, CPrompt::vbOKOnly | CPrompt::vbExclamation);
        return;
    }
    QString text = QStringLiteral("%1 items exported: %2 files written, %3 unchanged, %4 removed.")
                       .arg(s.items)
                       .arg(s.written)
                       .arg(s.unchanged)
                       .arg(s.removed);
    if (!s.failures.isEmpty())
        text += QStringLiteral("\n%1 of the attachments could not be written:\n").arg(s.failures.size()) +
                s.failures.join(QLatin1Char('\n'));
    Prompt().MsgBox(text, s.failures.isEmpty() ? CPrompt::vbInformation : CPrompt::vbOKOnly | CPrompt::vbExclamation);
    accept();
}
