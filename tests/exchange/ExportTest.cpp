// Export: the file's exact layout, attachments beside it, and the ways it can end early.
#include "ExchangeFixture.h"
#include "exchange/basExchangeFile.h"
#include "db/basDBExport.h"
#include "exchange/basExport.h"
#include "util/basText.h"

#include <QFileInfo>

namespace {

QList<QByteArray> linesOf(const QByteArray& file) {
    QList<QByteArray> lines = file.split('\n');
    EXPECT_TRUE(lines.last().isEmpty()) << "the last line ends with a line break";
    lines.removeLast();
    for (QByteArray& l : lines) {
        EXPECT_TRUE(l.endsWith("\t\r")) << l.toStdString();
        l.chop(1);
    }
    return lines;
}

QStringList fieldsOf(const QByteArray& line) {
    QStringList f = QString::fromUtf8(line).split('\t');
    f.removeLast();  // every field is followed by a TAB
    return f;
}

}  // namespace

TEST_F(ExchangeTest, ExportWritesHeaderFullAndShortLinesInUtf8) {
    FillSample();
    const QString file = env->Path("out.tab");
    ExportSummary summary;
    ASSERT_TRUE(Export(file, false, &summary));
    EXPECT_EQ(prompt->openProgress, 0);

    const QByteArray bytes = ReadFileBytes(file);
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(IsValidUtf8(bytes));
    EXPECT_EQ(summary.bytes, bytes.size());
    const QList<QByteArray> lines = linesOf(bytes);
    ASSERT_EQ(lines.size(), 1 + 2 + 1 + 3 + 1);
    EXPECT_TRUE(bytes.startsWith("ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n"));
    EXPECT_EQ(summary.items, 4);
    EXPECT_EQ(summary.lines, 7);

    // Item 1: a full line, then a short one for its second category; times in UTC.
    QStringList f = fieldsOf(lines[1]);
    ASSERT_EQ(f.size(), 7);
    EXPECT_EQ(f.mid(0, 2), (QStringList{QString::number(ids[0]), "C++"}));
    EXPECT_EQ(f.mid(3), (QStringList{"Quick sort", "int a;\\CR\\LF\\TABb = \"\\\\TAB\";\\\\lfloor \\\\cr\\\\",
                                     "notes.txt", "2021-06-15 08:30:00"}));
    const QStringList second = fieldsOf(lines[2]);
    EXPECT_EQ(second.size(), 3);
    EXPECT_EQ(second[0], QString::number(ids[0]));
    EXPECT_EQ((QSet<QString>{f[2], second.value(2)}), (QSet<QString>{"Sorting", "Algorithms"}));

    EXPECT_EQ(fieldsOf(lines[3]).mid(3), (QStringList{"It's a 'quote'", QString::fromUtf8("Grüße ✓ 日本\\LFline"),
                                                      "notes.txt", "2020-01-03 04:59:59"}));

    // Three categories: one full line and two short ones, each ending with its category.
    f = fieldsOf(lines[4]);
    EXPECT_EQ(f[3], "Tab\\TABhere");
    EXPECT_EQ(f[5], "");
    EXPECT_EQ(fieldsOf(lines[5]).size(), 3);
    EXPECT_EQ(fieldsOf(lines[6]).size(), 3);
    EXPECT_EQ(fieldsOf(lines[6])[0], QString::number(ids[2]));

    // The language is the stored one, whatever case the item was saved with.
    f = fieldsOf(lines[7]);
    EXPECT_EQ(f[1], "SQL");
    EXPECT_EQ(f[6], "2022-11-07 06:30:00");

    // The item without a category is not in the file.
    for (const QByteArray& l : lines)
        EXPECT_FALSE(l.startsWith(QByteArray::number(uncategorised) + "\t"));

    // Progress: the export's lines, percentages up to 98 while writing.
    EXPECT_EQ(prompt->progressLines.value(0), "Exporting Database...");
    EXPECT_TRUE(prompt->progressLines.contains("Writing File"));
    EXPECT_EQ(prompt->progressUpdates, 7 + 1);
}

TEST_F(ExchangeTest, ExportWritesTextStoredThroughTheCodePageAsUtf8) {
    const int id = AddItem("C", "x", "y", "z");
    // Written by the old program through the Windows code page: not UTF-8.
    Query("UPDATE ftsItem SET Title = CAST(X'436166E920809C' AS TEXT) WHERE DOCID = " +
          QString::number(id));
    ASSERT_TRUE(Export(env->Path("cp.tab"), false));
    const QByteArray bytes = ReadFileBytes(env->Path("cp.tab"));
    EXPECT_TRUE(IsValidUtf8(bytes));
    EXPECT_EQ(fieldsOf(linesOf(bytes)[1])[3], QString::fromUtf8("Café €œ"));
}

TEST_F(ExchangeTest, ExportWritesAttachmentsBesideTheFileUnderFreeNames) {
    FillSample();
    QDir().mkpath(env->Path("export"));
    const QString file = env->Path("export/all.tab");
    ExportSummary summary;
    ASSERT_TRUE(Export(file, true, &summary));
    EXPECT_EQ(summary.attachments, 2);
    EXPECT_EQ(summary.attachmentFailures, 0);
    EXPECT_EQ(ReadFileBytes(env->Path("export/notes.txt")), AllBytes());
    EXPECT_EQ(ReadFileBytes(env->Path("export/notes (1).txt")), "second notes");
    const QList<QByteArray> lines = linesOf(ReadFileBytes(file));
    EXPECT_EQ(fieldsOf(lines[1])[5], "notes.txt");
    EXPECT_EQ(fieldsOf(lines[3])[5], "notes (1).txt");

    // A second export into the same folder never overwrites: the names move on.
    ASSERT_TRUE(Export(env->Path("export/again.tab"), true));
    EXPECT_EQ(ReadFileBytes(env->Path("export/notes (2).txt")), AllBytes());
    EXPECT_EQ(fieldsOf(linesOf(ReadFileBytes(env->Path("export/again.tab")))[3])[5],
              "notes (3).txt");
}

TEST_F(ExchangeTest, ExportKeepsAttachmentsInsideItsFolder) {
    FillSample();
    // Stored names with folder parts (a hand-edited database) and one taking the export's name.
    Query("UPDATE ftsItem SET File = '../../escaped.txt' WHERE DOCID = " + QString::number(ids[0]));
    Query("UPDATE ftsItem SET File = 'x.tab' WHERE DOCID = " + QString::number(ids[1]));
    QDir().mkpath(env->Path("a/b"));
    ASSERT_TRUE(Export(env->Path("a/b/x.tab"), true));
    EXPECT_FALSE(QFileInfo::exists(env->Path("escaped.txt")));
    EXPECT_EQ(ReadFileBytes(env->Path("a/b/escaped.txt")), AllBytes());
    EXPECT_EQ(ReadFileBytes(env->Path("a/b/x (1).tab")), "second notes");
    const QList<QByteArray> lines = linesOf(ReadFileBytes(env->Path("a/b/x.tab")));
    EXPECT_EQ(fieldsOf(lines[1])[5], "escaped.txt");
    EXPECT_EQ(fieldsOf(lines[3])[5], "x (1).tab");

    // A NUL ends a name before the free name is chosen; an attachment not written is named.
    Query("UPDATE ftsItem SET File = 'escaped.txt' || char(0) || '.bin' WHERE DOCID = " + QString::number(ids[0]));
    Query("UPDATE tblItem SET FileBLOB = X'0102030405' WHERE ID = " + QString::number(ids[1]));
    ExportSummary summary;
    ASSERT_TRUE(Export(env->Path("a/b/y.tab"), true, &summary));
    EXPECT_EQ(ReadFileBytes(env->Path("a/b/escaped.txt")), AllBytes());
    EXPECT_EQ(ReadFileBytes(env->Path("a/b/escaped (1).txt")), AllBytes());
    EXPECT_EQ(summary.attachmentFailures, 1);
    ASSERT_EQ(summary.failedAttachments.size(), 1);
    EXPECT_TRUE(summary.failedAttachments[0].startsWith(
        "x.tab (item " + QString::number(ids[1]) + "): The stored attachment is damaged"))
        << summary.failedAttachments[0].toStdString();
}

// The file is read from the base tables; the view statement defines it. A database holding what
// the store never writes (links to gone items and categories, a category of a gone language,
// an item without its full-text row and the reverse, links out of item order) exports exactly
// the lines the view gives, in its order.
TEST_F(ExchangeTest, ExportMatchesTheViewStatementLineForLine) {
    FillSample();
    Query("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (77, 1)");
    Query("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (" + QString::number(ids[1]) + ", 999)");
    Query("INSERT INTO tblCategory (ID, TypeID, Name) VALUES (500, 4242, 'Orphan')");
    Query("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (" + QString::number(ids[0]) + ", 500)");
    Query("INSERT INTO tblItem (ID, LastUpdate) VALUES (900, 2460000.5)");
    Query("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (900, 1)");
    Query("INSERT INTO ftsItem (docid, Title, Code) VALUES (901, 'no item', 'x')");
    Query("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (901, 1)");

    QByteArray expected = "ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n";
    const ResultTable rows = Query(ExportQuery());
    QString previous;
    for (int r = 1; r <= rows.RowCount(); ++r) {
        if (rows.At(r, 0).isNull()) continue;
        const bool same = rows.Text(r, 0) == previous;
        previous = rows.Text(r, 0);
        for (int c = 0; c < (same ? 3 : 7); ++c) expected += EscapeField(rows.Text(r, c)).toUtf8() + "\t";
        expected += "\r\n";
    }
    const QString file = env->Path("view.tab");
    ASSERT_TRUE(Export(file, false));
    EXPECT_EQ(ReadFileBytes(file), expected);
}

TEST_F(ExchangeTest, ExportOfAnEmptyDatabaseWritesNothing) {
    const QString file = env->Path("empty.tab");
    ExportSummary summary;
    EXPECT_FALSE(Export(file, true, &summary));
    EXPECT_EQ(summary.error, "No items found to export");
    EXPECT_TRUE(summary.nothing);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(prompt->openProgress, 0);

    // Links whose item is gone are no items either.
    Query("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (77, 1)");
    EXPECT_FALSE(Export(file, false));
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(ExchangeTest, CancelledOrFailedExportLeavesNoFileAndKeepsTheOldOne) {
    FillSample();
    const QString file = env->Path("keep.tab");
    WriteFileBytes(file, "old contents");
    prompt->cancelAtUpdate = 3;
    ExportSummary summary;
    EXPECT_FALSE(Export(file, false, &summary));
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(ReadFileBytes(file), "old contents");
    EXPECT_EQ(QDir(env->Root()).entryList({"keep*"}, QDir::Files | QDir::Hidden), QStringList{"keep.tab"});
    EXPECT_EQ(prompt->openProgress, 0);

    // A folder that does not exist: the system's reason is given.
    prompt->cancelAtUpdate = 0;
    EXPECT_FALSE(Export(env->Path("missing/x.tab"), false, &summary));
    EXPECT_TRUE(summary.error.startsWith("Unable to write the export file: "));
    EXPECT_GT(summary.error.size(), QString("Unable to write the export file: ").size());
    EXPECT_FALSE(summary.written);
    EXPECT_FALSE(summary.nothing);
    // A full disk gives the system's reason, and the old file stays.
    {
        FileSizeLimit limit(20);
        EXPECT_FALSE(Export(file, false, &summary));
    }
    EXPECT_EQ(summary.error, "Unable to write the export file: " + qt_error_string(EFBIG));
    EXPECT_EQ(ReadFileBytes(file), "old contents");

    // The open database, named as it is or through a link, is never the target.
    const QByteArray database = ReadFileBytes(gDB->Filename());
    const QString link = env->Path("link.db");
    ASSERT_TRUE(QFile::link(gDB->Filename(), link));
    for (const QString& target : {gDB->Filename(), link}) {
        EXPECT_FALSE(Export(target, false, &summary));
        EXPECT_EQ(summary.error, "Unable to write the export file: it is the open database");
        EXPECT_EQ(ReadFileBytes(gDB->Filename()), database);
    }

    // Success replaces the old file in one step.
    EXPECT_TRUE(Export(file, false));
    EXPECT_TRUE(ReadFileBytes(file).startsWith("ID\t"));
}

TEST(ExchangeRows, IsSameAsPreviousRowComparesTextWithoutCase) {
    ResultTable t;
    t.SetHeader({"ID", "Name"});
    for (const QVariant& v : {QVariant(1), QVariant("a"), QVariant(1), QVariant("A"),
                              QVariant(2), QVariant(), QVariant(2), QVariant()})
        t.Append(v);
    EXPECT_FALSE(IsSameAsPreviousRow(t, 1, 0));  // the header never matches
    EXPECT_TRUE(IsSameAsPreviousRow(t, 2, 1));
    EXPECT_FALSE(IsSameAsPreviousRow(t, 4, 1));  // NULL cannot be read
    EXPECT_FALSE(IsSameAsPreviousRow(t, 5, 0));
    EXPECT_FALSE(IsSameAsPreviousRow(t, 2, 9));
}
