// How search splits and folds text, and where it marks matches: the index side, the query side
// and the marks must agree, so each table row checks what a word becomes.
#include "search/CSearchMarks.h"
#include "search/CSearchText.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

struct Expansion {
    const char* text;
    const char* index;  // CSearchText::IndexText
};

TEST(SearchTextTest, IndexTextSplitsIdentifiersAndAddsJoinedForms) {
    const Expansion rows[] = {
        {"parseJsonFile", "parse json file parsejsonfile"},
        {"parse_json_file(path)", "parse json file path"},
        {"JSONParser", "json parser jsonparser"},
        {"ParseJSON", "parse json parsejson"},
        {"MAX_BUFFER_SIZE = 4096", "max buffer size 4096"},
        {"os.path.join(a, b)", "os path join a b"},
        {"utf8 UTF-8", "utf 8 utf 8"},
        {"end. Next", "end next"},
        {"__init__", "init"},
        {"sendHTTP_request2x", "send http request 2 x sendhttp"},
        {"3.14", "3 14"},
        {"getHTTPResponse2", "get http response 2 gethttpresponse2"},
        {"GRÖßER größer ПРИВЕТ", "größer größer привет"},
        {"从特定数组对象", "从特 特定 定数 数组 组对 对象"},
        {"值 json数组", "值 json 数组"},
        {"a + b; // ++", "a b"},
        {"", ""},
    };
    for (const Expansion& r : rows)
        EXPECT_EQ(CSearchText::IndexText(QString::fromUtf8(r.text)), QString::fromUtf8(r.index)) << r.text;
}

// ASCII takes a shortcut past the Unicode tables: it must say what they say.
TEST(SearchTextTest, AsciiIsClassifiedAsTheUnicodeTablesSay) {
    for (char32_t c = 0; c < 0x80; ++c) {
        EXPECT_EQ(CSearchText::IsWordChar(c), QChar::isLetterOrNumber(c) || QChar::isMark(c)) << int(c);
        EXPECT_EQ(CSearchText::IsCjk(c), QChar::script(c) == QChar::Script_Han) << int(c);
    }
}

TEST(SearchTextTest, QueryWordsBecomeTheTokensTheIndexHolds) {
    struct Row {
        const char* word;
        QStringList tokens;
        const char* joined;
        bool lone;
    };
    const Row rows[] = {
        {"json", {"json"}, "", false},
        {"parseJson", {"parse", "json"}, "parsejson", false},
        {"parse_json", {"parse", "json"}, "parsejson", false},
        {"utf8", {"utf", "8"}, "utf8", false},
        {"std::vector", {"std", "vector"}, "", false},
        {"数组", {"数组"}, "", false},
        {"数组对象", {"数组", "组对", "对象"}, "", false},
        {"数", {"数"}, "", true},
        {"ПРИВЕТ", {"привет"}, "", false},
    };
    for (const Row& r : rows) {
        bool lone = false;
        EXPECT_EQ(CSearchText::QueryTokens(QString::fromUtf8(r.word), &lone), r.tokens) << r.word;
        EXPECT_EQ(CSearchText::JoinedForm(QString::fromUtf8(r.word)), QString::fromUtf8(r.joined)) << r.word;
        EXPECT_EQ(lone, r.lone) << r.word;
    }
}

TEST(SearchTextTest, PartsKeepTheirPlaceInTheSourceEvenBeyondTheBasicPlane) {
    const QString text = QString::fromUtf8("x𝐀bc_dEf");  // a letter outside the BMP takes two units
    const QList<CSearchText::Part> parts = CSearchText::Parts(text);
    ASSERT_EQ(parts.size(), 4);
    EXPECT_EQ(text.mid(parts[0].start, parts[0].end - parts[0].start), QString::fromUtf8("x"));
    EXPECT_EQ(text.mid(parts[1].start, parts[1].end - parts[1].start), QString::fromUtf8("𝐀bc"));
    EXPECT_EQ(parts[2].text, "d");  // "dEf": d | Ef
    EXPECT_EQ(parts[0].compound, parts[2].compound);
}

// The marked pieces of text for the words.
QStringList Marked(const QStringList& words, const QString& text) {
    QStringList out;
    for (const CSearchMarks::Range& r : CSearchMarks(words).Find(text)) out << text.mid(r.start, r.end - r.start);
    return out;
}

TEST(SearchTextTest, MarksFollowTheIndexNotWholeWords) {
    struct Row {
        QStringList words;
        const char* text;
        QStringList marked;
    };
    const Row rows[] = {
        {{"json"}, "parseJsonFile(JSON_PATH); JSONParser p;", {"Json", "JSON", "JSON"}},
        {{"parseJson"}, "parse_json(x); parse json; parsejson; parseJsonFile", {"parse_json", "parse json", "parsejson", "parseJson"}},
        {{"wid*"}, "getWidget widen width", {"Widget", "widen", "width"}},
        {{"utf8"}, "utf8 UTF-8 utf", {"utf8", "UTF-8"}},
        {{"größer"}, "GRÖßER als", {"GRÖßER"}},
        {{"数组"}, "从特定数组对象中", {"数组"}},
        {{"max_buffer"}, "#define MAX_BUFFER_SIZE", {"MAX_BUFFER"}},
        {{"zipfile"}, "zipfile.ZipFile(name)", {"zipfile", "ZipFile"}},
        {{"nothing"}, "parseJson", {}},
    };
    for (const Row& r : rows) EXPECT_EQ(Marked(r.words, QString::fromUtf8(r.text)), r.marked) << r.text;
}

TEST(SearchTextTest, ContextIsTheLineOfTheFirstMatchClippedAroundIt) {
    const CSearchMarks marks({"json"});
    EXPECT_EQ(marks.ContextLine(u"import os\n    data = json.load(f)  \nreturn data", 100, "[", "]"),
              "data = [json].load(f)");
    EXPECT_EQ(marks.ContextLine(u"nothing here", 100, "[", "]"), QString());
    const QString longLine = QString(200, 'a') + " json " + QString(200, 'b');
    const QString clipped = marks.ContextLine(longLine, 40, "[", "]");
    EXPECT_TRUE(clipped.startsWith("...")) << clipped.toStdString();
    EXPECT_TRUE(clipped.endsWith("...")) << clipped.toStdString();
    EXPECT_TRUE(clipped.contains("[json]"));
    EXPECT_LE(clipped.size(), 40 + 6 + 2);
}

}  // namespace
