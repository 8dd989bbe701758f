#include "StoreFixture.h"

namespace {

using BrowseTest = ItemStoreTest;

TEST_F(BrowseTest, EmptyDatabaseOrClosedConnectionGivesNothingAndZeroCounts) {
    for (bool closed : {false, true}) {
        if (closed) {
            Save("C++", "Quick sort", "Sorting");
            CloseDatabase();
        }
        int count = 99;
        EXPECT_FALSE(LoadTypes(count).IsFilled());
        EXPECT_EQ(count, 0);
        count = 99;
        EXPECT_FALSE(LoadCategories(closed ? 1 : -1, count).IsFilled());
        EXPECT_EQ(count, 0);
        EXPECT_FALSE(LoadItems(-1, -1, "Title").IsFilled());
        EXPECT_FALSE(SearchItems("sort", -1, -1).IsFilled());
    }
    EXPECT_TRUE(prompt->Messages().isEmpty());
}

TEST_F(BrowseTest, LanguagesCountDistinctItemsAndCategoriesCountLinks) {
    Save("C++", "Quick sort", "Sorting,Algorithms");
    Save("C++", "Read a file", "Files");
    Save("VB", "Bubble sort", "Sorting");
    const int gone = Save("Perl", "Regex", "Text");
    ASSERT_TRUE(DeleteItem(gone));

    int count = 0;
    ResultTable types = LoadTypes(count);
    EXPECT_EQ(count, 3);
    // Perl still has its category row but no item, so it is not listed.
    EXPECT_EQ(Column(types, 1), QStringList({"C++", "VB"}));
    EXPECT_EQ(Column(types, 2), QStringList({"2", "1"}));

    ResultTable cats = LoadCategories(TypeId("C++"), count);
    EXPECT_EQ(Column(cats, 1), QStringList({"Algorithms", "Files", "Sorting"}));
    EXPECT_EQ(Column(cats, 2), QStringList({"1", "1", "1"}));
    // Item-category pairs of the language: the quick sort counts twice.
    EXPECT_EQ(count, 3);

    cats = LoadCategories(-1, count);
    EXPECT_EQ(count, 3);  // every stored item
    EXPECT_EQ(Column(cats, 1), QStringList({"Algorithms", "Files", "Sorting", "Sorting"}));
}

TEST_F(BrowseTest, ItemsAreListedOnceInEachOrderAndFilteredByCategoryAndLanguage) {
    const int a = Save("C++", "Beta", "Sorting,Algorithms", "x", "2024-01-02 10:00:00");
    const int b = Save("C++", "Alpha", "Sorting", "x", "2024-01-05 10:00:00");
    const int c = Save("VB", "Gamma", "Sorting", "x", "2024-01-03 10:00:00");
    Query("UPDATE tblItem SET FileSize = 10 WHERE ID = " + QString::number(a));
    Query("UPDATE tblItem SET FileSize = 30 WHERE ID = " + QString::number(c));
    Query("UPDATE tblItem SET FileSize = 20, LastUpdate = JulianDay('2024-01-05 15:00:00') WHERE ID = " +
          QString::number(b));
    Query("UPDATE tblItem SET LastUpdate = JulianDay('2024-01-02 15:00:00') WHERE ID = " + QString::number(a));
    Query("UPDATE tblItem SET LastUpdate = JulianDay('2024-01-03 15:00:00') WHERE ID = " + QString::number(c));
    const QString sa = QString::number(a), sb = QString::number(b), sc = QString::number(c);

    EXPECT_EQ(Column(LoadItems(-1, -1, "Title"), 1), QStringList({"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Column(LoadItems(-1, -1, "ID"), 0), QStringList({sa, sb, sc}));
    EXPECT_EQ(Column(LoadItems(-1, -1, "LastUpdate DESC"), 0), QStringList({sb, sc, sa}));
    EXPECT_EQ(Column(LoadItems(-1, -1, "FileSize DESC"), 0), QStringList({sc, sb, sa}));

    EXPECT_EQ(Column(LoadItems(CatId("C++", "Sorting"), -1, "Title"), 1), QStringList({"Alpha", "Beta"}));
    EXPECT_EQ(Column(LoadItems(-1, TypeId("VB"), "Title"), 1), QStringList({"Gamma"}));
    EXPECT_EQ(Column(LoadItems(CatId("C++", "Algorithms"), TypeId("C++"), "Title"), 1), QStringList({"Beta"}));
    // A category of one language with the other language's id matches nothing.
    EXPECT_FALSE(LoadItems(CatId("C++", "Algorithms"), TypeId("VB"), "Title").IsFilled());

    // Only the list's sort keys reach the SQL text.
    const ResultTable odd = LoadItems(-1, -1, "Title; DROP TABLE tblItem");
    EXPECT_EQ(Column(odd, 1), QStringList({"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Count("tblItem"), 3);
}

TEST_F(BrowseTest, ItemWithoutCategoriesIsFoundOnlyByAnUnfilteredSearch) {
    const int id = Save("C++", "Lonely widget", "Misc");
    Query("DELETE FROM tblItemCategory WHERE ItemID = " + QString::number(id));
    EXPECT_FALSE(LoadItems(-1, -1, "Title").IsFilled());
    EXPECT_EQ(SearchItems("lonely", -1, -1).RowCount(), 1);
    EXPECT_FALSE(SearchItems("lonely", -1, TypeId("C++")).IsFilled());
}

TEST_F(BrowseTest, SearchFindsTitleCodeAndFileNamesWithFiltersAndQuotes) {
    const int a = Save("C++", "O'Brien's sort", "Sorting,Algorithms", "uses a pivot");
    const int b = Save("C++", "Another pivot", "Sorting");
    const int c = Save("VB", "Pivot tables", "Excel");
    Query("UPDATE ftsItem SET File = 'zanzibar.zip' WHERE DOCID = " + QString::number(c));

    ResultTable t = SearchItems("O'Brien", -1, -1);
    ASSERT_EQ(t.RowCount(), 1);
    EXPECT_EQ(t.Int(1, 0), a);
    EXPECT_EQ(SearchItems("zanzibar", -1, -1).Int(1, 0), c);

    t = SearchItems("pivot", -1, -1);
    EXPECT_EQ(Column(t, 1), QStringList({"Another pivot", "O'Brien's sort", "Pivot tables"}));

    // The quick sort is in two C++ categories but is listed once.
    t = SearchItems("pivot", -1, TypeId("C++"));
    EXPECT_EQ(Column(t, 0), QStringList({QString::number(b), QString::number(a)}));
    t = SearchItems("piv*", CatId("C++", "Algorithms"), TypeId("C++"));
    EXPECT_EQ(Column(t, 0), QStringList({QString::number(a)}));
    EXPECT_FALSE(SearchItems("pivot", CatId("VB", "Excel"), TypeId("C++")).IsFilled());
    EXPECT_TRUE(prompt->Messages().isEmpty());
}

TEST_F(BrowseTest, MalformedOrHostileSearchReportsTheEngineErrorAndNeverRunsSql) {
    Save("C++", "Quick sort", "Sorting", "pivot");
    const QStringList queries = {
        "\"unbalanced",          "pivot OR",     "AND",          "*",
        "\"",                    "(pivot",       "pivot)",       "NEAR/",
        "nosuchcol:pivot",       "x' ; DROP TABLE tblItem; --", "'", "''''",
        QString(QChar(0)) + "x", "-",            "^",            "pivot NEAR/99999999999999999999 sort",
    };
    for (const QString& q : queries) {
        for (int filtered = 0; filtered < 2; ++filtered) {
            prompt->shown.clear();
            QString error;
            const ResultTable t = SearchItems(q, -1, filtered ? TypeId("C++") : -1, &error);
            const QStringList msgs = prompt->Messages();
            if (!error.isEmpty()) {
                EXPECT_FALSE(t.IsFilled()) << q.toStdString();
                ASSERT_EQ(msgs.size(), 1) << q.toStdString();
                EXPECT_EQ(msgs[0], "Search error: " + error);
                EXPECT_EQ(prompt->shown[0].style, CPrompt::vbCritical | CPrompt::vbOKOnly);
            } else {
                EXPECT_TRUE(msgs.isEmpty()) << q.toStdString();
            }
        }
    }
    QString error;
    SearchItems("\"unbalanced", -1, -1, &error);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(Count("tblItem"), 1);
    EXPECT_EQ(SearchItems("pivot", -1, -1).RowCount(), 1);
}

}  // namespace
