// The window program's command line, and the database it names taking the remembered one's
// place at start-up.
#include "MainWindowFixture.h"
#include "app/WindowArguments.h"

#include <QDir>

namespace {

using Action = WindowArguments::Action;

TEST(WindowArguments, ReadsOneOptionalFileAndRefusesTheRest) {
    const QString here = QDir::currentPath();
    struct Case {
        QStringList args;
        Action action;
        QString database;
    } cases[] = {
        {{}, Action::Run, {}},
        {{"/data/snippets.db"}, Action::Run, "/data/snippets.db"},
        {{"/data/../data/./snippets.db"}, Action::Run, "/data/snippets.db"},
        // A relative name is where the user stands, not the program's folder.
        {{"mine.db"}, Action::Run, here + "/mine.db"},
        {{"--", "-odd.db"}, Action::Run, here + "/-odd.db"},
        {{"--help"}, Action::Help, {}},
        {{"-h", "x.db"}, Action::Help, {}},
        {{"--version"}, Action::Version, {}},
        {{"--bogus"}, Action::Usage, {}},
        {{"a.db", "b.db"}, Action::Usage, {}},
    };
    for (const Case& c : cases) {
        const WindowArguments a = ParseWindowArguments(c.args);
        EXPECT_EQ(a.action, c.action) << c.args.join(' ').toStdString();
        EXPECT_EQ(a.database, c.database) << c.args.join(' ').toStdString();
        EXPECT_EQ(a.error.isEmpty(), c.action != Action::Usage) << c.args.join(' ').toStdString();
    }
    EXPECT_TRUE(WindowUsage().startsWith("usage: vellumgranary [DATABASE]\n"));
}

TEST_F(MainWindowTest, FileFromTheCommandLineOpensAndBecomesTheRememberedOneUnlessRefused) {
    MakeDatabase({{"C++", "Empty main", "int main() {}", "Basics"}});
    // A file that is no database is refused, and the remembered one stays.
    const QString notes = env->Path("notes.db");
    WriteFileBytes(notes, "just some notes\n");
    SetStartupDatabase(notes);
    Start();
    EXPECT_EQ(prompt->Messages(), QStringList{NotValidDatabaseMessage()});
    EXPECT_EQ(win->windowTitle(), "VellumGranary");
    EXPECT_EQ(Setting("LastDatabase"), dbPath);
    EXPECT_EQ(ReadFileBytes(notes), QByteArray("just some notes\n"));

    const QString other = env->Path("given.db");
    SetStartupDatabase(other);
    Restart();
    EXPECT_EQ(win->windowTitle(), "VellumGranary (given.db)");
    EXPECT_EQ(Scalar("PRAGMA user_version").toInt(), 2);
    EXPECT_EQ(Setting("LastDatabase"), other);
    EXPECT_EQ(TakeStartupDatabase(), QString());  // taken once

    // Without an argument the next start reopens the file that was given.
    Restart();
    EXPECT_EQ(win->windowTitle(), "VellumGranary (given.db)");
}

}  // namespace
