#pragma once
// A search as the user types it: words (code words split into their parts), "phrases", word*
// prefixes, -word and NOT to exclude, AND, OR, NEAR and NEAR/N, parentheses, title:, code: and
// file: for one column, and lang:/language:, cat:/category: filters. Parse turns it into the
// index's full-text expression, the same search for the plain full-text table, the filters and
// the words to mark; a malformed search gets a plain reason instead.
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

class CSearchQuery {
public:
    struct Filter {
        bool category = false;  // false: a language
        QString name;
        bool prefix = false;    // "py*"
        bool excluded = false;  // "-lang:vb"
    };

    static constexpr int kMaxWords = 256;
    static constexpr int kMaxDepth = 32;
    static constexpr int kMaxNear = 1000;

    // False with the reason ("unbalanced quote", "nothing to search for" ...).
    bool Parse(const QString& text, QString* error);

    // Whether there are words to match; a search of filters alone lists what they let through.
    bool HasText() const { return !m_index.isEmpty(); }
    // The expression for the index table (its columns Title, File, Body).
    QString IndexMatch() const { return m_index; }
    // The same search for the plain full-text table (Title, Code, File), for files whose index
    // cannot be used.
    QString PlainMatch() const { return m_plain; }
    const QList<Filter>& Filters() const { return m_filters; }
    // The words the hits are marked by, as typed ("parseJson", "wid*"), excluded ones left out.
    QStringList MarkWords() const { return m_marks; }
    // One character per phrase of IndexMatch in the order written: '1' when every item holding
    // that phrase matches the whole search (the phrase alone or under OR only), so that ranking
    // can count the phrase's items from the hits instead of searching for it again.
    QString PhrasesFromHits() const { return m_fromHits; }

private:
    struct Node {
        enum Type { Empty, Term, Phrase, And, Or, Near } type = Empty;
        QString text;    // Term: the word; Phrase: its text
        bool prefix = false;
        QString column;  // "Title", "File", "Body" or empty
        std::vector<Node> children;
        std::vector<Node> excluded;  // And: what must not match
        std::vector<int> distances;  // Near: between operand k and k + 1
    };
    struct Token {
        enum Kind { End, Open, Close, Word, Phrase, And, Or, Not, Near, FilterTok } kind = End;
        QString text;
        QString column;
        bool prefix = false;
        bool minus = false;
        int distance = 10;
        Filter filter;
    };

    bool Lex(const QString& text, QString* error);
    bool ParseOr(Node& out, int depth, QString* error);
    bool ParseAnd(Node& out, int depth, QString* error);
    bool ParseNear(Node& out, int depth, QString* error);
    bool ParsePrimary(Node& out, int depth, QString* error);
    const Token& Peek() const { return m_tokens[m_pos]; }
    static bool IsOperand(const Token& t);
    static Node Simplify(Node n);
    QString IndexOf(const Node& n) const;
    QString PlainOf(const Node& n) const;
    void CollectMarks(const Node& n);
    void FlagPhrases(const Node& n, bool alone);

    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    QList<Filter> m_filters;
    QString m_index;
    QString m_plain;
    QStringList m_marks;
    QString m_fromHits;
};
