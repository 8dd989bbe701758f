// The shared mapping rules in tables: VS Code's snippet syntax, the language table, safe file
// names, descriptions, fragments and YAML quoting.
#include "formats/CFrontMatter.h"
#include "formats/CLanguageMap.h"
#include "formats/CMarkdownWriter.h"
#include "formats/CSafeFileName.h"
#include "formats/CSnippetSyntax.h"
#include "formats/CVsCodeWriter.h"
#include "formats/basFormatText.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

TEST(SnippetSyntaxTest, TellsSyntaxFromPlainTextAndUndoesOnlyVsCodesEscapes) {
    const struct {
        QString body;
        bool syntax;
        QString inserted;  // what VS Code inserts for a body without syntax
    } cases[] = {
        {"plain text", false, "plain text"},
        {"cost: $ 5 and 5$", false, "cost: $ 5 and 5$"},
        {"\\$HOME stays", false, "$HOME stays"},
        {"a \\} b \\\\ c \\n d", false, "a } b \\ c \\n d"},
        {"${} and $-", false, "${} and $-"},
        {"trailing \\", false, "trailing \\"},
        {"$1", true, ""},
        {"x ${2:label}", true, ""},
        {"${1|a,b|}", true, ""},
        {"echo $HOME", true, ""},
        {"${TM_FILENAME}", true, ""},
        {"$_private", true, ""},
        {"\\\\$1", true, ""},  // the backslash is escaped, the dollar is not
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CSnippetSyntax::HasSyntax(c.body), c.syntax) << c.body.toStdString();
        if (!c.syntax) {
            EXPECT_EQ(CSnippetSyntax::Unescape(c.body), c.inserted) << c.body.toStdString();
        }
    }
}

TEST(SnippetSyntaxTest, EscapedTextHasNoSyntaxAndUnescapesToItself) {
    for (const QString text : {"", "$1 ${2:x} $HOME", "\\", "\\\\", "\\$", "a\\}b", "}}}", "\\\\\\$$", "C:\\path\\to\\$file",
                               "regex: ^\\d+\\$ and \\} {$}", "ends with $"}) {
        const QString escaped = CSnippetSyntax::Escape(text);
        EXPECT_FALSE(CSnippetSyntax::HasSyntax(escaped)) << escaped.toStdString();
        EXPECT_EQ(CSnippetSyntax::Unescape(escaped), text) << text.toStdString();
    }
}

TEST(LanguageMapTest, OneTableForEveryImporter) {
    const struct {
        QString id, name;
    } names[] = {{"python", "Python"},       {"cpp", "C++"},        {"c_cpp", "C++"},       {"shellscript", "Bash"},
                 {"sh", "Bash"},             {"BASH", "Bash"},      {"plain_text", "Text"}, {"plaintext", "Text"},
                 {"SQL", "SQL"},             {"vb", "Visual Basic"}, {"typescriptreact", "TypeScript React"},
                 {"", "Text"},               {" go ", "Go"},        {"cobol85", "cobol85"}, {"Klingon", "Klingon"}};
    for (const auto& n : names) EXPECT_EQ(CLanguageMap::Name(n.id), n.name) << n.id.toStdString();
    const struct {
        QString file, name;
    } files[] = {{"a.py", "Python"},   {"x/b.SH", "Bash"},        {"Makefile", "Makefile"}, {"Dockerfile", "Dockerfile"},
                 {"notes", "Text"},    {"data.weird", "weird"},   {"main.cc", "C++"},       {"CMakeLists.txt", "CMake"}};
    for (const auto& f : files) EXPECT_EQ(CLanguageMap::FromFileName(f.file), f.name) << f.file.toStdString();
    EXPECT_EQ(CLanguageMap::VsCodeId("C++"), "cpp");
    EXPECT_EQ(CLanguageMap::VsCodeId("Visual Basic"), "vb");
    EXPECT_EQ(CLanguageMap::VsCodeId("My Lang/2"), "my-lang-2");
    EXPECT_EQ(CLanguageMap::FenceId("Bash"), "bash");
    EXPECT_EQ(CLanguageMap::FenceId("Text"), "text");
}

TEST(SafeFileNameTest, NamesNeverLeaveTheirFolder) {
    const struct {
        QString name, safe;
    } cases[] = {{"Backup script", "Backup script"},
                 {"../../etc/passwd", "_.._etc_passwd"},
                 {"..", "Untitled"},
                 {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
                 {QString("nul") + QChar(0) + "byte\tand\nline", "nul_byte_and_line"},
                 {"CON", "_CON"},
                 {"lpt1.txt", "_lpt1.txt"},
                 {"Com9.tar.gz", "_Com9.tar.gz"},
                 {"aux.", "_aux"},
                 {"console", "console"},
                 {"coma.txt", "coma.txt"},
                 {"lpt10", "lpt10"},
                 {"nul_", "nul_"},
                 {"  .hidden. ", "hidden"},
                 {"Zählen", "Zählen"},
                 {"", "Untitled"}};
    for (const auto& c : cases) EXPECT_EQ(CSafeFileName::Make(c.name), c.safe) << c.name.toStdString();
    const QString longName = QString(200, QChar(0x4E2D));  // three UTF-8 bytes each
    EXPECT_LE(CSafeFileName::Make(longName).toUtf8().size(), CSafeFileName::kMaxBytes);
    const QString pairs = QString::fromUtf8("😀").repeated(100);  // surrogate pairs stay whole
    EXPECT_EQ(CSafeFileName::Make(pairs), QString::fromUtf8("😀").repeated(30));
    EXPECT_TRUE(CSafeFileName::IsSafe("a.txt"));
    EXPECT_FALSE(CSafeFileName::IsSafe("../a.txt"));
}

TEST(FormatTextTest, DescriptionsAndFragmentsFollowTheCode) {
    EXPECT_EQ(AppendDescription("code", "what it does"), "code\n\nwhat it does");
    EXPECT_EQ(AppendDescription("code\n", "what it does"), "code\n\nwhat it does");
    EXPECT_EQ(AppendDescription("import collections", "collections"), "import collections");
    EXPECT_EQ(AppendDescription("code", "  "), "code");
    EXPECT_EQ(AppendDescription("", "only"), "only");
    // The VS Code export takes back exactly what the import appended.
    for (const QString code : {"code", "code\n", "", "a\n\n", "ends with note"}) {
        const QString body = AppendDescription(code, "note");
        EXPECT_EQ(AppendDescription(CVsCodeWriter::StripDescription(body, "note"), "note"), body);
    }
    EXPECT_EQ(CVsCodeWriter::StripDescription("x\n\nother", "note"), "x\n\nother");
    EXPECT_EQ(JoinFragments({{"one", "a"}}), "a");
    EXPECT_EQ(JoinFragments({{"one", "a"}, {"two", "b\n"}, {"three", "c"}}), "one\na\n\ntwo\nb\n\nthree\nc");
    EXPECT_EQ(NormalizeLineEnds("a\r\nb\rc\n"), "a\nb\nc\n");
    EXPECT_EQ(ItemTitle(" \t "), "Untitled");
    EXPECT_EQ(ItemTitle("two\nlines"), "two lines");
    EXPECT_EQ(CleanCategories({" a ", "A", "x,y", ""}, "fallback"), (QStringList{"a", "x;y"}));
    EXPECT_EQ(CleanCategories({}, "fallback"), QStringList{"fallback"});
    EXPECT_EQ(FenceFor("no ticks"), "```");
    EXPECT_EQ(FenceFor("a ```` b ` c"), "`````");
    EXPECT_EQ(CVsCodeWriter::PrefixFromTitle("Read a file, two ways!"), "read-a-file-two-ways");
}

TEST(FormatTextTest, TimesOfTheSourcesReadAsUtc) {
    const struct {
        QString text, utc;
    } cases[] = {{"2021-03-04T10:11:12Z", "2021-03-04T10:11:12Z"}, {"2021-03-04T10:11:12+02:00", "2021-03-04T08:11:12Z"},
                 {"2021-03-04 10:11:12", "2021-03-04T10:11:12Z"},  {"2021-03-04T10:11:12.345Z", "2021-03-04T10:11:12Z"},
                 {"1700000000000", "2023-11-14T22:13:20Z"},        {"1700000000", "2023-11-14T22:13:20Z"},
                 {"yesterday", ""},                                {"", ""}};
    for (const auto& c : cases) {
        const QDateTime t = ParseSourceTime(c.text);
        EXPECT_EQ(t.isValid() ? t.toString("yyyy-MM-ddTHH:mm:ssZ") : QString(), c.utc) << c.text.toStdString();
    }
    int line = 0, column = 0;
    LineColumnAt("ab\r\ncdé\nx", 8, line, column);  // the 'x'... counted in characters
    EXPECT_EQ(line, 2);
    EXPECT_EQ(column, 4);
}

TEST(FormatTextTest, YamlQuotingKeepsEveryCharacter) {
    QString awkward = "quote \" backslash \\ colon: # hash - dash\nline\ttab é 中 😀 ";
    for (int c = 1; c < 32; ++c) awkward += QChar(c);
    awkward += QChar(0x7f) + QString(QChar(0x85)) + QChar(0x2028) + QChar(0x2029) + QChar(0xFEFF);
    for (const QString& text : {awkward, QString(""), QString("null"), QString("- not a list"), QString("123")}) {
        QVariantMap map;
        QString error;
        ASSERT_TRUE(CFrontMatter::ParseYaml(("k: " + CMarkdownWriter::YamlQuote(text)).toUtf8(), "f", 1, map, &error))
            << error.toStdString();
        EXPECT_EQ(map.value("k").toString(), text);
    }
}
