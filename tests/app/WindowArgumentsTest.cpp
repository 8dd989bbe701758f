// The window program's command line, and the database it names taking the remembered one's
// place at start-up; the remembered one created again when missing and refused when no database.
#include "MainWindowFixture.h"
#include "app/WindowArguments.h"

#include <QDir>
#include <QFile>

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

TEST(WindowArguments, QuickAsksForThePalette) {
    EXPECT_FALSE(ParseWindowArguments({"a.db"}).quick);
    const WindowArguments alone = ParseWindowArguments({"--quick"});
    EXPECT_EQ(alone.action, Action::Run);
    EXPECT_TRUE(alone.quick);
    EXPECT_TRUE(alone.database.isEmpty());
    const WindowArguments withFile = ParseWindowArguments({"--quick", "/data/s.db"});
    EXPECT_TRUE(withFile.quick);
    EXPECT_EQ(withFile.database, "/data/s.db");
    EXPECT_FALSE(ParseWindowArguments({"--", "--quick"}).quick);
    EXPECT_TRUE(WindowUsage().contains("--quick"));
}

TEST_F(MainWindowTest, AMissingRememberedDatabaseIsAskedAboutAndNeverMadeUnasked) {
    // The remembered file is gone: the user locates it, creates another or starts without one.
    const QString moved = env->Path("moved.db");
    OnDatabase(moved, [] {});
    const QString created = env->Path("created.db");
    const struct {
        int answer;
        QString chosen;  // the dialog's answer; empty cancels it
        QString caption;
        QString last;  // LastDatabase afterwards
    } cases[] = {
        {CPrompt::vbCancel, {}, "VellumGranary", dbPath},
        {CPrompt::vbYes, {}, "VellumGranary", dbPath},
        {CPrompt::vbYes, moved, "VellumGranary (moved.db)", moved},
        {CPrompt::vbNo, {}, "VellumGranary", dbPath},
        {CPrompt::vbNo, created, "VellumGranary (created.db)", created},
    };
    for (const auto& c : cases) {
        win.reset();
        app.reset();
        ReleaseGlobals();
        Preset("LastDatabase", dbPath);
        Preset("BackupDaily", "0");
        prompt->shown.clear();
        prompt->answers << c.answer;
        if (c.answer != CPrompt::vbCancel) prompt->texts << c.chosen;
        Start();
        ASSERT_FALSE(prompt->shown.isEmpty());
        EXPECT_EQ(prompt->shown.first().text,
                  "The database file was not found:\n" + QDir::toNativeSeparators(dbPath) +
                      "\n\nYes: locate it or open another database.\nNo: create a new database."
                      "\nCancel: start without a database.");
        EXPECT_FALSE(QFile::exists(dbPath)) << c.answer;
        EXPECT_EQ(win->windowTitle(), c.caption) << c.answer;
        EXPECT_EQ(Setting("LastDatabase"), c.last) << c.answer;
        EXPECT_EQ(gDB->IsOpen(), !c.chosen.isEmpty()) << c.answer;
    }
    EXPECT_TRUE(QFile::exists(created));
    EXPECT_EQ(Scalar("PRAGMA user_version").toInt(), 2);
}

TEST_F(MainWindowTest, AGivenDatabaseIsCreatedWhenMissingAndLeftUntouchedWhenNoDatabase) {
    Preset("LastDatabase", dbPath);
    Preset("BackupDaily", "0");
    SetStartupDatabase(dbPath);
    Start();
    EXPECT_TRUE(QFile::exists(dbPath));
    EXPECT_EQ(win->windowTitle(), "VellumGranary (snippets.db)");
    EXPECT_EQ(Scalar("PRAGMA user_version").toInt(), 2);
    EXPECT_TRUE(prompt->Messages().isEmpty());

    // A file from the command line that is no database is refused, and the remembered one is
    // neither opened nor forgotten.
    const QString notes = env->Path("notes.db");
    WriteFileBytes(notes, "just some notes\n");
    SetStartupDatabase(notes);
    Restart();
    EXPECT_EQ(prompt->Messages(), QStringList{NotValidDatabaseMessage() + "\n" + QDir::toNativeSeparators(notes)});
    EXPECT_EQ(win->windowTitle(), "VellumGranary");
    EXPECT_EQ(Setting("LastDatabase"), dbPath);
    EXPECT_EQ(ReadFileBytes(notes), QByteArray("just some notes\n"));

    const QString given = env->Path("given.db");
    SetStartupDatabase(given);
    Restart();
    EXPECT_EQ(win->windowTitle(), "VellumGranary (given.db)");
    EXPECT_EQ(Setting("LastDatabase"), given);
    EXPECT_EQ(TakeStartupDatabase(), QString());  // taken once

    // Without an argument the next start reopens the file that was given.
    Restart();
    EXPECT_EQ(win->windowTitle(), "VellumGranary (given.db)");

    // The remembered file is no database: the window stays empty and the file untouched.
    ASSERT_TRUE(Close());
    WriteFileBytes(given, "just some notes\r\n");
    prompt->shown.clear();
    Restart();
    EXPECT_EQ(prompt->Messages(), QStringList{NotValidDatabaseMessage() + "\n" + QDir::toNativeSeparators(given)});
    EXPECT_EQ(win->windowTitle(), "VellumGranary");
    EXPECT_EQ(Entries(Languages()), QStringList{"<All Languages>  (0)"});
    EXPECT_EQ(Entries(Categories()), QStringList{"<All Categories>  (0)"});
    EXPECT_FALSE(gDB->IsOpen());
    EXPECT_TRUE(Close());
    EXPECT_EQ(ReadFileBytes(given), QByteArray("just some notes\r\n"));
}

}  // namespace
