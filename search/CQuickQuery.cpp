#include "search/CQuickQuery.h"

#include <algorithm>

namespace {

bool isBlank(QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; }

// The full-text tokenizer's view of a word: ASCII letters and digits, and everything past ASCII.
QStringList tokensOf(const QString& word) {
    QStringList tokens;
    QString current;
    for (QChar c : word) {
        if (c.unicode() >= 0x80 || (c.unicode() < 0x80 && c.isLetterOrNumber())) {
            current += c;
        } else if (!current.isEmpty()) {
            tokens << current;
            current.clear();
        }
    }
    if (!current.isEmpty()) tokens << current;
    return tokens;
}

}  // namespace

CQuickQuery CQuickQuery::Parse(const QString& text) {
    CQuickQuery q;
    q.typing = !text.isEmpty() && !isBlank(text.back());
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && isBlank(text[i])) ++i;
        if (i >= n) break;
        QString word;
        QStringList* target = nullptr;
        // A filter name, its colon, then a value (quoted values may hold blanks).
        const qsizetype colon = text.indexOf(QLatin1Char(':'), i);
        if (colon > i) {
            const QString name = text.mid(i, colon - i).toLower();
            if (name == QLatin1String("lang") || name == QLatin1String("language")) target = &q.languages;
            else if (name == QLatin1String("cat") || name == QLatin1String("category")) target = &q.categories;
            for (qsizetype k = i; target && k < colon; ++k)
                if (isBlank(text[k])) target = nullptr;
        }
        if (target) {
            i = colon + 1;
            if (i < n && text[i] == QLatin1Char('"')) {
                const qsizetype close = text.indexOf(QLatin1Char('"'), i + 1);
                const qsizetype end = close < 0 ? n : close;
                word = text.mid(i + 1, end - i - 1);
                i = close < 0 ? n : close + 1;
            } else {
                const qsizetype start = i;
                while (i < n && !isBlank(text[i])) ++i;
                word = text.mid(start, i - start);
            }
            word = word.simplified();
            if (!word.isEmpty() && target->size() < kMaxWords) target->append(word.left(kMaxWordLength));
            continue;
        }
        const qsizetype start = i;
        while (i < n && !isBlank(text[i])) ++i;
        if (q.words.size() < kMaxWords) q.words << text.mid(start, std::min<qsizetype>(i - start, kMaxWordLength));
    }
    return q;
}

QString CQuickQuery::FullTextQuery() const {
    QStringList tokens;
    for (const QString& w : words) tokens += tokensOf(w);
    if (tokens.isEmpty()) return {};
    QStringList parts;
    for (int k = 0; k < tokens.size(); ++k) {
        const bool last = k == tokens.size() - 1;
        if (last && typing) {
            // An unfinished word of one or two letters would expand to half the vocabulary, and one
            // of three to thousands of words in a large file (a tenth of a second to read): such
            // a word is looked for whole until a letter more is typed.
            if (tokens[k].size() >= kMinPrefix) parts << QLatin1Char('"') + tokens[k] + QStringLiteral("*\"");
            else if (tokens[k].size() >= kMinWord) parts << QLatin1Char('"') + tokens[k] + QLatin1Char('"');
        } else {
            parts << QLatin1Char('"') + tokens[k] + QLatin1Char('"');
        }
    }
    return parts.join(QLatin1Char(' '));
}

QStringList CQuickQuery::MarkWords() const {
    QStringList out;
    for (int k = 0; k < words.size(); ++k) {
        const QStringList tokens = tokensOf(words[k]);
        for (int t = 0; t < tokens.size(); ++t) {
            const bool last = k == words.size() - 1 && t == tokens.size() - 1;
            out << (last && typing ? tokens[t] + QLatin1Char('*') : tokens[t]);
        }
    }
    return out;
}
