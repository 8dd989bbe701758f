#include "app/SyncMenuCommands.h"

#include "app/WaitCursor.h"
#include "app/frmSyncSettings.h"
#include "db/CSQLite.h"
#include "db/basDB.h"
#include "sync/CSync.h"
#include "sync/CSyncConflicts.h"
#include "ui/CTitleListModel.h"

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>

namespace {
QLabel* statusLabel(QStatusBar* status) {
    auto* label = status->findChild<QLabel*>(QStringLiteral("lblSyncStatus"));
    if (!label) {
        label = new QLabel(status);
        label->setObjectName(QStringLiteral("lblSyncStatus"));
        status->addPermanentWidget(label);
    }
    return label;
}
// A menu is a window of its own: the main window is up its parents.
QMainWindow* mainWindowOf(QWidget* w) {
    while (w && !qobject_cast<QMainWindow*>(w)) w = w->parentWidget();
    return qobject_cast<QMainWindow*>(w);
}

// The title list marks the items in conflict until they are resolved.
void markConflicts(QWidget* window) {
    auto* list = window->findChild<QListView*>(QStringLiteral("lstItem"));
    auto* model = list ? dynamic_cast<CTitleListModel*>(list->model()) : nullptr;
    if (!model) return;
    QSet<int> items;
    if (IsDatabaseOpen()) CSyncConflicts::Items(StoreDB(), items, nullptr);
    model->SetMarked(items);
}
}  // namespace

bool SyncNow(QMainWindow* window) {
    if (!IsDatabaseOpen()) return false;
    QStatusBar* status = window->statusBar();
    CSyncOptions o;
    o.folder = frmSyncSettings::Folder();
    o.remote = frmSyncSettings::Remote();
    if (o.folder.isEmpty()) {
        // The database remembers where it synced last.
        QString remote;
        CSync::Settings(StoreDB(), o.folder, remote, nullptr);
    }
    QLabel* label = statusLabel(status);
    if (o.folder.isEmpty()) {
        frmSyncSettings dialog(status->window());
        if (dialog.exec() != QDialog::Accepted || frmSyncSettings::Folder().isEmpty()) return false;
        o.folder = frmSyncSettings::Folder();
        o.remote = frmSyncSettings::Remote();
    }
    CSyncSummary s;
    bool ok = false;
    {
        WaitCursor wait;
        ok = CSync::Run(StoreDB(), o, s);
    }
    if (!ok) {
        label->setText(QStringLiteral("Sync failed"));
        label->setToolTip(s.error);
        status->showMessage(QStringLiteral("Sync failed: ") + s.error, 15000);
        return false;
    }
    markConflicts(status->window());
    label->setText(s.Text());
    label->setToolTip(s.skipped.isEmpty() ? QString()
                                          : QStringLiteral("Files skipped:\n") + s.skipped.join(QLatin1Char('\n')));
    return true;
}

void SyncMenuCommands(QMenu* tools, bool databaseOpen) {
    QAction* now = tools->findChild<QAction*>(QStringLiteral("mnuToolsSyncNow"));
    QAction* settings = tools->findChild<QAction*>(QStringLiteral("mnuToolsSyncSettings"));
    if (!now) {
        tools->addSeparator();
        now = tools->addAction(QStringLiteral("Sync &Now"));
        now->setObjectName(QStringLiteral("mnuToolsSyncNow"));
        now->setParent(tools);
        settings = tools->addAction(QStringLiteral("S&ync Settings..."));
        settings->setObjectName(QStringLiteral("mnuToolsSyncSettings"));
        settings->setParent(tools);
        QObject::connect(now, &QAction::triggered, tools, [tools] {
            if (QMainWindow* window = mainWindowOf(tools)) SyncNow(window);
        });
        QObject::connect(settings, &QAction::triggered, tools, [tools] {
            frmSyncSettings dialog(mainWindowOf(tools));
            dialog.exec();
        });
        // A save that settles a conflict (here, from the command line or anywhere else that
        // writes to the file through this connection) takes the mark off at once.
        // The listener goes with the connection; a window closing or gone is left alone.
        QPointer<QMenu> menu(tools);
        StoreDB().AddChangeListener([menu](CSQLite&, const QList<CChange>&, const CSQLite::Stamp&) {
            QMainWindow* window = menu ? mainWindowOf(menu) : nullptr;
            if (window && window->isVisible()) markConflicts(window);
        });
    }
    now->setEnabled(databaseOpen);
    if (QMainWindow* window = mainWindowOf(tools)) markConflicts(window);
}

void SyncWhen(SyncMoment moment, QMainWindow* window) {
    const bool wanted = moment == SyncMoment::Start ? frmSyncSettings::AtStart() : frmSyncSettings::AtExit();
    if (wanted && IsDatabaseOpen() && !frmSyncSettings::Folder().isEmpty()) SyncNow(window);
}
