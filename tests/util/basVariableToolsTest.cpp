#include "support/QtPrinters.h"
#include "util/basText.h"
#include "util/basVariableTools.h"

#include <gtest/gtest.h>

TEST(VariableTools, IfEmptyTreatsNullAndEmptyTextButNotEmptyValue) {
    EXPECT_EQ(IfEmpty(VNull(), 0).toInt(), 0);
    EXPECT_EQ(IfEmpty(QString(""), 0), QVariant(0));
    EXPECT_EQ(IfEmpty(QString("0"), 5), QVariant(QString("0")));
    EXPECT_EQ(IfEmpty(0, 5), QVariant(0));
    EXPECT_FALSE(IfEmpty(QVariant(), 5).isValid());
}

TEST(VariableTools, SqlQuotingStripCountAndTrimming) {
    EXPECT_EQ(SqlEscape("O'Brien's"), "O''Brien''s");
    EXPECT_EQ(SqlQuote("a'b"), "'a''b'");
    EXPECT_EQ(SqlEscape("no quotes; DROP"), "no quotes; DROP");
    // The count a list entry carries, and nothing else in parentheses.
    EXPECT_EQ(StripCount(QString("Sorting (12)")), "Sorting");
    EXPECT_EQ(StripCount(QString("A (b) (3)")), "A (b)");
    EXPECT_EQ(StripCount(QString("(3)")), "");
    EXPECT_EQ(StripCount(QString("Sorting")), "Sorting");
    EXPECT_EQ(StripCount(QString("x)")), "x)");
    EXPECT_EQ(TrimWhite(QString("\t abc\r\n")), "abc");
    EXPECT_EQ(TrimWhite(QString("    ")), "");
    EXPECT_EQ(TrimWhite(QString(QChar(0)) + "x" + QChar(8)), "x");
    EXPECT_EQ(TrimNull(QString("abc") + QChar(0) + "def"), "abc");
    EXPECT_EQ(TrimNull("abc"), "abc");
}

TEST(VariableTools, ArraysAndTables) {
    EXPECT_EQ(ArrayMax({5, 1, 3}).toInt(), 5);
    const QVariant arr = QVariantList{1, QVariantList{2, 3}};
    EXPECT_EQ(GetArrayItem(arr, 1, 1).toInt(), 3);
    EXPECT_FALSE(GetArrayItem(arr, 7).isValid());
    EXPECT_FALSE(GetArrayItem(QVariant(5), 0).isValid());
    EXPECT_FALSE(IsArrayFilled(QVariant(QString("text"))));

    ResultTable t;
    EXPECT_FALSE(IsArrayFilled(t));
    t.SetHeader({"A"});
    EXPECT_FALSE(IsArrayFilled(t));  // a header alone is no data
    t.Append(1);
    EXPECT_TRUE(IsArrayFilled(t));
    EXPECT_FALSE(GetArrayItem(t, 5, 0).isValid());
}

TEST(Text, Utf8OrWindows1252) {
    EXPECT_TRUE(IsValidUtf8("plain ascii text longer than eight"));
    EXPECT_TRUE(IsValidUtf8("caf\xc3\xa9"));
    EXPECT_FALSE(IsValidUtf8("caf\xe9"));
    EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("abc\xe2\x82"));       // truncated
    EXPECT_EQ(DecodeUtf8OrCp1252("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(DecodeUtf8OrCp1252("caf\xe9 \x80 \x96"), QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x93"));
    // Line by line: each line keeps its own encoding, line ends included.
    EXPECT_EQ(DecodeLinesUtf8OrCp1252("caf\xc3\xa9\r\ncaf\xe9\n\xe2\x82\xac"),
              QString::fromUtf8("caf\xc3\xa9\r\ncaf\xc3\xa9\n\xe2\x82\xac"));
}
