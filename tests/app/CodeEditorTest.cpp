// The code pane on its own: language names to lexers, colours on light and dark palettes,
// and the words a search marks.
#include "MainWindowFixture.h"

#include "app/frmMainTools.h"

#include <Qsci/qscilexer.h>

TEST(CodeEditorTest, LanguageNamesPickLexersAndSearchesMarkWholeWordsAndPrefixes) {
    CodeEditor code;
    struct Case {
        const char* name;
        const char* lexer;  // nullptr: plain text
    };
    const Case cases[] = {
        {"C", "C++"}, {"c++", "C++"}, {" CPP ", "C++"}, {"C#", "C#"}, {"Java", "Java"},
        {"JavaScript", "JavaScript"}, {"js", "JavaScript"}, {"TypeScript", "TypeScript"}, {"TS", "TypeScript"},
        {"Python", "Python"}, {"py", "Python"}, {"SQL", "SQL"}, {"T-SQL", "SQL"}, {"pl/sql", "SQL"},
        {"Bash", "Bash"}, {"Shell", "Bash"}, {"sh", "Bash"}, {"zsh", "Bash"}, {"Batch", "Batch"},
        {"HTML", "HTML"}, {"XML", "XML"}, {"CSS", "CSS"}, {"JSON", "JSON"}, {"YAML", "YAML"},
        {"Markdown", "Markdown"}, {"Lua", "Lua"}, {"Perl", "Perl"}, {"Ruby", "Ruby"}, {"Pascal", "Pascal"},
        {"Delphi", "Pascal"}, {"Fortran", "Fortran"}, {"CMake", "CMake"}, {"Makefile", "Makefile"},
        {"Diff", "Diff"}, {"TeX", "TeX"}, {"Verilog", "Verilog"}, {"VHDL", "VHDL"}, {"Matlab", "Matlab"},
        {"Octave", "Octave"}, {"Tcl", "TCL"}, {"D", "D"}, {"INI", "Properties"}, {"Properties", "Properties"},
        {"Go", "Go"}, {"Rust", "Rust"}, {"Kotlin", "Kotlin"}, {"Swift", "Swift"},
        {"Visual Basic", "Visual Basic"}, {"VB", "Visual Basic"}, {"vba", "Visual Basic"},
        {"VB6", "Visual Basic"}, {"VBScript", "Visual Basic"},
        {"COBOL", nullptr}, {"", nullptr}, {"C (embedded)", nullptr}, {"Python", "Python"},
    };
    QPalette light = QApplication::palette();
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::Text, Qt::black);
    QPalette dark = light;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    for (const Case& c : cases) {
        code.SetLanguage(QLatin1String(c.name));
        if (!c.lexer) {
            EXPECT_EQ(code.lexer(), nullptr) << c.name;
            continue;
        }
        ASSERT_NE(code.lexer(), nullptr) << c.name;
        EXPECT_STREQ(code.lexer()->language(), c.lexer) << c.name;
        for (const QPalette& p : {light, dark}) {
            code.setPalette(p);
            for (int style = 0; style < 128; ++style) {
                if (code.lexer()->description(style).isEmpty()) continue;
                EXPECT_EQ(code.lexer()->paper(style), p.color(QPalette::Base)) << c.name << style;
                EXPECT_GE(qAbs(code.lexer()->color(style).lightness() - p.color(QPalette::Base).lightness()), 100)
                    << c.name << " style " << style;
            }
        }
    }
    // The languages sharing the C++ lexer keep their own keywords.
    code.SetLanguage("Go");
    EXPECT_TRUE(QByteArray(code.lexer()->keywords(1)).contains("fallthrough"));

    // A search marks words, identifier parts and prefixes, but no excluded terms.
    const QStringList words = SearchWords("sel* -x NOT y title:\"Two words\" OR z_q");
    EXPECT_EQ(words, (QStringList{"sel*", "Two", "words", "z_q"}));
    CodeEditor plain;
    // Multi-byte text before a hit moves Scintilla's byte positions.
    plain.SetCode("SELECT x_selected, unselect ÄÖ y\r\nselected two q");
    plain.MarkWords(words);
    EXPECT_EQ(MarkedTexts(&plain), (QStringList{"SELECT", "selected", "selected", "two"}));
    plain.ClearMarks();
    EXPECT_EQ(MarkedTexts(&plain), QStringList());
}


// A line break repeats the indentation characters of the line above, in every language.
TEST(CodeEditorTest, ALineBreakRepeatsTheIndentationAbove) {
    const struct {
        const char* language;
        const char* typed;  // \n is Return
        const char* shown;
    } cases[] = {
        {"Python", "def f():\nx", "def f():\nx"},
        {"Python", "    if a:\nb", "    if a:\n    b"},
        {"C", "\tint a;\nb", "\tint a;\n\tb"},
        {"SQL", "   select\nfrom", "   select\n   from"},
        {"", "  a\n\nb", "  a\n  \n  b"},
    };
    for (const auto& c : cases) {
        CodeEditor code;
        code.SetLanguage(QLatin1String(c.language));
        code.show();
        const QStringList lines = QString::fromLatin1(c.typed).split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0) QTest::keyClick(&code, Qt::Key_Return);
            QTest::keyClicks(&code, lines[i]);
        }
        EXPECT_EQ(code.text(), QString::fromLatin1(c.shown)) << c.typed;
    }
}
