// The quick palette's search over a real store: the order of results for a table of queries,
// filters, body hits, and recent use kept in the file's own additional table.
#include "db/basDB.h"
#include "search/CQuickIndex.h"
#include "search/CRecentUse.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace {

struct Sample {
    const char* language;
    const char* title;
    const char* body;
    const char* categories;
};

// Item numbers follow the order: 1 to 9.
const Sample kSamples[] = {
    {"Shell", "Docker run redis", "docker run -d -p <port=6379>:6379 redis", "Containers"},
    {"Shell", "Git branch rename", "git branch -m <old> <new>", "Git"},
    {"Python", "Read file lines", "with open(path) as f:\n    lines = f.readlines()", "Files"},
    {"Python", "readFileLines helper", "def readFileLines(p): ...", "Files,Helpers"},
    {"SQL", "Top rows", "SELECT * FROM t ORDER BY id DESC LIMIT 10", "Queries"},
    {"SQL", "Page through results", "SELECT * FROM t LIMIT 20 OFFSET 40", "Queries,Paging"},
    {"C++", "Erase while iterating", "for (auto it = v.begin(); it != v.end();) it = v.erase(it);", "Containers"},
    {"C++", "Sort a vector", "std::sort(v.begin(), v.end()); // quuxalicious", "Algorithms"},
    {"C++", "Sort a vector", "std::ranges::sort(v);", "Algorithms"},
};

class QuickIndexTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        for (const Sample& s : kSamples) {
            int id = -1;
            QString error;
            ASSERT_GT(SaveItem(QLatin1String(s.language), id, QLatin1String(s.title), QLatin1String(s.body),
                               QLatin1String(s.categories), QStringLiteral("2024-01-31 13:05:09"), false,
                               TimeBase::Local, &error),
                      0)
                << error.toStdString();
        }
        Reload();
    }
    void Reload() {
        QString error;
        ASSERT_TRUE(index.Load(*gDB, &error)) << error.toStdString();
    }
    // Ids of the body hits as the palette's worker asks for them.
    QSet<int> BodyHits(const CQuickQuery& q) {
        QSet<int> ids;
        const QString match = q.FullTextQuery();
        if (match.isEmpty()) return ids;
        const ResultTable t = Query(QStringLiteral("SELECT docid FROM ftsItem WHERE ftsItem MATCH '%1'").arg(match));
        for (int r = 1; r <= t.RowCount(); ++r) ids.insert(int(t.Int(r, 0)));
        return ids;
    }
    QList<int> Ids(const QString& text, int limit = 20) {
        const CQuickQuery q = CQuickQuery::Parse(text);
        QList<int> ids;
        for (const CQuickIndex::Row& r : index.Search(q, BodyHits(q), limit)) ids << r.id;
        return ids;
    }
    void Use(int id, const QDateTime& when) {
        QString error;
        ASSERT_TRUE(CRecentUse::Record(*gDB, id, when, &error)) << error.toStdString();
    }
    CQuickIndex index;
};

TEST_F(QuickIndexTest, OrderOfResultsForATableOfQueries) {
    struct Case {
        const char* query;
        QList<int> expected;
    } cases[] = {
        {"dock", {1}},
        {"gbr", {2}},                // word starts
        {"rfl", {3, 4}},             // word starts, then camelCase humps
        {"sort vec", {8, 9}},        // two words, each fuzzy; equal titles by number
        {"vector sort", {8, 9}},     // words in any order
        {"read lines", {3, 4}},
        {"quuxalicious ", {8}},      // only in a body
        {"select", {5, 6}},          // an unfinished word of bodies, as a prefix
        {"select ", {5, 6}},
        // Body hits rank with a plain match of the letters: above letters scattered in titles.
        {"sele", {7, 5, 6, 4}},      // bodies: SELECT, from four letters on
        {"sel", {7, 4}},             // three letters: only the word "sel" in bodies
        {"top select ", {5}},
        {"erase begin ", {7}},       // title word and body word
        {"lang:sql", {5, 6}},        // filters alone: recently changed first (equal: by number)
        {"lang:sq rows", {5}},       // a language name being typed
        {"cat:files lang:python", {3, 4}},
        {"cat:containers", {1, 7}},
        {"lang:cobol sort", {}},     // an unknown name leaves nothing
        {"zzzz", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Ids(QLatin1String(c.query)), c.expected) << c.query;
    }
}

TEST_F(QuickIndexTest, AQueryThatAddsLettersLooksOnlyAtTheLastRowsAndFindsTheSame) {
    const char* typed[] = {"r", "re", "rea", "read", "read l", "read li", "read lin", "x", "lang:sql s", "lang:sql se"};
    CQuickIndex::Matched last;
    int narrowed = 0;
    for (const char* text : typed) {
        const CQuickQuery q = CQuickQuery::Parse(QLatin1String(text));
        const QSet<int> bodies = BodyHits(q);
        narrowed += CQuickIndex::Narrows(last.query, q);
        CQuickIndex::Matched rows;
        EXPECT_EQ(index.Search(q, bodies, 20, {}, &last, &rows), index.Search(q, bodies, 20)) << text;
        last = std::move(rows);
    }
    EXPECT_EQ(narrowed, 7);  // not after another first letter or new filters
    const auto parse = [](const char* t) { return CQuickQuery::Parse(QLatin1String(t)); };
    EXPECT_FALSE(CQuickIndex::Narrows(parse("read"), parse("rea")));
    EXPECT_FALSE(CQuickIndex::Narrows(parse(""), parse("a")));
    EXPECT_FALSE(CQuickIndex::Narrows(parse("ab cat:x"), parse("abc")));
}

TEST_F(QuickIndexTest, RowsCarryLanguageAndCategories) {
    const CQuickQuery q = CQuickQuery::Parse(QStringLiteral("readFile"));
    const QList<CQuickIndex::Row> rows = index.Search(q, {}, 5);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.first(), (CQuickIndex::Row{4, "readFileLines helper", "Python", {"Files", "Helpers"}}));
    EXPECT_EQ(index.Size(), 9);
    EXPECT_EQ(Ids("sort", 1), QList<int>{8});  // the limit
}

// Only the best few are kept while searching; the rest are checked but not all scored. The few
// must be the first of the full order, whatever the limit, also with body hits and after
// narrowing, and titles outside ASCII must come back as written.
TEST_F(QuickIndexTest, AShortListIsTheStartOfTheFullOrder) {
    const char* const words[] = {"sort", "Sorter", "vector", "VecTor", "s_o_r_t", "größe", "über", "sortVec", "x"};
    for (int k = 0; k < 60; ++k) {
        const QString title = QString::fromUtf8(words[k % 9]) + QLatin1Char(' ') + QString::fromUtf8(words[(k * 7) % 9]) +
                              QLatin1Char(' ') + QString::fromUtf8(words[(k * 5 + 3) % 9]);
        int id = -1;
        QString error;
        ASSERT_GT(SaveItem(QStringLiteral("C++"), id, title, QStringLiteral("quuxalicious"), QStringLiteral("Misc"),
                           QStringLiteral("2024-01-31 13:05:09"), false, TimeBase::Local, &error),
                  0)
            << error.toStdString();
    }
    Reload();
    // Typed letter by letter, each search starting from the rows (and score bounds) of the last;
    // in one pass and in two halves at once; and typed fast, when the search that finished last
    // lacks two or three of the letters.
    for (const char* text : {"sort", "sv", "sort vec", "größe", "GRÖ über", "quuxalicious so", "x s", "vtor"}) {
        const QString typed = QString::fromUtf8(text);
        for (int limit : {1, 3, 10, 25}) {
            for (auto [split, step] : {std::pair{size_t(1) << 30, 1}, {size_t(1), 1}, {size_t(1) << 30, 2}, {size_t(1), 3}}) {
                CQuickIndex::Matched last;
                CQuickIndex::Scratch scratch;  // kept from letter to letter, as the palette keeps it
                for (qsizetype n = 1; n <= typed.size(); n += step) {
                    const CQuickQuery q = CQuickQuery::Parse(typed.left(n));
                    const QSet<int> bodies = BodyHits(q);
                    CQuickIndex::SplitFrom = size_t(1) << 30;
                    const QList<CQuickIndex::Row> all = index.Search(q, bodies, 1000);
                    CQuickIndex::SplitFrom = split;
                    CQuickIndex::Matched rows;
                    EXPECT_EQ(index.Search(q, bodies, limit, {}, &last, &rows, &scratch), all.mid(0, limit))
                        << typed.left(n).toStdString() << " limit " << limit << " split " << split << " step " << step;
                    last = std::move(rows);
                }
            }
        }
    }
    CQuickIndex::SplitFrom = 16384;
    const QList<CQuickIndex::Row> rows = index.Search(CQuickQuery::Parse(QStringLiteral("GRÖ")), {}, 1000);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_TRUE(rows.first().title.contains(QString::fromUtf8("größe"))) << rows.first().title.toStdString();
}

TEST_F(QuickIndexTest, RecentAndFrequentUseRanksEqualsHigherAndListsTheEmptyQuery) {
    // A file without the use table works; nothing was used yet: recently changed first.
    EXPECT_EQ(Scalar("SELECT Count(*) FROM sqlite_master WHERE name = 'tblItemUse'").toInt(), 0);
    QHash<int, CRecentUse::Use> uses;
    EXPECT_TRUE(CRecentUse::Load(*gDB, &uses));
    EXPECT_TRUE(uses.isEmpty());
    EXPECT_EQ(Ids("sort vec"), (QList<int>{8, 9}));

    const QDateTime now = QDateTime::currentDateTimeUtc();
    Use(9, now.addSecs(-60));
    Use(9, now.addSecs(-30));
    Use(2, now);
    Reload();
    EXPECT_EQ(Scalar("SELECT Uses FROM tblItemUse WHERE ItemID = 9").toInt(), 2);
    // The equal titles: the used one first. Better matches still come before use.
    EXPECT_EQ(Ids("sort vec"), (QList<int>{9, 8}));
    EXPECT_EQ(Ids("gbr"), QList<int>{2});
    // The empty query: most recently used first, then the rest.
    EXPECT_EQ(Ids("", 3).mid(0, 2), (QList<int>{2, 9}));
    EXPECT_EQ(Ids("", 100).size(), 9);

    // In memory as well, without reading the file again.
    index.NoteUse(8, CRecentUse::JulianDay(now.addSecs(10)));
    EXPECT_EQ(Ids("", 1), QList<int>{8});
    EXPECT_EQ(Ids("sort vec"), (QList<int>{9, 8}));  // 9 still used more often

    // A deleted item's uses are skipped, and dropped on the next write.
    ASSERT_TRUE(DeleteItem(*gDB, 9));
    ASSERT_TRUE(CRecentUse::Load(*gDB, &uses));
    EXPECT_FALSE(uses.contains(9));
    Use(2, now);
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItemUse WHERE ItemID = 9").toInt(), 0);
    EXPECT_EQ(Scalar("PRAGMA integrity_check").toString(), "ok");
}

TEST_F(QuickIndexTest, AReadOnlyFileIsSearchedButNotWritten) {
    Use(3, QDateTime::currentDateTimeUtc());
    ReopenReadOnly();
    Reload();
    EXPECT_EQ(Ids("", 1), QList<int>{3});
    QString error;
    EXPECT_FALSE(CRecentUse::Record(*gDB, 5, QDateTime::currentDateTimeUtc(), &error));
    EXPECT_FALSE(error.isEmpty());
    Reload();
    EXPECT_EQ(Ids("", 1), QList<int>{3});
}

TEST_F(QuickIndexTest, TheStoredFormatGainsOneTableAndNothingElse) {
    const QString before = Query("SELECT group_concat(name || ':' || sql, '|') FROM (SELECT * FROM sqlite_master "
                                 "ORDER BY name)").Text(1, 0);
    Use(1, QDateTime::currentDateTimeUtc());
    const QString after = Query("SELECT group_concat(name || ':' || sql, '|') FROM (SELECT * FROM sqlite_master "
                                "WHERE name <> 'tblItemUse' ORDER BY name)").Text(1, 0);
    EXPECT_EQ(after, before);
    EXPECT_EQ(Scalar("PRAGMA user_version").toInt(), 2);
    // Titles that are not valid UTF-8 in the file (older Windows texts) still read.
    Query("UPDATE ftsItem SET Title = CAST(X'436166E9' AS TEXT) WHERE docid = 5");
    Reload();
    EXPECT_EQ(index.RowOf(5).title, QString::fromUtf8("Café"));
}

}  // namespace
