// vgcli compress and decompress, run as the built program on the library's blocks.
#include "support/TestEnv.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString GoldenFile(const QString& name) { return QStringLiteral(VG_SHARED_DIR "/testdata/quicklz/") + name; }

TEST(CliCodec, CompressWritesTheLibrarysLevel1Block) {
    TestEnv env;
    for (const char* name : {"text-4k", "random-8k", "tiny-1", "run-1000"}) {
        SCOPED_TRACE(name);
        const QString out = env.Path(QStringLiteral("%1.qlz").arg(QLatin1String(name)));
        const ProcessResult r =
            RunProgram("vgcli", {"compress", GoldenFile(QStringLiteral("%1.bin").arg(QLatin1String(name))), out});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(ReadFileBytes(out) == ReadFileBytes(GoldenFile(QStringLiteral("%1.L1.qlz").arg(QLatin1String(name)))));
    }
}

TEST(CliCodec, DecompressReadsEveryLevelAndReplacesTheOutput) {
    TestEnv env;
    const QByteArray expected = ReadFileBytes(GoldenFile("mixed-300k.bin"));
    const QString out = env.Path("mixed.bin");
    WriteFileBytes(out, "older content");
    for (const char* level : {"L1", "L2", "L3"}) {
        SCOPED_TRACE(level);
        const ProcessResult r =
            RunProgram("vgcli", {"decompress", GoldenFile(QStringLiteral("mixed-300k.%1.qlz").arg(QLatin1String(level))), out});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(ReadFileBytes(out) == expected);
    }
}

TEST(CliCodec, FailuresExitWithOneAndWriteNothing) {
    TestEnv env;
    QByteArray damaged = ReadFileBytes(GoldenFile("text-4k.L1.qlz"));
    damaged.truncate(damaged.size() - 1);
    WriteFileBytes(env.Path("cut.qlz"), damaged);
    QByteArray lying = ReadFileBytes(GoldenFile("text-4k.L2.qlz"));
    lying[5] = lying[6] = lying[7] = lying[8] = char(0xFF);  // claims 4 GB of data
    WriteFileBytes(env.Path("lying.qlz"), lying);
    WriteFileBytes(env.Path("empty"), QByteArray());

    const QStringList failing[] = {
        {"decompress", env.Path("cut.qlz"), env.Path("out1")},
        {"decompress", env.Path("lying.qlz"), env.Path("out2")},
        {"decompress", GoldenFile("text-4k.bin"), env.Path("out3")},
        {"decompress", env.Path("missing.qlz"), env.Path("out4")},
        {"compress", env.Path("missing.txt"), env.Path("out5")},
        {"compress", env.Path("empty"), env.Path("out6")},
        {"compress", GoldenFile("tiny-1.bin"), env.Path("no/such/folder/out7")},
    };
    for (const QStringList& args : failing) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const ProcessResult r = RunProgram("vgcli", args);
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(QFile::exists(args[2]));
    }
    EXPECT_EQ(RunProgram("vgcli", {"compress", env.Path("empty")}).status, 2);
    EXPECT_EQ(RunProgram("vgcli", {"decompress", "a", "b", "c"}).status, 2);
}

}  // namespace
