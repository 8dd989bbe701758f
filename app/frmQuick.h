#pragma once
// The quick palette: type a few letters of a title (or words of a body), pick with the arrows,
// and Enter puts the snippet on the clipboard, placeholders filled in through a small form.
// It finds over the store's open file through its own worker, so typing never waits for a
// search; it knows nothing of the main window: opening an item in the editor is a request
// (OpenItemRequested) for whoever shows items to carry out, save question included.
//
// Keys: Up, Down, Page Up and Page Down move in the list; Enter copies and closes; Shift+Enter
// asks to open the item; Ctrl+C copies and stays; Esc closes.
#include "app/frmQuickFill.h"
#include "search/CQuickIndex.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class CodeEditor;
class CQuickSearcher;
class QLabel;
class QLineEdit;
class QTimer;
class QTreeView;
class QuickListModel;

class frmQuick : public QWidget {
    Q_OBJECT

public:
    explicit frmQuick(QWidget* parent = nullptr);
    ~frmQuick() override;

    // Shows the palette centred on the screen that holds the mouse, above other windows, with
    // an empty query and the most recently used items; an open palette is only focused.
    void Popup();
    CQuickSearcher* Searcher() const { return m_searcher; }
    // The item number of a result row; 0 outside the list.
    int ItemAt(int row) const;
    int CurrentItem() const;
    // The preview follows the selection after this pause, so that typing never waits for it.
    static constexpr int kPreviewPauseMs = 40;
    // The placeholder form while it is open.
    frmQuickFill* FillForm() const { return m_fill; }

signals:
    // Shift+Enter on a result: show item itemId in the editor.
    void OpenItemRequested(int itemId);
    // The text put on the clipboard for item itemId.
    void Copied(int itemId, const QString& text);
    // The list shows the results of the newest query.
    void ResultsShown(int rows);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void StartSearch();
    void ShowResults(int generation, const QList<CQuickIndex::Row>& rows, int indexed);
    void ShowPreview();
    void MoveSelection(int delta);
    void CopyCurrent(bool close);
    void Deliver(int itemId, const QString& text, bool close);
    void OpenCurrent();

    QLineEdit* txtQuick = nullptr;
    QTreeView* lstQuick = nullptr;
    CodeEditor* txtQuickPreview = nullptr;
    QLabel* lblQuickStatus = nullptr;
    QuickListModel* m_model = nullptr;
    CQuickSearcher* m_searcher = nullptr;
    QPointer<frmQuickFill> m_fill;
    QTimer* m_previewTimer = nullptr;
    int m_generation = 0;
    int m_previewId = 0;
    QStringList m_markWords;
};
