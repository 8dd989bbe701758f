#pragma once
// The program's main window: browse languages, categories and titles on the left, edit one
// item on the right. Every handler runs to completion on the GUI thread; questions and
// messages go through Prompt().
#include <QHash>
#include <QMainWindow>
#include <QPair>
#include <QPointer>
#include <QStringList>

#include "db/CItem.h"
#include "db/CSQLite.h"

class CApplication;
class CodeEditor;
class frmHelp;
class frmQuick;
class ResultTable;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class CTitleListModel;
class CTitleRows;
class QMenu;
class QMimeData;
class QPushButton;
class QSplitter;
class QTimer;

class frmMain : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kTypingPauseMs = 150;  // a typed language name reloads after this pause
    static constexpr int kDragCopyKeepMs = 60000;  // a dragged-out copy outlives its drag so long

    // Builds the window over app and runs the start-up sequence (last database, lists).
    explicit frmMain(CApplication& app, QWidget* parent = nullptr);
    ~frmMain() override;

    // Shows stored item itemId in the editor (no save question: the application asks first)
    // and selects its title when listed.
    void ShowItem(int itemId);

    // The item in the editor; -1 is a new item that is not stored yet.
    int CurrentItemID() const { return m_itemId; }
    // Stores the number and shows it in lblItemNo; the editor's texts are not loaded.
    void SetCurrentItemID(int nValue);
    // Asks "Save changes to this item?": 6 saved, 7 not saved, 2 cancelled or the save failed.
    int SavePrompt();
    // Edit, Quick Find: the palette, made on first use (also what `--quick` shows).
    void ShowQuickFind();

    bool ItemChanged() const { return m_itemChanged; }
    QString OrderBy() const { return m_orderBy; }
    float SplitLangCatRatio() const { return m_splitLangCatRatio; }
    float SplitTitleItemRatio() const { return m_splitTitleItemRatio; }
    const QStringList& TempFiles() const { return m_tempFiles; }

    // Left edges of the two splitter bars in the window's client coordinates (pixels).
    int SplitterLeft(int index) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the window is in the middle of. Filling: the controls are being filled by the
    // program, so their change signals are not the user's edits; the others keep a loader or
    // the Find question (which runs an event loop) from starting again inside itself.
    enum Activity : unsigned {
        Filling = 1,
        Languages = 2,
        Categories = 4,
        Titles = 8,
        AskingFind = 16,
        Writing = 32,  // the window's own save or delete, which reloads what it changed
    };
    bool Doing(Activity what) const { return (m_activity & what) != 0; }
    // The lists follow every committed change that is not the window's own save or delete.
    void DatabaseChanged();

    // Start-up, closing and window state.
    void BuildControls();
    void BuildMenus();
    void Form_Load();
    bool Form_Unload();  // false keeps the window open
    bool DailyBackupOnExit(bool& cancel);
    QString AskForMissingDatabase(const QString& last);  // the file to open instead, or empty
    void mnuFileExit_Click();

    // Browse panes.
    int SelectedLanguageID() const;
    int SelectedCategoryID() const;
    void LoadLanguages();
    void LoadCategoryList(QString sSelect);
    void LoadTitleList();
    void FillTitleList(CTitleRows rows);  // titles with their item numbers, none selected
    friend class ReadReport;
    bool ReadFailed(const QString& error);  // true (and noted) when a list read failed
    int NextSortOrder();
    void lblTitles_Click();
    // The titles' caption: "Titles: (name)", name being the order the list is in.
    void ShowSortCaption(const QString& name);
    static QString SortName(const QString& orderBy);
    void cboLanguage_Click();
    void lstCategory_Click();
    void lstItem_Click();
    void SelectTitle(int itemId);  // selects the entry of that item, if listed, without events

    // Item editor.
    void ClearItem();
    void ShowCurrentItem();
    void ShowFileName(const QString& name);
    bool SaveCurrentItem();
    CItem EditedItem(const QString& language) const;  // the item the editor's boxes hold
    void cmdNew_Click();
    int NewItem();  // the New command; the save question's answer, 0 when none was asked
    void cmdSave_Click();
    void cmdDelete_Click();
    void ItemText_Change();

    // The item's own language (the browse combo only filters).
    void BuildItemLanguage();
    void FillItemLanguages();  // every language name, the shown text kept
    QString ItemLanguage() const;
    QString BrowseLanguage() const;  // the browse combo's language or typed name; empty for all
    void SetItemLanguage(const QString& language);
    void ShowItemLanguage();   // the shown item's language and that language's categories
    void StartItemLanguage();  // a new item: the browsed language, or none
    bool SelectLanguageNamed(const QString& text);  // the browse entry of that exact name, any case

    // Find.
    void cmdFind_Click();
    void cmdFindClear_Click();
    bool SortFindHits();  // the shown Find's hits again in m_orderBy; false when none are shown

    // Edit menu: the clipboard commands act on the focused text box.
    void mnuEditCut_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();
    void mnuEditSelectAll_Click();
    void mnuEditRenameCategory_Click();
    void PasteIntoTitle(const QString& text);  // the title rule: first line title, rest code
    void RouteEditKeys();
    bool EditEvent(QObject* watched, QEvent* event);  // true when the event was taken
    // Attachments: attach, save, open, clear, drag out and drop in.
    void ConnectAttachments();
    void AttachFile(const QString& path);  // empty path: the user picks the file
    void cmdFileAttach_Click();
    void cmdFileSave_Click();
    void cmdFileClear_Click();
    void txtFileName_DblClick();
    void txtFileName_StartDrag();
    QString ExtractToTemp();  // the path written and listed in TempFiles, or empty
    void RemoveTempCopy(const QString& path);  // the copy and its folder
    bool AcceptsFileDrop(QObject* watched, const QPoint& pos) const;
    void AttachDroppedFile(const QMimeData* data);
    bool AttachmentEvent(QObject* watched, QEvent* event);  // true when the event was handled

    // File and Tools menus.
    bool OpenDatabaseFile(const QString& path);  // true when that file is now open
    void ShowDatabaseCaption(const QString& name);
    void EnableDatabaseCommands();  // Backup, Export, Import and Compact need an open database
    void ShowDone(const QString& text);  // a few seconds in the status bar
    void GiveMenusTheirAccessKeys();
    bool MenuKeyEvent(QObject* watched, QEvent* event);  // true when a menu took the key
    void SetBusy(bool busy);  // off while an operation's progress window shows, then back on
    void mnuFileNew_Click();
    void mnuFileOpen_Click();
    void mnufileBackup_Click();
    void mnuFileExport_Click();
    void mnuFileImport_Click();
    void mnuToolsSaveSettings_Click();
    void mnuToolsBackupDaily_Click();
    void mnuToolsVacuum_Click();
    void mnuHelpAbout_Click();
    void BuildQuickFindMenu();
    void BuildHistoryCommands();  // Item > History..., Edit > Undo and Edit > Trash...
    void ShowHistory();
    void UndoLastCommand();
    void OpenQuickItem(int itemId);  // the palette's Shift+Enter, through the save question

    // No database open: the item pane offers New Database and Open.
    void BuildNoDatabasePanel();
    void ShowNoDatabasePanel();
    bool NoDatabaseEvent(QObject* watched, QEvent* event);
    bool KeepTypedItemForNewDatabase(CItem& kept);  // true when a new item was typed in
    void PutBackKeptItem(const CItem& kept, bool save);

    // Keyboard: the tab order, and Ctrl+Tab out of the code pane.
    QList<QWidget*> TabChain() const;
    void GiveControlsTheirAccessKeys();
    void SetTabOrder();
    bool KeyboardEvent(QObject* watched, QEvent* event);  // true when the event was taken

    // Layout and look.
    void BuildLayout();
    void ApplyLook();
    QString Look() const;  // "Classic" or "System"
    void BuildLookMenu();
    void ApplySystemLook();
    void LayoutPanes();
    void FitPanes();  // the titles and languages panes give way to the item pane's minimum
    void StoreSplitRatios();
    void RestoreLayout();  // the geometry and pane widths of the last session, if they still fit
    void SaveLayout();

    // Panes and splitters.
    QWidget* m_host = nullptr;  // clips the panes when the window is smaller than their minimum
    QSplitter* m_split = nullptr;
    QFrame* fraLangCat = nullptr;
    QFrame* fraTitles = nullptr;
    QFrame* fraItems = nullptr;

    // Languages and categories.
    QLabel* lblLanguage = nullptr;
    QComboBox* cboLanguage = nullptr;
    QLabel* lblCategory = nullptr;
    QListWidget* lstCategory = nullptr;

    // Titles.
    QLabel* lblTitles = nullptr;
    QListView* lstItem = nullptr;
    CTitleListModel* m_titles = nullptr;
    QPushButton* cmdFind = nullptr;
    QPushButton* cmdFindClear = nullptr;

    // Item editor.
    QLabel* lblItemNo = nullptr;
    QLabel* lblLastUpdate = nullptr;
    QLabel* lblTitle = nullptr;
    QLineEdit* txtTitle = nullptr;
    QLabel* lblItem = nullptr;
    CodeEditor* txtItem = nullptr;
    QLabel* lblItemCategories = nullptr;
    QLineEdit* txtItemCategories = nullptr;
    QFrame* fraNoDatabase = nullptr;
    QLabel* lblItemLanguage = nullptr;
    QComboBox* cboItemLanguage = nullptr;
    QString m_loadedLanguage;  // the language the shown item was loaded under
    QString m_savedLanguage;   // the one it was just saved under, shown again after the save
    QLabel* lblFileName = nullptr;
    QLineEdit* txtFileName = nullptr;
    QLabel* lblFileSize = nullptr;
    QPushButton* cmdNew = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdFileAttach = nullptr;
    QPushButton* cmdFileSave = nullptr;
    QPushButton* cmdFileClear = nullptr;

    // Menus.
    QMenu* mnuFile = nullptr;
    QAction* mnuFileNew = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnufileBackup = nullptr;
    QAction* mnuFileExport = nullptr;
    QAction* mnuFileImport = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuEditCut = nullptr;
    QAction* mnuEditCopy = nullptr;
    QAction* mnuEditPaste = nullptr;
    QAction* mnuEditSelectAll = nullptr;
    QAction* mnuEditRenameCategory = nullptr;
    QAction* mnuEditFind = nullptr;
    QAction* mnuEditFindClear = nullptr;
    QAction* mnuEditQuickFind = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuViewLookClassic = nullptr;
    QAction* mnuViewLookSystem = nullptr;
    QMenu* mnuTools = nullptr;
    QAction* mnuToolsSaveSettings = nullptr;
    QAction* mnuToolsBackupDaily = nullptr;
    QAction* mnuToolsVacuum = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;

    CApplication& m_app;
    unsigned m_activity = 0;  // Activity flags
    bool m_listsBehind = false;  // a change was recorded since the three lists were last read

    // Window state. The flags left are facts about one control or one gesture, not modes.
    bool m_itemChanged = false;  // the editor holds edits not stored yet
    int m_itemId = 0;
    float m_splitLangCatRatio = 0;
    float m_splitTitleItemRatio = 0;
    QStringList m_tempFiles;
    QString m_orderBy;
    QString m_lastSearch;  // the next Find's default
    QStringList m_findWords;  // marked in the code pane while the titles are a Find's hits
    QString m_findQuery;      // the search whose hits the titles are; empty when they are not

    QPair<int, QString> m_languageState;  // combo index and text the categories were loaded for
    int m_sortPosition = 0;
    int m_readDepth = 0;    // nested list loads; the outermost reports a failed read once
    QString m_readError;    // the first failed read of the current load
    bool m_itemClickQueued = false;  // a title's opening waits for the click to end
    bool m_unloaded = false;  // the closing sequence ran to its end
    bool m_laidOut = false;
    int m_defaultLeft = 0;
    int m_defaultMiddle = 0;
    int m_leftPaneWidth = 0;  // chosen widths: kept while the right bar is dragged or the
    int m_middlePaneWidth = 0;  // window is too narrow for them
    bool m_restoredGeometry = false;
    QHash<QWidget*, QMenu*> m_menuKeys;
    QPointer<QWidget> m_focusBeforeBusy;  // gets the focus back when the operation ends
    QTimer* m_languageTyping = nullptr;  // controls whose access key a menu title takes
    QPoint m_dragStart;  // where a press on txtFileName may begin a drag of the attachment
    bool m_dragArmed = false;
    frmHelp* m_help = nullptr;  // kept loaded while the query tester took its place
    frmQuick* m_quick = nullptr;
};
