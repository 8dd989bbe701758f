#include "search/CSearchQuery.h"

#include "search/CSearchText.h"

#include <utility>

namespace {

QString columnOf(const QString& key) {
    if (key == QLatin1String("title")) return QStringLiteral("Title");
    if (key == QLatin1String("code") || key == QLatin1String("body")) return QStringLiteral("Body");
    if (key == QLatin1String("file")) return QStringLiteral("File");
    return {};
}

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

QString needsBothSides(const QString& op) { return op + QStringLiteral(" needs something to search for on each side"); }

// A quoted string of index tokens; only word characters reach it, so no quote needs doubling.
QString quoted(const QStringList& tokens, bool prefix) {
    return QLatin1Char('"') + tokens.join(QLatin1Char(' ')) + QLatin1Char('"') +
           (prefix ? QStringLiteral("*") : QString());
}

}  // namespace

bool CSearchQuery::IsOperand(const Token& t) {
    return t.kind == Token::Open || t.kind == Token::Word || t.kind == Token::Phrase || t.kind == Token::FilterTok;
}

bool CSearchQuery::Lex(const QString& s, QString* error) {
    m_tokens.clear();
    const int n = int(s.size());
    int i = 0;
    bool minus = false;
    int words = 0;
    const auto push = [&](Token t) {
        t.minus = std::exchange(minus, false);
        if (t.kind == Token::Word || t.kind == Token::Phrase) ++words;
        m_tokens.push_back(std::move(t));
    };
    // The quoted text from s[i] (a quote) on; false when it never closes.
    const auto phrase = [&](Token& t) {
        const int close = int(s.indexOf(QLatin1Char('"'), i + 1));
        if (close < 0) return false;
        t.kind = Token::Phrase;
        t.text = s.mid(i + 1, close - i - 1);
        i = close + 1;
        while (i < n && s[i] == QLatin1Char('*')) {
            t.prefix = true;
            ++i;
        }
        return true;
    };
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) {
            minus = false;
            ++i;
            continue;
        }
        Token t;
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            t.kind = c == QLatin1Char('(') ? Token::Open : Token::Close;
            if (t.kind == Token::Close) minus = false;
            ++i;
            push(t);
            continue;
        }
        if (c == QLatin1Char('-')) {
            ++i;
            minus = i < n && !s[i].isSpace() && s[i] != QLatin1Char(')');
            continue;
        }
        if (c == QLatin1Char('"')) {
            if (!phrase(t)) return fail(error, QStringLiteral("unbalanced quote"));
            push(t);
            continue;
        }
        int j = i;
        while (j < n && !s[j].isSpace() && s[j] != QLatin1Char('(') && s[j] != QLatin1Char(')') &&
               s[j] != QLatin1Char('"'))
            ++j;
        const QString run = s.mid(i, j - i);
        i = j;
        if (run == QLatin1String("AND") || run == QLatin1String("OR") || run == QLatin1String("NOT")) {
            t.kind = run == QLatin1String("AND") ? Token::And : run == QLatin1String("OR") ? Token::Or : Token::Not;
            minus = false;
            push(t);
            continue;
        }
        if (run == QLatin1String("NEAR") || run.startsWith(QLatin1String("NEAR/"))) {
            t.kind = Token::Near;
            if (run.size() > 4) {
                bool ok = false;
                const QString digits = run.mid(5);
                const int d = digits.size() <= 6 ? digits.toInt(&ok) : 0;
                if (!ok || d < 0 || d > kMaxNear || !digits.front().isDigit())
                    return fail(error, QStringLiteral("NEAR/ needs a number from 0 to %1").arg(kMaxNear));
                t.distance = d;
            }
            minus = false;
            push(t);
            continue;
        }
        const int colon = int(run.indexOf(QLatin1Char(':')));
        if (colon > 0) {
            const QString key = run.left(colon).toLower();
            QString value = run.mid(colon + 1);
            const bool filter = key == QLatin1String("lang") || key == QLatin1String("language") ||
                                key == QLatin1String("cat") || key == QLatin1String("category");
            const QString column = columnOf(key);
            if (filter || !column.isEmpty()) {
                const bool quotedValue = value.isEmpty() && i < n && s[i] == QLatin1Char('"');
                if (quotedValue && !phrase(t)) return fail(error, QStringLiteral("unbalanced quote"));
                if (!quotedValue) {
                    if (value.isEmpty() || value == QLatin1String("*"))
                        return fail(error, key + QStringLiteral(": needs ") +
                                               (filter ? QStringLiteral("a name") : QStringLiteral("a word")));
                    t.kind = Token::Word;
                    while (value.endsWith(QLatin1Char('*'))) {
                        value.chop(1);
                        t.prefix = true;
                    }
                    t.text = value;
                }
                if (filter) {
                    t.filter.category = key.startsWith(QLatin1String("cat"));
                    t.filter.name = t.text.trimmed();
                    t.filter.prefix = t.prefix;
                    t.filter.excluded = minus;
                    t.kind = Token::FilterTok;
                } else {
                    t.column = column;
                }
                push(t);
                continue;
            }
        }
        t.kind = Token::Word;
        t.text = run;
        while (t.text.endsWith(QLatin1Char('*'))) {
            t.text.chop(1);
            t.prefix = true;
        }
        push(t);
    }
    if (words > kMaxWords) return fail(error, QStringLiteral("the search has more than %1 words").arg(kMaxWords));
    m_tokens.push_back(Token());
    return true;
}

bool CSearchQuery::ParseOr(Node& out, int depth, QString* error) {
    if (depth > kMaxDepth) return fail(error, QStringLiteral("too many nested parentheses"));
    Node first;
    if (!ParseAnd(first, depth, error)) return false;
    if (Peek().kind != Token::Or) {
        out = std::move(first);
        return true;
    }
    Node any;
    any.type = Node::Or;
    any.children.push_back(std::move(first));
    while (Peek().kind == Token::Or) {
        ++m_pos;
        if (!IsOperand(Peek())) return fail(error, needsBothSides(QStringLiteral("OR")));
        Node next;
        if (!ParseAnd(next, depth, error)) return false;
        any.children.push_back(std::move(next));
    }
    out = std::move(any);
    return true;
}

bool CSearchQuery::ParseAnd(Node& out, int depth, QString* error) {
    Node all;
    all.type = Node::And;
    bool any = false;
    for (;;) {
        const Token& t = Peek();
        if (t.kind == Token::FilterTok) {
            m_filters.append(t.filter);
            ++m_pos;
            any = true;
            continue;
        }
        if (IsOperand(t)) {
            const bool minus = t.minus;
            Node x;
            if (!ParseNear(x, depth, error)) return false;
            (minus ? all.excluded : all.children).push_back(std::move(x));
            any = true;
            continue;
        }
        if (t.kind == Token::And || t.kind == Token::Not) {
            const bool exclude = t.kind == Token::Not;
            const QString op = exclude ? QStringLiteral("NOT") : QStringLiteral("AND");
            ++m_pos;
            if (!any || !IsOperand(Peek())) return fail(error, needsBothSides(op));
            if (!exclude) continue;
            if (Peek().kind == Token::FilterTok) {
                Filter f = Peek().filter;
                f.excluded = !f.excluded;
                m_filters.append(f);
                ++m_pos;
                continue;
            }
            Node x;
            if (!ParseNear(x, depth, error)) return false;
            all.excluded.push_back(std::move(x));
            continue;
        }
        if (t.kind == Token::Near) return fail(error, QStringLiteral("NEAR needs a word or phrase on each side"));
        if (t.kind == Token::Or && !any) return fail(error, needsBothSides(QStringLiteral("OR")));
        break;
    }
    out = std::move(all);
    return true;
}

bool CSearchQuery::ParseNear(Node& out, int depth, QString* error) {
    Node first;
    if (!ParsePrimary(first, depth, error)) return false;
    if (Peek().kind != Token::Near) {
        out = std::move(first);
        return true;
    }
    const QString why = QStringLiteral("NEAR needs a word or phrase on each side");
    if (first.type != Node::Term && first.type != Node::Phrase) return fail(error, why);
    Node near;
    near.type = Node::Near;
    near.children.push_back(std::move(first));
    while (Peek().kind == Token::Near) {
        near.distances.push_back(Peek().distance);
        ++m_pos;
        if (Peek().kind != Token::Word && Peek().kind != Token::Phrase) return fail(error, why);
        Node x;
        if (!ParsePrimary(x, depth, error)) return false;
        near.children.push_back(std::move(x));
    }
    out = std::move(near);
    return true;
}

bool CSearchQuery::ParsePrimary(Node& out, int depth, QString* error) {
    const Token& t = Peek();
    if (t.kind == Token::Open) {
        ++m_pos;
        Node inner;
        if (!ParseOr(inner, depth + 1, error)) return false;
        if (Peek().kind != Token::Close) return fail(error, QStringLiteral("unbalanced parenthesis"));
        ++m_pos;
        out = std::move(inner);
        return true;
    }
    out = Node();
    out.type = t.kind == Token::Phrase ? Node::Phrase : Node::Term;
    out.text = t.text;
    out.prefix = t.prefix;
    out.column = t.column;
    ++m_pos;
    return true;
}

CSearchQuery::Node CSearchQuery::Simplify(Node n) {
    const auto dropEmpty = [](std::vector<Node>& nodes) {
        std::vector<Node> kept;
        for (Node& c : nodes) {
            Node s = Simplify(std::move(c));
            if (s.type != Node::Empty) kept.push_back(std::move(s));
        }
        nodes = std::move(kept);
    };
    switch (n.type) {
    case Node::Empty:
        return n;
    case Node::Term:
    case Node::Phrase:
        if (CSearchText::QueryTokens(n.text).isEmpty()) return Node();
        return n;
    case Node::And:
        dropEmpty(n.children);
        dropEmpty(n.excluded);
        if (n.children.empty() && n.excluded.empty()) return Node();
        if (n.children.size() == 1 && n.excluded.empty()) return std::move(n.children.front());
        return n;
    case Node::Or:
        dropEmpty(n.children);
        if (n.children.empty()) return Node();
        if (n.children.size() == 1) return std::move(n.children.front());
        return n;
    case Node::Near: {
        std::vector<Node> kept;
        std::vector<int> distances;
        for (size_t k = 0; k < n.children.size(); ++k) {
            Node s = Simplify(std::move(n.children[k]));
            if (s.type == Node::Empty) continue;
            if (!kept.empty()) distances.push_back(n.distances[k - 1]);
            kept.push_back(std::move(s));
        }
        if (kept.empty()) return Node();
        if (kept.size() == 1) return std::move(kept.front());
        n.children = std::move(kept);
        n.distances = std::move(distances);
        return n;
    }
    }
    return n;
}

namespace {

// An And somewhere in the tree with only excluded parts.
template <typename N>
bool onlyExclusions(const N& n) {
    if (n.type == N::And && n.children.empty() && !n.excluded.empty()) return true;
    for (const N& c : n.children)
        if (onlyExclusions(c)) return true;
    for (const N& c : n.excluded)
        if (onlyExclusions(c)) return true;
    return false;
}

}  // namespace

bool CSearchQuery::Parse(const QString& text, QString* error) {
    m_filters.clear();
    m_index.clear();
    m_plain.clear();
    m_marks.clear();
    m_fromHits.clear();
    m_pos = 0;
    if (!Lex(text, error)) return false;
    Node root;
    if (!ParseOr(root, 0, error)) return false;
    if (Peek().kind == Token::Close) return fail(error, QStringLiteral("unbalanced parenthesis"));
    if (Peek().kind != Token::End) return fail(error, QStringLiteral("the search cannot be read"));
    root = Simplify(std::move(root));
    if (onlyExclusions(root)) return fail(error, QStringLiteral("nothing to search for besides the excluded words"));
    for (const Filter& f : std::as_const(m_filters))
        if (f.name.isEmpty()) return fail(error, QStringLiteral("a filter needs a name"));
    if (root.type == Node::Empty) {
        if (m_filters.isEmpty()) return fail(error, QStringLiteral("nothing to search for"));
        if (error) error->clear();
        return true;
    }
    m_index = IndexOf(root);
    m_plain = PlainOf(root);
    CollectMarks(root);
    FlagPhrases(root, true);
    if (error) error->clear();
    return true;
}

// Walks the tree as IndexOf writes it, phrase by phrase.
void CSearchQuery::FlagPhrases(const Node& n, bool alone) {
    const QChar flag = alone ? QLatin1Char('1') : QLatin1Char('0');
    switch (n.type) {
    case Node::Empty:
        return;
    case Node::Term:
    case Node::Phrase:
        m_fromHits += flag;
        if (n.type == Node::Term && !CSearchText::JoinedForm(n.text).isEmpty()) m_fromHits += flag;
        return;
    case Node::And:
        for (const Node& c : n.children) FlagPhrases(c, false);
        for (const Node& x : n.excluded) FlagPhrases(x, false);
        return;
    case Node::Or:
        for (const Node& c : n.children) FlagPhrases(c, alone);
        return;
    case Node::Near:
        // Two phrases per neighbouring pair.
        for (size_t k = 0; k + 1 < n.children.size(); ++k) m_fromHits += QStringLiteral("00");
        return;
    }
}

QString CSearchQuery::IndexOf(const Node& n) const {
    const auto withColumn = [&](const QString& column, const QString& expr) {
        return column.isEmpty() ? expr : QLatin1Char('{') + column + QStringLiteral("} : (") + expr + QLatin1Char(')');
    };
    switch (n.type) {
    case Node::Empty:
        return {};
    case Node::Term:
    case Node::Phrase: {
        bool lone = false;
        const QStringList tokens = CSearchText::QueryTokens(n.text, &lone);
        QString expr = quoted(tokens, n.prefix || lone);
        // A word of parts also meets its joined spelling ("parsejson" written in one piece).
        const QString joined = n.type == Node::Term ? CSearchText::JoinedForm(n.text) : QString();
        if (!joined.isEmpty()) expr = QLatin1Char('(') + expr + QStringLiteral(" OR ") + quoted({joined}, n.prefix) + QLatin1Char(')');
        return withColumn(n.column, expr);
    }
    case Node::And: {
        QStringList parts;
        for (const Node& c : n.children) parts << IndexOf(c);
        QString expr = QLatin1Char('(') + parts.join(QStringLiteral(" AND ")) + QLatin1Char(')');
        for (const Node& x : n.excluded) expr = QLatin1Char('(') + expr + QStringLiteral(" NOT ") + IndexOf(x) + QLatin1Char(')');
        return expr;
    }
    case Node::Or: {
        QStringList parts;
        for (const Node& c : n.children) parts << IndexOf(c);
        return QLatin1Char('(') + parts.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
    case Node::Near: {
        // NEAR groups take plain phrases: one group per neighbouring pair, all of them required.
        QStringList groups;
        for (size_t k = 0; k + 1 < n.children.size(); ++k) {
            const Node& a = n.children[k];
            const Node& b = n.children[k + 1];
            bool loneA = false, loneB = false;
            const QString pa = quoted(CSearchText::QueryTokens(a.text, &loneA), a.prefix || loneA);
            const QString pb = quoted(CSearchText::QueryTokens(b.text, &loneB), b.prefix || loneB);
            const QString group = QStringLiteral("NEAR(") + pa + QLatin1Char(' ') + pb + QStringLiteral(", ") +
                                  QString::number(n.distances[k]) + QLatin1Char(')');
            groups << (a.column == b.column ? withColumn(a.column, group) : group);
        }
        return QLatin1Char('(') + groups.join(QStringLiteral(" AND ")) + QLatin1Char(')');
    }
    }
    return {};
}

QString CSearchQuery::PlainOf(const Node& n) const {
    switch (n.type) {
    case Node::Empty:
        return {};
    case Node::Term:
    case Node::Phrase: {
        QString text = n.text;
        text.replace(QLatin1Char('"'), QLatin1Char(' '));
        QString expr = QLatin1Char('"') + text.simplified() + (n.prefix ? QStringLiteral("*") : QString()) + QLatin1Char('"');
        if (n.column.isEmpty()) return expr;
        const QString column = n.column == QLatin1String("Body") ? QStringLiteral("Code") : n.column;
        return column + QLatin1Char(':') + expr;
    }
    case Node::And: {
        QStringList parts;
        for (const Node& c : n.children) parts << PlainOf(c);
        QString expr = QLatin1Char('(') + parts.join(QLatin1Char(' ')) + QLatin1Char(')');
        for (const Node& x : n.excluded) expr = QLatin1Char('(') + expr + QStringLiteral(" NOT ") + PlainOf(x) + QLatin1Char(')');
        return expr;
    }
    case Node::Or: {
        QStringList parts;
        for (const Node& c : n.children) parts << PlainOf(c);
        return QLatin1Char('(') + parts.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
    case Node::Near: {
        QString expr = PlainOf(n.children.front());
        for (size_t k = 1; k < n.children.size(); ++k)
            expr += QStringLiteral(" NEAR/") + QString::number(n.distances[k - 1]) + QLatin1Char(' ') + PlainOf(n.children[k]);
        return expr;
    }
    }
    return {};
}

void CSearchQuery::CollectMarks(const Node& n) {
    const auto add = [&](const QString& word) {
        if (!m_marks.contains(word, Qt::CaseInsensitive)) m_marks << word;
    };
    if (n.type == Node::Term) {
        add(n.text + (n.prefix ? QStringLiteral("*") : QString()));
    } else if (n.type == Node::Phrase) {
        const QStringList words = n.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (qsizetype k = 0; k < words.size(); ++k)
            add(words[k] + (n.prefix && k + 1 == words.size() ? QStringLiteral("*") : QString()));
    }
    for (const Node& c : n.children) CollectMarks(c);
}
