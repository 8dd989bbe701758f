#pragma once
// What is typed into the quick palette (or given to vgcli get): words matched against titles
// and bodies, and lang:NAME / cat:NAME filters (also language: and category:, a quoted NAME
// may hold blanks). Control characters count as blanks; a query of any length parses in one
// pass and keeps at most kMaxWords words of kMaxWordLength characters.
#include <QString>
#include <QStringList>

class CQuickQuery {
public:
    static constexpr int kMaxWords = 16;
    static constexpr int kMaxWordLength = 128;

    static CQuickQuery Parse(const QString& text);

    QStringList words;
    QStringList languages;   // lang: names, as typed
    QStringList categories;  // cat: names, as typed
    bool typing = false;     // the text does not end in a blank: the last word may be unfinished

    bool HasWords() const { return !words.isEmpty(); }
    bool HasFilters() const { return !languages.isEmpty() || !categories.isEmpty(); }

    // The full-text query of the words: each token quoted, so nothing typed is taken as syntax;
    // while typing, the last token is a prefix from kMinPrefix characters on, a whole word from
    // kMinWord on, and left out below. Empty when there is nothing to look for in bodies.
    static constexpr int kMinWord = 3;
    static constexpr int kMinPrefix = 4;
    QString FullTextQuery() const;
    // The words as the code pane marks them ("wor*" for an unfinished last word).
    QStringList MarkWords() const;
};
