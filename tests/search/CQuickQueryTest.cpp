// Reading a quick query: words, lang: and cat: filters, and the full-text query made of it.
#include "search/CQuickQuery.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(CQuickQuery, WordsAndFilters) {
    struct Case {
        QString text;
        QStringList words;
        QStringList languages;
        QStringList categories;
        bool typing;
    } cases[] = {
        {"docker run", {"docker", "run"}, {}, {}, true},
        {"  docker   run ", {"docker", "run"}, {}, {}, false},
        {"lang:python read file", {"read", "file"}, {"python"}, {}, true},
        {"LANGUAGE:SQL category:Paging x", {"x"}, {"SQL"}, {"Paging"}, true},
        {"lang:\"Visual Basic\" cat:Files", {}, {"Visual Basic"}, {"Files"}, true},
        {"lang:\"Visual Basic", {}, {"Visual Basic"}, {}, true},  // an open quote runs to the end
        {"cat:", {}, {}, {}, true},                                // no name: no filter
        {"http://example.org", {"http://example.org"}, {}, {}, true},
        {"a\tb\x01" "c\n", {"a", "b", "c"}, {}, {}, false},         // control characters are blanks
        {"", {}, {}, {}, false},
    };
    for (const Case& c : cases) {
        const CQuickQuery q = CQuickQuery::Parse(c.text);
        EXPECT_EQ(q.words, c.words) << c.text.toStdString();
        EXPECT_EQ(q.languages, c.languages) << c.text.toStdString();
        EXPECT_EQ(q.categories, c.categories) << c.text.toStdString();
        EXPECT_EQ(q.typing, c.typing) << c.text.toStdString();
    }
}

TEST(CQuickQuery, FullTextQueryQuotesEveryTokenAndPrefixesTheUnfinishedOne) {
    struct Case {
        QString text;
        QString match;
        QStringList marks;
    } cases[] = {
        {"docker run redis", "\"docker\" \"run\" \"redis*\"", {"docker", "run", "redis*"}},
        {"docker run redis ", "\"docker\" \"run\" \"redis\"", {"docker", "run", "redis"}},
        // Syntax typed is taken as text: quotes, stars, OR, minus, column filters.
        {"a\"b OR -c* title:x ", "\"a\" \"b\" \"OR\" \"c\" \"title\" \"x\"", {"a", "b", "OR", "c", "title", "x"}},
        // One or two letters of an unfinished word are not searched in bodies yet, three as a word.
        {"docker ru", "\"docker\"", {"docker", "ru*"}},
        {"docker run", "\"docker\" \"run\"", {"docker", "run*"}},
        {"d", "", {"d*"}},
        {"lang:sql", "", {}},
        {"std::vector<int>", "\"std\" \"vector\" \"int\"", {"std", "vector", "int*"}},
        {"std::vector<inte", "\"std\" \"vector\" \"inte*\"", {"std", "vector", "inte*"}},
        {"naïve ", "\"naïve\"", {"naïve"}},
    };
    for (const Case& c : cases) {
        const CQuickQuery q = CQuickQuery::Parse(c.text);
        EXPECT_EQ(q.FullTextQuery(), c.match) << c.text.toStdString();
        EXPECT_EQ(q.MarkWords(), c.marks) << c.text.toStdString();
    }
}

TEST(CQuickQuery, HugeQueriesAreBounded) {
    QString text;
    for (int i = 0; i < 2000; ++i) text += QStringLiteral("word%1 ").arg(i);
    text += QString(10000, QLatin1Char('x'));
    const CQuickQuery q = CQuickQuery::Parse(text);
    EXPECT_EQ(q.words.size(), CQuickQuery::kMaxWords);
    for (const QString& w : q.words) EXPECT_LE(w.size(), CQuickQuery::kMaxWordLength);
}

}  // namespace
