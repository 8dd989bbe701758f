#include "CliFixture.h"
#include "db/CSQLite.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

using CliDatabase = CliTest;

TEST_F(CliDatabase, NewInfoAndSql) {
    EXPECT_TRUE(QFile::exists(db));
    ProcessResult r = Run({"new", db});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.isEmpty());

    r = Run({"info", db});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = Lines(r);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines.mid(0, 6), QStringList({"schema\t2", "items\t0", "languages\t0", "categories\t0",
                                            "attachments\t0", "size\t" + QString::number(QFile(db).size())}));
    EXPECT_TRUE(lines[6].startsWith("sqlite\t3."));

    r = Run({"sql", db, "SELECT 1 AS A, 2 AS B"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0.\tA\tB\t\n1.\t1\t2\t\n");
    r = Run({"sql", db, "INSERT INTO tblType (Name) VALUES ('x;y')"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = Run({"sql", db, "SELECT Name, NULL AS n FROM tblType"});
    EXPECT_EQ(r.out, "0.\tName\tn\t\n1.\tx;y\t\t\n");
    r = Run({"sql", db, "SELEKT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("syntax error"));
}

TEST_F(CliDatabase, RefusalsAndUsage) {
    ProcessResult r = Run({"info", env.Path("nothere.db")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No such database: " + env.Path("nothere.db").toUtf8() + "\n");
    EXPECT_FALSE(QFile::exists(env.Path("nothere.db")));

    const QString text = env.Path("text.db");
    WriteFileBytes(text, "hello");
    r = Run({"info", text});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "This is not a valid VellumGranary database\n");
    EXPECT_EQ(ReadFileBytes(text), "hello");

    // Another program's lock is neither "not valid" nor an empty answer.
    {
        CSQLite other;
        ASSERT_EQ(other.OpenFile(db), 0);
        ASSERT_EQ(other.Run("BEGIN EXCLUSIVE"), "");
        r = Run({"info", db});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "The database is busy in another program: database is locked\n");
    }

    for (const QStringList& args : {QStringList{}, {"bogus"}, {"info"}, {"info", "a", "b"}, {"info", "a", "--nope"}})
        EXPECT_EQ(Run(args).status, 2) << args.join(' ').toStdString();
    r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("info DB"));
    EXPECT_TRUE(r.out.contains("is written as \\r, \\n or \\t")) << r.out.toStdString();
    r = Run({"info", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("usage: vgcli info DB"));
    r = Run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("vgcli 1."));
}

TEST_F(CliDatabase, RelativePathsAreTakenFromTheCurrentFolderAndUnencodableOnesRefused) {
    ProcessResult r = Run({"new", "rel.db"}, env.Root());
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
