#include "attach/CQuickLZ.h"
#include "attach/basAttachment.h"
#include "db/basDB.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"
#include "util/basFileTools.h"
#include "util/basVariableTools.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// Code text, a binary run with repeats and random bytes: all three paths of the codec.
QByteArray MixedBytes(qsizetype size, quint32 seed) {
    QByteArray out;
    out.reserve(size);
    QRandomGenerator gen(seed);
    const QByteArray code = "for (int i = 0; i < n; ++i) { total += values[i] * 2; }\n";
    while (out.size() < size) {
        switch (gen.bounded(3)) {
        case 0:
            out += code;
            break;
        case 1:
            for (int i = 0; i < 64; ++i) out += char(i % 7 == 0 ? 0 : i);
            break;
        default:
            for (int i = 0; i < 96; ++i) out += char(gen.bounded(256));
        }
    }
    out.truncate(size);
    return out;
}

class AttachmentTest : public StoreTest {
protected:
    void AddItem(int id, const QString& title = QStringLiteral("An item")) {
        Query(QStringLiteral("INSERT INTO tblItem (ID, LastUpdate) VALUES (%1, JulianDay('now'));"
                             "INSERT INTO ftsItem (DOCID, Title, Code) VALUES (%1, %2, 'body');")
                  .arg(id)
                  .arg(SqlQuote(title)));
    }
    QString File(const QString& name, const QByteArray& bytes) {
        const QString path = QDir::toNativeSeparators(env->Path(name));
        WriteFileBytes(path, bytes);
        return path;
    }
    // Every entry of a folder, to catch a stray temporary file.
    QStringList Entries(const QString& folder) {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }
    QVariantList Search(const QString& match) {
        ResultTable t = Query(QStringLiteral("SELECT DOCID FROM ftsItem WHERE ftsItem MATCH ") +
                              SqlQuote(match) + QStringLiteral(" ORDER BY DOCID;"));
        QVariantList ids;
        for (int r = 1; r <= t.RowCount(); ++r) ids << t.Int(r, 0);
        return ids;
    }
};

}  // namespace

TEST_F(AttachmentTest, RoundTripKeepsBytesSizesAndName) {
    AddItem(7);
    const QByteArray bytes = MixedBytes(300000, 1);
    const QString src = File(QStringLiteral("source.dat"), bytes);
    QString error;
    ASSERT_TRUE(SaveAttachment(7, src, &error)) << error.toStdString();
    EXPECT_EQ(Scalar(QStringLiteral("SELECT FileSize FROM tblItem WHERE ID = 7")).toLongLong(),
              bytes.size());
    const QByteArray block = Scalar(QStringLiteral("SELECT FileBLOB FROM tblItem WHERE ID = 7")).toByteArray();
    EXPECT_EQ(CQuickLZ::SizeCompressed(block), block.size());
    EXPECT_EQ(Scalar(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = 7")).toString(),
              QStringLiteral("source.dat"));

    QDir().mkdir(env->Path(QStringLiteral("out")));
    QString target = QDir::toNativeSeparators(env->Path(QStringLiteral("out/back.dat")));
    const QString asked = target;
    ASSERT_TRUE(ExtractAttachment(7, target, true, &error)) << error.toStdString();
    EXPECT_EQ(target, asked);
    EXPECT_TRUE(ReadFileBytes(target) == bytes);
    EXPECT_EQ(Entries(env->Path(QStringLiteral("out"))), QStringList{QStringLiteral("back.dat")});
    // The progress window: three steps on line 0, the path and the stored size, one update at 95.
    const QString stored = FormatByteSize(block.size()) + QStringLiteral(" (compressed)");
    EXPECT_EQ(prompt->progressLines,
              (QStringList{QStringLiteral("Extracting Attachment"), asked, stored,
                           QStringLiteral("Decompressing Attachment"),
                           QStringLiteral("Saving Attachment")}));
    EXPECT_EQ(prompt->progressShows, 1);
    EXPECT_EQ(prompt->progressUpdates, 1);
    EXPECT_EQ(prompt->openProgress, 0);
    EXPECT_TRUE(prompt->Messages().isEmpty());

    // Without the flag no progress window at all.
    QString again = QDir::toNativeSeparators(env->Path(QStringLiteral("again.dat")));
    ASSERT_TRUE(ExtractAttachment(7, again, false, &error));
    EXPECT_EQ(prompt->progressShows, 1);
    EXPECT_TRUE(ReadFileBytes(again) == bytes);
}

TEST_F(AttachmentTest, ReplacingAnAttachmentAndIncompressibleData) {
    AddItem(1);
    QByteArray random(70000, Qt::Uninitialized);
    QRandomGenerator gen(3);
    for (char& c : random) c = char(gen.bounded(256));
    ASSERT_TRUE(SaveAttachment(1, File(QStringLiteral("first.txt"), "first text")));
    ASSERT_TRUE(SaveAttachment(1, File(QStringLiteral("archive.zip"), random)));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = 1")).toString(),
              QStringLiteral("archive.zip"));
    QString out = env->Path(QStringLiteral("x.zip"));
    ASSERT_TRUE(ExtractAttachment(1, out, false));
    EXPECT_TRUE(ReadFileBytes(out) == random);
    // One byte, the smallest file the codec takes.
    ASSERT_TRUE(SaveAttachment(1, File(QStringLiteral("one"), "Z")));
    out = env->Path(QStringLiteral("one-out"));
    ASSERT_TRUE(ExtractAttachment(1, out, false));
    EXPECT_EQ(ReadFileBytes(out), QByteArray("Z"));
}

TEST_F(AttachmentTest, ExtractNeverOverwritesAndNumbersTheName) {
    AddItem(2);
    ASSERT_TRUE(SaveAttachment(2, File(QStringLiteral("notes.txt"), "attached")));
    const QString dir = env->Path(QStringLiteral("t"));
    QDir().mkdir(dir);
    const QString notes = JoinPath(QDir::toNativeSeparators(dir), QStringLiteral("notes.txt"));
    WriteFileBytes(notes, "keep me");
    QString target = notes;
    ASSERT_TRUE(ExtractAttachment(2, target, false));
    EXPECT_EQ(target, JoinPath(QDir::toNativeSeparators(dir), QStringLiteral("notes (1).txt")));
    target = notes;
    ASSERT_TRUE(ExtractAttachment(2, target, false));
    EXPECT_EQ(GetFileName(target), QStringLiteral("notes (2).txt"));
    EXPECT_EQ(ReadFileBytes(notes), QByteArray("keep me"));
    EXPECT_EQ(ReadFileBytes(target), QByteArray("attached"));
    // A NUL ends the name, as the system ends it: it does not get past the free-name check.
    target = notes + QChar(0) + QStringLiteral(".bin");
    ASSERT_TRUE(ExtractAttachment(2, target, false));
    EXPECT_EQ(GetFileName(target), QStringLiteral("notes (3).txt"));
    EXPECT_EQ(ReadFileBytes(notes), QByteArray("keep me"));
    // Without extension; and a folder in the way is never "overwritten" either.
    const QString plain = JoinPath(QDir::toNativeSeparators(dir), QStringLiteral("README"));
    QDir().mkdir(plain);
    target = plain;
    ASSERT_TRUE(ExtractAttachment(2, target, false));
    EXPECT_EQ(target, plain + QStringLiteral(" (1)"));
    EXPECT_EQ(Entries(dir), (QStringList{QStringLiteral("README"), QStringLiteral("README (1)"),
                                         QStringLiteral("notes (1).txt"),
                                         QStringLiteral("notes (2).txt"),
                                         QStringLiteral("notes (3).txt"),
                                         QStringLiteral("notes.txt")}));
}

TEST_F(AttachmentTest, NamesWithQuotesAndSqlAreStoredVerbatimAndSearchable) {
    AddItem(3);
    AddItem(4, QStringLiteral("Other"));
    const QString name = QStringLiteral("o'brien's notes'); DROP TABLE tblItem; --.txt");
    ASSERT_TRUE(SaveAttachment(3, File(name, "quoted")));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = 3")).toString(), name);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM tblItem")).toInt(), 2);
    EXPECT_EQ(Search(QStringLiteral("brien")), QVariantList{3});
    EXPECT_EQ(Search(QStringLiteral("File:drop")), QVariantList{3});
    // A name in another script and spaces survive too.
    const QString uni = QStringLiteral("\u65e5\u672c \u00e9t\u00e9.md");
    ASSERT_TRUE(SaveAttachment(4, File(uni, "u")));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = 4")).toString(), uni);
}

TEST_F(AttachmentTest, EmptyFileIsAnEmptyAttachment) {
    AddItem(5);
    ASSERT_TRUE(SaveAttachment(5, File(QStringLiteral("empty.log"), QByteArray())));
    ResultTable t = Query(QStringLiteral(
        "SELECT FileSize, FileBLOB IS NULL, Length(FileBLOB) FROM tblItem WHERE ID = 5"));
    EXPECT_EQ(t.Int(1, 0), 0);
    EXPECT_EQ(t.Int(1, 1), 0);
    EXPECT_EQ(t.Int(1, 2), 0);
    EXPECT_EQ(Search(QStringLiteral("empty")), QVariantList{5});
    QString out = env->Path(QStringLiteral("empty-out.log"));
    QString error;
    ASSERT_TRUE(ExtractAttachment(5, out, true, &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(out).isFile());
    EXPECT_EQ(QFileInfo(out).size(), 0);
    EXPECT_EQ(prompt->openProgress, 0);
}

TEST_F(AttachmentTest, UnreadableSourceOrMissingTargetFolderChangesNothing) {
    AddItem(6);
    ASSERT_TRUE(SaveAttachment(6, File(QStringLiteral("good.txt"), "good")));
    QString error;
    const QString missing = env->Path(QStringLiteral("missing.txt"));
    EXPECT_FALSE(SaveAttachment(6, missing, &error));
    EXPECT_TRUE(error.contains(missing)) << error.toStdString();
    error.clear();
    EXPECT_FALSE(SaveAttachment(6, env->Root(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("folder"))) << error.toStdString();
    EXPECT_EQ(Scalar(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = 6")).toString(),
              QStringLiteral("good.txt"));
    QString out = env->Path(QStringLiteral("good-out.txt"));
    ASSERT_TRUE(ExtractAttachment(6, out, false));
    EXPECT_EQ(ReadFileBytes(out), QByteArray("good"));
    QString target = env->Path(QStringLiteral("no/such/folder/f.txt"));
    EXPECT_FALSE(ExtractAttachment(6, target, true, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(prompt->openProgress, 0);
    // A full disk says so, and leaves no piece of the file.
    target = env->Path(QStringLiteral("full.txt"));
    {
        FileSizeLimit limit(2);
        EXPECT_FALSE(ExtractAttachment(6, target, false, &error));
    }
    EXPECT_TRUE(error.endsWith(qt_error_string(EFBIG))) << error.toStdString();
    EXPECT_FALSE(Entries(env->Root()).join(',').contains(QStringLiteral("vg-extract")));
}

TEST_F(AttachmentTest, CancelInTheProgressWindowLeavesNoFileAtAll) {
    AddItem(8);
    // Larger than one written piece, so Cancel is heard before the file is written and between
    // its pieces.
    const QByteArray bytes = MixedBytes(40 * 1024 * 1024, 5);
    ASSERT_TRUE(SaveAttachment(8, File(QStringLiteral("big.bin"), bytes)));
    const QString dir = env->Path(QStringLiteral("cancel"));
    QDir().mkdir(dir);
    for (const int cancelAt : {1, 2, 3}) {
        prompt->progressUpdates = 0;
        prompt->cancelAtUpdate = cancelAt;
        QString target = QDir::toNativeSeparators(dir + QStringLiteral("/big.bin"));
        QString error;
        bool cancelled = false;
        EXPECT_FALSE(ExtractAttachment(8, target, true, &error, &cancelled)) << cancelAt;
        EXPECT_TRUE(cancelled) << cancelAt;
        EXPECT_EQ(Entries(dir), QStringList()) << cancelAt;
        EXPECT_EQ(prompt->openProgress, 0);
    }
    // Without Cancel the same extraction is complete, with an update between the pieces.
    prompt->progressUpdates = 0;
    prompt->cancelAtUpdate = 0;
    QString target = QDir::toNativeSeparators(dir + QStringLiteral("/big.bin"));
    bool cancelled = true;
    ASSERT_TRUE(ExtractAttachment(8, target, true, nullptr, &cancelled));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(prompt->progressUpdates, 3);
    EXPECT_TRUE(ReadFileBytes(target) == bytes);
}

TEST_F(AttachmentTest, DamagedBlocksAreReportedAndNothingIsWritten) {
    AddItem(8);
    const QString dir = env->Path(QStringLiteral("d"));
    QDir().mkdir(dir);
    QByteArray good;
    ASSERT_TRUE(CQuickLZ().Compress(MixedBytes(5000, 2), good));
    const QList<std::pair<QByteArray, int>> damaged = {
        {QByteArray::fromHex("0102030405"), 5000},  // no header
        {good.left(good.size() / 2), 5000},         // cut short
        {good + QByteArray("trailing"), 5000},      // longer than it says
        {QByteArray(1, '\x4d'), 5000},              // a lone flag byte
        {good, 4999},                               // not the size of the file attached
    };
    for (const auto& [block, fileSize] : damaged) {
        Query(QStringLiteral("UPDATE tblItem SET FileSize = %2, FileBLOB = X'%1' WHERE ID = 8;")
                  .arg(QString::fromLatin1(block.toHex()))
                  .arg(fileSize));
        QString target = JoinPath(dir, QStringLiteral("x.bin"));
        QString error;
        EXPECT_FALSE(ExtractAttachment(8, target, true, &error)) << block.toHex().toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("damaged"))) << error.toStdString();
        EXPECT_EQ(prompt->openProgress, 0);
    }
    EXPECT_TRUE(Entries(dir).isEmpty()) << Entries(dir).join(QLatin1Char(',')).toStdString();
}

// Caps the address space at what the process uses now plus headroom, while it lives.
class MemoryCap {
public:
    explicit MemoryCap(qint64 headroom) {
        getrlimit(RLIMIT_AS, &m_old);
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        qint64 used = 0;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmSize:")) used = line.mid(7).trimmed().split(' ').first().toLongLong() * 1024;
        rlimit cap = m_old;
        cap.rlim_cur = rlim_t(used + headroom);
        setrlimit(RLIMIT_AS, &cap);
    }
    ~MemoryCap() { setrlimit(RLIMIT_AS, &m_old); }

private:
    rlimit m_old{};
};

TEST_F(AttachmentTest, TooLargeForMemoryFailsInsteadOfEndingTheProgram) {
    AddItem(13);
    ASSERT_TRUE(SaveAttachment(13, File(QStringLiteral("small.txt"), "small")));
    QFile big(env->Path(QStringLiteral("big.bin")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 30));  // sparse
    big.close();
    // A block whose header promises 1 GB.
    QByteArray block(9 + (13 << 20), '\0');
    block[0] = '\x47';
    qToLittleEndian<quint32>(quint32(block.size()), block.data() + 1);
    qToLittleEndian<quint32>(quint32(1) << 30, block.data() + 5);
    AddItem(14);
    Query(QStringLiteral("UPDATE tblItem SET FileSize = 1, FileBLOB = X'%1' WHERE ID = 14;")
              .arg(QString::fromLatin1(block.toHex())));
    block.clear();
    QString saveError, extractError, out = env->Path(QStringLiteral("out.bin"));
    bool saved, extracted;
    {
        MemoryCap cap(qint64(512) << 20);
        saved = SaveAttachment(13, big.fileName(), &saveError);
        extracted = ExtractAttachment(14, out, false, &extractError);
    }
    EXPECT_FALSE(saved);
    EXPECT_TRUE(saveError.contains(QStringLiteral("memory"))) << saveError.toStdString();
    EXPECT_FALSE(extracted);
    EXPECT_TRUE(extractError.contains(QStringLiteral("memory"))) << extractError.toStdString();
    EXPECT_EQ(Scalar(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = 13")).toString(),
              QStringLiteral("small.txt"));
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(AttachmentTest, ClearRemovesBlockSizeAndNameFromSearch) {
    AddItem(9);
    ASSERT_TRUE(SaveAttachment(9, File(QStringLiteral("zebrafile.txt"), "stripes")));
    EXPECT_EQ(Search(QStringLiteral("zebrafile")), QVariantList{9});
    QString error;
    ASSERT_TRUE(ClearAttachment(9, &error)) << error.toStdString();
    ResultTable t = Query(QStringLiteral(
        "SELECT FileSize IS NULL, FileBLOB IS NULL FROM tblItem WHERE ID = 9"));
    EXPECT_EQ(t.Int(1, 0), 1);
    EXPECT_EQ(t.Int(1, 1), 1);
    EXPECT_FALSE(Scalar(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = 9")).isValid());
    EXPECT_TRUE(Search(QStringLiteral("zebrafile")).isEmpty());
    QString out = env->Path(QStringLiteral("none.txt"));
    EXPECT_FALSE(ExtractAttachment(9, out, true, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no attachment"))) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_EQ(prompt->openProgress, 0);
}

TEST_F(AttachmentTest, UnknownItemsFail) {
    const QString src = File(QStringLiteral("a.txt"), "a");
    QString error;
    EXPECT_FALSE(SaveAttachment(404, src, &error));
    EXPECT_EQ(error, QStringLiteral("No such item: 404"));
    EXPECT_FALSE(ClearAttachment(404, &error));
    EXPECT_EQ(error, QStringLiteral("No such item: 404"));
    QString out = env->Path(QStringLiteral("b.txt"));
    EXPECT_FALSE(ExtractAttachment(404, out, false, &error));
    EXPECT_EQ(error, QStringLiteral("No such item: 404"));
    // An item whose text row is missing: the block is rolled back with the name.
    Query(QStringLiteral("INSERT INTO tblItem (ID) VALUES (405);"));
    EXPECT_FALSE(SaveAttachment(405, src, &error));
    EXPECT_TRUE(Scalar(QStringLiteral("SELECT FileBLOB IS NULL FROM tblItem WHERE ID = 405")).toBool());
}

TEST_F(AttachmentTest, StatementFailuresAreFailures) {
    AddItem(10);
    ASSERT_TRUE(SaveAttachment(10, File(QStringLiteral("keep.txt"), "keep")));
    const QString src = File(QStringLiteral("new.txt"), "new");
    ASSERT_NO_FATAL_FAILURE(ReopenReadOnly());
    QString error;
    EXPECT_FALSE(SaveAttachment(10, src, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("readonly"))) << error.toStdString();
    EXPECT_FALSE(ClearAttachment(10, &error));
    QString out = env->Path(QStringLiteral("ro.txt"));
    EXPECT_TRUE(ExtractAttachment(10, out, false, &error)) << error.toStdString();
    EXPECT_EQ(ReadFileBytes(out), QByteArray("keep"));
}

TEST_F(AttachmentTest, InsideTheCallersTransaction) {
    AddItem(12);
    Query(QStringLiteral("BEGIN TRANSACTION;"));
    ASSERT_TRUE(SaveAttachment(12, File(QStringLiteral("tx.txt"), "tx")));
    Query(QStringLiteral("ROLLBACK TRANSACTION;"));
    EXPECT_TRUE(Scalar(QStringLiteral("SELECT FileBLOB IS NULL FROM tblItem WHERE ID = 12")).toBool());
    Query(QStringLiteral("BEGIN TRANSACTION;"));
    ASSERT_TRUE(SaveAttachment(12, File(QStringLiteral("tx.txt"), "tx")));
    Query(QStringLiteral("COMMIT TRANSACTION;"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT File FROM ftsItem WHERE DOCID = 12")).toString(),
              QStringLiteral("tx.txt"));
}
