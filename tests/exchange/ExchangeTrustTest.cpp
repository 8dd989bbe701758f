// What the exchange format must carry through: fields with lone line breaks, items whose first
// link leads nowhere, one rule for names, files in other Unicode forms, and imports whose work
// grows with the number of categories, not its square.
#include "ExchangeFixture.h"
#include "db/basDBMaintenance.h"
#include "support/EngineWork.h"

namespace {

TEST_F(ExchangeTest, ImportedFilesKeepEveryItemWithAUsableLink) {
    const QByteArray header = "ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n";
    struct Case {
        const char* name;
        QByteArray lines;
        QString error;  // the import fails with it
        QString items;  // else: language/category|title of every item, sorted
        int skipped = 0;
    };
    const QList<Case> cases = {
        {"a lone LF and CR inside fields", "1\tPython\tSorting\tline one\nline two\tcode\rmore\t\t2021-06-15 08:30:00\t\r\n", {}, "Python/Sorting|line one\nline two|code\rmore|2021-06-15 08:30:00"},
        {"the first link's category is gone", "1\t\t\tkeep me\tx\t\t2021-06-15 08:30:00\t\r\n1\tPython\tSorting\t\r\n", {}, "Python/Sorting|keep me|x|2021-06-15 08:30:00", 1},
        {"no link is usable", "1\t\t\tlost\tx\t\t\t\r\n1\t   \tSorting\t\r\n", {}, "", 2},
        {"names with blanks join the trimmed name",
         "1\tPython \t Sorting\tA\t\t\t2021-06-15 08:30:00\t\r\n"
         "2\tPython\tSorting\tB\t\t\t2021-06-15 08:30:00\t\r\n",
         {},
         "Python/Sorting|A||2021-06-15 08:30:00\nPython/Sorting|B||2021-06-15 08:30:00"},
        {"UTF-16 with a byte-order mark", QByteArray("\xFF\xFE") + QByteArray("1\0\t\0", 4), "The file is UTF-16", {}},
        {"UTF-16 without one", QByteArray("\0I\0D\0\t", 6), "The file is UTF-16", {}},
        {"UTF-32", QByteArray("1\0\0\0\t\0\0\0", 8), "The file is UTF-32", {}},
    };
    for (const Case& c : cases) {
        const QString file = env->Path("case.tab");
        WriteFileBytes(file, c.lines.startsWith("1\t") || c.lines.startsWith("2\t") ? header + c.lines : c.lines);
        Query(
            "DELETE FROM tblItem; DELETE FROM ftsItem; DELETE FROM tblItemCategory; DELETE FROM tblCategory;"
            "DELETE FROM tblType");
        ImportSummary summary;
        const bool ok = Import(file, false, &summary);
        EXPECT_EQ(ok, c.error.isEmpty()) << c.name << ": " << summary.error.toStdString();
        if (!ok) {
            EXPECT_TRUE(summary.error.contains(c.error + ": save it as UTF-8 or Windows-1252")) << c.name;
            continue;
        }
        const ResultTable rows = Query(
            "SELECT tblType.Name || '/' || tblCategory.Name || '|' || Title || '|' || Code || '|' || "
            "DateTime(LastUpdate) FROM qryItem JOIN tblItemCategory ON ItemID = qryItem.ID JOIN tblCategory ON "
            "CategoryID = tblCategory.ID JOIN tblType ON TypeID = tblType.ID ORDER BY 1");
        QStringList items;
        for (int r = 1; r <= rows.RowCount(); ++r) items << rows.Text(r, 0);
        EXPECT_EQ(items.join('\n'), c.items) << c.name;
        EXPECT_EQ(summary.skippedLines, c.skipped) << c.name;
        EXPECT_EQ(Scalar("SELECT Count(*) FROM tblType").toInt(), items.isEmpty() ? 0 : 1) << c.name;
    }
}

// An item whose first link's category was removed (behind the program's back) still comes
// back: the export writes its fields with the first link that resolves.
TEST_F(ExchangeTest, ExportWritesAnItemWithItsFirstResolvingLink) {
    const int id = AddItem("Python", "keep me", "x", "Gone,Sorting");
    Query("DELETE FROM tblCategory WHERE Name = 'Gone'");
    const QString file = env->Path("round.tab");
    ASSERT_TRUE(Export(file, false));
    EXPECT_TRUE(ReadFileBytes(file).contains(QByteArray::number(id) + "\tPython\tSorting\tkeep me\tx\t"));
    Query("DELETE FROM tblItem; DELETE FROM ftsItem; DELETE FROM tblItemCategory");
    ImportSummary summary;
    ASSERT_TRUE(Import(file, true, &summary));
    EXPECT_EQ(summary.items, 1);
    EXPECT_EQ(Scalar("SELECT Title FROM qryItem WHERE ID = " + QString::number(id)).toString(), "keep me");
}

// The engine's work for an import of one item in n categories of one language, and for
// renaming one of them, grows with n (doubling n at most a little more than doubles it).
TEST_F(ExchangeTest, WorkGrowsWithTheCategoriesNotTheirSquare) {
    const auto importWork = [&](int n) {
        Query("DELETE FROM tblItem; DELETE FROM ftsItem; DELETE FROM tblItemCategory; DELETE FROM tblCategory");
        QByteArray text = "1\tLang\tc0\tOne\tx\t\t2021-06-15 08:30:00\t\r\n";
        for (int c = 1; c < n; ++c) text += "1\tLang\tc" + QByteArray::number(c) + "\t\r\n";
        const QString file = env->Path("many.tab");
        WriteFileBytes(file, text);
        EngineWork work(gDB->Handle());
        ImportSummary summary;
        EXPECT_TRUE(Import(file, false, &summary)) << summary.error.toStdString();
        EXPECT_EQ(summary.categoryLines, n - 1);
        return work.Steps();
    };
    const qint64 small = importWork(2000), large = importWork(4000);
    EXPECT_LT(large, small * 5 / 2) << small << " steps for 2000 categories, " << large << " for 4000";

    const auto renameWork = [&](const QString& from, const QString& to) {
        EngineWork work(gDB->Handle());
        const int id = Scalar("SELECT ID FROM tblCategory WHERE Name = '" + from + "'").toInt();
        QString error;
        EXPECT_TRUE(RenameCategory(*gDB, id, to, &error)) << error.toStdString();
        return work.Steps();
    };
    // Renaming one of the 4,000 categories into another (a merge) finds the other through the
    // name's index, not by walking the language's categories.
    Query("DELETE FROM tblItemCategory WHERE CategoryID <> (SELECT ID FROM tblCategory WHERE Name = 'c3999')");
    EXPECT_LT(renameWork("c3999", "c1"), 1000);
}

}  // namespace
