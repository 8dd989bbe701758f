#include "app/CodeEditor.h"
#include "app/CodeLexers.h"
#include "search/CSearchMarks.h"

#include <Qsci/qscilexer.h>

#include <QEvent>

namespace {

// A colour between two others, t of the way from a to b.
QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QString WithLineFeeds(const QString& text) {
    if (!text.contains(QLatin1Char('\r'))) return text;
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

}  // namespace

CodeEditor::CodeEditor(QWidget* parent) : QsciScintilla(parent) {
    setUtf8(true);
    setEolMode(EolUnix);
    setTabWidth(kTabWidth);
    setIndentationsUseTabs(true);
    // A new line repeats the indentation of the line above, characters and all; the lexers'
    // own rules (Python's after ":") would guess wrong for most languages.
    setAutoIndent(false);
    connect(this, &QsciScintilla::SCN_CHARADDED, this, [this](int ch) {
        if (ch == '\n') RepeatIndentation();
    });
    setWrapMode(WrapNone);
    setBraceMatching(SloppyBraceMatch);
    setCaretLineVisible(true);
    // The horizontal scroll bar follows the longest line shown, not a fixed width.
    setScrollWidth(1);
    setScrollWidthTracking(true);
    setMarginType(0, NumberMargin);
    setMarginLineNumbers(0, true);
    setMarginWidth(1, 0);
    setMarginWidth(2, 0);
    indicatorDefine(StraightBoxIndicator, kFindIndicator);
    setIndicatorDrawUnder(true, kFindIndicator);
    SendScintilla(SCI_INDICSETALPHA, kFindIndicator, 110);
    SendScintilla(SCI_INDICSETOUTLINEALPHA, kFindIndicator, 220);
    connect(this, &QsciScintilla::linesChanged, this, [this] { FitLineNumbers(); });
    connect(this, &QsciScintilla::textChanged, this, [this] {
        if (!m_loading) ClearMarks();
    });
    FitLineNumbers();
    ApplyColours();
}

void CodeEditor::RepeatIndentation() {
    int line = 0, index = 0;
    getCursorPosition(&line, &index);
    if (line < 1) return;
    const QString above = text(line - 1);
    qsizetype n = 0;
    while (n < above.size() && (above.at(n) == QLatin1Char(' ') || above.at(n) == QLatin1Char('\t'))) ++n;
    if (n == 0) return;
    const QString indent = above.left(n);
    insertAt(indent, line, index);
    // Positions count bytes in UTF-8; blanks and tabs are one byte each.
    setCursorPosition(line, index + int(n));
}

void CodeEditor::SetCode(const QString& stored) {
    ClearMarks();
    m_loading = true;
    m_stored = stored;
    m_shown = WithLineFeeds(stored);
    setText(m_shown);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    setCursorPosition(0, 0);
    m_loading = false;
}

QString CodeEditor::Code() const {
    QString now = text();
    return now == m_shown ? m_stored : now;
}

void CodeEditor::SetLanguage(const QString& language) {
    const QString key = LexerKey(language);
    if (key == m_lexerKey && (lexer() != nullptr) == !key.isEmpty()) return;
    m_lexerKey = key;
    QsciLexer* old = lexer();
    QsciLexer* next = CreateLexer(language, this);
    if (next) ApplyLexerLook(next, palette(), m_font);
    setLexer(next);
    delete old;
    ApplyColours();
}

void CodeEditor::SetCodeFont(const QFont& font) {
    m_font = font;
    if (lexer()) ApplyLexerLook(lexer(), palette(), m_font);
    ApplyColours();
}

void CodeEditor::ApplyColours() {
    const QPalette p = palette();
    const QColor base = p.color(QPalette::Base);
    const QColor text = p.color(QPalette::Text);
    const QColor highlight = p.color(QPalette::Highlight);
    if (!lexer()) {
        // Without a lexer the default style is the whole look.
        setFont(m_font);
        setPaper(base);
        setColor(text);
    }
    setMarginsFont(m_font);
    setMarginsBackgroundColor(p.color(QPalette::AlternateBase) == base ? Mix(base, text, 0.06)
                                                                       : p.color(QPalette::AlternateBase));
    setMarginsForegroundColor(Mix(base, text, 0.55));
    setCaretForegroundColor(text);
    setCaretLineBackgroundColor(Mix(base, highlight, 0.12));
    setSelectionBackgroundColor(highlight);
    setSelectionForegroundColor(p.color(QPalette::HighlightedText));
    setMatchedBraceBackgroundColor(Mix(base, highlight, 0.35));
    setMatchedBraceForegroundColor(text);
    setUnmatchedBraceForegroundColor(QColor(base.lightness() < 128 ? QColor(255, 110, 110) : QColor(200, 0, 0)));
    setIndicatorForegroundColor(base.lightness() < 128 ? QColor(200, 160, 0) : QColor(255, 200, 0), kFindIndicator);
    m_digits = 0;
    FitLineNumbers();
}

void CodeEditor::FitLineNumbers() {
    int digits = 2;
    for (int n = lines(); n >= 100; n /= 10) ++digits;
    if (digits == m_digits) return;
    m_digits = digits;
    setMarginWidth(0, QString(digits + 1, QLatin1Char('9')));
}

void CodeEditor::MarkWords(const QStringList& words) {
    ClearMarks();
    const CSearchMarks marks(words);
    if (marks.IsEmpty()) return;
    const QString all = text();
    SendScintilla(SCI_SETINDICATORCURRENT, kFindIndicator);
    // Scintilla counts UTF-8 bytes: the distance from the last hit is converted each time.
    int from = 0;
    long bytes = 0;
    for (const CSearchMarks::Range& r : marks.Find(all)) {
        bytes += QStringView(all).mid(from, r.start - from).toUtf8().size();
        const long length = QStringView(all).mid(r.start, r.end - r.start).toUtf8().size();
        SendScintilla(SCI_INDICATORFILLRANGE, bytes, length);
        bytes += length;
        from = r.end;
        m_marked = true;
    }
}

void CodeEditor::ClearMarks() {
    if (!m_marked) return;
    m_marked = false;
    SendScintilla(SCI_SETINDICATORCURRENT, kFindIndicator);
    SendScintilla(SCI_INDICATORCLEARRANGE, 0, SendScintilla(SCI_GETLENGTH));
}

void CodeEditor::changeEvent(QEvent* event) {
    QsciScintilla::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        if (lexer()) ApplyLexerLook(lexer(), palette(), m_font);
        ApplyColours();
    }
}
