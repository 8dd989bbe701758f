// vgcli export and import, run as a program.
#include "CliFixture.h"

#include <QDir>
#include <QFileInfo>

namespace {

class CliExchange : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        const QString body = env.Path("body.txt");
        WriteFileBytes(body, "line 1\r\n\tline 2 \\TAB");
        Save({"-l", "C++", "-c", "Sorting,Files", "-t", "Quick sort", "--body", body});
        Save({"-l", "SQL", "-c", "Queries", "-t", "Top rows"});
        QDir().mkpath(env.Path("att"));
        WriteFileBytes(env.Path("att/data.bin"), QByteArray("\x00\x01\x02 attached", 13));
        const ProcessResult r = Run({"attach", db, "1", env.Path("att/data.bin")});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        QDir().mkpath(env.Path("out"));
    }
};

}  // namespace

TEST_F(CliExchange, ExportRefusesAnExistingFileWithoutForceAndFailsWithNothingToWrite) {
    const QString file = env.Path("out/all.tab");
    ProcessResult r = Run({"export", db, file});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    const QByteArray first = ReadFileBytes(file);
    EXPECT_TRUE(first.startsWith("ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n"));
    EXPECT_TRUE(first.contains("\tline 1\\CR\\LF\\TABline 2 \\\\TAB\t"));
    EXPECT_FALSE(QFileInfo::exists(env.Path("out/data.bin")));

    WriteFileBytes(file, "mine");
    r = Run({"export", db, file, "--attachments"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("File exists: "));
    EXPECT_EQ(ReadFileBytes(file), "mine");
    EXPECT_FALSE(QFileInfo::exists(env.Path("out/data.bin")));

    r = Run({"export", db, file, "--attachments", "--force"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(ReadFileBytes(file), first);
    EXPECT_EQ(ReadFileBytes(env.Path("out/data.bin")), QByteArray("\x00\x01\x02 attached", 13));
    // An attachment that cannot be written fails the export, by name.
    ASSERT_EQ(Run({"sql", db, "UPDATE tblItem SET FileBLOB = X'0102' WHERE ID = 1"}).status, 0);
    r = Run({"export", db, file, "--attachments", "--force"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("data.bin (item 1): The stored attachment is damaged")) << r.err.toStdString();

    EXPECT_EQ(Run({"export", db}).status, 2);
    EXPECT_EQ(Run({"export", db, file, "--keep-ids"}).status, 2);
    r = Run({"export", env.Path("none.db"), env.Path("x.tab")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("No such database: "));
    // No folder to write into: the reason, and no file.
    r = Run({"export", db, env.Path("missing/x.tab")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("Unable to write the export file: ")) << r.err.toStdString();

    // Nothing to export: no file either.
    const QString empty = env.Path("empty.db");
    ASSERT_EQ(Run({"new", empty}).status, 0);
    r = Run({"export", empty, env.Path("e.tab")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No items found to export\n");
    EXPECT_FALSE(QFileInfo::exists(env.Path("e.tab")));
}

TEST_F(CliExchange, ImportPrintsItsSummary) {
    const QString file = env.Path("out/all.tab");
    ASSERT_EQ(Run({"export", db, file, "--attachments"}).status, 0);

    // As new items: doubled, attachments included.
    ProcessResult r = Run({"import", db, file});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "items\t2\tskipped\t0\tmissing\t0\n");
    EXPECT_EQ(Info("items"), "4");
    EXPECT_EQ(Info("attachments"), "2");
    EXPECT_EQ(Info("languages"), "2");

    // Keeping the numbers into a fresh database gives the same items.
    const QString copy = env.Path("copy.db");
    ASSERT_EQ(Run({"new", copy}).status, 0);
    r = Run({"import", copy, file, "--keep-ids"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "items\t2\tskipped\t0\tmissing\t0\n");
    EXPECT_EQ(Run({"show", copy, "1"}).out, Run({"show", db, "1"}).out);
    EXPECT_EQ(Run({"show", copy, "2"}).out, Run({"show", db, "2"}).out);

    // Damaged lines and a missing attachment are counted.
    const QString hand = env.Path("hand.tab");
    WriteFileBytes(hand, "ID\r\nabc\tL\tC\tT\t\r\njunk\r\n7\tL\tC\tSeven\t\tgone.txt\t\t\r\n");
    r = Run({"import", copy, hand, "--keep-ids"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "items\t1\tskipped\t2\tmissing\t1\n");
    EXPECT_TRUE(Run({"show", copy, "7"}).out.startsWith("Item#\t7\nTitle\tSeven\n"));

    r = Run({"import", db, env.Path("nothing.tab")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("No such file: "));
    EXPECT_EQ(Run({"import", db}).status, 2);
}
