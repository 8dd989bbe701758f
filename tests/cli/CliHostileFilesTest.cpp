// Special files as sources and targets, and the waits for another process's write lock.
#include "CliFixture.h"
#include "support/HostileFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Run by LockHolder as a second process; does nothing in a normal run.
TEST(LockHolder, Hold) { LockHolderMain(); }

class CliHostile : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        item = Save({"-l", "Python", "-c", "Sorting", "-t", "Quick"});
        src = env.Path("data.bin");
        WriteFileBytes(src, QByteArray("payload ").repeated(100));
        block = env.Path("data.qlz");
        ASSERT_EQ(Run({"compress", src, block}).status, 0);
        ASSERT_EQ(Run({"attach", db, QString::number(item), src}).status, 0);
    }
    int item = 0;
    QString src, block;
};

// Every command that writes a file refuses a target that is a pipe or a device node and
// leaves it as it was; every command that reads content refuses such a source, and one larger
// than an attachment may be, before reading it.
TEST_F(CliHostile, SpecialFilesAreNeitherTargetsNorSources) {
    const QString fifo = env.Path("pipe"), device = env.Path("null");
    ASSERT_TRUE(MakeFifo(fifo));
    const bool haveDevice = MakeCharDevice(device);  // only as root
    const QString huge = env.Path("huge.bin");
    ASSERT_TRUE(MakeSparseFile(huge, (qint64(1) << 30) + 1));
    struct Case {
        QStringList args;  // %T: the special target
        QString message;
    };
    const QList<Case> writes = {
        {{"backup", db, "%T"}, "not a regular file"},
        {{"export", db, "%T", "--force"}, "not a regular file"},
        {{"compress", src, "%T"}, "not a regular file"},
        {{"decompress", block, "%T"}, "not a regular file"},
    };
    for (const QString& target : haveDevice ? QStringList{fifo, device} : QStringList{fifo})
        for (const Case& c : writes) {
            QStringList args = c.args;
            args.replaceInStrings("%T", target);
            const ProcessResult r = Run(args);
            EXPECT_EQ(r.status, 1) << args.join(' ').toStdString();
            EXPECT_TRUE(r.err.contains(c.message.toUtf8())) << r.err.toStdString();
            EXPECT_TRUE(target == fifo ? IsFifo(target) : IsCharDevice(target)) << args.join(' ').toStdString();
        }
    const QList<Case> reads = {
        {{"attach", db, QString::number(item), "/dev/zero"}, "not a regular file"},
        {{"attach", db, QString::number(item), fifo}, "not a regular file"},
        {{"attach", db, QString::number(item), huge}, "more than the 1 GB allowed"},
        {{"compress", "/dev/zero", env.Path("out1")}, "not a regular file"},
        {{"compress", huge, env.Path("out2")}, "more than the 1 GB allowed"},
        {{"decompress", "/dev/zero", env.Path("out3")}, "not a regular file"},
        {{"import", db, fifo}, "not a regular file"},
    };
    for (const Case& c : reads) {
        const ProcessResult r = Run(c.args);
        EXPECT_EQ(r.status, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message.toUtf8())) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    // The attachment stored at the start is still the one extracted.
    EXPECT_EQ(Run({"extract", db, QString::number(item), env.Path("back.bin")}).status, 0);
    EXPECT_EQ(ReadFileBytes(env.Path("back.bin")), ReadFileBytes(src));
}

// With another process holding the write lock for a while, every write waits for it and
// succeeds; one held past the wait fails saying the database is busy.
TEST_F(CliHostile, EveryWriteWaitsForAnotherProcesssLock) {
    const QString tab = env.Path("items.tab");
    ASSERT_EQ(Run({"export", db, tab}).status, 0);
    const QString id = QString::number(item);
    const QList<QStringList> writes = {
        {"save", db, "-l", "Python", "-c", "Sorting", "-t", "New"},
        {"save", db, "-l", "Python", "-c", "Sorting", "-t", "Again", "--id", id},
        {"save", db, "-l", "Python", "-c", "Sorting", "-t", "Again", "--merge"},
        {"rename-category", db, "Python", "Sorting", "Ordering"},
        {"import", db, tab},
        {"import", db, tab, "--keep-ids"},
        {"attach", db, id, src},
        {"detach", db, id},
        {"vacuum", db},
        {"delete", db, id},
    };
    for (const QStringList& args : writes) {
        LockHolder holder(db, 1500);
        ASSERT_TRUE(holder.Holding());
        const ProcessResult r = Run(args);
        EXPECT_EQ(r.status, 0) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    LockHolder holder(db, 7000);
    ASSERT_TRUE(holder.Holding());
    const ProcessResult r = Run({"rename-category", db, "Python", "Ordering", "Sorting"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("The database is busy in another program")) << r.err.toStdString();
}

}  // namespace
