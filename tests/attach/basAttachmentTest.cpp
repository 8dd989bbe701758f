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
    void AddItem(int id, const QString& title = "An item") {
        Query(QString("INSERT INTO tblItem (ID, LastUpdate) VALUES (%1, JulianDay('now'));"
                      "INSERT INTO ftsItem (DOCID, Title, Code) VALUES (%1, %2, 'body');")
                  .arg(id)
                  .arg(SqlQuote(title)));
    }
    // An item with an attachment saved from a file of that name.
    void AddAttached(int id, const QString& name, const QByteArray& bytes) {
        AddItem(id);
        QString error;
        ASSERT_TRUE(SaveAttachment(id, File(name, bytes), &error)) << error.toStdString();
    }
    QString File(const QString& name, const QByteArray& bytes) {
        const QString path = QDir::toNativeSeparators(env->Path(name));
        WriteFileBytes(path, bytes);
        return path;
    }
    // The attachment extracted without progress window to a new file of that name.
    QByteArray Extracted(int id, const QString& name) {
        QString target = env->Path(name), error;
        EXPECT_TRUE(ExtractAttachment(id, target, false, &error)) << error.toStdString();
        return ReadFileBytes(target);
    }
    QString StoredName(int id) {
        return Scalar("SELECT File FROM ftsItem WHERE DOCID = " + QString::number(id)).toString();
    }
    // Every entry of a folder, to catch a stray temporary file.
    QStringList Entries(const QString& folder) {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QVariantList Search(const QString& match) {
        ResultTable t = Query("SELECT DOCID FROM ftsItem WHERE ftsItem MATCH " + SqlQuote(match) + " ORDER BY DOCID;");
        QVariantList ids;
        for (int r = 1; r <= t.RowCount(); ++r) ids << t.Int(r, 0);
        return ids;
    }
};

}  // namespace

TEST_F(AttachmentTest, RoundTripKeepsBytesSizesAndName) {
    const QByteArray bytes = MixedBytes(300000, 1);
    AddAttached(7, "source.dat", bytes);
    EXPECT_EQ(Scalar("SELECT FileSize FROM tblItem WHERE ID = 7").toLongLong(), bytes.size());
    const QByteArray block = Scalar("SELECT FileBLOB FROM tblItem WHERE ID = 7").toByteArray();
    EXPECT_EQ(CQuickLZ::SizeCompressed(block), block.size());
    EXPECT_EQ(StoredName(7), "source.dat");

    QDir().mkdir(env->Path("out"));
    QString target = QDir::toNativeSeparators(env->Path("out/back.dat")), error;
    const QString asked = target;
    ASSERT_TRUE(ExtractAttachment(7, target, true, &error)) << error.toStdString();
    EXPECT_EQ(target, asked);
    EXPECT_TRUE(ReadFileBytes(target) == bytes);
    EXPECT_EQ(Entries(env->Path("out")), QStringList{"back.dat"});
    // The progress window: three steps on line 0, the path and the stored size, one update at 95.
    const QString stored = FormatByteSize(block.size()) + " (compressed)";
    EXPECT_EQ(prompt->progressLines, (QStringList{"Extracting Attachment", asked, stored,
                                                  "Decompressing Attachment", "Saving Attachment"}));
    EXPECT_EQ(prompt->progressShows, 1);
    EXPECT_EQ(prompt->progressUpdates, 1);
    EXPECT_EQ(prompt->openProgress, 0);
    EXPECT_TRUE(prompt->Messages().isEmpty());

    // Without the flag no progress window at all.
    EXPECT_TRUE(Extracted(7, "again.dat") == bytes);
    EXPECT_EQ(prompt->progressShows, 1);
}

TEST_F(AttachmentTest, ReplacingAnAttachmentAndIncompressibleData) {
    QByteArray random(70000, Qt::Uninitialized);
    QRandomGenerator gen(3);
    for (char& c : random) c = char(gen.bounded(256));
    AddAttached(1, "first.txt", "first text");
    ASSERT_TRUE(SaveAttachment(1, File("archive.zip", random)));
    EXPECT_EQ(StoredName(1), "archive.zip");
    EXPECT_TRUE(Extracted(1, "x.zip") == random);
    // One byte, the smallest file the codec takes.
    ASSERT_TRUE(SaveAttachment(1, File("one", "Z")));
    EXPECT_EQ(Extracted(1, "one-out"), QByteArray("Z"));
}

TEST_F(AttachmentTest, ExtractNeverOverwritesAndNumbersTheName) {
    AddAttached(2, "notes.txt", "attached");
    const QString dir = QDir::toNativeSeparators(env->Path("t"));
    QDir().mkdir(dir);
    const QString notes = JoinPath(dir, "notes.txt");
    WriteFileBytes(notes, "keep me");
    // A NUL ends the name, as the system ends it: it does not get past the free-name check.
    const QString withNul = notes + QChar(0) + ".bin";
    const QString plain = JoinPath(dir, "README");
    QDir().mkdir(plain);  // a folder in the way is never "overwritten" either
    const std::pair<QString, QString> cases[] = {
        {notes, "notes (1).txt"}, {notes, "notes (2).txt"}, {withNul, "notes (3).txt"}, {plain, "README (1)"}};
    for (const auto& [asked, expected] : cases) {
        QString target = asked;
        ASSERT_TRUE(ExtractAttachment(2, target, false));
        EXPECT_EQ(target, JoinPath(dir, expected));
        EXPECT_EQ(ReadFileBytes(target), QByteArray("attached"));
    }
    EXPECT_EQ(ReadFileBytes(notes), QByteArray("keep me"));
    EXPECT_EQ(Entries(dir), (QStringList{"README", "README (1)", "notes (1).txt", "notes (2).txt",
                                         "notes (3).txt", "notes.txt"}));
}

TEST_F(AttachmentTest, NamesWithQuotesAndSqlAreStoredVerbatimAndSearchable) {
    AddItem(3);
    AddItem(4, "Other");
    const QString name = "o'brien's notes'); DROP TABLE tblItem; --.txt";
    ASSERT_TRUE(SaveAttachment(3, File(name, "quoted")));
    EXPECT_EQ(StoredName(3), name);
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItem").toInt(), 2);
    EXPECT_EQ(Search("brien"), QVariantList{3});
    EXPECT_EQ(Search("File:drop"), QVariantList{3});
    // A name in another script and spaces survive too.
    const QString uni = QString::fromUtf8("\u65e5\u672c \u00e9t\u00e9.md");
    ASSERT_TRUE(SaveAttachment(4, File(uni, "u")));
    EXPECT_EQ(StoredName(4), uni);
}

TEST_F(AttachmentTest, EmptyFileIsAnEmptyAttachment) {
    AddAttached(5, "empty.log", QByteArray());
    // Size 0 and an empty block, not NULL.
    EXPECT_EQ(Scalar("SELECT FileSize || ',' || (FileBLOB IS NULL) || ',' || Length(FileBLOB) FROM tblItem "
                     "WHERE ID = 5").toString(), "0,0,0");
    EXPECT_EQ(Search("empty"), QVariantList{5});
    QString out = env->Path("empty-out.log"), error;
    ASSERT_TRUE(ExtractAttachment(5, out, true, &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(out).isFile());
    EXPECT_EQ(QFileInfo(out).size(), 0);
    EXPECT_EQ(prompt->openProgress, 0);
}

TEST_F(AttachmentTest, UnreadableSourceOrMissingTargetFolderChangesNothing) {
    AddAttached(6, "good.txt", "good");
    QString error;
    const QString missing = env->Path("missing.txt");
    EXPECT_FALSE(SaveAttachment(6, missing, &error));
    EXPECT_TRUE(error.contains(missing)) << error.toStdString();
    error.clear();
    EXPECT_FALSE(SaveAttachment(6, env->Root(), &error));
    EXPECT_TRUE(error.contains("folder")) << error.toStdString();
    EXPECT_EQ(StoredName(6), "good.txt");
    EXPECT_EQ(Extracted(6, "good-out.txt"), QByteArray("good"));
    QString target = env->Path("no/such/folder/f.txt");
    EXPECT_FALSE(ExtractAttachment(6, target, true, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(prompt->openProgress, 0);
    // A full disk says so, and leaves no piece of the file.
    target = env->Path("full.txt");
    {
        FileSizeLimit limit(2);
        EXPECT_FALSE(ExtractAttachment(6, target, false, &error));
    }
    EXPECT_TRUE(error.endsWith(qt_error_string(EFBIG))) << error.toStdString();
    EXPECT_FALSE(Entries(env->Root()).join(',').contains("vg-extract"));
}

TEST_F(AttachmentTest, CancelInTheProgressWindowLeavesNoFileAtAll) {
    // Larger than one written piece, so Cancel is heard before the file is written and between
    // its pieces.
    const QByteArray bytes = MixedBytes(40 * 1024 * 1024, 5);
    AddAttached(8, "big.bin", bytes);
    const QString dir = env->Path("cancel");
    QDir().mkdir(dir);
    const QString asked = QDir::toNativeSeparators(dir + "/big.bin");
    for (const int cancelAt : {1, 2, 3}) {
        prompt->progressUpdates = 0;
        prompt->cancelAtUpdate = cancelAt;
        QString target = asked, error;
        bool cancelled = false;
        EXPECT_FALSE(ExtractAttachment(8, target, true, &error, &cancelled)) << cancelAt;
        EXPECT_TRUE(cancelled) << cancelAt;
        EXPECT_EQ(Entries(dir), QStringList()) << cancelAt;
        EXPECT_EQ(prompt->openProgress, 0);
    }
    // Without Cancel the same extraction is complete, with an update between the pieces.
    prompt->progressUpdates = 0;
    prompt->cancelAtUpdate = 0;
    QString target = asked;
    bool cancelled = true;
    ASSERT_TRUE(ExtractAttachment(8, target, true, nullptr, &cancelled));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(prompt->progressUpdates, 3);
    EXPECT_TRUE(ReadFileBytes(target) == bytes);
}

TEST_F(AttachmentTest, DamagedBlocksAreReportedAndNothingIsWritten) {
    AddItem(8);
    const QString dir = env->Path("d");
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
        Query(QString("UPDATE tblItem SET FileSize = %2, FileBLOB = X'%1' WHERE ID = 8;")
                  .arg(QString::fromLatin1(block.toHex()))
                  .arg(fileSize));
        QString target = JoinPath(dir, "x.bin"), error;
        EXPECT_FALSE(ExtractAttachment(8, target, true, &error)) << block.toHex().toStdString();
        EXPECT_TRUE(error.contains("damaged")) << error.toStdString();
        EXPECT_EQ(prompt->openProgress, 0);
    }
    EXPECT_TRUE(Entries(dir).isEmpty()) << Entries(dir).join(',').toStdString();
}

// Caps the address space at what the process uses now plus headroom, while it lives.
class MemoryCap {
public:
    explicit MemoryCap(qint64 headroom) {
        getrlimit(RLIMIT_AS, &m_old);
        QFile status("/proc/self/status");
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
    AddAttached(13, "small.txt", "small");
    QFile big(env->Path("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 30));  // sparse
    big.close();
    // A block whose header promises 1 GB.
    QByteArray block(9 + (13 << 20), '\0');
    block[0] = '\x47';
    qToLittleEndian<quint32>(quint32(block.size()), block.data() + 1);
    qToLittleEndian<quint32>(quint32(1) << 30, block.data() + 5);
    AddItem(14);
    Query(QString("UPDATE tblItem SET FileSize = 1, FileBLOB = X'%1' WHERE ID = 14;")
              .arg(QString::fromLatin1(block.toHex())));
    block.clear();
    QString saveError, extractError, out = env->Path("out.bin");
    bool saved, extracted;
    {
        MemoryCap cap(qint64(512) << 20);
        saved = SaveAttachment(13, big.fileName(), &saveError);
        extracted = ExtractAttachment(14, out, false, &extractError);
    }
    EXPECT_FALSE(saved);
    EXPECT_TRUE(saveError.contains("memory")) << saveError.toStdString();
    EXPECT_FALSE(extracted);
    EXPECT_TRUE(extractError.contains("memory")) << extractError.toStdString();
    EXPECT_EQ(StoredName(13), "small.txt");
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(AttachmentTest, ClearRemovesBlockSizeAndNameFromSearch) {
    AddAttached(9, "zebrafile.txt", "stripes");
    EXPECT_EQ(Search("zebrafile"), QVariantList{9});
    QString error;
    ASSERT_TRUE(ClearAttachment(9, &error)) << error.toStdString();
    EXPECT_EQ(Scalar("SELECT (FileSize IS NULL) + (FileBLOB IS NULL) FROM tblItem WHERE ID = 9").toInt(), 2);
    EXPECT_FALSE(Scalar("SELECT File FROM ftsItem WHERE DOCID = 9").isValid());
    EXPECT_TRUE(Search("zebrafile").isEmpty());
    QString out = env->Path("none.txt");
    EXPECT_FALSE(ExtractAttachment(9, out, true, &error));
    EXPECT_TRUE(error.contains("no attachment")) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_EQ(prompt->openProgress, 0);
}

TEST_F(AttachmentTest, UnknownItemsFail) {
    const QString src = File("a.txt", "a");
    QString error, out = env->Path("b.txt");
    EXPECT_FALSE(SaveAttachment(404, src, &error));
    EXPECT_EQ(error, "No such item: 404");
    EXPECT_FALSE(ClearAttachment(404, &error));
    EXPECT_EQ(error, "No such item: 404");
    EXPECT_FALSE(ExtractAttachment(404, out, false, &error));
    EXPECT_EQ(error, "No such item: 404");
    // An item whose text row is missing: the block is rolled back with the name.
    Query("INSERT INTO tblItem (ID) VALUES (405);");
    EXPECT_FALSE(SaveAttachment(405, src, &error));
    EXPECT_TRUE(Scalar("SELECT FileBLOB IS NULL FROM tblItem WHERE ID = 405").toBool());
}

TEST_F(AttachmentTest, StatementFailuresAreFailures) {
    AddAttached(10, "keep.txt", "keep");
    const QString src = File("new.txt", "new");
    ASSERT_NO_FATAL_FAILURE(ReopenReadOnly());
    QString error;
    EXPECT_FALSE(SaveAttachment(10, src, &error));
    EXPECT_TRUE(error.contains("readonly")) << error.toStdString();
    EXPECT_FALSE(ClearAttachment(10, &error));
    EXPECT_EQ(Extracted(10, "ro.txt"), QByteArray("keep"));
}

TEST_F(AttachmentTest, InsideTheCallersTransaction) {
    AddItem(12);
    for (const bool commit : {false, true}) {
        Query("BEGIN TRANSACTION;");
        ASSERT_TRUE(SaveAttachment(12, File("tx.txt", "tx")));
        Query(commit ? "COMMIT TRANSACTION;" : "ROLLBACK TRANSACTION;");
        EXPECT_EQ(Scalar("SELECT FileBLOB IS NULL FROM tblItem WHERE ID = 12").toBool(), !commit);
        EXPECT_EQ(StoredName(12), commit ? "tx.txt" : "");
    }
}
