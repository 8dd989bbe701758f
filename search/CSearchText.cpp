#include "search/CSearchText.h"

#include <QSet>

namespace {

enum class Kind { Lower, Upper, Digit, Other, Mark, Cjk };

char32_t codePointAt(QStringView text, int i, int* length) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *length = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    *length = 1;
    return c.unicode();
}

Kind kindOf(char32_t c) {
    // Most of any code is ASCII: classified here without the Unicode tables.
    if (c < 0x80) {
        if (c >= 'a' && c <= 'z') return Kind::Lower;
        if (c >= 'A' && c <= 'Z') return Kind::Upper;
        if (c >= '0' && c <= '9') return Kind::Digit;
        return Kind::Other;
    }
    if (CSearchText::IsCjk(c)) return Kind::Cjk;
    if (QChar::isMark(c)) return Kind::Mark;
    if (QChar::isNumber(c)) return Kind::Digit;
    if (QChar::isUpper(c) || QChar::isTitleCase(c)) return Kind::Upper;
    // A small letter without a capital (ß) sits as well in a word of capitals: "GRÖßER".
    if (QChar::isLower(c)) return QChar::toUpper(c) == c ? Kind::Other : Kind::Lower;
    return Kind::Other;
}

struct Point {
    int start;
    int length;
    Kind kind;
};

// Splits one run of word characters into parts at script, letter/digit and case changes.
void splitSegment(QStringView text, const QList<Point>& points, int compound, int segment,
                  QList<CSearchText::Part>& out) {
    int partStart = 0;  // index into points
    Kind prev = Kind::Other;
    bool havePrev = false;
    const auto flush = [&](int endPoint) {
        if (endPoint <= partStart) return;
        const int from = points[partStart].start;
        const int to = points[endPoint - 1].start + points[endPoint - 1].length;
        CSearchText::Part p;
        p.text = text.mid(from, to - from).toString().toCaseFolded();
        p.start = from;
        p.end = to;
        p.compound = compound;
        p.segment = segment;
        p.cjk = points[partStart].kind == Kind::Cjk;
        out.append(std::move(p));
        partStart = endPoint;
    };
    for (int k = 0; k < points.size(); ++k) {
        const Kind cur = points[k].kind;
        if (cur == Kind::Mark) continue;  // stays with the character before it
        if (havePrev) {
            bool cut = cur == Kind::Cjk || prev == Kind::Cjk || (cur == Kind::Digit) != (prev == Kind::Digit) ||
                       (prev == Kind::Lower && cur == Kind::Upper);
            if (!cut && prev == Kind::Upper && cur == Kind::Upper) {
                // "JSONParser": the last capital before a small letter begins the next part.
                int next = k + 1;
                while (next < points.size() && points[next].kind == Kind::Mark) ++next;
                cut = next < points.size() && points[next].kind == Kind::Lower;
            }
            if (cut) flush(k);
        }
        prev = cur;
        havePrev = true;
    }
    flush(int(points.size()));
}

}  // namespace

bool CSearchText::IsCjk(char32_t c) {
    if (c < 0x80) return false;
    const QChar::Script s = QChar::script(c);
    return s == QChar::Script_Han || s == QChar::Script_Hiragana || s == QChar::Script_Katakana;
}

bool CSearchText::IsWordChar(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

QList<CSearchText::Part> CSearchText::Parts(QStringView text) {
    QList<Part> parts;
    int compound = 0;
    int segment = 0;
    const int n = int(text.size());
    int i = 0;
    QList<Point> points;
    while (i < n) {
        int len = 0;
        if (!IsWordChar(codePointAt(text, i, &len))) {
            i += len;
            continue;
        }
        ++compound;
        // One identifier: runs of word characters joined by underscores or single dots.
        for (;;) {
            points.clear();
            while (i < n) {
                const char32_t c = codePointAt(text, i, &len);
                if (!IsWordChar(c)) break;
                points.append({i, len, kindOf(c)});
                i += len;
            }
            splitSegment(text, points, compound, ++segment, parts);
            int j = i;
            if (j < n && text[j] == QLatin1Char('_')) {
                while (j < n && text[j] == QLatin1Char('_')) ++j;
            } else if (j < n && text[j] == QLatin1Char('.')) {
                ++j;
            } else {
                break;
            }
            if (j >= n || !IsWordChar(codePointAt(text, j, &len))) break;
            i = j;
        }
    }
    return parts;
}

void CSearchText::AppendPairs(const QStringList& chars, QStringList& out) {
    if (chars.size() == 1) {
        out << chars.first();
        return;
    }
    for (qsizetype k = 0; k + 1 < chars.size(); ++k) out << chars[k] + chars[k + 1];
}

namespace {

// The tokens of parts: non-CJK parts as they are, each run of CJK characters as its pairs.
QStringList tokensOf(const QList<CSearchText::Part>& parts, bool* lastIsLone, void (*pairs)(const QStringList&, QStringList&)) {
    QStringList tokens;
    QStringList run;
    int runEnd = -1;
    bool lone = false;
    const auto endRun = [&] {
        if (run.isEmpty()) return;
        pairs(run, tokens);
        lone = run.size() == 1;
        run.clear();
    };
    for (const CSearchText::Part& p : parts) {
        if (p.cjk) {
            if (!run.isEmpty() && p.start != runEnd) endRun();
            run << p.text;
            runEnd = p.end;
            continue;
        }
        endRun();
        lone = false;
        tokens << p.text;
    }
    endRun();
    if (lastIsLone) *lastIsLone = lone && !parts.isEmpty() && parts.last().cjk;
    return tokens;
}

}  // namespace

QString CSearchText::IndexText(QStringView text) {
    const QList<Part> parts = Parts(text);
    if (parts.isEmpty()) return {};
    QStringList tokens = tokensOf(parts, nullptr, &CSearchText::AppendPairs);
    // Joined forms go after the running text, so that phrases across identifiers still meet.
    QSet<QString> joined;
    const auto isWord = [](const CSearchText::Part& p) { return !p.cjk && !p.text.front().isDigit(); };
    for (qsizetype k = 0; k < parts.size();) {
        qsizetype e = k + 1;
        bool caseChange = false;
        QString form = parts[k].text;
        while (e < parts.size() && parts[e].segment == parts[k].segment) {
            caseChange = caseChange || (isWord(parts[e - 1]) && isWord(parts[e]));
            form += parts[e++].text;
        }
        if (caseChange && !joined.contains(form)) {
            joined.insert(form);
            tokens << form;
        }
        k = e;
    }
    return tokens.join(QLatin1Char(' '));
}

QStringList CSearchText::QueryTokens(QStringView word, bool* lastIsPrefix) {
    return tokensOf(Parts(word), lastIsPrefix, &CSearchText::AppendPairs);
}

QString CSearchText::JoinedForm(QStringView word) {
    const QList<Part> parts = Parts(word);
    if (parts.size() < 2) return {};
    QString form;
    for (const Part& p : parts) {
        if (p.cjk || p.compound != parts.first().compound) return {};
        form += p.text;
    }
    return form;
}
