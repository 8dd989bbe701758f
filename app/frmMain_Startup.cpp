// Main window: controls and menus, start-up, the closing sequence with the daily backup, and
// the window state every other part of the window shares.
#include "app/SyncMenuCommands.h"
#include "app/CApplication.h"
#include "app/WindowArguments.h"
#include "app/frmMain.h"
#include "app/CodeEditor.h"
#include "ui/CTitleListModel.h"
#include "app/frmMainTools.h"

#include "db/basDB.h"
#include "settings/basBackupTargets.h"
#include "util/CPrompt.h"
#include "util/basFileTools.h"
#include "util/basProgram.h"
#include "util/basVariableTools.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

frmMain::frmMain(CApplication& app, QWidget* parent) : QMainWindow(parent), m_app(app) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(AppCaption());
    BuildControls();
    BuildMenus();
    RouteEditKeys();
    GiveControlsTheirAccessKeys();
    GiveMenusTheirAccessKeys();
    BuildLayout();
    BuildNoDatabasePanel();
    SetTabOrder();
    BuildHistoryCommands();
    ApplyLook();
    m_app.SetMainWindow(this);
    connect(&m_app, &CApplication::BusyChanged, this, [this](bool busy) { SetBusy(busy); });
    connect(&m_app, &CApplication::Changed, this, [this] { DatabaseChanged(); });
    Form_Load();
    if (gSettings) RestoreLayout();
}

frmMain::~frmMain() {
    if (m_app.MainWindow() == this) m_app.SetMainWindow(nullptr);
}

void frmMain::DatabaseChanged() {
    // The window's own save and delete show their outcome themselves, once they are done.
    m_listsBehind = true;
    if (Doing(Writing) || m_unloaded || !IsDatabaseOpen()) return;
    LoadLanguages();
}

void frmMain::ShowItem(int itemId) {
    SetCurrentItemID(itemId);
    ShowCurrentItem();
    SelectTitle(itemId);
}

void frmMain::BuildControls() {
    auto frame = [this](const char* name) {
        auto* f = new QFrame(this);
        f->setObjectName(QLatin1String(name));
        return f;
    };
    auto label = [](QWidget* parent, const char* name, const QString& caption) {
        auto* l = new QLabel(caption, parent);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto button = [](QWidget* parent, const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    auto line = [](QWidget* parent, const char* name) {
        auto* e = new QLineEdit(parent);
        e->setObjectName(QLatin1String(name));
        return e;
    };

    fraLangCat = frame("fraLangCat");
    lblLanguage = label(fraLangCat, "lblLanguage", QStringLiteral("&Language"));
    cboLanguage = new QComboBox(fraLangCat);
    cboLanguage->setObjectName(QStringLiteral("cboLanguage"));
    cboLanguage->setEditable(true);
    // A typed name must stay as typed: no completion from the entries, no new entries on Enter.
    cboLanguage->setCompleter(nullptr);
    cboLanguage->setInsertPolicy(QComboBox::NoInsert);
    lblLanguage->setBuddy(cboLanguage);
    lblCategory = label(fraLangCat, "lblCategory", QStringLiteral("Catego&ries"));
    lstCategory = new QListWidget(fraLangCat);
    lstCategory->setObjectName(QStringLiteral("lstCategory"));
    lblCategory->setBuddy(lstCategory);

    fraTitles = frame("fraTitles");
    lblTitles = label(fraTitles, "lblTitles", QStringLiteral("T&itles"));
    lstItem = new QListView(fraTitles);
    lstItem->setObjectName(QStringLiteral("lstItem"));
    m_titles = new CTitleListModel(lstItem);
    lstItem->setModel(m_titles);
    lstItem->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstItem->setSelectionMode(QAbstractItemView::SingleSelection);
    // Titles are one line each: the list need not measure every one of them.
    lstItem->setUniformItemSizes(true);
    lblTitles->setBuddy(lstItem);
    cmdFind = button(fraTitles, "cmdFind", QStringLiteral("&Find"));
    cmdFind->setToolTip(QStringLiteral("Filter the Titles list to only display items matching search terms"));
    cmdFindClear = button(fraTitles, "cmdFindClear", QStringLiteral("&Clear"));
    cmdFindClear->setToolTip(QStringLiteral(
        "Clear the list of find results and display all titles for the selected category"));

    fraItems = frame("fraItems");
    lblItemNo = label(fraItems, "lblItemNo", QString());
    lblItemNo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblLastUpdate = label(fraItems, "lblLastUpdate", QString());
    lblLastUpdate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblLastUpdate->setToolTip(QStringLiteral("Last Update to This Item"));
    lblTitle = label(fraItems, "lblTitle", QStringLiteral("&Title"));
    txtTitle = line(fraItems, "txtTitle");
    lblTitle->setBuddy(txtTitle);
    lblItem = label(fraItems, "lblItem", QStringLiteral("C&ode and Description"));
    txtItem = new CodeEditor(fraItems);
    txtItem->setObjectName(QStringLiteral("txtItem"));
    txtItem->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    lblItem->setBuddy(txtItem);
    lblItemCategories = label(fraItems, "lblItemCategories", QStringLiteral("Cate&gories"));
    txtItemCategories = line(fraItems, "txtItemCategories");
    lblItemCategories->setBuddy(txtItemCategories);
    BuildItemLanguage();
    lblFileName = label(fraItems, "lblFileName", QStringLiteral("&Attachment"));
    txtFileName = line(fraItems, "txtFileName");
    txtFileName->setReadOnly(true);
    lblFileName->setBuddy(txtFileName);
    txtFileName->setToolTip(QStringLiteral("Double-click to open the attached file"));
    lblFileSize = label(fraItems, "lblFileSize", QString());
    cmdNew = button(fraItems, "cmdNew", QStringLiteral("&New"));
    cmdSave = button(fraItems, "cmdSave", QStringLiteral("&Save"));
    cmdDelete = button(fraItems, "cmdDelete", QStringLiteral("&Delete"));
    cmdFileAttach = button(fraItems, "cmdFileAttach", QStringLiteral("&Attach"));
    cmdFileSave = button(fraItems, "cmdFileSave", QStringLiteral("Sa&ve"));
    cmdFileClear = button(fraItems, "cmdFileClear", QStringLiteral("C&lear"));
    ConnectAttachments();

    connect(cboLanguage, &QComboBox::currentIndexChanged, this, [this] {
        m_languageTyping->stop();
        cboLanguage_Click();
    });
    // Typing a name reloads once the typing pauses, not at every key; a picked entry at once.
    m_languageTyping = new QTimer(this);
    m_languageTyping->setSingleShot(true);
    m_languageTyping->setInterval(kTypingPauseMs);
    // A typed or pasted name that is a language's (in any case) selects that language.
    connect(m_languageTyping, &QTimer::timeout, this, [this] {
        if (!SelectLanguageNamed(cboLanguage->currentText())) cboLanguage_Click();
    });
    connect(cboLanguage, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (Doing(Filling)) return;
        if (cboLanguage->findText(text, Qt::MatchExactly) >= 0) {
            m_languageTyping->stop();
            cboLanguage_Click();
        } else {
            m_languageTyping->start();
        }
    });
    // Selection, not the current entry: focusing a list makes an entry current without
    // selecting it, and a click selects only after it has made the entry current.
    connect(lstCategory, &QListWidget::itemSelectionChanged, this, [this] { lstCategory_Click(); });
    // Opening a title runs once the click is over: its save question must not interrupt the
    // list's own handling of the mouse. One opening waits at a time and takes the entry selected
    // when it runs: a second one queued by a quick key would run inside the first one's save
    // question and ask again about edits already settled.
    connect(lstItem->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (Doing(Filling) || m_itemClickQueued) return;
        m_itemClickQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_itemClickQueued = false;
            lstItem_Click();
        });
    });
    lblTitles->installEventFilter(this);
    txtTitle->installEventFilter(this);

    connect(txtTitle, &QLineEdit::textChanged, this, [this] { ItemText_Change(); });
    connect(txtItem, &QsciScintilla::textChanged, this, [this] { ItemText_Change(); });
    connect(txtItemCategories, &QLineEdit::textChanged, this, [this] { ItemText_Change(); });
    connect(cmdNew, &QPushButton::clicked, this, [this] { cmdNew_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
}

void frmMain::BuildMenus() {
    auto menu = [this](const char* name, const QString& caption) {
        QMenu* m = menuBar()->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    auto item = [this](QMenu* m, const char* name, const QString& caption,
                       const QKeySequence& key = {}) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        if (!key.isEmpty()) a->setShortcut(key);
        return a;
    };

    mnuFile = menu("mnuFile", QStringLiteral("&File"));
    mnuFileNew = item(mnuFile, "mnuFileNew", QStringLiteral("&New Database..."));
    mnuFileOpen = item(mnuFile, "mnuFileOpen", QStringLiteral("&Open Database..."), QKeySequence(Qt::CTRL | Qt::Key_O));
    mnufileBackup = item(mnuFile, "mnufileBackup", QStringLiteral("&Backup Database..."));
    mnuFile->addSeparator();
    mnuFileExport = item(mnuFile, "mnuFileExport", QStringLiteral("&Export Database..."));
    mnuFileImport = item(mnuFile, "mnuFileImport", QStringLiteral("&Import Database..."));
    mnuFile->addSeparator();
    mnuFileExit = item(mnuFile, "mnuFileExit", QStringLiteral("E&xit"));

    mnuEdit = menu("mnuEdit", QStringLiteral("&Edit"));
    mnuEditCut = item(mnuEdit, "mnuEditCut", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuEditCopy = item(mnuEdit, "mnuEditCopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    mnuEditPaste = item(mnuEdit, "mnuEditPaste", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    mnuEdit->addSeparator();
    mnuEditSelectAll = item(mnuEdit, "mnuEditSelectAll", QStringLiteral("&Select All"), QKeySequence(Qt::CTRL | Qt::Key_A));
    mnuEdit->addSeparator();
    mnuEditRenameCategory = item(mnuEdit, "mnuEditRenameCategory", QStringLiteral("&Rename Category"));
    mnuEdit->addSeparator();
    mnuEditFind = item(mnuEdit, "mnuEditFind", QStringLiteral("&Find..."), QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuEditFindClear = item(mnuEdit, "mnuEditFindClear", QStringLiteral("C&lear Find List"));
    BuildQuickFindMenu();

    mnuTools = menu("mnuTools", QStringLiteral("&Tools"));
    BuildLookMenu();
    mnuToolsSaveSettings = item(mnuTools, "mnuToolsSaveSettings", QStringLiteral("&Save Settings To Registry"));
    mnuToolsSaveSettings->setCheckable(true);
    mnuToolsSaveSettings->setChecked(true);
    mnuToolsBackupDaily = item(mnuTools, "mnuToolsBackupDaily", QStringLiteral("&Backup Database Daily on Exit"));
    mnuToolsBackupDaily->setCheckable(true);
    mnuToolsBackupDaily->setChecked(true);
    mnuTools->addSeparator();
    mnuToolsVacuum = item(mnuTools, "mnuToolsVacuum", QStringLiteral("&Vacuum Database"));

    mnuHelp = menu("mnuHelp", QStringLiteral("&Help"));
    mnuHelpAbout = item(mnuHelp, "mnuHelpAbout", QStringLiteral("&About"));

    connect(mnuFileNew, &QAction::triggered, this, [this] { mnuFileNew_Click(); });
    connect(mnuFileOpen, &QAction::triggered, this, [this] { mnuFileOpen_Click(); });
    connect(mnufileBackup, &QAction::triggered, this, [this] { mnufileBackup_Click(); });
    connect(mnuFileExport, &QAction::triggered, this, [this] { mnuFileExport_Click(); });
    connect(mnuFileImport, &QAction::triggered, this, [this] { mnuFileImport_Click(); });
    connect(mnuFileExit, &QAction::triggered, this, [this] { mnuFileExit_Click(); });
    connect(mnuToolsSaveSettings, &QAction::triggered, this, [this] { mnuToolsSaveSettings_Click(); });
    connect(mnuToolsBackupDaily, &QAction::triggered, this, [this] { mnuToolsBackupDaily_Click(); });
    connect(mnuToolsVacuum, &QAction::triggered, this, [this] { mnuToolsVacuum_Click(); });
    connect(mnuHelpAbout, &QAction::triggered, this, [this] { mnuHelpAbout_Click(); });
}

void frmMain::SetCurrentItemID(int nValue) {
    m_itemId = nValue;
    lblItemNo->setText(nValue == -1 ? QStringLiteral("Not Saved")
                                    : QStringLiteral("Item# ") + QString::number(nValue));
}

int frmMain::SavePrompt() {
    const int answer = Prompt().MsgBox(QStringLiteral("Save changes to this item?"),
                                       CPrompt::vbYesNoCancel | CPrompt::vbQuestion,
                                       QStringLiteral("Save"));
    if (answer == CPrompt::vbYes) return SaveCurrentItem() ? CPrompt::vbYes : CPrompt::vbCancel;
    if (answer == CPrompt::vbNo) return CPrompt::vbNo;
    return CPrompt::vbCancel;
}

void frmMain::ShowDatabaseCaption(const QString& name) {
    setWindowTitle(name.isEmpty() ? AppTitle() : AppTitle() + QStringLiteral(" (") + name + QLatin1Char(')'));
}

void frmMain::Form_Load() {
    try {
        // The tab stop of txtItem is set with its font (ApplyLook).
        // A file from the command line takes the remembered one's place.
        QString file = TakeStartupDatabase();
        bool none = false;
        if (file.isEmpty()) {
            const QString last = gSettings->GetSetting(QStringLiteral("LastDatabase"));
            if (!last.isEmpty() && !QFileInfo::exists(last)) {
                file = AskForMissingDatabase(last);
                none = file.isEmpty();
            }
        }
        const QString name = none ? QString() : OpenDatabase(file);
        // A refused file is not left open: nothing may read from or write to it.
        if (name.isEmpty()) CloseDatabase();
        ShowDatabaseCaption(name);
        EnableDatabaseCommands();
        SyncWhen(SyncMoment::Start, this);
        // Checked means the settings live in the registry area (the native store).
        mnuToolsSaveSettings->setChecked(!gSettings->SaveToINI());
        lblTitles_Click();
        const QString daily = gSettings->GetSetting(QStringLiteral("BackupDaily"));
        if (!daily.isEmpty())
            mnuToolsBackupDaily->setChecked(WholeNumber(daily) != 0);
        else
            gSettings->SaveSetting(QStringLiteral("BackupDaily"), mnuToolsBackupDaily->isChecked());
        SetCurrentItemID(-1);
        m_activity |= Filling;
        cboLanguage->setEditText(gSettings->GetSetting(QStringLiteral("LastLanguage")));
        m_activity &= ~Filling;
        LoadLanguages();
    } catch (const VbError& e) {
        m_activity &= ~Filling;
        Prompt().MsgBox(e.Description() + QLatin1Char(' ') + QString::number(e.Number()),
                        CPrompt::vbCritical);
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_unloaded) {
        event->accept();
        return;
    }
    // An import or export still works on the database: it ends, or is cancelled, first.
    if (CProgressScope::Active()) {
        event->ignore();
        return;
    }
    if (!Form_Unload()) {
        event->ignore();
        return;
    }
    m_unloaded = true;
    event->accept();
}

void frmMain::mnuFileExit_Click() { close(); }

bool frmMain::Form_Unload() {
    if (m_itemChanged && SavePrompt() == CPrompt::vbCancel) return false;
    try {
        gSettings->SaveSetting(QStringLiteral("LastLanguage"), EntryName(cboLanguage->currentText()));
        SaveLayout();
        // With no database open there is nothing to back up, so nothing is offered.
        if (WholeNumber(gSettings->GetSetting(QStringLiteral("BackupDaily"))) == -1 && IsDatabaseOpen()) {
            bool cancel = false;
            DailyBackupOnExit(cancel);
            if (cancel) return false;
        }
    } catch (const VbError& e) {
        Prompt().MsgBox(QStringLiteral("Unload Error: ") + QString::number(e.Number()) +
                            QLatin1Char(' ') + e.Description(),
                        CPrompt::vbCritical);
        // The closing goes on below: the database is closed and no temporary copy is left.
    }
    SyncWhen(SyncMoment::Exit, this);
    CloseDatabase();
    for (const QString& f : QStringList(m_tempFiles)) RemoveTempCopy(f);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) w->close();
    return true;
}

bool frmMain::DailyBackupOnExit(bool& cancel) {
    const double last = DateSerial(IfEmpty(gSettings->GetSetting(QStringLiteral("BackupTime")),
                                           QStringLiteral("0"))
                                       .toString());
    if (!(BackupTimeNow() > last + 1.0)) return false;
    const QString database = StoreDB().Filename();
    const QString previous = BackupTargetFor(*gSettings, database);
    const QString file = Prompt().FileDialog(true, QStringLiteral("Back Up Snippet Database?"),
                                             GetFileName(previous), GetParentFolder(previous),
                                             DatabaseFilter(),
                                             CPrompt::OFN_EXPLORER | CPrompt::OFN_PATHMUSTEXIST);
    if (file.isEmpty()) return false;
    if (FileExists(file)) {
        const int answer = Prompt().MsgBox(QStringLiteral("Overwrite existing file?\n") + file,
                                           CPrompt::vbYesNoCancel | CPrompt::vbQuestion);
        if (answer == CPrompt::vbCancel) {
            cancel = true;
            return false;
        }
        if (answer != CPrompt::vbYes) return false;
    }
    if (!BackupDatabase(file)) return false;
    RememberBackupTarget(*gSettings, database, file);
    return true;
}
