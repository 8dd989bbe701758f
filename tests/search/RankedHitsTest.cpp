// The search's own ranking against the engine's: for every kind of search, the same hits in the
// same order as ORDER BY rank, rowid over the index, with the same scores to the last bit.
#include "SearchFixture.h"
#include "search/CRankedHits.h"
#include "search/CSearchQuery.h"

#include <random>

namespace {

class RankedHitsTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        // Bodies of many lengths from a small vocabulary, so that sizes, counts and rarity all
        // tell; a few identical items so that equal scores occur.
        static const char* const words[] = {"alpha", "beta",   "gamma",    "delta", "parseJson", "parse_json",
                                            "value", "buffer", "returnValue", "omega", "json",     "sigma"};
        std::mt19937 random(7);
        for (int i = 0; i < 90; ++i) {
            QString title, body;
            for (int w = 0, n = 1 + int(random() % 3); w < n; ++w) title += QLatin1String(words[random() % 12]) + QLatin1Char(' ');
            for (int w = 0, n = 1 + int(random() % 40); w < n; ++w) body += QLatin1String(words[random() % 12]) + QLatin1Char(' ');
            const char* language = i % 3 == 0 ? "Python" : i % 3 == 1 ? "C" : "Go";
            Save(QString::fromLatin1(language), title, i % 2 ? QStringLiteral("Even") : QStringLiteral("Odd"), body);
        }
        for (int i = 0; i < 3; ++i) Save("C", "twin", "Odd", "alpha beta alpha");
    }

    // The engine's own order and scores for the parsed search, unfiltered.
    std::vector<std::pair<qint64, double>> Engine(const CSearchQuery& q) {
        std::vector<std::pair<qint64, double>> out;
        ResultTable t;
        QString error;
        db.Exec("SELECT s.rowid, s.rank FROM ftsSearch AS s JOIN ftsItem_content AS c ON c.docid = s.rowid "
                "WHERE ftsSearch MATCH " + SqlText(q.IndexMatch()) + " ORDER BY s.rank, s.rowid",
                t, error);
        EXPECT_EQ(error, QString());
        for (int r = 1; r <= t.RowCount(); ++r) out.push_back({t.Int(r, 0), t.Real(r, 1)});
        return out;
    }
    static QString SqlText(QString s) { return "'" + s.replace("'", "''") + "'"; }
    static std::vector<qint64> Ids(const ResultTable& t) {
        std::vector<qint64> ids;
        for (int r = 1; r <= t.RowCount(); ++r) ids.push_back(t.Int(r, 0));
        return ids;
    }
};

const char* const kSearches[] = {
    "alpha",          "value",           "alpha beta",        "alpha OR beta",     "\"alpha beta\"",
    "alph*",          "alpha -beta",     "alpha NOT gamma",   "title:alpha",       "alpha NEAR beta",
    "(alpha OR beta) gamma",             "parseJson",         "parse_json OR sigma",
    "returnValue",    "return_value",    "json OR (omega delta)",                  "title:json OR buffer",
    "twin",           "sigma OR omega OR delta",              "NEAR/2 x",          "nosuchword",
};

TEST_F(RankedHitsTest, HitsScoresAndOrderAreTheEnginesOwn) {
    for (const char* text : kSearches) {
        CSearchQuery q;
        QString error;
        if (!q.Parse(QString::fromUtf8(text), &error)) continue;  // malformed ones are tested elsewhere
        const auto engine = Engine(q);
        for (const bool titles : {true, false}) {
            CRankedHits hits;
            ASSERT_TRUE(hits.Run(db, q.IndexMatch(), q.PhrasesFromHits(), titles, &error)) << text << error.toStdString();
            ASSERT_EQ(hits.Hits().size(), engine.size()) << text;
            for (size_t k = 0; k < engine.size(); ++k) {
                EXPECT_EQ(hits.Hits()[k].id, engine[k].first) << text << " at " << k;
                EXPECT_EQ(hits.Hits()[k].score, engine[k].second) << text << " at " << k;
                EXPECT_EQ(hits.Hits()[k].titleSize >= 0, titles) << text;
            }
        }
        // Counting every phrase the engine's way gives the same as counting from the hits.
        CRankedHits slow;
        ASSERT_TRUE(slow.Run(db, q.IndexMatch(), QString(), false, &error));
        ASSERT_EQ(slow.Hits().size(), engine.size());
        for (size_t k = 0; k < engine.size(); ++k) EXPECT_EQ(slow.Hits()[k].score, engine[k].second) << text;
    }
}

TEST_F(RankedHitsTest, TheSearchListsAndStreamsInThatOrderAlsoWhenFiltered) {
    const int python = TypeId("Python");
    const int odd = Scalar("SELECT ID FROM tblCategory WHERE Name = 'Odd' AND TypeID = " + QString::number(TypeId("C")))
                        .toInt();
    struct Filtered {
        const char* text;
        int category, type;
        const char* members;  // the items the filter lets through
    };
    const Filtered cases[] = {
        {"alpha", -1, -1, "SELECT docid FROM ftsItem_content"},
        {"alpha OR beta", -1, python, "SELECT ItemID FROM tblItemCategory JOIN tblCategory ON ID = CategoryID WHERE TypeID = %2"},
        {"alpha lang:python", -1, -1, "SELECT ItemID FROM tblItemCategory JOIN tblCategory ON ID = CategoryID WHERE TypeID = %2"},
        {"beta -cat:even", -1, -1, "SELECT ItemID FROM tblItemCategory JOIN tblCategory ON ID = CategoryID WHERE Name = 'Odd'"},
        {"twin OR value", odd, -1, "SELECT ItemID FROM tblItemCategory WHERE CategoryID = %1"},
    };
    for (const double share : {2.0, 0.0})
    for (const Filtered& c : cases) {
        CSearch::FilterAtOnceShare = share;  // each hit checked, or the filter's items read at once
        CSearchQuery q;
        QString error;
        ASSERT_TRUE(q.Parse(QString::fromUtf8(c.text), &error));
        QSet<qint64> members;
        ResultTable m;
        db.Exec(QString::fromUtf8(c.members)
                    .replace("%1", QString::number(c.category))
                    .replace("%2", QString::number(python)),
                m, error);
        for (int r = 1; r <= m.RowCount(); ++r) members.insert(m.Int(r, 0));
        std::vector<qint64> expected;
        for (const auto& [id, score] : Engine(q))
            if (members.contains(id)) expected.push_back(id);
        ASSERT_FALSE(expected.empty()) << c.text;

        bool ranked = false;
        const ResultTable table = CSearch::Run(db, QString::fromUtf8(c.text), c.category, c.type, {}, &error, &ranked);
        EXPECT_TRUE(ranked);
        EXPECT_EQ(Ids(table), expected) << c.text;
        EXPECT_EQ(table.Header(0), c.category != -1 || c.type != -1 ? "ItemID" : "rowid");
        EXPECT_EQ(table.Header(1), "Title");
        std::vector<qint64> streamed;
        QStringList titles;
        ASSERT_TRUE(CSearch::ForEach(db, QString::fromUtf8(c.text), c.category, c.type, {}, [&](const CSQLite::Row& r) {
            streamed.push_back(r.Int(0));
            QByteArray scratch;
            titles << QString::fromUtf8(r.Utf8(1, scratch));
            return true;
        }, &error));
        EXPECT_EQ(streamed, expected) << c.text;
        EXPECT_EQ(titles, Column(table, 1)) << c.text;
    }
    CSearch::FilterAtOnceShare = 0.2;
}

TEST_F(RankedHitsTest, TitlesStoredAsNumbersOrBlobsReadAsTheEngineGivesThem) {
    OtherProgram("UPDATE ftsItem SET Title = 12345 WHERE docid = (SELECT Min(docid) FROM ftsItem WHERE ftsItem MATCH 'alpha');"
                 "UPDATE ftsItem SET Title = X'416C7068E9' WHERE docid = (SELECT Max(docid) FROM ftsItem WHERE ftsItem MATCH 'alpha')");
    QString error;
    const ResultTable table = CSearch::Run(db, "alpha", -1, -1, {}, &error);
    CSearchQuery q;
    ASSERT_TRUE(q.Parse("alpha", &error));
    ResultTable engine;
    db.Exec("SELECT s.rowid, c.c0Title AS Title FROM ftsSearch AS s JOIN ftsItem_content AS c ON c.docid = s.rowid "
            "WHERE ftsSearch MATCH " + SqlText(q.IndexMatch()) + " ORDER BY s.rank, s.rowid",
            engine, error);
    ASSERT_EQ(table.RowCount(), engine.RowCount());
    int odd = 0;
    for (int r = 1; r <= engine.RowCount(); ++r) {
        EXPECT_EQ(table.At(r, 0), engine.At(r, 0));
        EXPECT_EQ(table.At(r, 1), engine.At(r, 1)) << r;
        odd += engine.At(r, 1).typeId() != QMetaType::QString;
    }
    EXPECT_EQ(odd, 2);
}

TEST_F(RankedHitsTest, AHitWithoutItsSizeIsADamagedIndexNotAWrongOrder) {
    // The last twin holds both words: one is read in a pass over the sizes, the other looked up.
    OtherProgram("DELETE FROM ftsSearch_docsize WHERE id = (SELECT Max(id) FROM ftsSearch_docsize)");
    for (const char* text : {"alpha", "twin"}) {
        CSearchQuery q;
        QString error;
        ASSERT_TRUE(q.Parse(QString::fromUtf8(text), &error));
        CRankedHits hits;
        EXPECT_FALSE(hits.Run(db, q.IndexMatch(), q.PhrasesFromHits(), false, &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
        EXPECT_TRUE(hits.Hits().empty()) << text;
    }
}

}  // namespace
