// Where the program finds the files it ships: beside the executable (build tree, portable
// copy) before the installed data folder, and what an installed layout does with them.
#include "db/basDB.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"
#include "util/basProgram.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

// root/bin (the program's folder) and root/share/vellumgranary, each with or without a file.
struct Layout {
    explicit Layout(const TestEnv& env) : bin(env.Path("prefix/bin")), data(env.Path("prefix/share/vellumgranary")) {
        QDir().mkpath(bin);
        QDir().mkpath(data);
        SetProgramFolder(bin);
    }
    QString bin;
    QString data;
};

TEST(ProgramFile, BesideTheExecutableFirstThenTheDataFolder) {
    TestEnv env;
    Layout layout(env);
    struct Case {
        bool beside;
        bool installed;
        QString expected;
    } cases[] = {
        {true, true, layout.bin + "/settings.db"},
        {false, true, layout.data + "/settings.db"},
        {true, false, layout.bin + "/settings.db"},
        // Neither: the usual place, so a failure names it.
        {false, false, layout.bin + "/settings.db"},
    };
    for (const Case& c : cases) {
        QFile::remove(layout.bin + "/settings.db");
        QFile::remove(layout.data + "/settings.db");
        if (c.beside) WriteFileBytes(layout.bin + "/settings.db", "b");
        if (c.installed) WriteFileBytes(layout.data + "/settings.db", "i");
        EXPECT_EQ(ProgramFile("settings.db"), c.expected) << c.beside << c.installed;
        EXPECT_EQ(CSQLite::FilePath("settings.db"), c.expected) << c.beside << c.installed;
    }
    // A folder of that name, or the empty file a failed open leaves, hides nothing; paths
    // with a folder are left alone.
    WriteFileBytes(layout.data + "/settings.db", "i");
    WriteFileBytes(layout.bin + "/settings.db", "");
    EXPECT_EQ(ProgramFile("settings.db"), layout.data + "/settings.db");
    QFile::remove(layout.bin + "/settings.db");
    QDir().mkpath(layout.bin + "/settings.db");
    EXPECT_EQ(ProgramFile("settings.db"), layout.data + "/settings.db");
    EXPECT_EQ(CSQLite::FilePath("/elsewhere/settings.db"), "/elsewhere/settings.db");
}

TEST(ProgramFile, InstalledLayoutCreatesDatabasesFromTheDataFolder) {
    TestEnv env;
    Layout layout(env);
    ASSERT_TRUE(QFile::copy(BuiltSettingsDb(), layout.data + "/settings.db"));
    ScriptedPrompt prompt;
    InitGlobals(CSettings::Store::Memory);
    QString file = env.Path("new.db");
    EXPECT_EQ(OpenDatabase(file), "new.db");
    ResultTable t;
    QString error;
    EXPECT_EQ(gDB->Exec("PRAGMA user_version", t, error, true).toInt(), 2);
    EXPECT_GT(gDB->Exec("SELECT Name FROM sqlite_master WHERE Name = 'ftsItem'", t, error).toInt(), 0);
    EXPECT_TRUE(prompt.Messages().isEmpty());
    // Nothing was written beside the program.
    EXPECT_EQ(QDir(layout.bin).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    ReleaseGlobals();

    // With no settings.db anywhere, creation reports that it cannot read the schema.
    QFile::remove(layout.data + "/settings.db");
    InitGlobals(CSettings::Store::Memory);
    file = env.Path("second.db");
    OpenDatabase(file);
    EXPECT_EQ(prompt.Messages(),
              QStringList{"Failed to create new database. Unable to read settings"});
    ReleaseGlobals();

    // The empty file that failure left beside the program does not hide a reinstalled one.
    ASSERT_TRUE(QFile::copy(BuiltSettingsDb(), layout.data + "/settings.db"));
    InitGlobals(CSettings::Store::Memory);
    file = env.Path("third.db");
    EXPECT_EQ(OpenDatabase(file), "third.db");
    EXPECT_EQ(prompt.Messages().size(), 1);
}

}  // namespace
