// vgcli get: the body of the best match, placeholders filled from --set or their defaults.
#include "CliFixture.h"

namespace {

class CliGetTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        const struct {
            const char* language;
            const char* title;
            const char* body;
        } items[] = {
            {"Shell", "Docker run redis", "docker run -d -p <port=6379>:6379 --name <name> redis"},
            {"Shell", "Disk usage", "du -sh * | sort -h"},
            {"Python", "Read file", "with open(${1:path}) as f:\n    ${2:data} = f.read()$0"},
            {"C++", "Vector of ints", "std::vector<int> ${1|v,values|};"},
            {"SQL", "Quarterly totals", "SELECT quarter, SUM(total) FROM sales GROUP BY quarter;"},
        };
        for (const auto& it : items)
            Save({"-l", it.language, "-c", "Misc", "-t", it.title, "--body", "-"}, it.body);
    }
    ProcessResult Get(const QStringList& args) { return Run(QStringList{"get", db} + args); }
};

TEST_F(CliGetTest, PrintsTheBestMatchFilledIn) {
    struct Case {
        QStringList args;
        QByteArray out;
    } cases[] = {
        {{"docker run redis"}, "docker run -d -p 6379:6379 --name  redis\n"},
        {{"drr", "--set", "name=cache", "--set", "port=7000"}, "docker run -d -p 7000:6379 --name cache redis\n"},
        {{"disk"}, "du -sh * | sort -h\n"},
        {{"read file"}, "with open(path) as f:\n    data = f.read()\n"},
        {{"read", "--set", "1=\"a.txt\"", "--set", "2=text"}, "with open(\"a.txt\") as f:\n    text = f.read()\n"},
        {{"vector"}, "std::vector<int> v;\n"},  // <int> is C++, not a parameter
        {{"vector", "--set", "1=values"}, "std::vector<int> values;\n"},
        // Body words find what titles do not.
        {{"sales"}, "SELECT quarter, SUM(total) FROM sales GROUP BY quarter;\n"},
        {{"lang:python"}, "with open(path) as f:\n    data = f.read()\n"},
        // A later --set of the same name wins.
        {{"drr", "--set", "name=a", "--set", "name=b"}, "docker run -d -p 6379:6379 --name b redis\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = Get(c.args);
        EXPECT_EQ(r.status, 0) << c.args.join(' ').toStdString() << r.err.toStdString();
        EXPECT_EQ(r.out, c.out) << c.args.join(' ').toStdString();
    }
}

TEST_F(CliGetTest, NoMatchAndWrongUsage) {
    for (const QStringList& args : {QStringList{"zzqqy"}, QStringList{""}, QStringList{"lang:cobol"},
                                    QStringList{"\"unbalanced OR ("}}) {
        const ProcessResult r = Get(args);
        EXPECT_EQ(r.status, 1) << args.join(' ').toStdString();
        EXPECT_EQ(r.err, "No item matches\n") << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(Get({"disk", "--set", "novalue"}).status, 2);
    EXPECT_EQ(Get({}).status, 2);
    const ProcessResult missing = Run({"get", env.Path("none.db"), "x"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.startsWith("No such database: "));
}

}  // namespace
