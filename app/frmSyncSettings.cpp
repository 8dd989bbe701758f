#include "app/frmSyncSettings.h"

#include "db/basDB.h"
#include "settings/CSettings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
QString setting(const char* name) { return gSettings ? gSettings->GetSetting(QString::fromLatin1(name)) : QString(); }
}  // namespace

frmSyncSettings::frmSyncSettings(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sync Settings"));
    auto* form = new QFormLayout(this);
    txtFolder = new QLineEdit(Folder(), this);
    txtFolder->setObjectName(QStringLiteral("txtSyncFolder"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    auto* row = new QHBoxLayout;
    row->addWidget(txtFolder);
    row->addWidget(browse);
    form->addRow(QStringLiteral("Sync &folder:"), row);
    txtRemote = new QLineEdit(Remote(), this);
    txtRemote->setObjectName(QStringLiteral("txtSyncRemote"));
    txtRemote->setPlaceholderText(QStringLiteral("git@github.com:you/snippets.git, or a bare repository's path"));
    form->addRow(QStringLiteral("&Remote:"), txtRemote);
    form->addRow(new QLabel(QStringLiteral("Without a remote, the folder is merged as another program "
                                           "(Syncthing, a shared drive) leaves it."),
                            this));
    chkAtStart = new QCheckBox(QStringLiteral("Sync at &start-up"), this);
    chkAtStart->setChecked(AtStart());
    chkAtExit = new QCheckBox(QStringLiteral("Sync on e&xit"), this);
    chkAtExit->setChecked(AtExit());
    form->addRow(chkAtStart);
    form->addRow(chkAtExit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Sync Folder"), txtFolder->text());
        if (!dir.isEmpty()) txtFolder->setText(dir);
    });
}

void frmSyncSettings::accept() {
    if (gSettings) {
        gSettings->SaveSetting(QStringLiteral("SyncFolder"), txtFolder->text().trimmed());
        gSettings->SaveSetting(QStringLiteral("SyncRemote"), txtRemote->text().trimmed());
        gSettings->SaveSetting(QStringLiteral("SyncAtStart"), chkAtStart->isChecked() ? 1 : 0);
        gSettings->SaveSetting(QStringLiteral("SyncAtExit"), chkAtExit->isChecked() ? 1 : 0);
    }
    QDialog::accept();
}

QString frmSyncSettings::Folder() { return setting("SyncFolder"); }
QString frmSyncSettings::Remote() { return setting("SyncRemote"); }
bool frmSyncSettings::AtStart() { return setting("SyncAtStart").toInt() != 0; }
bool frmSyncSettings::AtExit() { return setting("SyncAtExit").toInt() != 0; }
