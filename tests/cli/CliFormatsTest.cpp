// vgcli import-from and export-to: the summary lines, the dry run, wrong usage and failures.
#include "CliFixture.h"

#include <QDir>

TEST_F(CliTest, ImportFromPrintsTheSummaryAndADryRunPrintsTheSameWritingNothing) {
    const QString source = VG_SHARED_DIR "/testdata/formats/folder";
    const QByteArray before = ReadFileBytes(db);
    const ProcessResult dry = Run({"import-from", "folder", db, source, "--dry-run"});
    ASSERT_EQ(dry.status, 0) << dry.err.toStdString();
    EXPECT_EQ(ReadFileBytes(db), before);
    const QStringList expected{"added\t2",         "present\t0",         "skipped\t1", "deleted\t0",
                               "language\tBash\t1\t0", "language\tPython\t1\t0", "skip\tlogo.png\tnot a text file"};
    EXPECT_EQ(Lines(dry), expected);
    const ProcessResult real = Run({"import-from", "folder", db, source});
    EXPECT_EQ(Lines(real), expected);
    EXPECT_EQ(Info("items"), "2");
    const ProcessResult again = Run({"import-from", "folder", db, source, "-l", "Shell", "--category", "Mine"});
    EXPECT_EQ(Lines(again).mid(0, 2), (QStringList{"added\t2", "present\t0"}));  // another language: new items
    EXPECT_EQ(Lines(Run({"import-from", "folder", db, source})).mid(0, 2), (QStringList{"added\t0", "present\t2"}));
}

TEST_F(CliTest, ExportToWritesTheFolderOnceAndWrongUsageOrInputFails) {
    ASSERT_EQ(Run({"import-from", "the-way", db, VG_SHARED_DIR "/testdata/formats/the-way.json"}).status, 0);
    const QString out = env.Path("md");
    EXPECT_EQ(Lines(Run({"export-to", "markdown", db, out})), QStringList{"items\t2\tfiles\t2\tunchanged\t0\tremoved\t0"});
    EXPECT_EQ(Lines(Run({"export-to", "markdown", db, out})), QStringList{"items\t2\tfiles\t0\tunchanged\t2\tremoved\t0"});
    EXPECT_EQ(Lines(Run({"export-to", "vscode", db, env.Path("vs")})), QStringList{"items\t2\tfiles\t2\tunchanged\t0\tremoved\t0"});
    EXPECT_EQ(QDir(env.Path("vs")).entryList(QDir::Files), (QStringList{"python.json", "rust.json"}));

    const struct {
        QStringList args;
        int status;
        QString err;  // the first line of stderr starts with it
    } failures[] = {
        {{"import-from", "notepad", db, out}, 2, "vgcli: unknown format: notepad"},
        {{"export-to", "pet", db, out}, 2, "vgcli: unknown format: pet"},
        {{"import-from", "markdown", db}, 2, "vgcli: missing arguments"},
        {{"import-from", "markdown", env.Path("none.db"), out}, 1, "No such database: "},
        {{"import-from", "pet", db, env.Path("none.toml")}, 1, "No such file: "},
        {{"import-from", "vscode", db, env.Path("bad.json")}, 1, env.Path("bad.json") + ":2:1: "},
        {{"export-to", "markdown", db, env.Path("bad.json")}, 1, "Not a folder: "},
    };
    WriteFileBytes(env.Path("bad.json"), "{\"a\": {\"body\": \"x\"}\n");
    const QByteArray before = ReadFileBytes(db);
    for (const auto& f : failures) {
        const ProcessResult r = Run(f.args);
        EXPECT_EQ(r.status, f.status) << f.args.join(' ').toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).startsWith(f.err)) << r.err.toStdString();
    }
    EXPECT_EQ(ReadFileBytes(db), before);
}
