// Placeholders of snippet bodies: which fields a body asks for, and the text once filled in.
#include "search/CPlaceholders.h"
#include "support/QtPrinters.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

using Field = CPlaceholders::Field;
constexpr int kVs = CPlaceholders::VsCode;
constexpr int kPet = CPlaceholders::Pet;

// "key=default" per field, choices as "key=a|b".
QStringList Describe(const QList<Field>& fields) {
    QStringList out;
    for (const Field& f : fields)
        out << f.key + QLatin1Char('=') + (f.choices.isEmpty() ? f.defaultValue : f.choices.join(QLatin1Char('|')));
    return out;
}

struct Case {
    int syntax;
    QString body;
    QStringList fields;    // as Describe gives them
    QString withDefaults;  // Fill() with no values
    QHash<QString, QString> values;
    QString filled;        // Fill(values)
};

TEST(CPlaceholders, BodiesTheirFieldsAndTheFilledText) {
    const QHash<QString, QString> none;
    const Case cases[] = {
        // No placeholder: the body as it is.
        {kVs, "SELECT * FROM t;", {}, "SELECT * FROM t;", none, "SELECT * FROM t;"},
        // Tab stops, defaults, the same number filled once.
        {kVs, "for ${1:i} in ${2:items}: print($1)", {"1=i", "2=items"}, "for i in items: print(i)",
         {{"1", "k"}}, "for k in items: print(k)"},
        {kVs, "$1 + ${1:x}", {"1=x"}, "x + x", {{"1", "y"}}, "y + y"},
        {kVs, "${2:b}${1:a}", {"2=b", "1=a"}, "ba", {{"1", "A"}, {"2", "B"}}, "BA"},
        // Choices: the first is the default.
        {kVs, "git ${1|merge,rebase|} main", {"1=merge|rebase"}, "git merge main", {{"1", "rebase"}},
         "git rebase main"},
        // $0 and ${0:...}: the cursor's place means nothing outside an editor.
        {kVs, "a$0b${0:c}", {}, "abc", none, "abc"},
        // Nested defaults take the inner default.
        {kVs, "${1:foo ${2:bar}}", {"1=foo bar", "2=bar"}, "foo bar", {{"2", "X"}}, "foo bar"},
        // Escapes: \$ is a dollar; \} inside a placeholder a brace; elsewhere backslashes stay.
        {kVs, "cost \\$5 ${1:a\\}b} C:\\\\dir", {"1=a}b"}, "cost $5 a}b C:\\\\dir", none, "cost $5 a}b C:\\\\dir"},
        // Variables: known with a value become fields; known without one go (or leave their
        // default); names that are not VS Code's stay as written.
        {kVs, "${TM_SELECTED_TEXT}|$TM_FILENAME|${TM_FILENAME:x.cpp}|$HOME|${name}|${CLIPBOARD}",
         {"TM_SELECTED_TEXT=sel"}, "sel||x.cpp|$HOME|${name}|", {{"TM_FILENAME", "f.cpp"}},
         "sel|f.cpp|f.cpp|$HOME|${name}|"},
        // Syntax that does not close is copied as it stands.
        {kVs, "${1:abc", {}, "${1:abc", none, "${1:abc"},
        {kVs, "${1|a,b", {}, "${1|a,b", none, "${1|a,b"},
        {kVs, "${1:abc $2", {"2="}, "${1:abc ", {{"2", "z"}}, "${1:abc z"},
        {kVs, "price $ and ${", {}, "price $ and ${", none, "price $ and ${"},
        {kVs, "<host>", {}, "<host>", none, "<host>"},  // pet syntax is not read here
        // pet.
        {kPet, "ssh <user=root>@<host> -p <port=22>", {"user=root", "host=", "port=22"}, "ssh root@ -p 22",
         {{"host", "db1"}}, "ssh root@db1 -p 22"},
        {kPet, "echo <msg=hello world> <msg>", {"msg=hello world"}, "echo hello world hello world",
         {{"msg", "hi"}}, "echo hi hi"},
        {kPet, "cat < in > out; a<b", {}, "cat < in > out; a<b", none, "cat < in > out; a<b"},
        {kPet, "<unclosed=x", {}, "<unclosed=x", none, "<unclosed=x"},
        {kPet, "<a=x\n>", {}, "<a=x\n>", none, "<a=x\n>"},  // a default ends with its line
        {kPet, "awk '{print $1}' ${HOME}", {}, "awk '{print $1}' ${HOME}", none, "awk '{print $1}' ${HOME}"},
        // Both syntaxes at once.
        {kVs | kPet, "${1:a} <b=c>", {"1=a", "b=c"}, "a c", none, "a c"},
    };
    const QHash<QString, QString> variables{{"TM_SELECTED_TEXT", "sel"}};
    for (const Case& c : cases) {
        const CPlaceholders p(c.body, c.syntax, variables);
        EXPECT_EQ(Describe(p.Fields()), c.fields) << c.body.toStdString();
        EXPECT_EQ(p.HasFields(), !c.fields.isEmpty()) << c.body.toStdString();
        EXPECT_EQ(p.Fill(), c.withDefaults) << c.body.toStdString();
        EXPECT_EQ(p.Fill(c.values), c.filled) << c.body.toStdString();
    }
}

TEST(CPlaceholders, TheLanguageChoosesTheSyntax) {
    for (const char* shell : {"Shell", "bash", "PowerShell", " zsh ", "Batch"})
        EXPECT_EQ(CPlaceholders::SyntaxFor(QLatin1String(shell)), kPet) << shell;
    for (const char* code : {"C++", "HTML", "Python", "SQL", "", "Shellac"})
        EXPECT_EQ(CPlaceholders::SyntaxFor(QLatin1String(code)), kVs) << code;
}

TEST(CPlaceholders, ClockVariablesOfAGivenTime) {
    const QDateTime when(QDate(2024, 3, 5), QTime(7, 8, 9), QTimeZone(-5 * 3600));
    const QHash<QString, QString> v = CPlaceholders::ClockVariables(when);
    const CPlaceholders p(QStringLiteral("$CURRENT_YEAR-$CURRENT_MONTH-$CURRENT_DATE $CURRENT_HOUR:$CURRENT_MINUTE:"
                                         "$CURRENT_SECOND $CURRENT_MONTH_NAME_SHORT $CURRENT_DAY_NAME "
                                         "$CURRENT_TIMEZONE_OFFSET $CURRENT_YEAR_SHORT"),
                          kVs, v);
    EXPECT_EQ(p.Fill(), "2024-03-05 07:08:09 Mar Tuesday -05:00 24");
    EXPECT_EQ(v.value("UUID").size(), 36);
    EXPECT_EQ(v.value("RANDOM").size(), 6);
    EXPECT_EQ(v.value("RANDOM_HEX").size(), 6);
    for (auto it = v.begin(); it != v.end(); ++it) EXPECT_TRUE(CPlaceholders::IsVsCodeVariable(it.key()));
}

TEST(CPlaceholders, HugeAndDeepBodiesParse) {
    // Deep nesting and long unclosed runs neither crash nor take long.
    QString deep;
    for (int i = 1; i <= 20000; ++i) deep += QStringLiteral("${%1:").arg(i);
    EXPECT_EQ(CPlaceholders(deep, kVs).Fill(), deep);
    QString nested;
    for (int i = 1; i <= 20; ++i) nested += QStringLiteral("${%1:").arg(i);
    nested += QString(20, QLatin1Char('}'));
    EXPECT_EQ(CPlaceholders(nested, kVs).Fields().size(), 20);
    const QString dollars = QString(100000, QLatin1Char('$')) + QStringLiteral("{1");
    EXPECT_EQ(CPlaceholders(dollars, kVs).Fill(), dollars);
}

}  // namespace
