#include "formats/CSnippetSyntax.h"

namespace {

bool isEscapable(QChar c) { return c == QLatin1Char('$') || c == QLatin1Char('}') || c == QLatin1Char('\\'); }
bool startsName(QChar c) { return c == QLatin1Char('_') || (c.unicode() < 128 && c.isLetter()); }
bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

}  // namespace

bool CSnippetSyntax::HasSyntax(const QString& body) {
    const qsizetype n = body.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = body[i];
        if (c == QLatin1Char('\\')) {
            if (i + 1 < n && isEscapable(body[i + 1])) ++i;
            continue;
        }
        if (c != QLatin1Char('$') || i + 1 >= n) continue;
        QChar next = body[i + 1];
        if (next == QLatin1Char('{')) {
            if (i + 2 >= n) continue;
            next = body[i + 2];
        }
        if (isDigit(next) || startsName(next)) return true;
    }
    return false;
}

QString CSnippetSyntax::Unescape(const QString& body) {
    QString out;
    out.reserve(body.size());
    const qsizetype n = body.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (body[i] == QLatin1Char('\\') && i + 1 < n && isEscapable(body[i + 1])) ++i;
        out += body[i];
    }
    return out;
}

QString CSnippetSyntax::Escape(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('$') || (c == QLatin1Char('\\') && i + 1 < n && isEscapable(text[i + 1])))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}
