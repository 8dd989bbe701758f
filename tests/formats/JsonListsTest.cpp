// The lists of a large JSON file read one record at a time: where the lists are found, what each
// element comes as, and where a malformed text breaks.
#include "formats/CJsonFile.h"
#include "formats/CJsonLists.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// Each element of the list at path in a short notation: its "name" member, "{}" for an object
// without one, "[n]" for a list of n, "null" for anything else.
QStringList elements(const CJsonLists& json, const QString& path) {
    QStringList out;
    json.ForEach(path, [&](const rapidjson::Value& v) {
        if (v.IsObject()) out << (CJsonFile::Member(v, "name") ? CJsonFile::Text(v, "name") : QStringLiteral("{}"));
        else if (v.IsArray()) out << QStringLiteral("[%1]").arg(v.Size());
        else out << QStringLiteral("null");
        return true;
    });
    return out;
}

}  // namespace

TEST(JsonListsTest, ListsAreFoundWhereverTheirMembersStand) {
    const struct {
        const char* what;
        QByteArray text;
        QString path;
        QStringList expected;  // empty: no list there
    } cases[] = {
        {"a list after others", R"({"tags": [1], "snippets": [{"name": "a"}, {"name": "b"}]})", "snippets", {"a", "b"}},
        {"the lists before it are not needed first", R"({"snippets": [{"name": "a"}], "folders": [{"name": "f"}]})",
         "folders", {"f"}},
        {"inside a holder", R"({"contents": {"x": {"snippets": [9]}, "snippets": [{"name": "in"}]}})",
         "contents/snippets", {"in"}},
        {"not found one level too deep", R"({"x": {"snippets": [{"name": "a"}]}})", "snippets", {}},
        {"comments, trailing commas and a byte-order mark",
         "\xEF\xBB\xBF{ // lists\n \"snippets\": [ /* one */ {\"name\": \"a\",}, [1, 2,], ],\n}", "snippets", {"a", "[2]"}},
        {"texts with braces and escapes", R"({"snippets": [{"name": "}]{[\"\\"}, {"name": "]"}]})", "snippets",
         {"}]{[\"\\", "]"}},
        {"scalars come as null", R"({"snippets": ["text", 3, true, null, {}]})", "snippets",
         {"null", "null", "null", "null", "{}"}},
        {"the first of repeated names counts", R"({"snippets": [{"name": "1"}], "snippets": [{"name": "2"}]})",
         "snippets", {"1"}},
        {"a repeated holder too", R"({"contents": {"a": 1}, "contents": {"snippets": [{"name": "2"}]}})",
         "contents/snippets", {}},
        {"a member that is no list", R"({"snippets": {"name": "a"}})", "snippets", {}},
        {"a root that is a list", R"([{"snippets": [1]}])", "snippets", {}},
        {"nested lists are one element each", R"({"snippets": [{"name": "a", "c": [{"name": "x"}]}, [[1], [2]]]})",
         "snippets", {"a", "[2]"}},
        {"comments alone", "// nothing yet\n", "snippets", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CJsonLists json;
        QString error;
        ASSERT_TRUE(json.Scan(c.text, "f.json", {"snippets", "folders", "contents/snippets"}, &error)) << error.toStdString();
        EXPECT_EQ(json.IsList(c.path), !c.expected.isEmpty());
        EXPECT_EQ(json.Count(c.path), c.expected.size());
        EXPECT_EQ(elements(json, c.path), c.expected);
    }
}

TEST(JsonListsTest, OnlyTheAskedPathsAndTheirHoldersAreKnown) {
    CJsonLists json;
    ASSERT_TRUE(json.Scan(R"({"contents": 5, "other": [1], "tags": []})", "f.json", {"contents/snippets", "tags"}, nullptr));
    EXPECT_TRUE(json.Has("contents"));  // a holder, even when it is no object
    EXPECT_FALSE(json.IsList("contents/snippets"));
    EXPECT_FALSE(json.Has("other"));
    EXPECT_TRUE(json.IsList("tags"));
    EXPECT_EQ(json.Count("tags"), 0);
}

TEST(JsonListsTest, StoppingEndsTheWalk) {
    CJsonLists json;
    ASSERT_TRUE(json.Scan(R"({"snippets": [{"name": "a"}, {"name": "b"}, {"name": "c"}]})", "f.json", {"snippets"}, nullptr));
    int seen = 0;
    EXPECT_FALSE(json.ForEach("snippets", [&](const rapidjson::Value&) { return ++seen < 2; }));
    EXPECT_EQ(seen, 2);
}

TEST(JsonListsTest, AMalformedTextFailsWithItsLineAndColumnAndNoLists) {
    const struct {
        QByteArray text;
        QString where;
    } cases[] = {
        {"{\"snippets\": [\n  {\"name\": \"a\"},\n  {\"name\" \"b\"}\n]}", "f.json:3:11: "},
        {"\xEF\xBB\xBF{\"snippets\": [{}, {\"name\": \"é\" x}]}", "f.json:1:33: "},
        {"{\"snippets\": [{\"name\": \"a\"}]\r\n\r\n", "f.json:3:1: "},
        {"{\"snippets\": [{}]} {}", "f.json:1:20: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        CJsonLists json;
        QString error;
        EXPECT_FALSE(json.Scan(c.text, "f.json", {"snippets"}, &error));
        EXPECT_TRUE(error.startsWith(c.where)) << error.toStdString();
        EXPECT_FALSE(json.IsList("snippets"));
    }
}
