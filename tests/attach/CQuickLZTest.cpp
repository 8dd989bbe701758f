// The codec against blocks written by the QuickLZ library, round trips around the format's
// thresholds, and damaged or lying blocks.
#include "attach/CQuickLZ.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <gtest/gtest.h>

#include <random>

namespace {

QString GoldenDir() { return QStringLiteral(VG_SHARED_DIR "/testdata/quicklz"); }

QStringList GoldenNames() {
    QStringList names;
    for (const QString& file : QDir(GoldenDir()).entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name))
        names << QFileInfo(file).completeBaseName();
    return names;
}

QByteArray Golden(const QString& name, const QString& suffix) {
    return ReadFileBytes(GoldenDir() + QLatin1Char('/') + name + suffix);
}

QByteArray RandomBytes(qsizetype n, unsigned seed) {
    std::mt19937 rng(seed);
    QByteArray b(n, Qt::Uninitialized);
    for (auto& c : b) c = char(rng() & 0xFF);
    return b;
}

// Text-like data with repeats at many distances, from a small vocabulary.
QByteArray WordBytes(qsizetype n, unsigned seed) {
    static const char* words[] = {"int ", "return ", "if (", ") {\n", "}\n", "    ", "value", "count",
                                  "= ", "+ 1;", "for ", "while ", "nullptr", "const ", "auto ", "\t"};
    std::mt19937 rng(seed);
    QByteArray b;
    while (b.size() < n) b += words[rng() % 16];
    b.truncate(n);
    return b;
}

// Runs of single bytes with random lengths: exercises the run rule and overlapping copies.
QByteArray RunBytes(qsizetype n, unsigned seed) {
    std::mt19937 rng(seed);
    QByteArray b;
    while (b.size() < n) b += QByteArray(qsizetype(rng() % 40 + 1), char('a' + rng() % 3));
    b.truncate(n);
    return b;
}

QByteArray Block(std::initializer_list<int> bytes) {
    QByteArray b;
    for (int v : bytes) b += char(v);
    return b;
}

// A short-header block of the given level around a hand-made payload.
QByteArray Made(int level, int size, const QByteArray& payload, bool compressed = true) {
    return Block({0x40 | level << 2 | (compressed ? 1 : 0), int(3 + payload.size()), size}) + payload;
}

void ExpectRoundTrip(const QByteArray& data, const char* what) {
    SCOPED_TRACE(testing::Message() << what << " size " << data.size());
    CQuickLZ codec;
    QByteArray block;
    QString error;
    ASSERT_TRUE(codec.Compress(data, block, &error)) << error.toStdString();
    EXPECT_LE(block.size(), data.size() + 400);
    EXPECT_EQ(CQuickLZ::SizeCompressed(block), block.size());
    EXPECT_EQ(CQuickLZ::SizeDecompressed(block), data.size());
    EXPECT_EQ((uchar(block[0]) & 2) != 0, data.size() >= 216);
    QByteArray back;
    ASSERT_TRUE(codec.Decompress(block, back, &error)) << error.toStdString();
    EXPECT_TRUE(back == data);
}

// Decoding must fail with a reason and leave no data, or (for a change the format cannot see)
// give exactly the size the header promises.
void ExpectCleanResult(const QByteArray& block) {
    CQuickLZ codec;
    QByteArray data("stale");
    QString error;
    if (codec.Decompress(block, data, &error)) {
        EXPECT_EQ(data.size(), CQuickLZ::SizeDecompressed(block));
    } else {
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(data.isEmpty());
    }
}

}  // namespace

TEST(CQuickLZGolden, EveryLibraryBlockDecodesAndLevel1EncodesIdentically) {
    const QStringList names = GoldenNames();
    ASSERT_GE(names.size(), 17) << "golden blocks missing in " << GoldenDir().toStdString();
    CQuickLZ codec;  // one object for all: no block may see state left by another
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray data = Golden(name, QStringLiteral(".bin"));
        ASSERT_FALSE(data.isEmpty());
        for (const char* level : {".L1.qlz", ".L2.qlz", ".L3.qlz"}) {
            SCOPED_TRACE(level);
            const QByteArray block = Golden(name, QLatin1String(level));
            ASSERT_FALSE(block.isEmpty());
            EXPECT_EQ(CQuickLZ::SizeCompressed(block), block.size());
            EXPECT_EQ(CQuickLZ::SizeDecompressed(block), data.size());
            QByteArray out;
            QString error;
            EXPECT_TRUE(codec.Decompress(block, out, &error)) << error.toStdString();
            EXPECT_TRUE(out == data);
            // Bytes after the block are not part of it.
            EXPECT_TRUE(codec.Decompress(block + QByteArray(50, '\xAA'), out) && out == data);
        }
        QByteArray encoded;
        ASSERT_TRUE(codec.Compress(data, encoded));
        const QByteArray expected = Golden(name, QStringLiteral(".L1.qlz"));
        EXPECT_EQ(encoded.size(), expected.size());
        EXPECT_TRUE(encoded == expected) << "first difference at "
                                         << std::mismatch(encoded.begin(), encoded.end(), expected.begin(),
                                                          expected.end()).first - encoded.begin();
    }
}

TEST(CQuickLZRoundTrip, EverySmallSizeAndTheFormatsThresholds) {
    for (qsizetype n = 1; n <= 20; ++n) {
        ExpectRoundTrip(RandomBytes(n, unsigned(n)), "random");
        ExpectRoundTrip(QByteArray(n, 'x'), "one byte");
        ExpectRoundTrip(WordBytes(n, unsigned(n)), "words");
        ExpectRoundTrip(RunBytes(n, unsigned(n)), "runs");
    }
    // Header form (216), control-word groups (31 items), the token forms (17/18) and the
    // longest match (255) sit around these sizes.
    for (qsizetype n : {30, 31, 32, 33, 42, 43, 62, 63, 64, 214, 215, 216, 217, 255, 256, 257, 258, 259,
                        262, 263, 270, 511, 512, 4096, 65536, 65537}) {
        ExpectRoundTrip(RandomBytes(n, unsigned(n)), "random");
        ExpectRoundTrip(QByteArray(n, '\0'), "zeros");
        ExpectRoundTrip(WordBytes(n, unsigned(n)), "words");
        ExpectRoundTrip(RunBytes(n, unsigned(n)), "runs");
    }
}

TEST(CQuickLZRoundTrip, MatchLengthsAroundTheTokenForms) {
    // A 300-byte unique prefix repeated once: one match of each length from a fixed distance.
    const QByteArray unique = RandomBytes(300, 7);
    for (int len : {3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 18, 19, 31, 32, 33, 254, 255, 256, 257, 280}) {
        QByteArray data = unique;
        data += unique.left(len);
        data += RandomBytes(40, unsigned(len));  // keeps the match clear of the tail
        ExpectRoundTrip(data, "match");
    }
}

TEST(CQuickLZRoundTrip, LargeMixedInputs) {
    std::mt19937 rng(99);
    for (int i = 0; i < 40; ++i) {
        const qsizetype n = qsizetype(rng() % 200000 + 1);
        QByteArray data;
        while (data.size() < n) {
            switch (rng() % 4) {
            case 0: data += RandomBytes(qsizetype(rng() % 3000), rng()); break;
            case 1: data += WordBytes(qsizetype(rng() % 5000), rng()); break;
            case 2: data += RunBytes(qsizetype(rng() % 2000), rng()); break;
            default: data += data.right(qsizetype(rng() % 1000)); break;
            }
        }
        data.truncate(n);
        ExpectRoundTrip(data, "mixed");
    }
}

TEST(CQuickLZCompress, StoredRandomDataSameBlocksEverywhereAndEmptySourceRefused) {
    CQuickLZ codec;
    for (qsizetype n : {1000, 100000}) {
        const QByteArray data = RandomBytes(n, 3);
        QByteArray block;
        ASSERT_TRUE(codec.Compress(data, block));
        EXPECT_EQ(uchar(block[0]) & 1, 0) << "random data should be stored";
        EXPECT_EQ(block.size(), n + 9);
        EXPECT_TRUE(block.mid(9) == data);
    }
    // No state carries over between calls or objects.
    const QByteArray a = WordBytes(50000, 1);
    CQuickLZ second;
    QByteArray a1, b1, a2, a3;
    ASSERT_TRUE(codec.Compress(a, a1));
    ASSERT_TRUE(codec.Compress(RunBytes(30000, 2), b1));
    ASSERT_TRUE(codec.Compress(a, a2));
    ASSERT_TRUE(second.Compress(a, a3));
    EXPECT_TRUE(a1 == a2);
    EXPECT_TRUE(a1 == a3);
    EXPECT_LT(a1.size(), a.size() / 2);

    QByteArray block("old");
    QString error;
    EXPECT_FALSE(codec.Compress(QByteArrayView(), block, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(block.isEmpty());
}

TEST(CQuickLZCompress, OutputBuffersMayBeReusedOrBeTheInput) {
    const QByteArray text = WordBytes(20000, 4);
    CQuickLZ codec;
    QByteArray expected;
    ASSERT_TRUE(codec.Compress(text, expected));
    // A large buffer from an earlier call is reused; nothing of its old content may show.
    QByteArray block(300000, 'Z');
    ASSERT_TRUE(codec.Compress(text, block));
    EXPECT_TRUE(block == expected);
    QByteArray data(300000, 'Z');
    ASSERT_TRUE(codec.Decompress(block, data));
    EXPECT_TRUE(data == text);
    // The input may live in the output buffer itself.
    QByteArray same = text;
    ASSERT_TRUE(codec.Compress(same, same));
    EXPECT_TRUE(same == expected);
    ASSERT_TRUE(codec.Decompress(same, same));
    EXPECT_TRUE(same == text);
    // A shared output buffer is not written through.
    QByteArray shared(300000, 'Y');
    const QByteArray copy = shared;
    ASSERT_TRUE(codec.Decompress(block, shared));
    EXPECT_TRUE(shared == text);
    EXPECT_EQ(copy, QByteArray(300000, 'Y'));
    // A failure leaves the output empty even when it held data.
    EXPECT_FALSE(codec.Decompress(block.left(100), data));
    EXPECT_TRUE(data.isEmpty());
}

TEST(CQuickLZDecode, TailIgnoresControlBitsButStepsOverControlWords) {
    // 40 literal bytes: the tail starts at item 29, the word due before item 31 is not read.
    const QByteArray data = RandomBytes(40, 5);
    CQuickLZ codec;
    QByteArray block;
    ASSERT_TRUE(codec.Compress(data, block));
    ASSERT_EQ(block.size(), 3 + 4 + 31 + 4 + 9);
    QByteArray patched = block;
    patched.replace(3 + 4 + 31, 4, QByteArray("\xFF\xFF\xFF\x7F", 4));
    QByteArray out;
    ASSERT_TRUE(codec.Decompress(patched, out));
    EXPECT_TRUE(out == data);

    // Five bytes: every item is in the tail, so "match" bits after the first literal are ignored.
    const QByteArray five = Block({0x45, 12, 5, 0x1E, 0, 0, 0x80, 'a', 'b', 'c', 'd', 'e'});
    ASSERT_TRUE(codec.Decompress(five, out));
    EXPECT_EQ(out, QByteArray("abcde"));
}

TEST(CQuickLZDecode, HandMadeDefectsAreRefused) {
    struct Case {
        const char* what;
        QByteArray block;
    };
    const QByteArray lits12 = QByteArray(12, 'q');
    const Case cases[] = {
        {"empty", QByteArray()},
        {"bit 6 clear", Block({0x05, 12, 1, 0, 0, 0, 0x80, 'a', 0, 0, 0, 0})},
        {"bit 7 set", Block({0xC5, 12, 1, 0, 0, 0, 0x80, 'a', 0, 0, 0, 0})},
        {"level 0", Block({0x41, 12, 1, 0, 0, 0, 0x80, 'a', 0, 0, 0, 0})},
        {"short header cut", Block({0x45, 12})},
        {"long header cut", Block({0x47, 12, 0, 0, 0, 1, 0, 0})},
        {"length beyond the bytes", Block({0x45, 13, 1, 0, 0, 0, 0x80, 'a', 0, 0, 0, 0})},
        {"length inside the header", Block({0x45, 2, 1, 0, 0, 0, 0x80, 'a', 0, 0, 0, 0})},
        {"no data", Block({0x45, 12, 0, 0, 0, 0, 0x80, 'a', 0, 0, 0, 0})},
        {"stored too short", Block({0x44, 5, 3, 'a', 'b'})},
        {"stored too long", Block({0x44, 7, 3, 'a', 'b', 'c', 'd'})},
        {"first item a match", Block({0x45, 12, 20, 1, 0, 0, 0x80, 0x11, 0x00, 0, 0, 0})},
        {"control word without marker", QByteArray(Block({0x45, 27, 20, 0, 0, 0, 0})) + lits12 + Block({0, 0, 0, 0, 0, 0, 0, 0})},
        {"level 3 distance beyond output", Made(3, 40, Block({0, 0x10, 0, 0x80}) + lits12 + Block({4 * 20, 'a', 'b', 'c', 'd', 'e'}))},
        {"level 3 distance below 3", Made(3, 40, Block({0, 0x10, 0, 0x80}) + lits12 + Block({4 * 2, 'a', 'b', 'c', 'd', 'e'}))},
        {"match runs into the last 4 bytes", Made(3, 20, Block({0, 2, 0, 0x80}) + QByteArray("abcdefghi") + Block({0x56, 0x02}) + QByteArray("WXYZ"))},
        {"level 1 length byte below 3", Made(1, 40, Block({0, 0x10, 0, 0x80}) + lits12 + Block({0x10, 0, 2}) + lits12)},
        {"literals run out", Block({0x45, 10, 20, 0, 0, 0, 0x80, 'a', 'b', 'c'})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CQuickLZ codec;
        QByteArray out("stale");
        QString error;
        EXPECT_FALSE(codec.Decompress(c.block, out, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(out.isEmpty());
    }
    // The controls: the same shapes within the limits decode.
    CQuickLZ codec;
    QByteArray out;
    QString error;
    EXPECT_TRUE(codec.Decompress(Made(3, 20, Block({0, 2, 0, 0x80}) + QByteArray("abcdefghi") + Block({0x52, 0x02}) + QByteArray("WXYZ")), out, &error))
        << error.toStdString();
    EXPECT_EQ(out, QByteArray("abcdefghiabcdefgWXYZ"));
    EXPECT_TRUE(codec.Decompress(Made(3, 30, Block({0, 0x10, 0, 0x80}) + lits12 + Block({4 * 12}) + QByteArray(15, 'z')), out, &error))
        << error.toStdString();
    EXPECT_EQ(out, lits12 + QByteArray(3, 'q') + QByteArray(15, 'z'));
    EXPECT_EQ(CQuickLZ::SizeCompressed(QByteArray()), -1);
    EXPECT_EQ(CQuickLZ::SizeDecompressed(Block({0x47, 1, 0})), -1);
    EXPECT_EQ(CQuickLZ::SizeDecompressed(Block({0x47, 9, 0, 0, 0, 0x10, 0x20, 0, 0})), 0x2010);
}

TEST(CQuickLZDecode, LyingSizesAreRefusedBeforeAllocating) {
    CQuickLZ codec;
    QByteArray out;
    QString error;
    // 4 GB promised by a 30-byte block.
    QByteArray huge = Golden(QStringLiteral("tiny-20"), QStringLiteral(".L1.qlz"));
    huge = Block({0x47, 32, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}) + huge.mid(3, 23);
    EXPECT_FALSE(codec.Decompress(huge, out, &error));
    EXPECT_TRUE(error.contains(QLatin1String("claims")));
    // Just above what the payload could yield, and a stored block claiming more than it holds.
    EXPECT_FALSE(codec.Decompress(Block({0x47, 14, 0, 0, 0, 0x26, 2, 0, 0, 0, 0, 0, 0x80, 'a'}), out, &error));
    EXPECT_FALSE(codec.Decompress(Block({0x46, 12, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c'}), out, &error));
    // A claim the payload could back but no attachment may have: refused, not allocated.
    QByteArray big = Block({0x47, 0, 0, 0, 0, 1, 0, 0, 0x40}) + QByteArray(13 << 20, '\0');
    qToLittleEndian<quint32>(quint32(big.size()), big.data() + 1);
    EXPECT_FALSE(codec.Decompress(big, out, &error));
    EXPECT_TRUE(error.contains(QLatin1String("more than the 1 GB allowed"))) << error.toStdString();
    // The compressed length may not exceed the bytes given, whatever the header says.
    const QByteArray text = Golden(QStringLiteral("text-4k"), QStringLiteral(".L1.qlz"));
    QByteArray longer = text;
    longer[1] = char(uchar(longer[1]) + 1);
    EXPECT_FALSE(codec.Decompress(longer, out, &error));
}

TEST(CQuickLZDecode, EveryTruncationFailsCleanly) {
    for (const char* name : {"text-216", "runs-mixed", "tiny-13", "long-matches", "random-8k"}) {
        for (const char* level : {".L1.qlz", ".L2.qlz", ".L3.qlz"}) {
            SCOPED_TRACE(testing::Message() << name << level);
            const QByteArray block = Golden(QLatin1String(name), QLatin1String(level));
            ASSERT_FALSE(block.isEmpty());
            CQuickLZ codec;
            for (qsizetype cut = 0; cut < block.size(); ++cut) {
                QByteArray out("stale");
                QString error;
                ASSERT_FALSE(codec.Decompress(block.left(cut), out, &error)) << "cut " << cut;
                EXPECT_TRUE(out.isEmpty());
                EXPECT_FALSE(error.isEmpty());
            }
            // The same cut with the header's length adjusted: the payload itself is too short.
            if (block.size() > 40 && (uchar(block[0]) & 1)) {
                for (qsizetype cut = 9; cut < block.size() - 9; cut += 7) {
                    QByteArray shortened = block.left(cut);
                    const quint32 total = quint32(cut);
                    std::memcpy(shortened.data() + 1, &total, 4);
                    QByteArray out;
                    QString error;
                    EXPECT_FALSE(codec.Decompress(shortened, out, &error)) << "cut " << cut;
                }
            }
        }
    }
}

TEST(CQuickLZDecode, FlippedBytesNeverGiveAWrongSizeOrSucceedSilentlyWrongly) {
    std::mt19937 rng(11);
    for (const char* name : {"text-4k", "runs-mixed", "binary-20k", "tiny-20", "run-1000"}) {
        for (const char* level : {".L1.qlz", ".L2.qlz", ".L3.qlz"}) {
            SCOPED_TRACE(testing::Message() << name << level);
            const QByteArray block = Golden(QLatin1String(name), QLatin1String(level));
            for (qsizetype at = 0; at < block.size(); at += qMax<qsizetype>(1, block.size() / 300)) {
                QByteArray damaged = block;
                damaged[at] = char(uchar(damaged[at]) ^ (1u << (rng() % 8)));
                ExpectCleanResult(damaged);
                damaged[at] = char(rng());
                ExpectCleanResult(damaged);
            }
        }
    }
    // Random noise after a plausible header.
    for (int i = 0; i < 2000; ++i) {
        QByteArray noise = RandomBytes(qsizetype(rng() % 300 + 9), rng());
        noise[0] = char(0x41 | (rng() % 3 + 1) << 2 | (rng() & 2));
        ExpectCleanResult(noise);
    }
}
