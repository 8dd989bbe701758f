#include "support/TestEnv.h"
#include "util/basFileTools.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

static QString N(const QString& p) { return QDir::toNativeSeparators(p); }

TEST(FileToolsTest, SplittingPathsAndByteSizeTextsAroundEachUnitsBoundary) {
    EXPECT_EQ(GetParentFolder(N("/a/b/")), N("/a"));
    EXPECT_EQ(GetParentFolder(N("/a/b/c.txt")), N("/a/b"));
    EXPECT_EQ(GetParentFolder(N("/top")), N("/"));
    EXPECT_EQ(GetParentFolder(QString()), QString());
    EXPECT_EQ(GetParentFolder(QStringLiteral("bare")), QString());
    EXPECT_EQ(GetFileName(N("/a/b/c.txt")), QStringLiteral("c.txt"));
    EXPECT_EQ(GetFileName(QStringLiteral("c.txt")), QStringLiteral("c.txt"));
    EXPECT_EQ(GetFileName(N("/a/b/")), QString());
    EXPECT_EQ(GetFileExtension(N("/tmp/.profile")), QString());
    EXPECT_EQ(GetFileExtension(N("/tmp/x.tar.gz")), QStringLiteral("gz"));
    EXPECT_EQ(GetFileExtension(N("/tmp.d/noext")), QString());
    EXPECT_EQ(StripExtension(N("/tmp/x.tar.gz")), N("/tmp/x.tar"));
    EXPECT_EQ(StripExtension(N("/tmp.d/noext")), N("/tmp.d/noext"));
    EXPECT_EQ(JoinPath(N("/a/"), QStringLiteral("b")), N("/a/b"));
    EXPECT_EQ(JoinPath(N("/a"), QStringLiteral("b")), N("/a/b"));
    const QString temp = GetTempFolder();
    EXPECT_TRUE(temp.endsWith(QDir::separator()));
    EXPECT_TRUE(QFileInfo(temp).isDir());

    // Byte sizes around each unit's boundary.
    const QList<QPair<qint64, const char*>> cases = {
        {0, "0 bytes"},          {1023, "1023 bytes"},         {1024, "1.00 KB"},
        {2047, "1.99 KB"},       {20000, "19.5 KB"},           {200000, "195 KB"},
        {1023 * 1024, "0.99 MB"}, {3LL * 1024 * 1024 * 1024 + 1, "3.00 GB"}};
    for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatByteSize(bytes), QLatin1String(text)) << bytes;
    EXPECT_EQ(TwipsToPixels(4355), 290);
}

TEST(FileToolsTest, UniqueNamesNeverNameAnExistingEntry) {
    TestEnv env;
    const QString dir = N(env.Root());
    auto touch = [&](const QString& name) { WriteFileBytes(JoinPath(dir, name), "x"); };
    const QString notes = JoinPath(dir, QStringLiteral("notes.txt"));
    EXPECT_EQ(GetUniqueFileName(notes), notes);
    touch(QStringLiteral("notes.txt"));
    touch(QStringLiteral("notes (1).txt"));
    EXPECT_EQ(GetUniqueFileName(notes), JoinPath(dir, QStringLiteral("notes (2).txt")));
    EXPECT_TRUE(FileExists(notes));
    EXPECT_FALSE(FileExists(dir));
    EXPECT_FALSE(FileExists(QString()));

    // No extension, a dot file and a folder of the same name.
    const QString readme = JoinPath(dir, QStringLiteral("README"));
    EXPECT_EQ(GetUniqueFileName(readme), readme);
    touch(QStringLiteral("README"));
    EXPECT_EQ(GetUniqueFileName(readme), readme + QStringLiteral(" (1)"));
    const QString profile = JoinPath(dir, QStringLiteral(".profile"));
    EXPECT_EQ(GetUniqueFileName(profile), profile);
    touch(QStringLiteral(".profile"));
    EXPECT_EQ(GetUniqueFileName(profile), profile + QStringLiteral(" (1)"));
    QDir(dir).mkdir(QStringLiteral("data.bin"));
    EXPECT_EQ(GetUniqueFileName(JoinPath(dir, QStringLiteral("data.bin"))),
              JoinPath(dir, QStringLiteral("data (1).bin")));
    EXPECT_EQ(GetUniqueFileName(QString()), QString());
}
