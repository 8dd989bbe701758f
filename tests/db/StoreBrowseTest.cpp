#include "StoreFixture.h"

namespace {

class BrowseTest : public ItemStoreTest {
protected:
    ResultTable Items(int cat, int type, const QString& order = "Title") {
        QString error;
        ResultTable t = LoadItems(db, cat, type, order, &error);
        EXPECT_EQ(error, QString()) << order.toStdString();
        return t;
    }
    ResultTable Search(const QString& text, int cat = -1, int type = -1) {
        QString error;
        ResultTable t = SearchItems(db, text, cat, type, &error);
        EXPECT_EQ(error, QString()) << text.toStdString();
        return t;
    }
};

TEST_F(BrowseTest, EmptyDatabaseOrClosedConnectionGivesNothingAndZeroCounts) {
    CSQLite closed;
    for (CSQLite* c : {&db, &closed}) {
        int count = 99;
        EXPECT_FALSE(LoadTypes(*c, count).IsFilled());
        EXPECT_EQ(count, 0);
        count = 99;
        EXPECT_FALSE(LoadCategories(*c, c == &db ? -1 : 1, count).IsFilled());
        EXPECT_EQ(count, 0);
        EXPECT_FALSE(LoadItems(*c, -1, -1, "Title").IsFilled());
        QString error;
        EXPECT_FALSE(SearchItems(*c, "sort", -1, -1, &error).IsFilled());
    }
}

TEST_F(BrowseTest, LanguagesCountDistinctItemsAndCategoriesCountLinks) {
    Save("C++", "Quick sort", "Sorting,Algorithms");
    Save("C++", "Read a file", "Files");
    Save("VB", "Bubble sort", "Sorting");
    ASSERT_TRUE(DeleteItem(db, Save("Perl", "Regex", "Text")));

    int count = 0;
    ResultTable types = LoadTypes(db, count);
    EXPECT_EQ(count, 3);
    // Perl still has its category row but no item, so it is not listed.
    EXPECT_EQ(Column(types, 1), QStringList({"C++", "VB"}));
    EXPECT_EQ(Column(types, 2), QStringList({"2", "1"}));

    ResultTable cats = LoadCategories(db, TypeId("C++"), count);
    EXPECT_EQ(Column(cats, 1), QStringList({"Algorithms", "Files", "Sorting"}));
    EXPECT_EQ(Column(cats, 2), QStringList({"1", "1", "1"}));
    // Items of the language: the quick sort, in two of its categories, counts once.
    EXPECT_EQ(count, 2);

    cats = LoadCategories(db, -1, count);
    EXPECT_EQ(count, 3);  // every stored item
    EXPECT_EQ(Column(cats, 1), QStringList({"Algorithms", "Files", "Sorting", "Sorting"}));
}

TEST_F(BrowseTest, ItemsAreListedOnceInEachOrderAndFilteredByCategoryAndLanguage) {
    const int a = Save("C++", "Beta", "Sorting,Algorithms");
    const int b = Save("C++", "Alpha", "Sorting");
    const int c = Save("VB", "Gamma", "Sorting");
    const QString sa = QString::number(a), sb = QString::number(b), sc = QString::number(c);
    const struct {
        QString id;
        int size;
        const char* day;
    } rows[] = {{sa, 10, "02"}, {sb, 20, "05"}, {sc, 30, "03"}};
    for (const auto& r : rows)
        Query(QString("UPDATE tblItem SET FileSize = %1, LastUpdate = JulianDay('2024-01-%2 15:00:00') WHERE ID = %3")
                  .arg(r.size).arg(QLatin1String(r.day)).arg(r.id));

    EXPECT_EQ(Column(Items(-1, -1), 1), QStringList({"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Column(Items(-1, -1, "ID"), 0), QStringList({sa, sb, sc}));
    EXPECT_EQ(Column(Items(-1, -1, "LastUpdate DESC"), 0), QStringList({sb, sc, sa}));
    EXPECT_EQ(Column(Items(-1, -1, "FileSize DESC"), 0), QStringList({sc, sb, sa}));

    EXPECT_EQ(Column(Items(CatId("C++", "Sorting"), -1), 1), QStringList({"Alpha", "Beta"}));
    EXPECT_EQ(Column(Items(-1, TypeId("VB")), 1), QStringList({"Gamma"}));
    EXPECT_EQ(Column(Items(CatId("C++", "Algorithms"), TypeId("C++")), 1), QStringList({"Beta"}));
    // A category of one language with the other language's id matches nothing.
    EXPECT_FALSE(Items(CatId("C++", "Algorithms"), TypeId("VB")).IsFilled());

    // Only the list's sort keys reach the SQL text.
    EXPECT_EQ(Column(Items(-1, -1, "Title; DROP TABLE tblItem"), 1), QStringList({"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Count("tblItem"), 3);
}

TEST_F(BrowseTest, SearchFindsTitleCodeAndFileNamesWithFiltersAndQuotes) {
    const int a = Save("C++", "O'Brien's sort", "Sorting,Algorithms", "uses a pivot");
    const int b = Save("C++", "Another pivot", "Sorting");
    const int c = Save("VB", "Pivot tables", "Excel");
    Query("UPDATE ftsItem SET File = 'zanzibar.zip' WHERE DOCID = " + QString::number(c));
    // An item without categories is found only by an unfiltered search.
    const int lonely = Save("C++", "Lonely widget", "Misc");
    Query("DELETE FROM tblItemCategory WHERE ItemID = " + QString::number(lonely));
    EXPECT_EQ(Column(Items(-1, -1), 1), QStringList({"Another pivot", "O'Brien's sort", "Pivot tables"}));
    EXPECT_EQ(Search("lonely").RowCount(), 1);
    EXPECT_FALSE(Search("lonely", -1, TypeId("C++")).IsFilled());

    ResultTable t = Search("O'Brien");
    ASSERT_EQ(t.RowCount(), 1);
    EXPECT_EQ(t.Int(1, 0), a);
    EXPECT_EQ(Search("zanzibar").Int(1, 0), c);
    // Best first: the titles, then the code.
    EXPECT_EQ(Column(Search("pivot"), 1), QStringList({"Another pivot", "Pivot tables", "O'Brien's sort"}));

    // The quick sort is in two C++ categories but is listed once.
    EXPECT_EQ(Column(Search("pivot", -1, TypeId("C++")), 0), QStringList({QString::number(b), QString::number(a)}));
    EXPECT_EQ(Column(Search("piv*", CatId("C++", "Algorithms"), TypeId("C++")), 0), QStringList({QString::number(a)}));
    EXPECT_FALSE(Search("pivot", CatId("VB", "Excel"), TypeId("C++")).IsFilled());
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
        for (int type : {-1, TypeId("C++")}) {
            QString error;
            const ResultTable t = SearchItems(db, q, -1, type, &error);
            EXPECT_TRUE(error.isEmpty() || !t.IsFilled()) << q.toStdString();
        }
    }
    QString error;
    SearchItems(db, "\"unbalanced", -1, -1, &error);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(Count("tblItem"), 1);
    EXPECT_EQ(Search("pivot").RowCount(), 1);
}

}  // namespace
