#include "app/VbLexer.h"

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QSet>

namespace {

const QSet<QByteArray>& Keywords() {
    static const QSet<QByteArray> words = [] {
        const QByteArray list =
            "addressof alias and andalso as boolean byref byte byval call case catch cbool cbyte "
            "cchar cdate cdbl cdec char cint class clng cobj const continue csng cstr currency "
            "date decimal declare default delegate dim do double each else elseif empty end enum "
            "eqv erase error event exit false finally for friend function get global gosub goto "
            "handles if implements imports in inherits integer interface is isnot let lib like "
            "long loop me mod module mustinherit mustoverride mybase namespace new next not "
            "nothing null object of on option optional or orelse overloads overridable overrides "
            "paramarray preserve private property protected public raiseevent readonly redim "
            "resume return select set shadows shared short single static step stop string "
            "structure sub then throw to true try typeof type until variant wend while with "
            "withevents writeonly xor";
        QSet<QByteArray> set;
        for (const QByteArray& w : list.split(' ')) set.insert(w);
        return set;
    }();
    return words;
}

bool IsWordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_';
}

}  // namespace

VbLexer::VbLexer(QObject* parent) : QsciLexerCustom(parent) {}

QString VbLexer::description(int style) const {
    switch (style) {
    case Default: return QStringLiteral("Default");
    case Comment: return QStringLiteral("Comment");
    case String: return QStringLiteral("String");
    case Keyword: return QStringLiteral("Keyword");
    case Number: return QStringLiteral("Number");
    default: return QString();
    }
}

QColor VbLexer::defaultColor(int style) const {
    switch (style) {
    case Comment: return QColor(0x00, 0x7f, 0x00);
    case String: return QColor(0x7f, 0x00, 0x7f);
    case Keyword: return QColor(0x00, 0x00, 0x7f);
    case Number: return QColor(0x00, 0x7f, 0x7f);
    default: return QColor(Qt::black);
    }
}

QFont VbLexer::defaultFont(int style) const {
    QFont f = QsciLexerCustom::defaultFont(style);
    f.setBold(style == Keyword);
    f.setItalic(style == Comment);
    return f;
}

void VbLexer::styleText(int start, int end) {
    QsciScintilla* ed = editor();
    if (!ed || end <= start) return;
    // Every construct ends at its line, so styling from the line's start needs no state.
    const long line = ed->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, start);
    start = int(ed->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line));
    const QByteArray text = ed->bytes(start, end);
    const int n = qMin(int(text.size()), end - start);
    startStyling(start);
    int i = 0;
    auto run = [this, &i](int to, int style) {
        setStyling(to - i, style);
        i = to;
    };
    while (i < n) {
        const char c = text[i];
        int j = i + 1;
        if (c == '\'') {
            while (j < n && text[j] != '\n' && text[j] != '\r') ++j;
            run(j, Comment);
        } else if (c == '"') {
            // "" inside a string is one quote.
            while (j < n && text[j] != '\n' && text[j] != '\r') {
                if (text[j] == '"') {
                    if (j + 1 < n && text[j + 1] == '"') ++j;
                    else break;
                }
                ++j;
            }
            run(qMin(j + 1, n), String);
        } else if ((c >= '0' && c <= '9') ||
                   (c == '&' && j < n && (text[j] == 'h' || text[j] == 'H' || text[j] == 'o' || text[j] == 'O'))) {
            while (j < n && (IsWordByte(text[j]) || text[j] == '.')) ++j;
            run(j, Number);
        } else if (IsWordByte(c)) {
            while (j < n && IsWordByte(text[j])) ++j;
            const QByteArray word = text.mid(i, j - i).toLower();
            if (word == "rem") {
                while (j < n && text[j] != '\n' && text[j] != '\r') ++j;
                run(j, Comment);
            } else {
                run(j, Keywords().contains(word) ? Keyword : Default);
            }
        } else {
            run(j, Default);
        }
    }
}
