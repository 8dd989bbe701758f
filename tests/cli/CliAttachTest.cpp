#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

class CliAttach : public ::testing::Test {
protected:
    void SetUp() override {
        db = env.Path("cli.db");
        ASSERT_EQ(RunProgram("vgcli", {"new", db}).status, 0);
        ProcessResult r = RunProgram(
            "vgcli", {"sql", db,
                      "INSERT INTO tblItem (ID, LastUpdate) VALUES (1, JulianDay('now')), "
                      "(2, JulianDay('now'));"
                      "INSERT INTO ftsItem (DOCID, Title, Code) VALUES (1, 'One', 'a'), (2, 'Two', 'b');"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        work = env.Path("work");
        QDir().mkpath(work);
    }
    QString Line(const ProcessResult& r) { return QString::fromUtf8(r.out).trimmed(); }

    TestEnv env;
    QString db;
    QString work;
};

TEST_F(CliAttach, AttachExtractDetach) {
    QByteArray bytes;
    for (int i = 0; i < 5000; ++i) bytes += "line " + QByteArray::number(i * 7919 % 1000) + '\n';
    bytes += QByteArray("\x00\x01\xfe\xff", 4);
    const QString src = env.Path("report.csv");
    WriteFileBytes(src, bytes);

    ProcessResult r = RunProgram("vgcli", {"attach", db, "1", src});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    r = RunProgram("vgcli", {"info", db});
    EXPECT_TRUE(r.out.contains("attachments\t1\n"));

    // Without PATH: the stored name in the current folder, then the next free numbered name.
    r = RunProgram("vgcli", {"extract", db, "1"}, work);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString first = QDir(work).filePath("report.csv");
    EXPECT_EQ(Line(r), QDir::toNativeSeparators(first));
    EXPECT_TRUE(ReadFileBytes(first) == bytes);
    r = RunProgram("vgcli", {"extract", db, "1"}, work);
    EXPECT_EQ(Line(r), QDir::toNativeSeparators(QDir(work).filePath("report (1).csv")));
    // PATH given, relative to the current folder; a folder as PATH takes the stored name.
    r = RunProgram("vgcli", {"extract", db, "1", "copy.bin"}, work);
    EXPECT_EQ(Line(r), QDir::toNativeSeparators(QDir(work).filePath("copy.bin")));
    EXPECT_TRUE(ReadFileBytes(QDir(work).filePath("copy.bin")) == bytes);
    QDir().mkpath(env.Path("sub"));
    r = RunProgram("vgcli", {"extract", db, "1", env.Path("sub")});
    EXPECT_EQ(Line(r), QDir::toNativeSeparators(env.Path("sub/report.csv")));

    r = RunProgram("vgcli", {"detach", db, "1"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    r = RunProgram("vgcli", {"extract", db, "1", env.Path("gone.csv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(env.Path("gone.csv")));
    r = RunProgram("vgcli", {"info", db});
    EXPECT_TRUE(r.out.contains("attachments\t0\n"));

    // An empty file is an attachment too, and comes back empty.
    const QString empty = env.Path("empty.dat");
    WriteFileBytes(empty, QByteArray());
    ASSERT_EQ(RunProgram("vgcli", {"attach", db, "1", empty}).status, 0);
    r = RunProgram("vgcli", {"extract", db, "1"}, work);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(QFileInfo(QDir(work).filePath("empty.dat")).size(), 0);
    EXPECT_TRUE(RunProgram("vgcli", {"info", db}).out.contains("attachments\t1\n"));
}

TEST_F(CliAttach, FailuresAndUsage) {
    const QString src = env.Path("a.txt");
    WriteFileBytes(src, "a");
    for (const QStringList& args : {QStringList{"attach", db, "99", src}, QStringList{"extract", db, "99"},
                                    QStringList{"detach", db, "99"}}) {
        ProcessResult r = RunProgram("vgcli", args, work);
        EXPECT_EQ(r.status, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("No such item: 99")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    ProcessResult r = RunProgram("vgcli", {"attach", db, "1", env.Path("missing.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("missing.txt"));
    r = RunProgram("vgcli", {"extract", db, "2"}, work);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("no attachment"));
    EXPECT_TRUE(QDir(work).isEmpty());
    r = RunProgram("vgcli", {"attach", db, "one", src});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("usage:"));
    r = RunProgram("vgcli", {"detach", db});
    EXPECT_EQ(r.status, 2);
    r = RunProgram("vgcli", {"detach", env.Path("none.db"), "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("No such database"));
}

TEST_F(CliAttach, StoredNamesCannotLeaveTheFolder) {
    const QString src = env.Path("x.txt");
    WriteFileBytes(src, "x");
    ASSERT_EQ(RunProgram("vgcli", {"attach", db, "2", src}).status, 0);
    ASSERT_EQ(RunProgram("vgcli", {"sql", db, "UPDATE ftsItem SET File = '../escape.txt' WHERE DOCID = 2"}).status, 0);
    ProcessResult r = RunProgram("vgcli", {"extract", db, "2"}, work);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(Line(r), QDir::toNativeSeparators(QDir(work).filePath("escape.txt")));
    EXPECT_FALSE(QFileInfo::exists(env.Path("escape.txt")));
}

}  // namespace
