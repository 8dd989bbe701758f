// Searches over a small database of realistic snippets: each query with the hits it must give,
// best first; filters; the old full-text syntax; malformed queries.
#include "SearchFixture.h"
#include "db/basDBAttachments.h"
#include "search/CSearchQuery.h"

namespace {

class SearchQueryTest : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        SaveAll({
            {"Python", "JSON,Files", "Load a settings file", "def parse_json_file(path):\n    with open(path) as f:\n        return json.load(f)"},
            {"C++", "JSON", "JSONParser class", "class JSONParser {\npublic:\n    Value Parse(const std::string& text);\n};"},
            {"C++", "Files", "Read a text file", "std::ifstream in(path); // utf8 text\nstd::string line;\nwhile (std::getline(in, line)) {}"},
            {"C", "Memory", "Buffer limits", "#define MAX_BUFFER_SIZE 4096\nchar buffer[MAX_BUFFER_SIZE];"},
            {"Python", "Files", "Join paths", "import os\nfull = os.path.join(base, name)"},
            {"JavaScript", "Arrays", "从特定数组对象中获取值的函数", "function getValue(arr, key) { return arr.find(o => o[key]); }"},
            {"SQL", "Queries", "Vergleich GRÖßER", "SELECT * FROM t WHERE a > b -- größer als"},
            {"Python", "Strings", "Привет мир", "print('ПРИВЕТ')"},
            {"Python", "Regex", "Match an email address", "import re\nEMAIL_RE = re.compile(r'[^@]+@[^@]+')"},
            {"VB", "Sorting", "Bubble sort", "Sub BubbleSort(arr())\n    ' swap neighbours until sorted\nEnd Sub"},
            {"C++", "Sorting", "Quick sort", "void quickSort(int* a, int lo, int hi); // parseJsonFile is elsewhere"},
            {"JavaScript", "JSON", "parseJsonFile", "const parseJsonFile = p => JSON.parse(fs.readFileSync(p, 'utf-8'));"},
        });
    }
};

struct Case {
    const char* query;
    QStringList titles;  // in the order expected
};

TEST_F(SearchQueryTest, CodeWordsMeetEverySpellingBestFirst) {
    const Case cases[] = {
        // The title counts most, then how often and how rarely the word occurs.
        {"json", {"JSONParser class", "parseJsonFile", "Load a settings file", "Quick sort"}},
        {"parseJson", {"parseJsonFile", "Load a settings file", "Quick sort"}},
        {"parse_json", {"parseJsonFile", "Load a settings file", "Quick sort"}},
        {"parsejsonfile", {"parseJsonFile", "Quick sort"}},
        {"JSONParser", {"JSONParser class"}},
        {"max_buffer_size", {"Buffer limits"}},
        {"bufferSize", {"Buffer limits"}},
        {"buffer", {"Buffer limits"}},
        {"os.path.join", {"Join paths"}},
        {"pathJoin", {"Join paths"}},
        {"utf8", {"Read a text file", "parseJsonFile"}},
        {"utf 8", {"Read a text file", "parseJsonFile"}},
        {"getline", {"Read a text file"}},
        {"bubble", {"Bubble sort"}},
        {"sort", {"Bubble sort", "Quick sort"}},
        {"数组", {"从特定数组对象中获取值的函数"}},
        {"获取值", {"从特定数组对象中获取值的函数"}},
        {"größer", {"Vergleich GRÖßER"}},
        {"GRÖßER", {"Vergleich GRÖßER"}},
        {"привет", {"Привет мир"}},
        {"ПРИВЕТ", {"Привет мир"}},
        {"email_re", {"Match an email address"}},
        {"nosuchword", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Titles(QString::fromUtf8(c.query)), c.titles) << c.query;
    EXPECT_TRUE(lastRanked);
}

// The ranking alone, on items that differ in one respect each.
TEST_F(SearchTest, TitleThenAttachmentNameThenBodyRarerWordsAndMoreHitsFirst) {
    SaveAll({
        {"C", "A", "Body once", "gadget x y z"},
        {"C", "A", "Named gadget", "x y z w"},
        {"C", "A", "Attached", "x y z w"},
        {"C", "A", "Body thrice", "gadget gadget gadget x"},
        {"C", "A", "Common only", "plain plain words"},
        {"C", "A", "Rare word", "unusual plain words"},
        {"C", "A", "Filler one", "plain words here"},
        {"C", "A", "Filler two", "plain words there"},
    });
    ASSERT_TRUE(StoreAttachment(db, ids["Attached"], 1, QByteArray("a"), "gadget.txt", nullptr));
    EXPECT_EQ(Titles("gadget"), QStringList({"Named gadget", "Attached", "Body thrice", "Body once"}));
    EXPECT_EQ(Titles("plain OR unusual"), QStringList({"Rare word", "Common only", "Filler one", "Filler two"}));
}

TEST_F(SearchQueryTest, TheOldFullTextSyntaxFindsWhatItFound) {
    const Case cases[] = {
        {"json OR regex", {"JSONParser class", "parseJsonFile", "Load a settings file", "Quick sort"}},
        {"\"parse json\"", {"parseJsonFile", "Load a settings file", "Quick sort"}},
        {"parse* json", {"parseJsonFile", "JSONParser class", "Load a settings file", "Quick sort"}},
        {"pars*", {"parseJsonFile", "JSONParser class", "Quick sort", "Load a settings file"}},
        {"json NOT parser", {"parseJsonFile", "Load a settings file", "Quick sort"}},
        {"json AND class", {"JSONParser class"}},
        {"(bubble OR quick) sort", {"Bubble sort", "Quick sort"}},
        {"title:json", {"JSONParser class", "parseJsonFile"}},
        {"code:getline", {"Read a text file"}},
        {"Title:sort", {"Bubble sort", "Quick sort"}},
        {"swap NEAR sorted", {"Bubble sort"}},
        {"swap NEAR/1 sorted", {}},
        {"swap NEAR/3 sorted", {"Bubble sort"}},
        {"O'Brien", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Titles(QString::fromUtf8(c.query)), c.titles) << c.query;
}

TEST_F(SearchQueryTest, FiltersPhrasesExclusionsAndPrefixesCombine) {
    const Case cases[] = {
        {"json lang:python", {"Load a settings file"}},
        {"json language:PYTHON", {"Load a settings file"}},
        {"json lang:c++ lang:javascript", {"JSONParser class", "parseJsonFile", "Quick sort"}},
        {"json -lang:c++", {"parseJsonFile", "Load a settings file"}},
        {"sort cat:sorting", {"Bubble sort", "Quick sort"}},
        {"file category:files", {"Load a settings file", "Read a text file"}},
        {"lang:vb", {"Bubble sort"}},
        {"lang:java*", {"parseJsonFile", "从特定数组对象中获取值的函数"}},
        {"json -parser", {"parseJsonFile", "Load a settings file", "Quick sort"}},
        {"title:sort -bubble", {"Quick sort"}},
        {"\"json file\"", {"parseJsonFile", "Load a settings file", "Quick sort"}},
        {"\"json.load\"", {"Load a settings file"}},
        {"quicks*", {"Quick sort"}},
        {"lang:python title:\"settings file\"", {"Load a settings file"}},
    };
    // Each hit checked on its own, and the filter's items read at once: the same hits.
    for (const double share : {2.0, 0.0}) {
        CSearch::FilterAtOnceShare = share;
        for (const Case& c : cases) EXPECT_EQ(Titles(QString::fromUtf8(c.query)), c.titles) << c.query << share;
        // The window's own language and category limit the same way.
        EXPECT_EQ(Titles("json", -1, TypeId("C++")), QStringList({"JSONParser class", "Quick sort"}));
        EXPECT_EQ(Titles("json", CatId("JavaScript", "JSON"), TypeId("JavaScript")), QStringList({"parseJsonFile"}));
        EXPECT_EQ(Titles("json", CatId("C++", "Sorting"), -1), QStringList({"Quick sort"}));
    }
    CSearch::FilterAtOnceShare = 0.2;
}

TEST_F(SearchQueryTest, TheListOrdersApplyToTheSameHits) {
    EXPECT_EQ(Titles("json", -1, -1, "Title"),
              QStringList({"JSONParser class", "Load a settings file", "Quick sort", "parseJsonFile"}));
    EXPECT_EQ(Titles("json", -1, -1, "ID"),
              QStringList({"Load a settings file", "JSONParser class", "Quick sort", "parseJsonFile"}));
    EXPECT_FALSE(lastRanked);
    EXPECT_EQ(Titles("json", -1, -1, "LastUpdate DESC").size(), 4);
    EXPECT_EQ(Titles("json", -1, -1, "FileSize DESC").size(), 4);
}

TEST_F(SearchQueryTest, MalformedQueriesSayWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"unbalanced", "unbalanced quote"},
        {"title:\"open", "unbalanced quote"},
        {"", "nothing to search for"},
        {"   ", "nothing to search for"},
        {"++ --", "nothing to search for"},
        {"*", "nothing to search for"},
        {"^", "nothing to search for"},
        {"()", "nothing to search for"},
        {"-json", "nothing to search for besides the excluded words"},
        {"json OR -parser", "nothing to search for besides the excluded words"},
        {"(json", "unbalanced parenthesis"},
        {"json)", "unbalanced parenthesis"},
        {"json OR", "OR needs something to search for on each side"},
        {"OR json", "OR needs something to search for on each side"},
        {"AND", "AND needs something to search for on each side"},
        {"NOT json", "NOT needs something to search for on each side"},
        {"json NEAR", "NEAR needs a word or phrase on each side"},
        {"json NEAR/x sort", "NEAR/ needs a number from 0 to 1000"},
        {"json NEAR/99999999999999999999 sort", "NEAR/ needs a number from 0 to 1000"},
        {"lang:", "lang: needs a name"},
        {"title:", "title: needs a word"},
    };
    for (const auto& [query, why] : cases) EXPECT_EQ(ErrorOf(QString::fromUtf8(query)), why) << query;
    EXPECT_EQ(ErrorOf(QString(40, '(') + "json" + QString(40, ')')), "too many nested parentheses");
    EXPECT_EQ(ErrorOf(QString("w ").repeated(300)), "the search has more than 256 words");
    // Nothing a query holds reaches the engine as SQL.
    for (const char* hostile : {"x' ; DROP TABLE tblItem; --", "'", "''''", "lang:'x", "cat:\"a'b\"", "%1 %2"}) {
        QString error;
        CSearch::Run(db, QString::fromUtf8(hostile), -1, -1, {}, &error);
        EXPECT_TRUE(error.isEmpty() || !error.contains("SQL")) << hostile;
    }
    EXPECT_EQ(Count("tblItem"), 12);
    EXPECT_EQ(Titles(QString(QChar(0)) + "json").size(), 4);
}

TEST_F(SearchQueryTest, MarkWordsLeaveOutOperatorsFiltersAndExclusions) {
    CSearchQuery q;
    ASSERT_TRUE(q.Parse("sel* -x NOT y title:\"Two words\" OR z_q lang:python NEAR", nullptr) == false);
    ASSERT_TRUE(q.Parse("sel* -x NOT y title:\"Two words\" OR z_q lang:python", nullptr));
    EXPECT_EQ(q.MarkWords(), QStringList({"sel*", "Two", "words", "z_q"}));
    EXPECT_EQ(q.Filters().size(), 1);
}

}  // namespace
