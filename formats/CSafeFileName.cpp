#include "formats/CSafeFileName.h"

#include <QRegularExpression>

QString CSafeFileName::Make(const QString& name, const QString& fallback) {
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const bool bad = c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control ||
                         c == QChar::LineSeparator || c == QChar::ParagraphSeparator ||
                         QStringLiteral("<>:\"/\\|?*").contains(c);
        out += bad ? QLatin1Char('_') : c;
    }
    // Leading dots would hide the file (or make "." and ".."); trailing dots and blanks vanish
    // on Windows.
    qsizetype start = 0, end = out.size();
    while (start < end && (out[start] == QLatin1Char('.') || out[start].isSpace())) ++start;
    while (end > start && (out[end - 1] == QLatin1Char('.') || out[end - 1].isSpace())) --end;
    out = out.mid(start, end - start);
    // Cut to the byte limit on a character boundary (a surrogate pair stays whole).
    if (out.toUtf8().size() > kMaxBytes) {
        qsizetype bytes = 0, i = 0;
        while (i < out.size()) {
            const qsizetype len = out[i].isHighSurrogate() && i + 1 < out.size() ? 2 : 1;
            const qsizetype b = out.mid(i, len).toUtf8().size();
            if (bytes + b > kMaxBytes) break;
            bytes += b;
            i += len;
        }
        out.truncate(i);
        while (!out.isEmpty() && (out.endsWith(QLatin1Char('.')) || out.back().isSpace())) out.chop(1);
    }
    if (out.isEmpty()) return fallback;
    static const QRegularExpression reserved(QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])(\\..*)?$"),
                                             QRegularExpression::CaseInsensitiveOption);
    if (reserved.match(out).hasMatch()) out.prepend(QLatin1Char('_'));
    return out;
}
