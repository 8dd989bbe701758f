#pragma once
// A text box whose single-line, wrapping and non-wrapping modes can change at run time, with
// settable tab stops, line and caret queries by character position, and scroll bars shown only
// when the text needs them. Positions count characters from 0; lines end with LF.
// Qt has no design-time property store: a new control starts single-line, without scroll bars
// (automatic when enabled), with tab stops "32", no drops and an empty text.
#include <QString>
#include <QWidget>

#include <functional>

class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QStackedLayout;

class TextEx : public QWidget {
    Q_OBJECT

public:
    explicit TextEx(QWidget* parent = nullptr);

    // Stops in average character widths: one value sets the distance between all stops,
    // several set each stop's position. Empty text means "32". Parts that are no number count 0
    // and are skipped.
    QString TabStops() const { return m_tabStops; }
    void SetTabStops(const QString& stops);

    // 0 none, 1 manual (OLEDragDrop is raised, nothing is inserted), 2 automatic (text drops in).
    int OLEDropMode() const { return m_dropMode; }
    void SetOLEDropMode(int mode);

    bool MultiLine() const { return m_multiLine; }
    void SetMultiLine(bool value);
    // 0 none, 1 horizontal, 2 vertical, 3 both. Other values are kept but change nothing.
    int ScrollBars() const { return m_scrollBars; }
    void SetScrollBars(int value);
    bool ScrollBarsAutomatic() const { return m_scrollBarsAutomatic; }
    void SetScrollBarsAutomatic(bool value);

    QString Text() const;
    void SetText(const QString& text);
    // SetText for a large text: it goes in in pieces, and progress (given a percentage) runs
    // between them so the window stays alive; progress returning true stops, leaving the
    // control empty. Returns false when stopped.
    bool SetLargeText(const QString& text, const std::function<bool(int percent)>& progress);

    int CurrentLine() const;  // the line of the caret, or of the selection's start
    int CurrentChar() const;  // SelStart relative to its line's start
    int LineCount() const;    // 1 for an empty control
    int LineStart(int nLine) const;   // 0 for a line that does not exist; -1 is the caret's line
    int LineLength(int nLine) const;  // without the line break
    int TextLength() const;

    int SelStart() const;
    void SetSelStart(int value);  // a caret at that position
    int SelLength() const;
    void SetSelLength(int value);  // from the selection's start; 0 or less changes nothing
    QString SelText() const;
    void SetSelText(const QString& text);  // replaces the selection, undoable
    void GetSel(int& nStartChar, int& nEndChar) const;
    void SetSel(int nStartChar, int nEndChar);  // clamped to the text; scrolls the caret into view

    // The box that shows the text now (a QLineEdit or a QPlainTextEdit).
    QWidget* CurrentBox() const;
    int CurrentBoxIndex() const { return m_index; }  // 0 single-line, 1 wrapping, 2 not wrapping

signals:
    void Change();
    void Click();
    // A typed character; set keyAscii to 0 to drop it or to another character to type that.
    void KeyPress(int& keyAscii);
    // keyCode: the Qt key (A-Z and 0-9 are their ASCII codes); shift: 1 Shift, 2 Ctrl, 4 Alt.
    void KeyUp(int& keyCode, int& shift);
    // Manual drop mode: effect is 1 (copy) on entry; 0 refuses the drop, 2 moves.
    void OLEDragDrop(const QMimeData* data, int& effect, int button, int shift, float x, float y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ChooseTextBox();
    void SwitchTextBox(int index);
    void UpdateScrollBars();
    void ApplyTabStops();
    void ApplyDropMode();
    bool IsBoxObject(QObject* o) const;
    bool ManualDrop(QEvent* event);  // drag events in manual drop mode

    QStackedLayout* m_stack = nullptr;
    QLineEdit* m_single = nullptr;
    QPlainTextEdit* m_multi = nullptr;
    int m_index = 0;
    bool m_multiLine = false;
    int m_scrollBars = 0;
    bool m_scrollBarsAutomatic = true;
    int m_dropMode = 0;
    QString m_tabStops = QStringLiteral("32");
};
