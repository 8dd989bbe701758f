#include "db/CSQLite.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

TEST(CliDatabase, NewInfoAndSql) {
    TestEnv env;
    const QString db = env.Path("cli.db");
    ProcessResult r = RunProgram("vgcli", {"new", db});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(QFile::exists(db));

    r = RunProgram("vgcli", {"new", db});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.isEmpty());

    r = RunProgram("vgcli", {"info", db});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0], "schema\t2");
    EXPECT_EQ(lines[1], "items\t0");
    EXPECT_EQ(lines[2], "languages\t0");
    EXPECT_EQ(lines[3], "categories\t0");
    EXPECT_EQ(lines[4], "attachments\t0");
    EXPECT_EQ(lines[5], "size\t" + QString::number(QFile(db).size()));
    EXPECT_TRUE(lines[6].startsWith("sqlite\t3."));

    r = RunProgram("vgcli", {"sql", db, "SELECT 1 AS A, 2 AS B"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0.\tA\tB\t\n1.\t1\t2\t\n");
    r = RunProgram("vgcli", {"sql", db, "INSERT INTO tblType (Name) VALUES ('x;y')"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = RunProgram("vgcli", {"sql", db, "SELECT Name, NULL AS n FROM tblType"});
    EXPECT_EQ(r.out, "0.\tName\tn\t\n1.\tx;y\t\t\n");
    r = RunProgram("vgcli", {"sql", db, "SELEKT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("syntax error"));
}

TEST(CliDatabase, RefusalsAndUsage) {
    TestEnv env;
    ProcessResult r = RunProgram("vgcli", {"info", env.Path("nothere.db")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No such database: " + env.Path("nothere.db").toUtf8() + "\n");
    EXPECT_FALSE(QFile::exists(env.Path("nothere.db")));

    const QString text = env.Path("text.db");
    WriteFileBytes(text, "hello");
    r = RunProgram("vgcli", {"info", text});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "This is not a valid VellumGranary database\n");
    EXPECT_EQ(ReadFileBytes(text), "hello");

    // Another program's lock is neither "not valid" nor an empty answer.
    const QString locked = env.Path("locked.db");
    ASSERT_EQ(RunProgram("vgcli", {"new", locked}).status, 0);
    {
        CSQLite other;
        ASSERT_EQ(other.OpenFile(locked), 0);
        ASSERT_EQ(other.Run("BEGIN EXCLUSIVE"), "");
        r = RunProgram("vgcli", {"info", locked});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "The database is busy in another program: database is locked\n");
    }

    EXPECT_EQ(RunProgram("vgcli", {}).status, 2);
    EXPECT_EQ(RunProgram("vgcli", {"bogus"}).status, 2);
    EXPECT_EQ(RunProgram("vgcli", {"info"}).status, 2);
    EXPECT_EQ(RunProgram("vgcli", {"info", "a", "b"}).status, 2);
    EXPECT_EQ(RunProgram("vgcli", {"info", "a", "--nope"}).status, 2);
    r = RunProgram("vgcli", {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("info DB"));
    EXPECT_TRUE(r.out.contains("is written as \\r, \\n or \\t")) << r.out.toStdString();
    r = RunProgram("vgcli", {"info", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("usage: vgcli info DB"));
    r = RunProgram("vgcli", {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("vgcli 1."));
}

TEST(CliDatabase, RelativePathsAreTakenFromTheCurrentFolderAndUnencodableOnesRefused) {
    TestEnv env;
    ProcessResult r = RunProgram("vgcli", {"new", "rel.db"}, env.Root());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(env.Path("rel.db")));

    // A name whose bytes are not UTF-8 (the system's encoding here), as a shell can pass it.
    QProcess sh;
    sh.setWorkingDirectory(env.Root());
    sh.start("sh", {"-c", "exec \"$0\" new \"$(printf 'x\\377.db')\"", VG_BIN_DIR "/vgcli"});
    ASSERT_TRUE(sh.waitForFinished());
    EXPECT_EQ(sh.exitCode(), 1);
    EXPECT_TRUE(sh.readAllStandardError().startsWith("Not valid in the file system's encoding: "));
    EXPECT_EQ(QDir(env.Root()).entryList(QDir::Files).filter("x"), QStringList());
}

}  // namespace
