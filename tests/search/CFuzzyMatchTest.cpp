// Fuzzy title matching: which titles match at all, and the order a query puts them in.
#include "search/CFuzzyMatch.h"
#include "support/QtPrinters.h"

#include <QStringList>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// The candidates that match, best first (stable for equal scores).
QStringList Ranked(const QString& query, QStringList candidates) {
    const CFuzzyMatch m(query);
    candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                    [&](const QString& c) { return m.Score(c) == CFuzzyMatch::kNoMatch; }),
                     candidates.end());
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](const QString& a, const QString& b) { return m.Score(a) > m.Score(b); });
    return candidates;
}

TEST(CFuzzyMatch, LettersMustAppearInOrderWithoutRegardToCase) {
    struct Case {
        const char* query;
        const char* candidate;
        bool matches;
    } cases[] = {
        {"gbr", "Git Branch Rename", true},
        {"GBR", "git branch rename", true},
        {"brg", "Git Branch Rename", false},  // out of order
        {"docker", "dock", false},            // longer than the title
        {"", "anything", true},
        {"x", "", false},
        {"straße", "STRASSE", false},  // folding is per character, no expansion
        {"ÉCOLE", "école primaire", true},
        {"c++", "Modern C++ tricks", true},
        {"a b", "a_b", false},  // a blank is a character like any other inside one word
    };
    for (const Case& c : cases) {
        const int score = CFuzzyMatch(QString::fromUtf8(c.query)).Score(QString::fromUtf8(c.candidate));
        EXPECT_EQ(score != CFuzzyMatch::kNoMatch, c.matches) << c.query << " / " << c.candidate;
    }
}

TEST(CFuzzyMatch, WordStartsHumpsAndRunsRankHigher) {
    struct Case {
        const char* query;
        QStringList candidates;
        QStringList expected;
    } cases[] = {
        // Word starts beat letters scattered inside words.
        {"gbr", {"a big rubber", "Git Branch Rename"}, {"Git Branch Rename", "a big rubber"}},
        // camelCase humps count as word starts.
        {"rfl", {"readfile loop", "readFileLines"}, {"readFileLines", "readfile loop"}},
        // A run of consecutive letters beats the same letters spread out.
        {"sort", {"salt on rotten tomatoes", "quick sort"}, {"quick sort", "salt on rotten tomatoes"}},
        // The start of the title beats a later word start.
        {"re", {"Parse regex", "Regex parse"}, {"Regex parse", "Parse regex"}},
        // Fewer skipped letters between matches rank higher.
        {"dr", {"dxxxxxxxxr", "dxr"}, {"dxr", "dxxxxxxxxr"}},
        // Digits after letters are a hump too.
        {"f2", {"buffer2x", "bufF2"}, {"bufF2", "buffer2x"}},
        // Titles without the letters are left out.
        {"json", {"Parse JSON", "Read XML", "jq one-liners"}, {"Parse JSON"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Ranked(c.query, c.candidates), c.expected) << c.query;
}

TEST(CFuzzyMatch, LongInputEndsQuickly) {
    // A pasted page as the query, a long title: both bounded, no quadratic blow-up.
    const QString query(10000, QLatin1Char('a'));
    const QString title = QString(100000, QLatin1Char('a'));
    EXPECT_NE(CFuzzyMatch(query.left(400)).Score(title), CFuzzyMatch::kNoMatch);
    EXPECT_EQ(CFuzzyMatch(query).Score(title), CFuzzyMatch::kNoMatch);  // past the scored length
    EXPECT_EQ(CFuzzyMatch(QStringLiteral("\x01\x02")).Score(QStringLiteral("abc")), CFuzzyMatch::kNoMatch);
}

// The quick index scores only titles whose Bound can still reach its list and checks the rest
// with Matches: both must agree with Score on every title, or results go missing.
TEST(CFuzzyMatch, BoundIsNeverBelowTheScoreAndMatchesAgreesWithIt) {
    QStringList titles = {QString(), QStringLiteral("a"), QStringLiteral("Sort a vector"),
                          QStringLiteral("sortVector"), QStringLiteral("SORT_VECTOR"), QStringLiteral("s_o_r_t"),
                          QStringLiteral("vector sort sort"), QStringLiteral("Größe ändern"),
                          QStringLiteral("utf8Decode2x"), QString(600, QLatin1Char('b')) + QStringLiteral("sort")};
    QStringList patterns = {QStringLiteral("s"), QStringLiteral("so"), QStringLiteral("sort"),
                            QStringLiteral("sv"), QStringLiteral("svc"), QStringLiteral("ssort"),
                            QStringLiteral("grö"), QStringLiteral("u8d"), QStringLiteral("ab"), QStringLiteral("bbb")};
    // And many small titles and patterns of few letters, where runs, humps and gaps mix.
    quint32 seed = 7;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    const QString alphabet = QStringLiteral("abAB _1@`");
    for (int k = 0; k < 400; ++k) {
        QString t, p;
        // Long enough for the sixteen-byte steps of the ASCII search, with '@' and '`' that one OR
        // would take for a capital and its lower case.
        for (int n = int(next() % 40); n > 0; --n) t += alphabet[int(next() % alphabet.size())];
        for (int n = 1 + int(next() % 4); n > 0; --n) p += alphabet[int(next() % alphabet.size())];
        titles << t;
        patterns << p;
    }
    for (const QString& p : std::as_const(patterns)) {
        const CFuzzyMatch m(p);
        for (const QString& t : std::as_const(titles)) {
            const QString folded = CFuzzyMatch::FoldText(QStringView(t).left(CFuzzyMatch::kMaxCandidate));
            const int score = m.Score(t);
            ASSERT_EQ(m.Matches(folded), score != CFuzzyMatch::kNoMatch) << p.toStdString() << " / " << t.toStdString();
            if (score != CFuzzyMatch::kNoMatch) {
                ASSERT_LE(score, m.Bound(folded)) << p.toStdString() << " / " << t.toStdString();
                // One more letter typed adds at most so much: the palette's next search relies on it.
                if (p.size() > 1) {
                    const bool late = folded.isEmpty() || folded[0] != m.Pattern()[0];
                    ASSERT_LE(score, CFuzzyMatch(p.chopped(1)).Score(t) +
                                         (late ? CFuzzyMatch::kMaxLateLetterGain : CFuzzyMatch::kMaxLetterGain))
                        << p.toStdString() << " / " << t.toStdString();
                }
            }
            // An ASCII title is matched as written, without its folded copy: the same answers.
            bool ascii = true;
            for (QChar c : t) ascii = ascii && c.unicode() < 0x80;
            if (!ascii) continue;
            const QByteArray bytes = t.toLatin1();
            ASSERT_EQ(m.MatchesAscii(bytes), m.Matches(folded)) << p.toStdString() << " / " << t.toStdString();
            // Its bound may be tighter, knowing the case of every letter, never below the score.
            ASSERT_LE(m.BoundAscii(bytes), m.Bound(folded)) << p.toStdString() << " / " << t.toStdString();
            // With the title's late word starts kept, the first letter's share comes from them.
            const quint32 late = CFuzzyMatch::LateWordStartsAscii(bytes);
            if (score != CFuzzyMatch::kNoMatch) {
                ASSERT_GE(m.BoundAscii(bytes), score) << p.toStdString() << " / " << t.toStdString();
                quint8 first = 0;
                ASSERT_GE(m.BoundAscii(bytes, &first, &late), score) << p.toStdString() << " / " << t.toStdString();
                ASSERT_EQ(m.BoundAscii(bytes, &first), m.BoundAscii(bytes, nullptr, &late)) << p.toStdString() << " / " << t.toStdString();
            }
            ASSERT_EQ(m.ScoreAscii(bytes), score) << p.toStdString() << " / " << t.toStdString();
        }
    }
}

}  // namespace
