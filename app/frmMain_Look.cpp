// Main window: View > Look. Classic is the blue window the program has always had; System uses
// the desktop's own palette, light or dark, and the code pane follows it.
#include "app/frmMain.h"
#include "app/CodeEditor.h"

#include "db/basDB.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

QString frmMain::Look() const {
    const QString look = gSettings ? gSettings->GetSetting(QStringLiteral("Look")) : QString();
    return look.compare(QLatin1String("System"), Qt::CaseInsensitive) == 0 ? QStringLiteral("System")
                                                                            : QStringLiteral("Classic");
}

void frmMain::BuildLookMenu() {
    // Before Tools, so that the menus keep their order otherwise.
    mnuView = new QMenu(QStringLiteral("&View"), this);
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuView->menuAction()->setObjectName(QStringLiteral("mnuView"));
    menuBar()->insertMenu(mnuTools->menuAction(), mnuView);
    QMenu* look = mnuView->addMenu(QStringLiteral("&Look"));
    look->setObjectName(QStringLiteral("mnuViewLook"));
    auto* group = new QActionGroup(look);
    const auto add = [&](const char* name, const QString& caption, const QString& value) {
        QAction* a = look->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setCheckable(true);
        a->setChecked(Look() == value);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, value] {
            gSettings->SaveSetting(QStringLiteral("Look"), value);
            ApplyLook();
        });
        return a;
    };
    mnuViewLookClassic = add("mnuViewLookClassic", QStringLiteral("&Classic"), QStringLiteral("Classic"));
    mnuViewLookSystem = add("mnuViewLookSystem", QStringLiteral("&System"), QStringLiteral("System"));
}

void frmMain::ApplySystemLook() {
    // Every control back to the desktop's palette; the panes draw nothing of their own.
    const QList<QWidget*> all = {m_host, fraLangCat, fraTitles, fraItems, cmdFind, cmdFindClear, cmdNew, cmdSave,
                                 cmdDelete, cmdFileAttach, cmdFileSave, cmdFileClear, cboLanguage, lstCategory,
                                 lstItem, txtTitle, txtItem, txtItemCategories, txtFileName, cboItemLanguage};
    for (QWidget* w : all) {
        w->setPalette(QPalette());
        if (qobject_cast<QFrame*>(w) || w == m_host) w->setAutoFillBackground(false);
    }
    for (QLabel* l : findChildren<QLabel*>()) l->setPalette(QPalette());
    for (QToolButton* t : fraItems->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)) t->setPalette(QPalette());
}
