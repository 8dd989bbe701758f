#include "util/CString.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <gtest/gtest.h>

static CString Str(const char* text) { return CString(QByteArrayView(text)); }

static void ExpectError(const std::function<void()>& f, const char* description) {
    try {
        f();
        ADD_FAILURE() << "no error raised, expected " << description;
    } catch (const CStringError& e) {
        EXPECT_EQ(e.Number(), 5);
        EXPECT_EQ(e.Source(), QStringLiteral("CString"));
        EXPECT_STREQ(e.what(), description);
    }
}

TEST(CStringTest, HexRoundTripOddLengthsAndBadDigits) {
    CString s(QByteArrayView("\x00\x0a\xff", 3));
    CString hex = s.ToHex();
    EXPECT_EQ(hex.ByteArray(), QByteArray("000AFF"));
    EXPECT_EQ(hex.Capacity(), 6);
    CString back;
    back.FromHex(hex.Value());
    EXPECT_EQ(back.ByteArray(), QByteArray("\x00\x0a\xff", 3));

    // Lower case reads too; half the digit count rounds to even: 5 -> 2 bytes, 7 -> 4, 3 -> 2.
    for (const auto& [digits, bytes] : {std::pair<const char*, QByteArray>{"abCd1", "\xab\xcd"},
                                        {"0102037", "\x01\x02\x03\x07"}, {"ABC", "\xab\x0c"}, {"", ""}}) {
        back.FromHexBytes(digits);
        EXPECT_EQ(back.ByteArray(), bytes) << digits;
    }

    // Bad digits raise and leave nothing, also far into a long text and as a lone last digit.
    QByteArray longHex(20001, '0');
    longHex[15000] = 'x';
    for (const QByteArray& digits : {QByteArray("0G"), longHex, QByteArray("00z")}) {
        CString bad = Str("old");
        ExpectError([&] { bad.FromHexBytes(digits); }, "Invalid hexadecimal digit");
        EXPECT_EQ(bad.Length(), 0);
    }
    ExpectError([&] { back.FromHex(QStringLiteral("0\u00e9")); }, "Invalid hexadecimal digit");
}

TEST(CStringTest, HexOfEveryByteValueAndLargeBuffers) {
    QByteArray all;
    for (int i = 0; i < 256; ++i) all.append(char(i));
    EXPECT_EQ(CString(all).ToHex().ByteArray(), all.toHex().toUpper());

    QByteArray random(3 * 1024 * 1024 + 7, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (char& c : random) c = char(gen.bounded(256));
    CString big(random);
    CString hex = big.ToHex();
    EXPECT_EQ(hex.ByteArray(), random.toHex().toUpper());
    CString again;
    again.FromHexBytes(hex.View());
    EXPECT_TRUE(again.View() == QByteArrayView(random));
}

TEST(CStringTest, AppendGrowsOnOverflowAndMayAppendItself) {
    CString s;
    for (int i = 0; i < 300; ++i) s.Append(QStringLiteral("x"));
    EXPECT_EQ(s.Length(), 300);
    EXPECT_EQ(s.Capacity(), 321);  // 257 overflowed 256 by a quarter
    CString u = Str("ab");
    u.Append(Str("cd")).Append(QStringLiteral("\u00e9"));
    EXPECT_EQ(u.Length(), 6);  // UTF-8 bytes
    u.Append(u);
    EXPECT_EQ(u.Value(), QStringLiteral("abcd\u00e9abcd\u00e9"));
    CString big(QByteArray(300, 'q'));
    big.Append(big);
    EXPECT_EQ(big.ByteArray(), QByteArray(600, 'q'));
    // Lengthening pads with spaces; the capacity never drops below the length.
    s.SetValue(QStringLiteral("abc"));
    s.SetLength(5);
    EXPECT_EQ(s.ByteArray(), QByteArray("abc  "));
    ExpectError([&] { s.SetLength(-1); }, "Invalid length");
    s.SetBufferSize(1);
    EXPECT_EQ(s.Value(), QStringLiteral("abc  "));
}

TEST(CStringTest, LeftRightMidCharsAndCase) {
    CString s = Str("abcdef");
    EXPECT_EQ(s.Mid(3, 2).ByteArray(), QByteArray("cd"));
    EXPECT_EQ(s.Mid(5, 10).ByteArray(), QByteArray("ef"));
    EXPECT_EQ(s.Mid(7).Length(), 0);
    ExpectError([&] { s.Mid(0); }, "Invalid starting position");
    ExpectError([&] { s.Mid(1, -1); }, "Invalid length");
    ExpectError([&] { s.Left(-1); }, "Invalid length");
    EXPECT_EQ(s.Left(10).ByteArray(), QByteArray("abcdef"));
    EXPECT_EQ(s.Right(2).ByteArray(), QByteArray("ef"));

    // Setting overwrites in place and never changes the length.
    s.SetLeft(2, QStringLiteral("XYZ"));
    EXPECT_EQ(s.ByteArray(), QByteArray("XYcdef"));
    s.SetRight(3, Str("12"));
    EXPECT_EQ(s.ByteArray(), QByteArray("XYcd12"));
    s.SetMid(3, std::nullopt, QStringLiteral("--------"));
    EXPECT_EQ(s.ByteArray(), QByteArray("XY----"));
    s.SetMid(9, 1, QStringLiteral("ab"));
    EXPECT_EQ(s.ByteArray(), QByteArray("XY----"));
    ExpectError([&] { s.SetMid(0, 1, QStringLiteral("a")); }, "Invalid starting position");

    CString h = Str("Hello 9");
    EXPECT_EQ(CString().Asc(), -1);
    EXPECT_THROW(h.Char(0), CStringError);
    EXPECT_THROW(h.Char(8), CStringError);
    h.SetChar(99, 'x');  // beyond the end: ignored
    EXPECT_EQ(h.ReverseStr().ByteArray(), QByteArray("9 olleH"));
    // Only ASCII letters change: UTF-8 sequences stay intact.
    CString u;
    u.SetValue(QStringLiteral("\u00e9a\u00c9"));
    EXPECT_EQ(u.UCase().Value(), QStringLiteral("\u00e9A\u00c9"));
}

TEST(CStringTest, FindInstrAndReplaceStr) {
    CString s = Str("hello world");
    EXPECT_EQ(s.Find(QStringLiteral("lo"), 5), 0);
    EXPECT_EQ(s.Find(QStringLiteral("hello world!"), 1), 0);
    EXPECT_EQ(s.Find(QStringLiteral("World"), 1), 0);  // case-sensitive
    EXPECT_EQ(s.Find(QStringLiteral("d"), 1), 11);
    EXPECT_EQ(s.Instr(QStringLiteral(""), 3), 3);

    // Against a plain search on random text over a small alphabet (many near matches), with
    // the table reused between calls for the same pattern and rebuilt for another one.
    QRandomGenerator gen(7);
    QByteArray text(20000, Qt::Uninitialized);
    for (char& c : text) c = char('a' + gen.bounded(3));
    CString big(text);
    for (int round = 0; round < 200; ++round) {
        QByteArray pat(1 + gen.bounded(6), Qt::Uninitialized);
        for (char& c : pat) c = char('a' + gen.bounded(3));
        const qsizetype start = 1 + gen.bounded(text.size());
        const qsizetype expected = text.indexOf(pat, start - 1) + 1;
        EXPECT_EQ(big.FindBytes(pat, start), expected);
        EXPECT_EQ(big.FindBytes(pat, start), expected);
        EXPECT_EQ(big.InstrBytes(pat, start), expected);
    }

    // Replacing.
    CString phrase = Str("one two one two one");
    EXPECT_EQ(phrase.ReplaceStr(QStringLiteral("one"), QStringLiteral("1")).ByteArray(),
              QByteArray("1 two 1 two 1"));
    qsizetype start = 1;
    EXPECT_EQ(phrase.ReplaceStr(QStringLiteral("one"), QStringLiteral("1"), start, 2).ByteArray(),
              QByteArray("1 two 1 two one"));
    EXPECT_EQ(start, 12);
    start = 1;
    EXPECT_EQ(phrase.ReplaceStr(QStringLiteral("one"), QStringLiteral("1"), start, 0).ByteArray(),
              QByteArray("1 two one two one"));
    // Only the phrase from the start on comes back.
    start = 5;
    EXPECT_EQ(phrase.ReplaceStr(QStringLiteral("two"), QStringLiteral(""), start).ByteArray(),
              QByteArray(" one  one"));
    start = 99;
    EXPECT_EQ(phrase.ReplaceStr(QStringLiteral("one"), QStringLiteral("1"), start).Length(), 0);
    EXPECT_EQ(phrase.ReplaceStr(QString(), QStringLiteral("1")).ByteArray(), phrase.ByteArray());
    EXPECT_EQ(Str("aaaa").ReplaceStr(QStringLiteral("aa"), QStringLiteral("b")).ByteArray(),
              QByteArray("bb"));
}

TEST(CStringTest, TrimToNullCopiesAndFileRoundTripWithLengthPrefix) {
    CString s;
    s.FromHex(QStringLiteral("41420043"));
    EXPECT_EQ(s.TrimToNull(), 2);
    EXPECT_EQ(s.ByteArray(), QByteArray("AB"));
    CString full(QByteArray(5, 'x'));
    full.SetBufferSize(5);
    EXPECT_EQ(full.TrimToNull(), 5);

    // A copy owns its bytes.
    CString a = Str("abc");
    CString b = a.Copy();
    b.SetChar(1, 'z');
    CString c = a;
    c.Append(QStringLiteral("d"));
    EXPECT_EQ(a.ByteArray(), QByteArray("abc"));
    EXPECT_EQ(b.ByteArray(), QByteArray("zbc"));

    // Writing and reading back, with and without the length prefix.
    QBuffer buf;
    ASSERT_TRUE(buf.open(QIODevice::ReadWrite));
    buf.write("HEAD");
    CString payload = Str("payload bytes");
    ASSERT_TRUE(payload.WriteToFile(buf, true));
    ASSERT_TRUE(Str("tail").WriteToFile(buf));
    EXPECT_EQ(buf.data().mid(4, 4), QByteArray("\x0d\x00\x00\x00", 4));
    buf.seek(4);
    CString r;
    ASSERT_TRUE(r.ReadFromFile(buf, true));
    EXPECT_EQ(r.ByteArray(), QByteArray("payload bytes"));
    EXPECT_EQ(buf.pos(), 4 + 4 + 13);
    // Without the prefix the current length says how much to read; a short file fails.
    CString t;
    t.SetLength(4);
    ASSERT_TRUE(t.ReadFromFile(buf));
    EXPECT_EQ(t.ByteArray(), QByteArray("tail"));
    t.SetLength(4);
    EXPECT_FALSE(t.ReadFromFile(buf));
    QBuffer shortFile;
    shortFile.setData(QByteArray("\x64\x00\x00\x00" "abc", 7));
    ASSERT_TRUE(shortFile.open(QIODevice::ReadOnly));
    EXPECT_FALSE(t.ReadFromFile(shortFile, true));
    EXPECT_EQ(t.ByteArray(), QByteArray("abc"));
}

