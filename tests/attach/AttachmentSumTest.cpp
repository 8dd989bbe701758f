// The checksum of an attachment's original bytes, checked on every extraction.
#include "attach/CQuickLZ.h"
#include "attach/basAttachment.h"
#include "db/basDB.h"
#include "db/basDBAttachmentSums.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"
#include "util/basFileTools.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

class AttachmentSumTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        Query(
            "INSERT INTO tblItem (ID, LastUpdate) VALUES (1, JulianDay('now'));"
            "INSERT INTO ftsItem (DOCID, Title, Code) VALUES (1, 'Item', 'body');");
        for (int i = 0; i < 40; ++i) original += "row " + QByteArray::number(i * 37 % 11) + "\tvalue\n";
        const QString file = env->Path("source.txt");
        WriteFileBytes(file, original);
        QString error;
        ASSERT_TRUE(SaveAttachment(1, file, &error)) << error.toStdString();
        stored = Scalar("SELECT FileBLOB FROM tblItem WHERE ID = 1").toByteArray();
        out = env->Path("out");
        QDir().mkpath(out);
    }
    void Store(const QByteArray& block) {
        ASSERT_EQ(gDB->RunWithBlob("UPDATE tblItem SET FileBLOB = ?1 WHERE ID = 1", block), QString());
    }
    // Extracts silently; the bytes written, or empty with why.
    QByteArray Extract(QString* why, bool* changed = nullptr, bool writeChanged = false) {
        QString target = JoinPath(out, QString("x%1.bin").arg(++count));
        if (!ExtractAttachment(*gDB, 1, target, false, why, nullptr, changed, writeChanged)) return {};
        return ReadFileBytes(target);
    }
    QStringList Written() { return QDir(out).entryList(QDir::Files | QDir::Hidden); }

    QByteArray original, stored;
    QString out;
    int count = 0;
};

// Every single-byte change of the block either fails as damaged or as changed since it was
// stored, writing nothing; none gives other bytes as the attachment.
TEST_F(AttachmentSumTest, SingleByteCorruptionsNeverExtractAsTheAttachment) {
    int changedCount = 0;
    for (qsizetype at = 0; at < stored.size(); ++at)
        for (const char flip : {'\x01', '\x80', '\xff'}) {
            QByteArray block = stored;
            block[at] = char(block[at] ^ flip);
            Store(block);
            QString why;
            bool changed = false;
            const QByteArray got = Extract(&why, &changed);
            // A change the decoder ignores (an unused header bit) gives the attachment itself.
            if (!got.isEmpty()) {
                EXPECT_EQ(got, original) << "byte " << at;
                continue;
            }
            EXPECT_TRUE(why.contains("damaged") || why == AttachmentChangedText()) << at << why.toStdString();
            changedCount += changed;
        }
    for (const QString& name : Written()) EXPECT_EQ(ReadFileBytes(JoinPath(out, name)), original) << name.toStdString();
    // Many changes decode cleanly: only the checksum tells them.
    EXPECT_GT(changedCount, 0);
}

TEST_F(AttachmentSumTest, ChangedBytesAreWrittenOnlyWhenTheUserInsists) {
    // Same length, same size, other bytes: the block format cannot tell.
    QByteArray block, other;
    for (qsizetype at = stored.size() - 1; at > 0 && other.isEmpty(); --at) {
        block = stored;
        block[at] = char(block[at] ^ 0x01);
        if (!CQuickLZ().Decompress(block, other) || other == original) other.clear();
    }
    ASSERT_EQ(other.size(), original.size());
    Store(block);
    QString why;
    bool changed = false;
    EXPECT_TRUE(Extract(&why, &changed).isEmpty());
    EXPECT_EQ(why, AttachmentChangedText());
    EXPECT_TRUE(changed);
    EXPECT_EQ(Extract(&why, &changed, true), other);
    // The window asks; No writes nothing, Yes writes.
    for (const int answer : {CPrompt::vbNo, CPrompt::vbYes}) {
        prompt->answers = {answer};
        QString target = JoinPath(out, QString("asked%1.bin").arg(answer));
        EXPECT_EQ(ExtractAttachment(1, target, false), answer == CPrompt::vbYes);
        EXPECT_EQ(QFile::exists(target), answer == CPrompt::vbYes);
    }
    EXPECT_TRUE(prompt->Messages().first().startsWith(AttachmentChangedText()));
}

TEST_F(AttachmentSumTest, AttachmentsWithoutChecksumAndTextBlocks) {
    // Stored before checksums were kept, or replaced by a program that keeps none: as before.
    QString why;
    Query("DELETE FROM vgAttachmentSum");
    EXPECT_EQ(Extract(&why), original) << why.toStdString();
    QByteArray other = original + "more";
    QByteArray block;
    ASSERT_TRUE(CQuickLZ().Compress(other, block));
    ASSERT_TRUE(SaveAttachment(1, [&] {
        const QString f = env->Path("again.txt");
        WriteFileBytes(f, original);
        return f;
    }()));
    Query("UPDATE tblItem SET FileSize = " + QString::number(other.size()) + " WHERE ID = 1");
    Store(block);
    EXPECT_EQ(Extract(&why), other) << why.toStdString();
    // Removing the attachment removes its checksum; text in the block's place is named as such.
    ASSERT_TRUE(ClearAttachment(1));
    EXPECT_EQ(Scalar("SELECT Count(*) FROM vgAttachmentSum").toInt(), 0);
    Query("UPDATE tblItem SET FileSize = 3, FileBLOB = 'abc' WHERE ID = 1");
    EXPECT_TRUE(Extract(&why).isEmpty());
    EXPECT_EQ(why, "The stored attachment is damaged: it is stored as text, not as a compressed block");
}

}  // namespace
