#pragma once
// Where the words of a search occur in a text, as the index matched them: a word of several
// parts ("parseJson") marks the run of parts it stands for ("parse_json", "parse json") or the
// word it is the joined form of ("parsejson"), "wid*" marks parts starting so, and a run of Chinese or
// Japanese marks the same characters wherever they stand.
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

class CSearchMarks {
public:
    struct Range {
        int start = 0;  // UTF-16 offsets
        int end = 0;
        bool operator==(const Range&) const = default;
    };

    // words as CSearchQuery::MarkWords gives them.
    explicit CSearchMarks(const QStringList& words);
    bool IsEmpty() const { return m_words.isEmpty(); }

    // The matches in text, in order, none overlapping.
    QList<Range> Find(QStringView text) const;

    // The first line of text that holds a match, trimmed to at most maxChars around its first
    // match, with every match between open and close; empty when nothing matches.
    QString ContextLine(QStringView text, int maxChars, const QString& open, const QString& close) const;

private:
    struct Word {
        QStringList parts;
        QList<bool> cjk;
        QString joined;
        bool prefix = false;
    };
    QList<Word> m_words;
};
