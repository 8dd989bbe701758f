// The browse and search operations run their own statements, shaped for speed; the statements
// below are the plain ones over the views that define what each list holds. Every test builds a
// database with direct inserts (so it can hold what the store never writes: links whose item or
// category is gone, items without a full-text row and the like) and compares the two result
// tables cell for cell, header row included, in order. Rows whose sort keys are equal must come
// out in the order the plain statement gives them too: the list shows them that way.
#include "search/CSearchIndex.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"

#include "db/CItemLinks.h"
#include "db/basDB.h"
#include "util/basVariableTools.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

const QStringList kOrders = {"Title", "LastUpdate DESC", "ID", "FileSize DESC"};

QString RefTypesCount() { return "SELECT Count(ID) FROM tblItem"; }
QString RefTypes() { return "SELECT ID, Name, Count FROM qryTypes"; }

QString RefCategoriesCount(int t) {
    if (t == -1) return "SELECT Count(ID) FROM tblItem";
    // Items, each once however many categories of the language hold it.
    return "SELECT Count(DISTINCT ItemID) FROM qryItemTypes WHERE TypeID = " + QString::number(t) + " ";
}

QString RefCategories(int t) {
    const QString filter = t == -1 ? QString() : "WHERE TypeID = " + QString::number(t) + " ";
    return "SELECT tblCategory.ID, tblCategory.Name, Count(tblItemCategory.ItemID) "
           "FROM tblCategory "
           "JOIN tblItemCategory ON tblCategory.ID = tblItemCategory.CategoryID " +
           filter + "GROUP BY tblCategory.ID ORDER BY tblCategory.Name";
}

QString RefItems(int c, int t, const QString& order) {
    QString cond;
    if (c != -1) cond = "(CategoryID = " + QString::number(c) + ")";
    if (t != -1) {
        if (!cond.isEmpty()) cond += " AND ";
        cond += "(TypeID = " + QString::number(t) + ")";
    }
    if (!cond.isEmpty()) cond = "WHERE " + cond;
    return "SELECT DISTINCT ID, Title FROM qryItems " + cond + " ORDER BY " + order;
}

// A listing's rows: each item once, ties in number order.
QString RefListed(int c, int t, const QString& order) {
    QString cond = "WHERE ID IS NOT NULL";
    if (c != -1) cond += " AND CategoryID = " + QString::number(c);
    if (t != -1) cond += " AND TypeID = " + QString::number(t);
    return "SELECT DISTINCT ID, Title FROM qryItems " + cond + " ORDER BY " + order + ", ID";
}

QString RefSearch(const QString& s, int c, int t) {
    QString filter;
    if (c != -1) filter = " AND CategoryID = " + QString::number(c);
    if (t != -1) filter += " AND TypeID = " + QString::number(t);
    if (!filter.isEmpty())
        return "SELECT DISTINCT qryItemTypes.ItemID, Title "
               "FROM qryItemTypes JOIN ftsItem ON qryItemTypes.ItemID = +ftsitem.docid "
               "WHERE ftsItem MATCH '" +
               SqlEscape(s) + "'" + filter + " ORDER BY Title;";
    return "SELECT ROWID, Title FROM ftsItem WHERE ftsItem MATCH '" + SqlEscape(s) + "' ORDER BY Title;";
}

// One cell as text that keeps the storage class apart: 1, 1.0, '1' and NULL all differ.
QString Cell(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return "NULL";
    return QString::fromLatin1(v.typeName()) + ":" + v.toString();
}

QStringList Rows(const ResultTable& t) {
    QStringList out;
    for (int r = 0; r <= t.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < t.ColCount(); ++c) cells << (r == 0 ? t.Header(c) : Cell(t.At(r, c)));
        out << cells.join(" | ");
    }
    return out;
}

// The data rows as the text a reader of the rows sees, cells joined by " | ".
QStringList Texts(const ResultTable& t) {
    QStringList out;
    for (int r = 1; r <= t.RowCount(); ++r) out << t.Text(r, 0) + " | " + t.Text(r, 1);
    return out;
}

class BrowseEquivalenceTest : public StoreTest {
protected:
    // ForEachItem's (or ForEachListedItem's) rows in the same form; a failed read gives one line
    // saying so.
    QStringList Streamed(int category, int type, const QString& order, bool listed = false) {
        QStringList out;
        QByteArray scratch;
        QString error;
        const auto read = listed ? ForEachListedItem : ForEachItem;
        const bool ok = read(*gDB, category, type, order, [&](const CSQLite::Row& row) {
            const QString id = QString::fromUtf8(row.Utf8(0, scratch));
            out << id + " | " + QString::fromUtf8(row.Utf8(1, scratch));
            return true;
        }, &error);
        return ok ? out : QStringList{"failed: " + error};
    }

    ResultTable Ref(const QString& sql) { return Query(sql); }
    int RefCount(const QString& sql) { return Scalar(sql).toInt(); }

    void Item(int id, const QVariant& title, const QString& code = "body", const QVariant& size = {},
              const QVariant& time = 2460000.25, const QString& file = {}) {
        Query(QString("INSERT INTO tblItem (ID, FileSize, FileBLOB, LastUpdate) VALUES (%1, %2, %3, %4)")
                  .arg(id)
                  .arg(CSQLite::RenderValue(size))
                  .arg(size.isValid() ? "X'00112233'" : "NULL")
                  .arg(CSQLite::RenderValue(time)));
        FtsRow(id, title, code, file);
    }
    void FtsRow(int id, const QVariant& title, const QString& code, const QString& file = {}) {
        Query(QString("INSERT INTO ftsItem (docid, Title, Code, File) VALUES (%1, %2, %3, %4)")
                  .arg(id)
                  .arg(title.isValid() ? SqlQuote(title.toString()) : QString("NULL"))
                  .arg(SqlQuote(code))
                  .arg(file.isEmpty() ? "NULL" : SqlQuote(file)));
    }
    void Type(int id, const QString& name) {
        Query(QString("INSERT INTO tblType (ID, Name) VALUES (%1, %2)").arg(id).arg(SqlQuote(name)));
    }
    void Category(int id, int type, const QString& name) {
        Query(QString("INSERT INTO tblCategory (ID, TypeID, Name) VALUES (%1, %2, %3)")
                  .arg(id)
                  .arg(type)
                  .arg(SqlQuote(name)));
    }
    void Link(int item, int category) {
        Query(QString("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (%1, %2)").arg(item).arg(category));
    }

    QList<int> Ids(const QString& table) {
        QList<int> ids;
        const ResultTable t = Query("SELECT DISTINCT ID FROM " + table + " ORDER BY ID");
        for (int r = 1; r <= t.RowCount(); ++r) ids << t.Text(r, 0).toInt();
        return ids;
    }

    // Every filter the lists can send: each language and category present, ids that match
    // nothing, and each category with its own language, another one and none.
    void ExpectAllOperationsMatch(const QStringList& searches = {}) {
        int ours = -7;
        ResultTable t = LoadTypes(ours);
        EXPECT_EQ(Rows(t), Rows(Ref(RefTypes()))) << "LoadTypes";
        EXPECT_EQ(ours, RefCount(RefTypesCount())) << "LoadTypes count";

        QList<int> types = Ids("tblType") + Ids("(SELECT TypeID AS ID FROM tblCategory)");
        types << -1 << 0 << 987654;
        QList<int> categories = Ids("tblCategory") + Ids("(SELECT CategoryID AS ID FROM tblItemCategory)");
        categories << -1 << 0 << 987654;

        for (int type : types) {
            ours = -7;
            t = LoadCategories(type, ours);
            EXPECT_EQ(Rows(t), Rows(Ref(RefCategories(type)))) << "LoadCategories " << type;
            EXPECT_EQ(ours, RefCount(RefCategoriesCount(type))) << "LoadCategories count " << type;
        }
        for (int category : categories) {
            for (int type : types) {
                for (const QString& order : kOrders) {
                    ResultTable ref = Ref(RefItems(category, type, order));
                    if (ref.RowCount() == 0) ref = ResultTable();
                    EXPECT_EQ(Rows(LoadItems(category, type, order)), Rows(ref))
                        << "LoadItems " << category << " " << type << " " << order.toStdString();
                    EXPECT_EQ(Streamed(category, type, order), Texts(ref))
                        << "ForEachItem " << category << " " << type << " " << order.toStdString();
                    EXPECT_EQ(Streamed(category, type, order, true), Texts(Ref(RefListed(category, type, order))))
                        << "ForEachListedItem " << category << " " << type << " " << order.toStdString();
                }
                for (const QString& s : searches) {
                    // The same hits as the plain full-text search, in title order.
                    EXPECT_EQ(Rows(SearchItems(s, category, type, nullptr, "Title")),
                              Rows(Ref(RefSearch(s, category, type))))
                        << "SearchItems " << s.toStdString() << " " << category << " " << type;
                }
            }
        }
        EXPECT_TRUE(prompt->Messages().isEmpty());
    }

    // With the search index current, the lists read its titles table: the same rows.
    void ExpectListsMatchFromTheIndex() {
        QString e;
        ASSERT_TRUE(CSearchIndex::CatchUp(*gDB, &e)) << e.toStdString();
        ASSERT_TRUE(CSearchIndex::IsCurrent(*gDB));
        QList<int> types = Ids("tblType") << -1 << 987654;
        QList<int> categories = Ids("tblCategory") << -1 << 987654;
        for (int category : categories)
            for (int type : types)
                for (const QString& order : kOrders) {
                    EXPECT_EQ(Streamed(category, type, order), Texts(Ref(RefItems(category, type, order))))
                        << "ForEachItem " << category << " " << type << " " << order.toStdString();
                    EXPECT_EQ(Streamed(category, type, order, true), Texts(Ref(RefListed(category, type, order))))
                        << "ForEachListedItem " << category << " " << type << " " << order.toStdString();
                }
    }
};

TEST_F(BrowseEquivalenceTest, EmptyDatabase) {
    ExpectAllOperationsMatch({"anything", "a*"});
    int count = -1;
    EXPECT_FALSE(LoadTypes(count).IsFilled());
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(LoadItems(-1, -1, "Title").IsFilled());
}

TEST_F(BrowseEquivalenceTest, NormalDatabaseWithSeveralLanguagesAndCategories) {
    Type(1, "VB");
    Type(2, "C++");
    Type(3, "SQL");
    Category(10, 1, "Strings");
    Category(11, 1, "Files");
    Category(20, 2, "Strings");  // the same name in another language
    Category(21, 2, "Algorithms");
    Category(30, 3, "Joins");
    Item(1, "Trim a string", "Function TrimAll pivot", 120, 2460001.5, "trim.bas");
    Item(2, "Read a file", "Open For Input", {}, 2460002.5);
    Item(3, "Quick sort", "pivot partition", 4000, 2460003.5, "qsort.zip");
    Item(4, "Split", "std::string split", {}, 2460004.5);
    Item(5, "Left join", "select pivot", 10, 2460005.5);
    Link(1, 10);
    Link(2, 11);
    Link(3, 21);
    Link(3, 20);
    Link(4, 20);
    Link(5, 30);
    Link(4, 10);  // an item in two languages
    ExpectAllOperationsMatch({"pivot", "string*", "qsort", "title:split", "\"quick sort\""});

    int count = 0;
    EXPECT_EQ(LoadTypes(count).RowCount(), 3);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(LoadItems(-1, -1, "Title").RowCount(), 5);
}

// The cases the store itself never writes but other programs, crashes or old versions may
// leave behind, and the rows that sort equal.
TEST_F(BrowseEquivalenceTest, DanglingLinksOrphansTiesAndNullTitles) {
    Type(1, "VB");
    Type(2, "vb");  // equal to the first under NOCASE
    Type(3, "Perl");  // categories without items
    Type(4, "Empty");  // no categories at all
    Category(10, 1, "General");
    Category(11, 1, "general");
    Category(20, 2, "General");
    Category(30, 3, "Unused");
    Category(40, 99, "No language");  // its language row is gone
    // Titles that sort equal, NULL and empty titles; equal times and sizes.
    Item(7, "Same", "alpha", 5, 2460000.5);
    Item(3, "Same", "alpha", 5, 2460000.5);
    Item(9, "Same", "alpha beta", {}, 2460000.5);
    Item(5, QVariant(), "alpha", {}, 2460010.5);
    Item(6, QVariant(), "alpha", {}, QVariant());
    Item(8, "", "alpha", 0, 2460010.5);
    Item(4, "same", "beta", 5, 2459000.5);
    Item(2, "Zed", "beta", 70000, 2460020.5);
    Item(12, "Unlinked", "alpha");  // found only by an unfiltered search
    Item(13, "Kept 13", "alpha");
    Item(14, "Kept 14", "alpha");
    Item(15, "Kept 15", "alpha");
    Query("INSERT INTO tblItem (ID, LastUpdate) VALUES (11, 2460000.5)");  // no full-text row
    FtsRow(10, "Text only", "alpha");                                      // no tblItem row
    // Link order differs from item order, so equal keys show which way ties break.
    Link(9, 10);
    Link(3, 10);
    Link(7, 11);
    Link(7, 10);
    Link(5, 10);
    Link(8, 10);
    Link(6, 11);
    Link(4, 20);
    Link(2, 20);
    Link(3, 20);
    Link(100, 10);  // item gone
    Link(101, 20);  // item gone
    Link(11, 10);   // item without its full-text row
    Link(10, 20);   // full-text row without its tblItem row
    Link(2, 55);    // category gone
    Link(9, 40);    // category whose language is gone
    Link(13, 40);
    Link(14, 10);
    Link(15, 11);
    Link(14, 11);
    Link(9, 10);  // replaces the first link: item 9 now comes last in its category
    ExpectAllOperationsMatch({"alpha", "beta", "alpha OR beta", "same", "kept"});
    ExpectListsMatchFromTheIndex();

    // The list really holds the row for the links whose item is gone.
    const ResultTable all = LoadItems(-1, -1, "ID");
    ASSERT_TRUE(all.IsFilled());
    EXPECT_FALSE(all.At(1, 0).isValid());
}

TEST_F(BrowseEquivalenceTest, CategoriesWithoutItemsAndItemsWithoutLinks) {
    Type(1, "Go");
    Type(2, "Lisp");
    Category(1, 1, "Channels");
    Category(2, 2, "Macros");
    Item(1, "Fan out", "go func");
    Item(2, "Hygiene", "defmacro");
    Link(1, 1);
    ExpectAllOperationsMatch({"go", "defmacro"});
    int count = 0;
    EXPECT_EQ(LoadCategories(-1, count).RowCount(), 1);
    EXPECT_EQ(count, 2);
}

// A few hundred items with random links, re-links and deletions: every filter and order.
TEST_F(BrowseEquivalenceTest, RandomDatabasesMatchForEveryFilterAndOrder) {
    for (quint32 seed : {11u, 2026u}) {
        QRandomGenerator rnd(seed);
        Query("BEGIN TRANSACTION");
        const int types = 4, categories = 12, items = 240;
        for (int t = 1; t <= types; ++t) Type(t, "Lang" + QString::number(t % 3));  // names repeat
        for (int c = 1; c <= categories; ++c) Category(c, 1 + rnd.bounded(types + 1), "Cat" + QString::number(c % 5));
        const QStringList words = {"red", "green", "blue", "pivot", "sort", "file"};
        // Titles that share long starts, and that are starts of one another.
        const QStringList stems = {"T", "Quick sort of a list", "Quick sort of a list ", "Quick sort of a list in C"};
        for (int i = 1; i <= items; ++i) {
            const int pick = rnd.bounded(20);
            const QVariant title = pick == 0   ? QVariant()
                                   : pick == 1 ? QVariant(QString())
                                               : QVariant(stems[rnd.bounded(stems.size())] + QString::number(rnd.bounded(60)));
            const QVariant size = rnd.bounded(3) == 0 ? QVariant(100 * rnd.bounded(4)) : QVariant();
            const QVariant time = 2460000.5 + rnd.bounded(30);
            Item(i, title, words[rnd.bounded(words.size())] + " " + words[rnd.bounded(words.size())], size, time);
            const int links = rnd.bounded(4);
            for (int l = 0; l < links; ++l) Link(i, 1 + rnd.bounded(categories + 1));
        }
        for (int k = 0; k < 60; ++k) Link(1 + rnd.bounded(items + 10), 1 + rnd.bounded(categories));
        Query("DELETE FROM tblItem WHERE ID % 17 = 0");
        Query("DELETE FROM ftsItem WHERE docid % 19 = 0");
        // Negative sizes and times; in the second file also a real size and a text time (another
        // program's rows), so that they no longer sort as numbers of one kind.
        Query("UPDATE tblItem SET FileSize = -FileSize, LastUpdate = -LastUpdate WHERE ID % 5 = 0");
        if (seed == 2026) {
            Query("UPDATE tblItem SET FileSize = 2.5 WHERE ID % 23 = 0");
            Query("UPDATE tblItem SET LastUpdate = 'later' WHERE ID % 29 = 0");
        }
        // Blobs, and text that differs only in NULs at its end, order by all their bytes.
        Query("UPDATE ftsItem SET Title = X'517569636B20736F7274' WHERE docid IN (1, 2)");
        for (const char* end : {"", "00", "0000", "00000000000000000078", "006F66"})
            Query(QString("UPDATE ftsItem SET Title = CAST(X'517569636B20736F7274%1' AS TEXT) WHERE docid IN (%2, %3)")
                      .arg(end)
                      .arg(3 + 2 * std::strlen(end))
                      .arg(4 + 2 * std::strlen(end)));
        Query("COMMIT TRANSACTION");
        ExpectAllOperationsMatch({"pivot", "red OR blue", "s*"});
        ExpectListsMatchFromTheIndex();
        Query("DELETE FROM tblItemCategory");
        Query("DELETE FROM tblItem");
        Query("DELETE FROM ftsItem");
        Query("DELETE FROM tblCategory");
        Query("DELETE FROM tblType");
    }
}

// The title list is composed once per state of the file: a commit on this connection or by
// another program, and changes inside an open transaction, show at the next call.
TEST_F(BrowseEquivalenceTest, ListsFollowEveryCommitAndAnOpenTransaction) {
    Type(1, "C");
    Category(1, 1, "General");
    Item(1, "One");
    Link(1, 1);
    ExpectAllOperationsMatch();
    Item(2, "Two", "body", 5);
    Link(2, 1);
    ExpectAllOperationsMatch();

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(gDB->Filename().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "UPDATE ftsItem SET Title = 'Zero' WHERE docid = 1", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    ExpectAllOperationsMatch();
    EXPECT_EQ(LoadItems(-1, -1, "Title").Text(2, 1), "Zero");

    Query("BEGIN TRANSACTION");
    Item(3, "Three");
    Link(3, 1);
    ExpectAllOperationsMatch();
    Query("ROLLBACK TRANSACTION");
    ExpectAllOperationsMatch();
    EXPECT_EQ(LoadItems(-1, -1, "ID").RowCount(), 2);
}

// The window's own saves and deletes update the kept lists for that one item; they must then
// equal what the plain statements give, and anything else committed in between means a full read.
TEST_F(BrowseEquivalenceTest, KeptListsFollowTheWindowsOwnSavesAndDeletes) {
    Type(1, "C");
    Category(1, 1, "General");
    for (int i = 1; i <= 6; ++i) {
        Item(i, "Title " + QString::number(7 - i), "body", i * 10, 2460000.5 + i);
        Link(i, 1);
    }
    Link(3, 99);  // a dangling link stays as it is
    // Titles stored as numbers (another program's rows) sort before every text; a Windows-1252
    // title ("Caf\xe9") reads as that text.
    for (const char* title : {"42", "7.5", "CAST(X'436166E9' AS TEXT)"}) {
        const int id = 10 + int(std::strlen(title));
        Query(QString("INSERT INTO tblItem (ID, LastUpdate) VALUES (%1, 2460000.5)").arg(id));
        Query(QString("INSERT INTO ftsItem (docid, Title, Code) VALUES (%1, %2, 'x')").arg(id).arg(title));
        Link(id, 1);
    }
    struct Step {
        const char* what;
        std::function<int()> change;  // the item changed, as the window passes it on
    };
    const auto save = [](int id, const QString& language, const QString& title, const QString& categories) {
        return SaveItem(language, id, title, "code", categories, "2026-01-02 03:04:05", false);
    };
    const std::vector<Step> steps = {
        {"retitled and moved", [&] { return save(2, "C", "Title 9", "General,Other"); }},
        {"new item, new language", [&] { return save(-1, "Go", "Title 0", "Channels"); }},
        {"equal title", [&] { return save(4, "C", "Title 5", "Other"); }},
        {"deleted", [&] { return DeleteItem(5) ? 5 : 0; }},
        {"deleted item saved again", [&] { return save(5, "Go", "Back", "Channels"); }},
        {"language emptied", [&] { return save(7, "C", "Title 0", "General"); }},
        {"a full-text row and a link without their item", [&] {
             FtsRow(50, "Ghost", "x");
             Link(50, 1);
             return 50;
         }},
    };
    // The store's own writes bring the kept lists up to date through their change records; the
    // raw rows of the last step are read again by the next list.
    const auto followed = [] { return gDB->KeptLinks().IsLoaded() && gDB->KeptLinks().Stamp() == gDB->ChangeStamp(); };
    for (const Step& step : steps) {
        for (const QString& order : kOrders) LoadItems(-1, -1, order);  // every order kept
        const int id = step.change();
        ASSERT_GT(id, 0) << step.what;
        if (&step != &steps.back()) {
            EXPECT_TRUE(followed()) << step.what;
        }
        ExpectAllOperationsMatch();
    }

    // Another program's commit in between: the lists are read again.
    LoadItems(-1, -1, "Title");
    ASSERT_GT(save(1, "C", "Title 8", "General"), 0);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(gDB->Filename().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "UPDATE ftsItem SET Title = 'Zero' WHERE docid = 3", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    EXPECT_FALSE(followed());
    ExpectAllOperationsMatch();
}

// A file whose full-text table keeps no content table of its own (here: a plain table under the
// same name) still lists its items, the plain way.
TEST_F(BrowseEquivalenceTest, FullTextTableWithoutContentTableStillLists) {
    Query("DROP TABLE ftsItem");
    Query("CREATE TABLE ftsItem (docid INTEGER PRIMARY KEY, Title, Code, File)");
    Type(1, "VB");
    Category(1, 1, "General");
    Item(2, "Beta", "x");
    Item(1, "Alpha", "x");
    Link(2, 1);
    Link(1, 1);
    for (const QString& order : kOrders) {
        EXPECT_EQ(Rows(LoadItems(-1, -1, order)), Rows(Ref(RefItems(-1, -1, order)))) << order.toStdString();
        EXPECT_EQ(Streamed(-1, -1, order), Texts(Ref(RefItems(-1, -1, order)))) << order.toStdString();
    }
    EXPECT_EQ(LoadItems(1, 1, "Title").RowCount(), 2);
}

// A malformed query fails the same way filtered or not: one message with its reason, no rows.
TEST_F(BrowseEquivalenceTest, MalformedSearchesGiveTheirReason) {
    Type(1, "VB");
    Category(1, 1, "General");
    Item(1, "One", "alpha");
    Link(1, 1);
    for (const QString& q : {QString("\"alpha"), QString("alpha OR"), QString("(alpha")}) {
        for (int filtered = 0; filtered < 2; ++filtered) {
            const int c = filtered ? 1 : -1;
            prompt->shown.clear();
            QString error;
            const ResultTable ours = SearchItems(q, c, c, &error);
            EXPECT_FALSE(error.isEmpty()) << q.toStdString();
            EXPECT_FALSE(ours.IsFilled()) << q.toStdString();
            ASSERT_EQ(prompt->Messages().size(), 1);
            EXPECT_TRUE(prompt->Messages().first().startsWith("Search error: ")) << q.toStdString();
        }
    }
}

// The statements the operations run never go through the item views.
TEST_F(BrowseEquivalenceTest, NoStatementReadsTheItemView) {
    Type(1, "VB");
    Category(1, 1, "General");
    Item(1, "One", "alpha");
    Link(1, 1);

    // The search index is made first: what is traced is the searches, not its making.
    ASSERT_TRUE(CSearchIndex::CatchUp(*gDB, nullptr));
    QStringList statements;
    sqlite3_trace_v2(
        gDB->Handle(), SQLITE_TRACE_STMT,
        [](unsigned, void* ctx, void*, void* x) -> int {
            static_cast<QStringList*>(ctx)->append(QString::fromUtf8(static_cast<const char*>(x)));
            return 0;
        },
        &statements);
    int count = 0;
    LoadTypes(count);
    LoadCategories(-1, count);
    LoadCategories(1, count);
    for (const QString& order : kOrders) {
        LoadItems(-1, -1, order);
        LoadItems(1, -1, order);
        LoadItems(-1, 1, order);
        LoadItems(1, 1, order);
    }
    SearchItems("alpha", -1, -1);
    SearchItems("alpha", 1, 1);
    sqlite3_trace_v2(gDB->Handle(), 0, nullptr, nullptr);

    ASSERT_GE(statements.size(), 10);
    for (const QString& sql : statements) {
        if (sql.startsWith("--")) continue;  // the full-text module's own statements
        const ResultTable plan = Query("EXPLAIN QUERY PLAN " + sql);
        if (!plan.IsFilled()) continue;  // BEGIN, COMMIT, PRAGMA
        for (int r = 1; r <= plan.RowCount(); ++r) {
            const QString step = plan.Text(r, 3);
            // Neither the item views nor a pass over every full-text row (code text included).
            EXPECT_FALSE(step.contains(QRegularExpression("\\bqryItems?\\b"))) << sql.toStdString();
            EXPECT_FALSE(step.contains("ftsItem VIRTUAL TABLE INDEX 0:")) << sql.toStdString();
        }
    }
}

}  // namespace
