#pragma once
// How search sees text: words split into their identifier parts (camelCase, snake_case,
// SCREAMING_CASE, dotted names, letters and digits apart), folded to one case for every
// alphabet, and runs of Chinese or Japanese characters taken one character at a time. The index
// and the queries go through the same functions, so a query word always meets the text it was
// written as.
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

class CSearchText {
public:
    struct Part {
        QString text;   // case-folded
        int start = 0;  // UTF-16 offsets in the source text
        int end = 0;
        int compound = 0;  // parts of one identifier share a number
        int segment = 0;   // and parts between two underscores or dots another
        bool cjk = false;  // one Han, Hiragana or Katakana character
    };

    // Every part of text, in order.
    static QList<Part> Parts(QStringView text);

    // The text the index keeps for one column: the parts in order (runs of Chinese or Japanese
    // as overlapping pairs), then the joined form of each run of letters and digits that has a
    // change of case inside ("parseJson" -> "parsejson"), the one word the plain full-text table
    // saw there: a search for it in one piece still finds it. Runs split only at digits or by
    // underscores and dots need none: a search word splits the same way.
    static QString IndexText(QStringView text);

    // The index tokens a query word stands for, in order: its parts, runs of Chinese or
    // Japanese as overlapping pairs. lastIsPrefix (when given) tells whether the last token is a
    // lone character of such a run, which only a prefix search finds.
    static QStringList QueryTokens(QStringView word, bool* lastIsPrefix = nullptr);
    // The joined form of a word of two or more parts ("parseJson" -> "parsejson"), or empty.
    static QString JoinedForm(QStringView word);

    static bool IsWordChar(char32_t c);
    static bool IsCjk(char32_t c);

private:
    // Pairs of the characters of one run, or the character itself for a run of one.
    static void AppendPairs(const QStringList& chars, QStringList& out);
};
