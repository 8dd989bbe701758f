#include "search/CSearchMarks.h"

#include "search/CSearchText.h"

#include <algorithm>

CSearchMarks::CSearchMarks(const QStringList& words) {
    for (QString w : words) {
        Word word;
        while (w.endsWith(QLatin1Char('*'))) {
            w.chop(1);
            word.prefix = true;
        }
        for (const CSearchText::Part& p : CSearchText::Parts(w)) {
            word.parts << p.text;
            word.cjk << p.cjk;
            word.joined += p.text;
        }
        if (!word.parts.isEmpty()) m_words.append(word);
    }
}

QList<CSearchMarks::Range> CSearchMarks::Find(QStringView text) const {
    QList<Range> found;
    if (m_words.isEmpty()) return found;
    const QList<CSearchText::Part> parts = CSearchText::Parts(text);
    const auto same = [](const QString& part, const QString& wanted, bool prefix) {
        return prefix ? part.startsWith(wanted) : part == wanted;
    };
    for (const Word& w : m_words) {
        const qsizetype m = w.parts.size();
        for (qsizetype k = 0; k + m <= parts.size(); ++k) {
            bool match = true;
            for (qsizetype i = 0; i < m && match; ++i) {
                const CSearchText::Part& p = parts[k + i];
                match = p.cjk == w.cjk[i] && same(p.text, w.parts[i], w.prefix && i + 1 == m);
                // Characters of a Chinese or Japanese run must stand side by side.
                if (match && i > 0 && p.cjk && parts[k + i - 1].end != p.start) match = false;
            }
            if (match) found.append({parts[k].start, parts[k + m - 1].end});
        }
        // The joined spelling, as the index keeps it: "parsejson" marks parseJson.
        for (qsizetype k = 0; k < parts.size();) {
            qsizetype e = k + 1;
            QString joined = parts[k].text;
            while (e < parts.size() && parts[e].segment == parts[k].segment) joined += parts[e++].text;
            if ((e - k > 1 || w.parts.size() > 1) && same(joined, w.joined, w.prefix)) found.append({parts[k].start, parts[e - 1].end});
            k = e;
        }
    }
    std::sort(found.begin(), found.end(), [](const Range& a, const Range& b) {
        return a.start < b.start || (a.start == b.start && a.end > b.end);
    });
    QList<Range> merged;
    for (const Range& r : std::as_const(found)) {
        if (!merged.isEmpty() && r.start < merged.last().end) {
            merged.last().end = std::max(merged.last().end, r.end);
            continue;
        }
        merged.append(r);
    }
    return merged;
}

QString CSearchMarks::ContextLine(QStringView text, int maxChars, const QString& open, const QString& close) const {
    const QList<Range> all = Find(text);
    if (all.isEmpty()) return {};
    const int first = all.first().start;
    // The line of the first match.
    int lineStart = first;
    while (lineStart > 0 && text[lineStart - 1] != QLatin1Char('\n') && text[lineStart - 1] != QLatin1Char('\r')) --lineStart;
    int lineEnd = first;
    while (lineEnd < text.size() && text[lineEnd] != QLatin1Char('\n') && text[lineEnd] != QLatin1Char('\r')) ++lineEnd;
    while (lineStart < first && text[lineStart].isSpace()) ++lineStart;
    while (lineEnd > first && text[lineEnd - 1].isSpace()) --lineEnd;
    // Long lines keep a little before the match and the rest after it.
    int from = lineStart, to = lineEnd;
    if (to - from > maxChars) {
        from = std::max(lineStart, first - maxChars / 4);
        to = std::min(lineEnd, from + maxChars);
    }
    QString out;
    if (from > lineStart) out += QStringLiteral("...");
    int at = from;
    for (const Range& r : all) {
        if (r.end <= from || r.start >= to) continue;
        const int s = std::max(r.start, from), e = std::min(r.end, to);
        out += text.mid(at, s - at);
        out += open;
        out += text.mid(s, e - s);
        out += close;
        at = e;
    }
    out += text.mid(at, to - at);
    if (to < lineEnd) out += QStringLiteral("...");
    return out;
}
