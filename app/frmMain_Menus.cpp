// Main window: the File and Tools menu commands (databases, backup, exchange file, settings
// place, daily backup switch, vacuum).
#include "app/CApplication.h"
#include "app/frmMain.h"
#include "app/FormatMenuCommands.h"
#include "app/WaitCursor.h"
#include "app/frmMainExchange.h"
#include "app/SyncMenuCommands.h"
#include "app/frmMainTools.h"
#include "app/frmQuick.h"

#include "db/basDB.h"
#include "settings/basBackupTargets.h"
#include "exchange/basExport.h"
#include "exchange/basImport.h"
#include "util/CPrompt.h"
#include "ui/frmHelp.h"
#include "util/basFileTools.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QComboBox>
#include <QFile>
#include <QStatusBar>

namespace {

const char* const kSettingKeys[] = {"LastDatabase", "LastLanguage", "BackupDaily",
                                    "BackupTime",   "BackupFile",   "SQLCommand"};

}  // namespace

bool frmMain::OpenDatabaseFile(const QString& path) {
    if (path.isEmpty()) return false;
    QString file = path;
    const QString previous = IsDatabaseOpen() ? StoreDB().Filename() : QString();
    const QString name = OpenDatabase(file);
    if (name.isEmpty()) {
        // A refused file is not left open: nothing may read from or write to it. The database
        // that was open stays the one the window shows.
        CloseDatabase();
        if (previous.isEmpty()) {
            ShowDatabaseCaption(QString());
            EnableDatabaseCommands();
            ClearItem();
            SetCurrentItemID(-1);
            m_itemChanged = false;
            LoadLanguages();
            return false;
        }
        QString again = previous;
        ShowDatabaseCaption(OpenDatabase(again));
        EnableDatabaseCommands();
        LoadLanguages();
        return false;
    }
    ShowDatabaseCaption(name);
    EnableDatabaseCommands();
    ClearItem();
    SetCurrentItemID(-1);
    m_itemChanged = false;
    LoadLanguages();
    return true;
}

void frmMain::mnuFileNew_Click() {
    // A new item typed in may go into the new database; other unsaved edits are offered for
    // saving before another database replaces them.
    CItem kept;
    bool keep = false;
    if (KeepTypedItemForNewDatabase(kept)) {
        const int answer = Prompt().MsgBox(QStringLiteral("Keep the item you typed and save it into the new database?"),
                                           CPrompt::vbYesNoCancel | CPrompt::vbQuestion);
        if (answer == CPrompt::vbCancel) return;
        keep = answer == CPrompt::vbYes;
    } else if (m_itemChanged && SavePrompt() == CPrompt::vbCancel) {
        return;
    }
    const QString file = Prompt().FileDialog(true, QStringLiteral("Create Database File"), QString(), QString(),
                                             DatabaseFilter(), CPrompt::OFN_EXPLORER | CPrompt::OFN_PATHMUSTEXIST);
    if (file.isEmpty()) return;
    const bool opened = OpenDatabaseFile(file);
    if (keep) PutBackKeptItem(kept, opened);
}

void frmMain::mnuFileOpen_Click() {
    if (m_itemChanged && SavePrompt() == CPrompt::vbCancel) return;
    OpenDatabaseFile(Prompt().FileDialog(false, QStringLiteral("Select Database File"), QString(),
                                         QString(), DatabaseFilter(),
                                         CPrompt::OFN_EXPLORER | CPrompt::OFN_FILEMUSTEXIST));
}

void frmMain::mnufileBackup_Click() {
    const QString database = StoreDB().Filename();
    const QString previous = BackupTargetFor(*gSettings, database);
    const QString file = Prompt().FileDialog(true, QStringLiteral("Backup Database To..."),
                                             GetFileName(previous), GetParentFolder(previous),
                                             DatabaseFilter(), 0);
    if (file.isEmpty()) return;
    if (FileExists(file) &&
        Prompt().MsgBox(QStringLiteral("Overwrite existing file?"),
                        CPrompt::vbOKCancel | CPrompt::vbQuestion) != CPrompt::vbOK)
        return;
    if (!BackupDatabase(file)) return;
    RememberBackupTarget(*gSettings, database, file);
    ShowDone(QStringLiteral("Backed up to ") + file);
}

void frmMain::mnuFileExport_Click() {
    // Save dialog, overwrite and attachment questions, then the export. An existing file is
    // replaced only when the new one is complete.
    const QString file = AskExportFile();
    if (file.isEmpty() || !ConfirmExportOverwrite(file)) return;
    if (ExportDatabase(file, AskExportAttachments())) ShowDone(QStringLiteral("Exported to ") + file);
}

void frmMain::GiveMenusTheirAccessKeys() {
    // "&Tools" and "&Title", "&File" and "&Find" share a letter: the menu title wins, as the
    // menu bar's keys do in every program; the label or button keeps its underline for Alt+
    // letters nothing else claims.
    QHash<QKeySequence, QMenu*> menus;
    for (QAction* a : menuBar()->actions())
        if (a->menu()) menus.insert(QKeySequence::mnemonic(a->text()), a->menu());
    const auto claim = [&](QWidget* w, const QString& caption) {
        if (QMenu* m = menus.value(QKeySequence::mnemonic(caption))) {
            m_menuKeys.insert(w, m);
            w->installEventFilter(this);
        }
    };
    for (QLabel* l : findChildren<QLabel*>()) claim(l, l->text());
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) claim(b, b->text());
}

bool frmMain::MenuKeyEvent(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Shortcut) return false;
    QMenu* menu = m_menuKeys.value(qobject_cast<QWidget*>(watched));
    if (!menu) return false;
    menuBar()->setActiveAction(menu->menuAction());
    return true;
}

void frmMain::SetBusy(bool busy) {
    // The one switch for every command: the progress window lets pending events run, and none
    // of them may take the connection from under an import or export, start a second operation
    // or save inside it. Shortcuts live on the menu bar and the controls, so they go quiet too;
    // the progress window is a window of its own and keeps its Cancel.
    if (busy) m_focusBeforeBusy = QApplication::focusWidget();
    centralWidget()->setEnabled(!busy);
    menuBar()->setEnabled(!busy);
    if (!busy && m_focusBeforeBusy) m_focusBeforeBusy->setFocus();
}

void frmMain::ShowDone(const QString& text) {
    // Passing news: a box to click away would interrupt the user for nothing.
    statusBar()->showMessage(text, 6000);
}

void frmMain::EnableDatabaseCommands() {
    const bool open = IsDatabaseOpen();
    for (QAction* a : {mnufileBackup, mnuFileExport, mnuFileImport, mnuToolsVacuum}) a->setEnabled(open);
    FormatMenuCommands(mnuFile, mnuFileImport, open, [this] { LoadLanguages(); });
    ShowNoDatabasePanel();
    SyncMenuCommands(mnuTools, open);
}

void frmMain::mnuFileImport_Click() {
    // The lists reload whenever the import ran, committed or not.
    if (!ImportCommand()) return;
    LoadLanguages();
    // An import over existing numbers may have replaced the item on show; a save of the old
    // texts would undo it. Edits of the user's own stay for the user to save or drop.
    if (!m_itemChanged && m_itemId > 0) ShowCurrentItem();
}

void frmMain::mnuToolsSaveSettings_Click() {
    // Checked means the settings live in the registry area (the native store); unchecked, in
    // Settings.ini beside the program. The user's settings move along with the choice.
    const bool wantIni = !mnuToolsSaveSettings->isChecked();
    if (wantIni != gSettings->SaveToINI()) {
        QList<QPair<QString, QString>> values;
        for (const char* key : kSettingKeys) {
            const QString name = QLatin1String(key);
            const QString value = gSettings->GetSetting(name);
            if (!value.isEmpty()) values.append({name, value});
        }
        gSettings->SetSaveToINI(wantIni);
        if (gSettings->SaveToINI() == wantIni) {
            for (const auto& [name, value] : values) gSettings->SaveSetting(name, value);
        } else {
            Prompt().MsgBox(QStringLiteral("Unable to write the settings file ") + gSettings->IniFile() +
                                QStringLiteral("\nSettings stay in the registry."),
                            CPrompt::vbExclamation);
        }
    }
    mnuToolsSaveSettings->setChecked(!gSettings->SaveToINI());
}

void frmMain::mnuToolsBackupDaily_Click() {
    // The action has already toggled its own check mark.
    gSettings->SaveSetting(QStringLiteral("BackupDaily"), mnuToolsBackupDaily->isChecked());
}

void frmMain::mnuToolsVacuum_Click() {
    if (Prompt().MsgBox(QStringLiteral("This will remove unused categories and languages, and reduce "
                                       "the database file size if items have been deleted. Are you sure?"),
                        CPrompt::vbOKCancel) != CPrompt::vbOK)
        return;
    QString error;
    bool done = false;
    {
        WaitCursor wait;
        done = VacuumDatabase(&error);
    }
    LoadLanguages();
    // A vacuum that failed (a read-only file, no database open) says so instead of "Done".
    if (done)
        Prompt().MsgBox(QStringLiteral("Done"), CPrompt::vbOKOnly);
    else
        Prompt().MsgBox(QStringLiteral("Unable to vacuum the database.") +
                            (error.isEmpty() ? QString() : QStringLiteral("\n") + error),
                        CPrompt::vbExclamation);
}

void frmMain::mnuHelpAbout_Click() {
    // Loaded on first use; a window the query tester only hid is shown again as it was.
    if (!m_help) m_help = new frmHelp(this);
    m_help->exec();
    if (!m_help->HiddenForTester()) {
        delete m_help;
        m_help = nullptr;
    }
}

void frmMain::BuildQuickFindMenu() {
    mnuEditQuickFind = mnuEdit->addAction(QStringLiteral("&Quick Find..."));
    mnuEditQuickFind->setObjectName(QStringLiteral("mnuEditQuickFind"));
    mnuEditQuickFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    connect(mnuEditQuickFind, &QAction::triggered, this, [this] { ShowQuickFind(); });
}

void frmMain::ShowQuickFind() {
    if (!m_quick) {
        // A window of its own (it may show while this one is hidden), gone with this one.
        m_quick = new frmQuick;
        connect(this, &QObject::destroyed, m_quick, [quick = m_quick] { delete quick; });
        connect(m_quick, &frmQuick::OpenItemRequested, this, [this](int id) { OpenQuickItem(id); });
    }
    m_quick->Popup();
}

void frmMain::OpenQuickItem(int itemId) {
    show();
    raise();
    activateWindow();
    // The application's save question, as for any window that opens an item.
    if (m_app.SaveEdits() == CPrompt::vbCancel) return;
    m_itemChanged = false;  // saved, or the edits were given up
    // The item's language is picked first, so that a save keeps it where it is.
    ResultTable row;
    QString error;
    const QString language =
        gDB->Exec(QStringLiteral("SELECT tblType.Name FROM tblItemCategory JOIN tblCategory ON tblCategory.ID = "
                                 "tblItemCategory.CategoryID JOIN tblType ON tblType.ID = tblCategory.TypeID "
                                 "WHERE tblItemCategory.ItemID = %1 LIMIT 1")
                      .arg(itemId),
                  row, error, true)
            .toString();
    for (int i = 1; i < cboLanguage->count(); ++i)
        if (EntryName(cboLanguage->itemText(i)).compare(language, Qt::CaseInsensitive) == 0) cboLanguage->setCurrentIndex(i);
    SetCurrentItemID(itemId);
    ShowCurrentItem();
    SelectTitle(itemId);
}
