#include "CliFixture.h"

#include <QDir>
#include <QFileInfo>

namespace {

class CliAttach : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        const ProcessResult r = Run(
            {"sql", db,
             "INSERT INTO tblItem (ID, LastUpdate) VALUES (1, JulianDay('now')), (2, JulianDay('now'));"
             "INSERT INTO ftsItem (DOCID, Title, Code) VALUES (1, 'One', 'a'), (2, 'Two', 'b');"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        work = env.Path("work");
        QDir().mkpath(work);
    }
    // Runs extract in the work folder and returns the path it printed.
    QString Extract(const QStringList& more = {"1"}) {
        const ProcessResult r = Run(QStringList{"extract", db} + more, work);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return QString::fromUtf8(r.out).trimmed();
    }
    QString InWork(const QString& name) { return QDir::toNativeSeparators(QDir(work).filePath(name)); }

    QString work;
};

TEST_F(CliAttach, AttachExtractDetach) {
    QByteArray bytes;
    for (int i = 0; i < 5000; ++i) bytes += "line " + QByteArray::number(i * 7919 % 1000) + '\n';
    bytes += QByteArray("\x00\x01\xfe\xff", 4);
    const QString src = env.Path("report.csv");
    WriteFileBytes(src, bytes);

    ProcessResult r = Run({"attach", db, "1", src});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(Info("attachments"), "1");

    // Without PATH: the stored name in the current folder, then the next free numbered name.
    EXPECT_EQ(Extract(), InWork("report.csv"));
    EXPECT_TRUE(ReadFileBytes(InWork("report.csv")) == bytes);
    EXPECT_EQ(Extract(), InWork("report (1).csv"));
    // PATH given, relative to the current folder; a folder as PATH takes the stored name.
    EXPECT_EQ(Extract({"1", "copy.bin"}), InWork("copy.bin"));
    EXPECT_TRUE(ReadFileBytes(InWork("copy.bin")) == bytes);
    QDir().mkpath(env.Path("sub"));
    EXPECT_EQ(Extract({"1", env.Path("sub")}), QDir::toNativeSeparators(env.Path("sub/report.csv")));

    r = Run({"detach", db, "1"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    r = Run({"extract", db, "1", env.Path("gone.csv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(env.Path("gone.csv")));
    EXPECT_EQ(Info("attachments"), "0");

    // An empty file is an attachment too, and comes back empty.
    const QString empty = env.Path("empty.dat");
    WriteFileBytes(empty, QByteArray());
    ASSERT_EQ(Run({"attach", db, "1", empty}).status, 0);
    EXPECT_EQ(Extract(), InWork("empty.dat"));
    EXPECT_EQ(QFileInfo(InWork("empty.dat")).size(), 0);
    EXPECT_EQ(Info("attachments"), "1");
}

TEST_F(CliAttach, FailuresAndUsage) {
    const QString src = env.Path("a.txt");
    WriteFileBytes(src, "a");
    const struct {
        QStringList args;
        int status;
        const char* err;
    } cases[] = {
        {{"attach", db, "99", src}, 1, "No such item: 99"},
        {{"extract", db, "99"}, 1, "No such item: 99"},
        {{"detach", db, "99"}, 1, "No such item: 99"},
        {{"attach", db, "1", env.Path("missing.txt")}, 1, "missing.txt"},
        {{"extract", db, "2"}, 1, "no attachment"},
        {{"attach", db, "one", src}, 2, "usage:"},
        {{"detach", db}, 2, "usage: vgcli detach DB ID"},
        {{"detach", env.Path("none.db"), "1"}, 1, "No such database"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProcessResult r = Run(c.args, work);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_TRUE(QDir(work).isEmpty());
}

TEST_F(CliAttach, StoredNamesCannotLeaveTheFolder) {
    const QString src = env.Path("x.txt");
    WriteFileBytes(src, "x");
    ASSERT_EQ(Run({"attach", db, "2", src}).status, 0);
    ASSERT_EQ(Run({"sql", db, "UPDATE ftsItem SET File = '../escape.txt' WHERE DOCID = 2"}).status, 0);
    EXPECT_EQ(Extract({"2"}), InWork("escape.txt"));
    EXPECT_FALSE(QFileInfo::exists(env.Path("escape.txt")));
}

}  // namespace
