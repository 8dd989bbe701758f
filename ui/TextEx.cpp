#include "ui/TextEx.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedLayout>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

namespace {

constexpr int kShift = 1, kCtrl = 2, kAlt = 4;

int ShiftState(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? kShift : 0) | (m & Qt::ControlModifier ? kCtrl : 0) |
           (m & Qt::AltModifier ? kAlt : 0);
}

// Tab-stop parts as whole numbers; no number, a negative one or an absurd one is not a stop.
QList<qreal> TabStopValues(const QString& text) {
    QList<qreal> values;
    for (const QString& part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const qlonglong v = part.trimmed().toLongLong(&ok);
        if (ok && v > 0 && v <= 100000) values << qreal(v);
    }
    return values;
}

}  // namespace

TextEx::TextEx(QWidget* parent) : QWidget(parent) {
    m_single = new QLineEdit(this);
    m_single->setObjectName(QStringLiteral("Text1_0"));
    m_multi = new QPlainTextEdit(this);
    m_multi->setObjectName(QStringLiteral("Text1_1"));
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_single);
    m_stack->addWidget(m_multi);
    setFocusProxy(m_single);

    for (QObject* o : {static_cast<QObject*>(m_single), static_cast<QObject*>(m_multi),
                       static_cast<QObject*>(m_multi->viewport())})
        o->installEventFilter(this);
    auto changed = [this](QWidget* box) {
        if (box != CurrentBox()) return;
        UpdateScrollBars();
        emit Change();
    };
    connect(m_single, &QLineEdit::textChanged, this, [this, changed] { changed(m_single); });
    connect(m_multi, &QPlainTextEdit::textChanged, this, [this, changed] { changed(m_multi); });

    ApplyDropMode();
    ApplyTabStops();
    UpdateScrollBars();
}

void TextEx::SetTabStops(const QString& stops) {
    m_tabStops = stops.isEmpty() ? QStringLiteral("32") : stops;
    ApplyTabStops();
}

void TextEx::ApplyTabStops() {
    QList<qreal> values = TabStopValues(m_tabStops);
    if (values.isEmpty()) values << 32;
    const qreal unit = QFontMetricsF(m_multi->font()).averageCharWidth();
    QTextOption option = m_multi->document()->defaultTextOption();
    if (values.size() == 1) {
        option.setTabs({});
        option.setTabStopDistance(values[0] * unit);
    } else {
        QList<QTextOption::Tab> tabs;
        for (qreal v : values) tabs << QTextOption::Tab(v * unit, QTextOption::LeftTab);
        option.setTabs(tabs);
        // Past the last stop the tabs go on at the last stops' spacing.
        const qreal last = values.last() - values[values.size() - 2];
        option.setTabStopDistance((last > 0 ? last : values.last()) * unit);
    }
    m_multi->document()->setDefaultTextOption(option);
    m_multi->viewport()->update();
}

void TextEx::SetOLEDropMode(int mode) {
    m_dropMode = mode;
    ApplyDropMode();
}

void TextEx::ApplyDropMode() {
    const bool accept = m_dropMode == 1 || m_dropMode == 2;
    m_single->setAcceptDrops(accept);
    m_multi->setAcceptDrops(accept);
    m_multi->viewport()->setAcceptDrops(accept);
}

void TextEx::SetMultiLine(bool value) {
    m_multiLine = value;
    ChooseTextBox();
}

void TextEx::SetScrollBars(int value) {
    m_scrollBars = value;
    ChooseTextBox();
    UpdateScrollBars();
}

void TextEx::SetScrollBarsAutomatic(bool value) {
    m_scrollBarsAutomatic = value;
    UpdateScrollBars();
}

void TextEx::ChooseTextBox() {
    if (!m_multiLine) return SwitchTextBox(0);
    if (m_scrollBars == 0 || m_scrollBars == 2) return SwitchTextBox(1);
    if (m_scrollBars == 1 || m_scrollBars == 3) return SwitchTextBox(2);
}

void TextEx::SwitchTextBox(int index) {
    if (index == m_index) return;
    const QString text = Text();
    const bool hadFocus = CurrentBox()->hasFocus();
    m_index = index;
    m_multi->setLineWrapMode(index == 1 ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    m_stack->setCurrentWidget(CurrentBox());
    setFocusProxy(CurrentBox());
    // Setting the text anew also drops the selection, which the other mode's lines would not fit.
    SetText(text);
    ApplyTabStops();
    if (hadFocus) CurrentBox()->setFocus();
}

void TextEx::UpdateScrollBars() {
    const bool horizontal = m_scrollBars & 1, vertical = m_scrollBars & 2;
    auto policy = [this](bool enabled) {
        if (!enabled) return Qt::ScrollBarAlwaysOff;
        return m_scrollBarsAutomatic ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn;
    };
    if (m_multi->horizontalScrollBarPolicy() != policy(horizontal))
        m_multi->setHorizontalScrollBarPolicy(policy(horizontal));
    if (m_multi->verticalScrollBarPolicy() != policy(vertical))
        m_multi->setVerticalScrollBarPolicy(policy(vertical));
}

QString TextEx::Text() const {
    return m_index == 0 ? m_single->text() : m_multi->toPlainText();
}

void TextEx::SetText(const QString& text) {
    if (m_index == 0)
        m_single->setText(text);
    else
        m_multi->setPlainText(text);
}

bool TextEx::SetLargeText(const QString& text, const std::function<bool(int percent)>& progress) {
    constexpr qsizetype kPiece = 1 << 20;
    if (m_index == 0 || text.size() <= kPiece || !progress) {
        SetText(text);
        return true;
    }
    // One change for the listeners and no undo record of a text nobody typed.
    QTextDocument* doc = m_multi->document();
    bool stopped = false;
    {
        const QSignalBlocker quiet(m_multi);
        m_multi->clear();
        doc->setUndoRedoEnabled(false);
        QTextCursor end(doc);
        for (qsizetype pos = 0; pos < text.size();) {
            qsizetype n = qMin(kPiece, text.size() - pos);
            // Pieces end after a line feed: a CR LF or a surrogate pair cut in two would read
            // as two line breaks or two broken characters.
            if (pos + n < text.size()) {
                const qsizetype lf = text.lastIndexOf(QLatin1Char('\n'), pos + n - 1);
                if (lf >= pos) n = lf + 1 - pos;
                else if (text[pos + n - 1].isHighSurrogate() || text[pos + n - 1] == QLatin1Char('\r')) --n;
            }
            end.movePosition(QTextCursor::End);
            end.insertText(text.mid(pos, n));
            pos += n;
            if (progress(int(pos * 100 / text.size()))) {
                m_multi->clear();
                stopped = true;
                break;
            }
        }
        doc->setUndoRedoEnabled(true);
        m_multi->moveCursor(QTextCursor::Start);
    }
    UpdateScrollBars();
    emit Change();
    return !stopped;
}

QWidget* TextEx::CurrentBox() const {
    return m_index == 0 ? static_cast<QWidget*>(m_single) : static_cast<QWidget*>(m_multi);
}

int TextEx::CurrentLine() const {
    if (m_index == 0) return 0;
    return m_multi->document()->findBlock(SelStart()).blockNumber();
}

int TextEx::CurrentChar() const { return SelStart() - LineStart(CurrentLine()); }

int TextEx::LineCount() const { return m_index == 0 ? 1 : m_multi->document()->blockCount(); }

int TextEx::LineStart(int nLine) const {
    if (nLine == -1) nLine = CurrentLine();
    if (m_index == 0) return 0;
    const QTextBlock block = m_multi->document()->findBlockByNumber(nLine);
    return block.isValid() ? block.position() : 0;
}

int TextEx::LineLength(int nLine) const {
    if (m_index == 0) return int(m_single->text().size());
    return m_multi->document()->findBlock(LineStart(nLine)).length() - 1;
}

int TextEx::TextLength() const {
    const int last = LineCount() - 1;
    return LineStart(last) + LineLength(last);
}

void TextEx::GetSel(int& nStartChar, int& nEndChar) const {
    if (m_index == 0) {
        if (m_single->hasSelectedText()) {
            nStartChar = m_single->selectionStart();
            nEndChar = m_single->selectionEnd();
        } else {
            nStartChar = nEndChar = m_single->cursorPosition();
        }
        return;
    }
    const QTextCursor c = m_multi->textCursor();
    nStartChar = c.selectionStart();
    nEndChar = c.selectionEnd();
}

void TextEx::SetSel(int nStartChar, int nEndChar) {
    const int length = TextLength();
    if (nEndChar < 0) nEndChar = length;  // as with the edit boxes: -1 runs to the end
    nStartChar = qBound(0, nStartChar, length);
    nEndChar = qBound(0, nEndChar, length);
    if (m_index == 0) {
        m_single->setSelection(nStartChar, nEndChar - nStartChar);
        return;
    }
    QTextCursor c = m_multi->textCursor();
    c.setPosition(nStartChar);
    c.setPosition(nEndChar, QTextCursor::KeepAnchor);
    m_multi->setTextCursor(c);
    m_multi->ensureCursorVisible();
}

int TextEx::SelStart() const {
    int start = 0, end = 0;
    GetSel(start, end);
    return start;
}

void TextEx::SetSelStart(int value) { SetSel(value, value); }

int TextEx::SelLength() const {
    int start = 0, end = 0;
    GetSel(start, end);
    return qAbs(end - start);
}

void TextEx::SetSelLength(int value) {
    if (value <= 0) return;
    const int start = SelStart();
    SetSel(start, start + value);
}

QString TextEx::SelText() const {
    int start = 0, end = 0;
    GetSel(start, end);
    return start == end ? QString() : Text().mid(start, end - start);
}

void TextEx::SetSelText(const QString& text) {
    if (m_index == 0) {
        m_single->insert(text);
        return;
    }
    m_multi->textCursor().insertText(text);
    m_multi->ensureCursorVisible();
}

bool TextEx::IsBoxObject(QObject* o) const {
    if (m_index == 0) return o == m_single;
    return o == m_multi || o == m_multi->viewport();
}

bool TextEx::eventFilter(QObject* watched, QEvent* event) {
    if (!IsBoxObject(watched)) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* k = static_cast<QKeyEvent*>(event);
        const QString typed = k->text();
        if (typed.size() != 1) break;
        int keyAscii = typed[0].unicode();
        const int before = keyAscii;
        emit KeyPress(keyAscii);
        if (keyAscii == before) break;
        if (keyAscii != 0) SetSelText(QString(QChar(keyAscii)));
        return true;
    }
    case QEvent::KeyRelease: {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->isAutoRepeat()) break;
        int keyCode = k->key(), shift = ShiftState(k->modifiers());
        emit KeyUp(keyCode, shift);
        if (keyCode == 0) return true;
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) emit Click();
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (m_dropMode == 2) break;  // the box inserts dropped text itself
        if (m_dropMode == 1) return ManualDrop(event);
        event->ignore();
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool TextEx::ManualDrop(QEvent* event) {
    if (event->type() != QEvent::Drop) {
        static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        return true;
    }
    auto* d = static_cast<QDropEvent*>(event);
    int effect = 1;
    const Qt::MouseButtons b = d->buttons();
    const int button = (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
    emit OLEDragDrop(d->mimeData(), effect, button, ShiftState(d->modifiers()), float(d->position().x()),
                     float(d->position().y()));
    if (effect == 0) {
        d->ignore();
    } else {
        d->setDropAction(effect == 2 ? Qt::MoveAction : Qt::CopyAction);
        d->accept();
    }
    return true;
}

void TextEx::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) ApplyTabStops();
    QWidget::changeEvent(event);
}
