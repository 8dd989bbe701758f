// Files put on disk by the export's writer threads: each one whole or not there, unchanged ones
// untouched, nothing followed or waited on that is not a plain file, the first failure reported.
#include "formats/CFileWriteQueue.h"
#include "support/HostileFiles.h"
#include "support/TestEnv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

class FileWriteQueueTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir.filePath(name); }
    // What WriteOne made of file: "written", "unchanged" or "failed: <error>".
    QString WriteOne(const QString& name, const QByteArray& bytes, CFileWriteQueue::Mode mode) {
        QString error;
        bool written = false;
        if (!CFileWriteQueue::WriteOne(QFile::encodeName(Path(name)), bytes, mode, ".temp", &error, &written))
            return QStringLiteral("failed: ") + error;
        return written ? QStringLiteral("written") : QStringLiteral("unchanged");
    }
    // The folder's entries, hidden ones included: no temporary file may stay behind.
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir;
};

using Mode = CFileWriteQueue::Mode;

TEST_F(FileWriteQueueTest, AFileIsWrittenOnlyWhenItsBytesDiffer) {
    const struct {
        const char* what;
        QByteArray before;  // empty: no file
        QByteArray bytes;
        Mode mode;
        const char* result;
    } cases[] = {
        {"new", {}, "abc\n", Mode::IfChanged, "written"},
        {"new in a new folder", {}, "abc\n", Mode::New, "written"},
        {"taken after all, same bytes", "abc\n", "abc\n", Mode::New, "unchanged"},
        {"taken after all, other bytes", "abd\n", "abc\n", Mode::New, "written"},
        {"same bytes", "abc\n", "abc\n", Mode::IfChanged, "unchanged"},
        {"same size, one byte differs", "abd\n", "abc\n", Mode::IfChanged, "written"},
        {"shorter", "abc\nmore\n", "abc\n", Mode::IfChanged, "written"},
        {"longer", "ab", "abc\n", Mode::IfChanged, "written"},
        {"emptied", "abc\n", "", Mode::IfChanged, "written"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = Path("f.md");
        QFile::remove(file);
        QDateTime stamp;
        if (!c.before.isEmpty()) {
            WriteFileBytes(file, c.before);
            // An old time: an untouched file keeps it.
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            stamp = QDateTime::currentDateTimeUtc().addDays(-3);
            ASSERT_TRUE(f.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        EXPECT_EQ(WriteOne("f.md", c.bytes, c.mode), c.result);
        EXPECT_EQ(ReadFileBytes(file), c.bytes);
        if (QLatin1String(c.result) == QLatin1String("unchanged")) {
            EXPECT_EQ(QFileInfo(file).lastModified().toSecsSinceEpoch(), stamp.toSecsSinceEpoch());
        }
        EXPECT_EQ(Entries(), QStringList{"f.md"});
    }
}

TEST_F(FileWriteQueueTest, WhatIsNotAPlainFileIsRefusedAndLeftAsItIs) {
    WriteFileBytes(Path("target.txt"), "keep me\n");
    ASSERT_TRUE(QFile::link(Path("target.txt"), Path("link.md")));
    ASSERT_TRUE(QFile::link(Path("nowhere.txt"), Path("dangling.md")));
    ASSERT_TRUE(QDir().mkpath(Path("folder.md")));
    ASSERT_TRUE(MakeFifo(Path("pipe.md")));
    for (const char* name : {"link.md", "dangling.md", "folder.md", "pipe.md"}) {
        for (const Mode mode : {Mode::New, Mode::IfChanged}) {
            SCOPED_TRACE(name);
            // A pipe must not hang the export waiting for a reader.
            EXPECT_EQ(WriteOne(name, "new\n", mode), QStringLiteral("failed: %1: not a plain file").arg(Path(name)));
        }
    }
    EXPECT_EQ(ReadFileBytes(Path("target.txt")), "keep me\n");
    EXPECT_FALSE(QFileInfo::exists(Path("nowhere.txt")));
    EXPECT_TRUE(IsFifo(Path("pipe.md")));
    EXPECT_EQ(Entries(), QStringList({"dangling.md", "folder.md", "link.md", "pipe.md", "target.txt"}));
}

TEST_F(FileWriteQueueTest, AWriteThatFailsLeavesNoPartOfTheFile) {
    WriteFileBytes(Path("old.md"), "short\n");
    {
        FileSizeLimit limit(8);
        for (const Mode mode : {Mode::New, Mode::IfChanged}) {
            EXPECT_TRUE(WriteOne("new.md", "more than eight bytes\n", mode).contains("File too large"));
            EXPECT_TRUE(WriteOne("old.md", "more than eight bytes\n", mode).contains("File too large"));
        }
    }
    // The new file is gone, the old one whole as it was, and no temporary file stays.
    EXPECT_EQ(Entries(), QStringList{"old.md"});
    EXPECT_EQ(ReadFileBytes(Path("old.md")), "short\n");
}

TEST_F(FileWriteQueueTest, ManyFilesThroughSeveralThreadsAllArriveWhole) {
    for (int d = 0; d < 4; ++d) ASSERT_TRUE(QDir().mkpath(Path(QString("d%1").arg(d))));
    auto bytesOf = [](int i) { return QByteArray(100 + i % 37, char('a' + i % 26)) + QByteArray::number(i); };
    // Every third file exists already with its bytes: left unchanged.
    for (int i = 0; i < 300; i += 3) WriteFileBytes(Path(QString("d%1/f%2.md").arg(i % 4).arg(i)), bytesOf(i));
    // A queue far smaller than the files: Put has to wait for room.
    CFileWriteQueue queue(3, 1000);
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(queue.Put(Path(QString("d%1/f%2.md").arg(i % 4).arg(i)), bytesOf(i),
                              i % 3 == 0 ? Mode::IfChanged : Mode::New));
    QString error;
    ASSERT_TRUE(queue.Finish(&error)) << error.toStdString();
    EXPECT_EQ(queue.Written(), 200);
    EXPECT_EQ(queue.Unchanged(), 100);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(ReadFileBytes(Path(QString("d%1/f%2.md").arg(i % 4).arg(i))), bytesOf(i)) << i;
    for (int d = 0; d < 4; ++d) EXPECT_EQ(QDir(Path(QString("d%1").arg(d))).entryList(QDir::Files | QDir::Hidden).size(), 75);
}

TEST_F(FileWriteQueueTest, TheFirstFailureInTheOrderHandedOverIsReportedAndEndsTheQueue) {
    ASSERT_TRUE(QDir().mkpath(Path("ok")));
    CFileWriteQueue queue(2, 64);
    bool refused = false;
    for (int i = 0; i < 2000 && !refused; ++i) {
        // Files 5 and 6 go to a folder that does not exist.
        const QString folder = i == 5 || i == 6 ? "missing" : "ok";
        refused = !queue.Put(Path(QString("%1/f%2.md").arg(folder).arg(i)), QByteArray(50, 'x'), Mode::New);
    }
    // The failure stops the queue from taking more, long before the end.
    EXPECT_TRUE(refused);
    QString error;
    EXPECT_FALSE(queue.Finish(&error));
    EXPECT_TRUE(error.startsWith(QString("Unable to write %1: ").arg(Path("missing/f5.md")))) << error.toStdString();
    EXPECT_LT(queue.Written(), 2000);
    EXPECT_FALSE(QFileInfo::exists(Path("missing")));
}

}  // namespace
