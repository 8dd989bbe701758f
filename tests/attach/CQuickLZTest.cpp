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

enum class Kind { Random, Words, Runs };

// Random bytes; text-like data with repeats at many distances from a small vocabulary; or runs
// of single bytes with random lengths (the run rule and overlapping copies).
QByteArray Sample(Kind kind, qsizetype n, unsigned seed) {
    static const char* words[] = {"int ", "return ", "if (", ") {\n", "}\n", "    ", "value", "count",
                                  "= ", "+ 1;", "for ", "while ", "nullptr", "const ", "auto ", "\t"};
    std::mt19937 rng(seed);
    QByteArray b;
    while (b.size() < n) {
        switch (kind) {
        case Kind::Random: b += char(rng() & 0xFF); break;
        case Kind::Words: b += words[rng() % 16]; break;
        case Kind::Runs: b += QByteArray(qsizetype(rng() % 40 + 1), char('a' + rng() % 3)); break;
        }
    }
    b.truncate(n);
    return b;
}
QByteArray RandomBytes(qsizetype n, unsigned seed) { return Sample(Kind::Random, n, seed); }

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

// Decoding fails with a reason (containing reason) and leaves no data in a buffer that held some.
testing::AssertionResult Refused(const QByteArray& block, const char* reason = "") {
    QByteArray out("stale");
    QString error;
    if (CQuickLZ().Decompress(block, out, &error)) return testing::AssertionFailure() << "decoded";
    if (!out.isEmpty()) return testing::AssertionFailure() << "left " << out.size() << " bytes";
    if (error.isEmpty() || !error.contains(QLatin1String(reason)))
        return testing::AssertionFailure() << "error \"" << error.toStdString() << '"';
    return testing::AssertionSuccess();
}

// A damaged block is refused, or (for a change the format cannot see) gives exactly the size its
// header promises.
void ExpectCleanResult(const QByteArray& block) {
    QByteArray data;
    if (CQuickLZ().Decompress(block, data))
        EXPECT_EQ(data.size(), CQuickLZ::SizeDecompressed(block));
    else
        EXPECT_TRUE(Refused(block));
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

TEST(CQuickLZRoundTrip, EverySmallSizeTheFormatsThresholdsAndMatchLengthsAroundTheTokenForms) {
    // Header form (216), control-word groups (31 items), the token forms (17/18) and the
    // longest match (255) sit around these sizes.
    QList<qsizetype> sizes{30, 31, 32, 33, 42, 43, 62, 63, 64, 214, 215, 216, 217, 255, 256, 257, 258,
                           259, 262, 263, 270, 511, 512, 4096, 65536, 65537};
    for (qsizetype n = 1; n <= 20; ++n) sizes << n;
    for (qsizetype n : sizes) {
        for (Kind kind : {Kind::Random, Kind::Words, Kind::Runs})
            ExpectRoundTrip(Sample(kind, n, unsigned(n)), "sample");
        for (char c : {'x', '\0'}) ExpectRoundTrip(QByteArray(n, c), "one byte");
    }
    // A 300-byte unique prefix repeated once: one match of each length from a fixed distance.
    const QByteArray unique = RandomBytes(300, 7);
    for (int len : {3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 18, 19, 31, 32, 33, 254, 255, 256, 257, 280})
        ExpectRoundTrip(unique + unique.left(len) + RandomBytes(40, unsigned(len)), "match");  // tail keeps it clear
}

TEST(CQuickLZRoundTrip, LargeMixedInputs) {
    std::mt19937 rng(99);
    for (int i = 0; i < 40; ++i) {
        const qsizetype n = qsizetype(rng() % 200000 + 1);
        QByteArray data;
        while (data.size() < n) {
            const unsigned pick = rng() % 4;  // a sample, or a repeat of what came before
            const qsizetype len = qsizetype(rng() % 4000);
            data += pick == 3 ? data.right(len / 4) : Sample(Kind(pick), len, rng());
        }
        data.truncate(n);
        ExpectRoundTrip(data, "mixed");
    }
}

TEST(CQuickLZCompress, RandomDataIsStoredAndAnEmptySourceRefused) {
    CQuickLZ codec;
    for (qsizetype n : {1000, 100000}) {
        const QByteArray data = RandomBytes(n, 3);
        QByteArray block;
        ASSERT_TRUE(codec.Compress(data, block));
        EXPECT_EQ(uchar(block[0]) & 1, 0) << "random data should be stored";
        EXPECT_EQ(block.size(), n + 9);
        EXPECT_TRUE(block.mid(9) == data);
    }
    QByteArray block("old");
    QString error;
    EXPECT_FALSE(codec.Compress(QByteArrayView(), block, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(block.isEmpty());
}

TEST(CQuickLZCompress, OutputBuffersMayBeReusedOrBeTheInput) {
    const QByteArray text = Sample(Kind::Words, 20000, 4);
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

TEST(CQuickLZDecode, HandMadeDefectsAndLyingSizesAreRefusedBeforeAllocating) {
    struct Case {
        const char* what;
        QByteArray block;
        const char* reason = "";
    };
    const QByteArray lits12 = QByteArray(12, 'q');
    // A claim the payload could back but no attachment may have.
    QByteArray big = Block({0x47, 0, 0, 0, 0, 1, 0, 0, 0x40}) + QByteArray(13 << 20, '\0');
    qToLittleEndian<quint32>(quint32(big.size()), big.data() + 1);
    // The compressed length may not exceed the bytes given, whatever the header says.
    QByteArray longer = Golden(QStringLiteral("text-4k"), QStringLiteral(".L1.qlz"));
    longer[1] = char(uchar(longer[1]) + 1);
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
        {"4 GB promised by a 30-byte block",
         Block({0x47, 32, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}) + Golden(QStringLiteral("tiny-20"), QStringLiteral(".L1.qlz")).mid(3, 23),
         "claims"},
        {"just above what the payload could yield", Block({0x47, 14, 0, 0, 0, 0x26, 2, 0, 0, 0, 0, 0, 0x80, 'a'})},
        {"stored claiming more than it holds", Block({0x46, 12, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c'})},
        {"beyond any attachment", big, "more than the 1 GB allowed"},
        {"library block with a longer length", longer},
    };
    for (const Case& c : cases) EXPECT_TRUE(Refused(c.block, c.reason)) << c.what;
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

TEST(CQuickLZDecode, EveryTruncationFailsCleanly) {
    for (const char* name : {"text-216", "runs-mixed", "tiny-13", "long-matches", "random-8k"}) {
        for (const char* level : {".L1.qlz", ".L2.qlz", ".L3.qlz"}) {
            SCOPED_TRACE(testing::Message() << name << level);
            const QByteArray block = Golden(QLatin1String(name), QLatin1String(level));
            ASSERT_FALSE(block.isEmpty());
            for (qsizetype cut = 0; cut < block.size(); ++cut) ASSERT_TRUE(Refused(block.left(cut))) << "cut " << cut;
            // The same cut with the header's length adjusted: the payload itself is too short.
            if (block.size() > 40 && (uchar(block[0]) & 1)) {
                for (qsizetype cut = 9; cut < block.size() - 9; cut += 7) {
                    QByteArray shortened = block.left(cut);
                    qToLittleEndian<quint32>(quint32(cut), shortened.data() + 1);
                    EXPECT_TRUE(Refused(shortened)) << "cut " << cut;
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
