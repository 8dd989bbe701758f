// vgcli history, show --version, restore, trash, undelete, undo and purge.
#include "cli/CliFixture.h"

TEST_F(CliTest, HistoryCommandsWalkAnItemsVersionsTrashAndUndo) {
    const int id = Save({"-l", "C++", "-c", "a", "-t", "First", "--body", "-"}, "one\n");
    Save({"-l", "C++", "-c", "a", "-t", "Second", "--id", QString::number(id), "--body", "-"}, "two\n");
    const QStringList history = Lines(Run({"history", db, QString::number(id)}));
    ASSERT_EQ(history.size(), 1);
    EXPECT_TRUE(history[0].startsWith("1\t")) << history[0].toStdString();
    EXPECT_TRUE(history[0].endsWith("\tSave\tFirst")) << history[0].toStdString();
    const ProcessResult shown = Run({"show", db, QString::number(id), "--version", "1"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_TRUE(shown.out.contains("Title\tFirst\n") && shown.out.endsWith("\none\n")) << shown.out.toStdString();

    ProcessResult r = Run({"restore", db, QString::number(id), "--version", "1"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Run({"show", db, QString::number(id)}).out.contains("Title\tFirst\n"));
    EXPECT_EQ(Lines(Run({"undo", db})), QStringList({"Undone: Restore Version"}));
    EXPECT_TRUE(Run({"show", db, QString::number(id)}).out.contains("Title\tSecond\n"));

    ASSERT_EQ(Run({"delete", db, QString::number(id)}).status, 0);
    const QStringList trash = Lines(Run({"trash", db}));
    ASSERT_EQ(trash.size(), 1);
    EXPECT_TRUE(trash[0].startsWith(QString::number(id) + "\t") && trash[0].endsWith("\tC++\tSecond"));
    EXPECT_EQ(Lines(Run({"undelete", db, QString::number(id)})), QStringList({QString::number(id)}));
    EXPECT_TRUE(Lines(Run({"trash", db})).isEmpty());
    ASSERT_EQ(Run({"delete", db, QString::number(id)}).status, 0);
    // Every version the commands above kept, and the deleted item.
    EXPECT_EQ(Lines(Run({"purge", db, "--older-than", "0"})), QStringList({"versions\t5", "trashed\t1"}));
    EXPECT_TRUE(Lines(Run({"history", db, QString::number(id)})).isEmpty());
    EXPECT_EQ(Lines(Run({"purge", db})), QStringList({"versions\t0", "trashed\t0"}));
}

TEST_F(CliTest, HistoryListsACategoryRenameWithWhatItChanged) {
    const int id = Save({"-l", "C++", "-c", "a", "-t", "First", "--body", "-"}, "one\n");
    Save({"-l", "C++", "-c", "a", "-t", "Second", "--id", QString::number(id), "--body", "-"}, "two\n");
    ASSERT_EQ(Run({"rename-category", db, "C++", "a", "z"}).status, 0);
    const QStringList history = Lines(Run({"history", db, QString::number(id)}));
    ASSERT_EQ(history.size(), 2);
    const QStringList rename = history[0].split('\t');
    ASSERT_EQ(rename.size(), 4) << history[0].toStdString();
    EXPECT_EQ(rename[0], "-");
    EXPECT_EQ(rename[2], "Rename Category");
    EXPECT_EQ(rename[3], "category a -> z");
    EXPECT_TRUE(history[1].startsWith("1\t") && history[1].endsWith("\tSave\tFirst")) << history[1].toStdString();
}

TEST_F(CliTest, HistoryCommandsRefuseWrongUsageAndReportFailures) {
    const struct {
        QStringList args;
        int status;
    } cases[] = {
        {{"history", "DB", "x"}, 2},           {{"restore", "DB", "1"}, 2},
        {{"restore", "DB", "1", "--version", "0"}, 2}, {{"purge", "DB", "--older-than", "-3"}, 2},
        {{"undo", "DB"}, 1},                   {{"undelete", "DB", "5"}, 1},
        {{"show", "DB", "1", "--version", "4"}, 1},
    };
    for (const auto& c : cases) {
        QStringList args = c.args;
        args.replaceInStrings(QStringLiteral("DB"), db);
        const ProcessResult r = Run(args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString() << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
}
