#include "app/FormatMenuCommands.h"

#include "app/frmExportTo.h"
#include "app/frmImportFrom.h"

#include <QAction>
#include <QMenu>

void FormatMenuCommands(QMenu* file, QAction* after, bool databaseOpen, const std::function<void()>& reload) {
    QAction* importFrom = file->findChild<QAction*>(QStringLiteral("mnuFileImportFrom"));
    QAction* exportTo = file->findChild<QAction*>(QStringLiteral("mnuFileExportTo"));
    if (!importFrom) {
        // The File menu's keys are N, O, B, E, I and X: F and T are free.
        importFrom = new QAction(QStringLiteral("Import &From..."), file);
        importFrom->setObjectName(QStringLiteral("mnuFileImportFrom"));
        exportTo = new QAction(QStringLiteral("Export &To..."), file);
        exportTo->setObjectName(QStringLiteral("mnuFileExportTo"));
        const QList<QAction*> actions = file->actions();
        const qsizetype at = actions.indexOf(after);
        QAction* before = at >= 0 && at + 1 < actions.size() ? actions[at + 1] : nullptr;
        file->insertAction(before, importFrom);
        file->insertAction(before, exportTo);
        QObject::connect(importFrom, &QAction::triggered, file, [file, reload] {
            frmImportFrom dialog(file->window());
            dialog.exec();
            if (dialog.Imported() && reload) reload();
        });
        QObject::connect(exportTo, &QAction::triggered, file, [file] {
            frmExportTo dialog(file->window());
            dialog.exec();
        });
    }
    importFrom->setEnabled(databaseOpen);
    exportTo->setEnabled(databaseOpen);
}
