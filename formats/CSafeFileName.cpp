#include "formats/CSafeFileName.h"

namespace {

// Names Windows keeps for devices (con, prn, aux, nul, com0-9, lpt0-9), alone or before an
// extension, in any letter case.
bool isDeviceName(const QString& name) {
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QStringView stem = QStringView(name).left(dot < 0 ? name.size() : dot);
    auto is = [](QStringView part, const char* word) { return part.compare(QLatin1String(word), Qt::CaseInsensitive) == 0; };
    if (stem.size() == 3) return is(stem, "con") || is(stem, "prn") || is(stem, "aux") || is(stem, "nul");
    if (stem.size() == 4 && stem[3] >= QLatin1Char('0') && stem[3] <= QLatin1Char('9'))
        return is(stem.left(3), "com") || is(stem.left(3), "lpt");
    return false;
}

}  // namespace

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
    // Three UTF-8 bytes at most per UTF-16 unit: most names need no counting.
    if (out.size() * 3 > kMaxBytes && out.toUtf8().size() > kMaxBytes) {
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
    if (isDeviceName(out)) out.prepend(QLatin1Char('_'));
    return out;
}
