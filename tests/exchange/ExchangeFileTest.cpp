// The exchange file's text form without a database: escaping and the line reader.
#include "exchange/CExchangeFileReader.h"
#include "exchange/basExchangeFile.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include <gtest/gtest.h>

namespace {

bool Same(const ExchangeRecord& a, const ExchangeRecord& b) {
    return a.kind == b.kind && a.id == b.id && a.language == b.language && a.category == b.category &&
           a.title == b.title && a.body == b.body && a.file == b.file && a.time == b.time && a.end == b.end &&
           a.line == b.line;
}

// All records of a file, for compact expectations. The file read in pieces of every small size
// (lines, CR LF pairs and the byte-order mark cut anywhere) gives the same records.
QList<ExchangeRecord> readAll(const QByteArray& bytes, bool* header = nullptr) {
    CExchangeReader reader(bytes);
    if (header) *header = reader.HasHeader();
    QList<ExchangeRecord> out;
    ExchangeRecord rec;
    while (reader.Next(rec)) out << rec;

    QTemporaryDir dir;
    QFile f(dir.filePath("x.tab"));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    for (qint64 piece : {1, 2, 3, 7, 64}) {
        CExchangeFileReader pieces(piece);
        EXPECT_TRUE(pieces.Open(f.fileName(), nullptr));
        QList<ExchangeRecord> again;
        while (pieces.Next(rec)) again << rec;
        EXPECT_EQ(pieces.Error(), QString());
        EXPECT_TRUE(std::equal(again.begin(), again.end(), out.begin(), out.end(), Same)) << "pieces of " << piece;
    }
    return out;
}

QList<ExchangeLineKind> kinds(const QList<ExchangeRecord>& recs) {
    QList<ExchangeLineKind> out;
    for (const auto& r : recs) out << r.kind;
    return out;
}

using K = ExchangeLineKind;

}  // namespace

TEST(ExchangeEscape, ControlCharactersAndBackslashes) {
    EXPECT_EQ(EscapeField(u"a\tb\r\nc\\d"), "a\\TABb\\CR\\LFc\\\\d");
    // A backslash followed by the letters TAB gains one backslash.
    EXPECT_EQ(EscapeField(u"\\TAB"), "\\\\TAB");
}

TEST(ExchangeEscape, UnescapeIsTheExactInverse) {
    const QStringList samples = {
        "\\TAB", "\\\\TAB", "\\lfloor and \\cr", "C:\\temp\\lf.txt", "x\\",
        "\\", "a\tb\r\n\\\\TAB\\tab", QString::fromUtf8("Grüße \\CR ✓"), "\\\\\\"};
    for (const QString& s : samples) {
        const QString escaped = EscapeField(s);
        EXPECT_FALSE(escaped.contains('\t') || escaped.contains('\r') || escaped.contains('\n'));
        EXPECT_EQ(UnescapeField(escaped), s) << s.toStdString();
        QByteArray utf8;
        AppendEscapedUtf8(utf8, s);
        EXPECT_EQ(utf8, escaped.toUtf8());
    }
}

TEST(ExchangeEscape, UnescapeReadsAnyLetterCaseAndLeavesOtherBackslashes) {
    EXPECT_EQ(UnescapeField(u"a\\tab\\Lf\\cR"), "a\t\n\r");
    // An escaped backslash followed by the letters TAB is a backslash and the letters: the
    // sequence is read from the left, never a second time.
    EXPECT_EQ(UnescapeField(u"\\\\TAB"), "\\TAB");
    EXPECT_EQ(UnescapeField(u"\\x\\"), "\\x\\");
    EXPECT_EQ(UnescapeField(u"\\TA"), "\\TA");
}

TEST(ExchangeReader, HeaderFullAndShortLines) {
    const QByteArray file =
        "ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n"
        "42\tSQL\tQueries\tTop rows\tSELECT *\\CR\\LFLIMIT 10\t\t2021-06-15 08:30:00\t\r\n"
        "42\tSQL\tPaging\t\r\n"
        "43\tC\\TAB\tA\\\\B\tT\tbody\tf.txt\t2021-01-01 00:00:00\t\r\n";
    bool header = false;
    const auto recs = readAll(file, &header);
    EXPECT_TRUE(header);
    ASSERT_EQ(kinds(recs), (QList<K>{K::Item, K::Category, K::Item}));
    EXPECT_EQ(recs[0].id, 42);
    EXPECT_EQ(recs[0].language, "SQL");
    EXPECT_EQ(recs[0].category, "Queries");
    EXPECT_EQ(recs[0].title, "Top rows");
    EXPECT_EQ(recs[0].body, "SELECT *\r\nLIMIT 10");
    EXPECT_EQ(recs[0].file, "");
    EXPECT_EQ(recs[0].time, "2021-06-15 08:30:00");
    EXPECT_EQ(recs[0].line, 2);
    EXPECT_EQ(recs[1].id, 42);
    EXPECT_EQ(recs[1].category, "Paging");
    EXPECT_EQ(recs[2].language, "C\t");
    EXPECT_EQ(recs[2].category, "A\\B");
    EXPECT_EQ(recs[2].file, "f.txt");
    // Positions move forward and end inside the file, for the progress bar.
    EXPECT_LT(recs[0].end, recs[1].end);
    EXPECT_LE(recs[2].end, file.size());
}

TEST(ExchangeReader, HeaderRecognisedInAnyCaseWithSpacesOrMissing) {
    // A byte-order mark does not hide the header; a file without any line end is one line.
    const struct {
        const char* text;
        bool header;
        QList<K> kinds;
    } cases[] = {
        {" id \tx\r\n1\tL\tC\t\r\n", true, {K::Item}},
        {"5\tL\tC\tT\t\r\n5\tL\tD\t\r\n", false, {K::Item, K::Category}},
        {"\xEF\xBB\xBFID\tType\r\n7\tL\tC\t\r\n", true, {K::Item}},
        {"ID\tType\tCategory", true, {}},
        {"9\tL\tC\tTitle", false, {K::Item}},
    };
    for (const auto& c : cases) {
        bool header = !c.header;
        EXPECT_EQ(kinds(readAll(c.text, &header)), c.kinds) << c.text;
        EXPECT_EQ(header, c.header) << c.text;
    }
    EXPECT_EQ(readAll("5\tL\tC\tT\t\r\n").value(0).id, 5);
    EXPECT_EQ(readAll("9\tL\tC\tTitle").value(0).title, "Title");
}

TEST(ExchangeReader, LineEndsMissingOrUnixFieldsBeyondTheSeventhAndRepeatedNumbers) {
    EXPECT_TRUE(readAll("").isEmpty());
    auto recs = readAll("ID\r\n1\tL\tA\tT\tcode\t\t\t\r\n2\tL\tB\tU\tlast");
    ASSERT_EQ(kinds(recs), (QList<K>{K::Item, K::Item}));
    EXPECT_EQ(recs[1].body, "last");

    // Lines end only at CR LF: a lone LF or CR another program left unescaped in a field stays
    // in it, and the item is not cut in two.
    for (const char* end : {"\n", "\r"}) {
        recs = readAll(QByteArray("ID\r\n1\tL\tA\tline one") + end + "line two\tx\t\t2020-01-01 00:00:00\t\r\n"
                       "1\tL\tB\t\r\n");
        ASSERT_EQ(kinds(recs), (QList<K>{K::Item, K::Category})) << end;
        EXPECT_EQ(recs[0].title, QString("line one") + end + "line two");
        EXPECT_EQ(recs[0].time, "2020-01-01 00:00:00");
        EXPECT_EQ(recs[1].category, "B");
    }

    recs = readAll("1\tL\tC\tT\tB\tF\t2020-01-01 00:00:00\textra\tmore\t\r\n");
    ASSERT_EQ(recs.size(), 1);
    EXPECT_EQ(recs[0].time, "2020-01-01 00:00:00");

    // The same number with a title starts another item.
    recs = readAll("3\tL\tA\tFirst\t\r\n3\tL\tB\t\r\n3\tL\tC\tAgain\t\r\n");
    EXPECT_EQ(kinds(recs), (QList<K>{K::Item, K::Category, K::Item}));
    EXPECT_EQ(recs[2].title, "Again");
}

TEST(ExchangeReader, JunkAndBadNumbersAreReportedNotGuessed) {
    const char file[] = "ID\r\n"
                            "\r\n"                    // blank
                            "only\ttwo\r\n"           // too few fields
                            "abc\tL\tC\tT\t\r\n"      // not a number
                            "1.5\tL\tC\tT\t\r\n"      // not whole
                            "-3\tL\tC\tT\t\r\n"       // not an item number
                            "0\tL\tC\tT\t\r\n"        // 0 is no item
                            "2147483648\tL\tC\tT\t\r\n"  // beyond 32 bits
                            "\tL\tC\tT\t\r\n"         // empty
                            " 12 \tL\tC\tT\t\r\n"     // spaces around are fine
                            "+13\tL\tC\t\r\n"
                            "2147483647\tL\tC\t\r\n"
                            "14\tL\tC\tTi\0tle\t\r\n";  // a NUL cannot be stored
    const auto recs = readAll(QByteArray(file, sizeof file - 1));
    ASSERT_EQ(kinds(recs), (QList<K>{K::Blank, K::Junk, K::BadNumber, K::BadNumber, K::BadNumber,
                                     K::BadNumber, K::BadNumber, K::BadNumber, K::Item, K::Item,
                                     K::Item, K::Junk}));
    EXPECT_EQ(recs[8].id, 12);
    EXPECT_EQ(recs[9].id, 13);
    EXPECT_EQ(recs[10].id, 2147483647);
}

TEST(ExchangeReader, Utf8AndWindows1252AreDecidedForEachLine) {
    // A UTF-8 line, a code-page line (one byte that is not UTF-8 makes all of that line
    // Windows-1252, even where other bytes would read as UTF-8), and UTF-8 again.
    const auto recs = readAll("\xEF\xBB\xBFID\tType\r\n"
                              "1\tC++\t\xC3\x84rger\tGr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93\t\r\n"
                              "2\tL\t\xC3\xA4\t\x80 \xE9t\xE9\t\r\n"
                              "3\tL\tC\tna\xC3\xAFve\t\r\n");
    ASSERT_EQ(recs.size(), 3);
    EXPECT_EQ(recs[0].category, QString::fromUtf8("Ärger"));
    EXPECT_EQ(recs[0].title, QString::fromUtf8("Grüße ✓"));
    EXPECT_EQ(recs[1].category, QString::fromUtf8("Ã¤"));
    EXPECT_EQ(recs[1].title, QString::fromUtf8("€ été"));
    EXPECT_EQ(recs[2].title, QString::fromUtf8("naïve"));
}
