#include "app/frmImportFrom.h"

#include "db/basDB.h"
#include "formats/CFormatReader.h"
#include "formats/basImportFrom.h"
#include "util/CPrompt.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const struct {
    const char* format;
    const char* caption;
} kFormats[] = {
    {"vscode", "VS Code snippets (a .json or .code-snippets file, or their folder)"},
    {"masscode", "massCode (db.json, or a vault folder)"},
    {"pet", "pet (snippet.toml)"},
    {"the-way", "the-way (JSON export)"},
    {"snippetslab", "SnippetsLab (JSON export)"},
    {"folder", "A folder of source files"},
    {"markdown", "A Markdown folder exported by this program"},
};

QString fateText(ImportFate fate) {
    switch (fate) {
    case ImportFate::Added: return QStringLiteral("New");
    case ImportFate::Present: return QStringLiteral("Already present");
    case ImportFate::Skipped: return QStringLiteral("Skipped");
    }
    return {};
}

}  // namespace

frmImportFrom::frmImportFrom(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmImportFrom"));
    setWindowTitle(QStringLiteral("Import From"));
    cboFormat = new QComboBox(this);
    cboFormat->setObjectName(QStringLiteral("cboFormat"));
    for (const auto& f : kFormats) cboFormat->addItem(QLatin1String(f.caption), QLatin1String(f.format));
    txtPath = new QLineEdit(this);
    txtPath->setObjectName(QStringLiteral("txtPath"));
    auto* cmdBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    txtLanguage = new QLineEdit(this);
    txtLanguage->setObjectName(QStringLiteral("txtLanguage"));
    txtLanguage->setPlaceholderText(QStringLiteral("from the source"));
    txtCategory = new QLineEdit(this);
    txtCategory->setObjectName(QStringLiteral("txtCategory"));
    txtCategory->setPlaceholderText(QStringLiteral("from the source"));
    cmdPreview = new QPushButton(QStringLiteral("&Preview"), this);
    cmdPreview->setObjectName(QStringLiteral("cmdPreview"));
    lstPreview = new QTreeWidget(this);
    lstPreview->setObjectName(QStringLiteral("lstPreview"));
    lstPreview->setRootIsDecorated(false);
    lstPreview->setHeaderLabels({QStringLiteral("Result"), QStringLiteral("Title"), QStringLiteral("Language"),
                                 QStringLiteral("Categories"), QStringLiteral("Reason")});
    lblCounts = new QLabel(this);
    lblCounts->setObjectName(QStringLiteral("lblCounts"));
    cmdImport = new QPushButton(QStringLiteral("&Import"), this);
    cmdImport->setObjectName(QStringLiteral("cmdImport"));
    auto* cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* path = new QHBoxLayout;
    path->addWidget(txtPath, 1);
    path->addWidget(cmdBrowse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("F&ormat:"), cboFormat);
    form->addRow(QStringLiteral("File or &folder:"), path);
    form->addRow(QStringLiteral("&Language:"), txtLanguage);
    form->addRow(QStringLiteral("&Categories:"), txtCategory);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdPreview);
    buttons->addWidget(lblCounts, 1);
    buttons->addWidget(cmdImport);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lstPreview, 1);
    layout->addLayout(buttons);
    resize(760, 480);

    connect(cmdBrowse, &QPushButton::clicked, this, [this] { Browse(); });
    connect(cmdPreview, &QPushButton::clicked, this, [this] { Preview(); });
    connect(cmdImport, &QPushButton::clicked, this, [this] { Import(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cboFormat, &QComboBox::currentIndexChanged, this, [this] { Invalidate(); });
    for (QLineEdit* e : {txtPath, txtLanguage, txtCategory}) connect(e, &QLineEdit::textChanged, this, [this] { Invalidate(); });
    Invalidate();
}

void frmImportFrom::Invalidate() {
    lstPreview->clear();
    lblCounts->setText(QStringLiteral("Preview shows what the import will do."));
    cmdImport->setEnabled(false);
    cmdPreview->setEnabled(!txtPath->text().trimmed().isEmpty());
    cmdPreview->setDefault(true);
}

void frmImportFrom::Browse() {
    const QString format = cboFormat->currentData().toString();
    const QString chosen = CFormatReader::PathKindOf(format) == CFormatReader::PathKind::Folder
                               ? QFileDialog::getExistingDirectory(this, QStringLiteral("Import From Folder"), txtPath->text())
                               : QFileDialog::getOpenFileName(this, QStringLiteral("Import From File"), txtPath->text());
    if (!chosen.isEmpty()) txtPath->setText(chosen);
}

void frmImportFrom::Preview() {
    ImportFromSummary s;
    const ImportFromOptions options{cboFormat->currentData().toString(), txtPath->text().trimmed(), true,
                                    txtLanguage->text().trimmed(), txtCategory->text().trimmed()};
    const bool ok = ImportFrom(StoreDB(), options, &s);
    Invalidate();
    if (!ok) {
        if (!s.cancelled) Prompt().MsgBox(s.error, CPrompt::vbOKOnly | CPrompt::vbExclamation);
        return;
    }
    QList<QTreeWidgetItem*> rows;
    for (const ImportFromRow& r : std::as_const(s.rows))
        rows << new QTreeWidgetItem(
            {fateText(r.fate), r.title, r.language, r.categories.join(QStringLiteral(", ")), r.reason});
    lstPreview->addTopLevelItems(rows);
    lstPreview->header()->resizeSections(QHeaderView::ResizeToContents);
    lblCounts->setText(QStringLiteral("%1 new, %2 already present, %3 skipped, %4 deleted in the source")
                           .arg(s.added)
                           .arg(s.present)
                           .arg(s.skipped)
                           .arg(s.deleted));
    cmdImport->setEnabled(s.added > 0);
    if (s.added > 0) cmdImport->setDefault(true);
}

void frmImportFrom::Import() {
    ImportFromSummary s;
    const ImportFromOptions options{cboFormat->currentData().toString(), txtPath->text().trimmed(), false,
                                    txtLanguage->text().trimmed(), txtCategory->text().trimmed()};
    if (!ImportFrom(StoreDB(), options, &s)) {
        // Cancel in the progress window took everything back; the preview still stands.
        if (!s.cancelled) Prompt().MsgBox(s.error, CPrompt::vbOKOnly | CPrompt::vbExclamation);
        return;
    }
    m_imported = true;
    Prompt().MsgBox(ImportFromSummaryText(s), CPrompt::vbInformation);
    accept();
}
