// Every kind of write reports what it changed: to writers inside its transaction (with the values
// before and after) and to listeners once, after the commit, never after a rollback.
#include "StoreFixture.h"

#include "attach/basAttachment.h"
#include "db/CTransaction.h"
#include "exchange/basImport.h"

#include <QFile>

namespace {

class ChangeRecordTest : public ItemStoreTest {
protected:
    void SetUp() override {
        ItemStoreTest::SetUp();
        python = Save("Python", "Sort a list", "Sorting,Lists", "sorted(xs)");
        bash = Save("Bash", "Find big files", "Files", "find . -size +1G");
        db.AddChangeWriter([this](CSQLite& conn, const CChange& c, QString*) {
            EXPECT_TRUE(conn.InTransaction());
            written << c;
            return !failWriter;
        });
        db.AddChangeListener([this](CSQLite& conn, const QList<CChange>& changes, const CSQLite::Stamp&) {
            EXPECT_FALSE(conn.InTransaction());
            heard << changes;
            ++deliveries;
        });
    }
    // The one change a write made, heard once after its commit and seen by the writer first.
    CChange Only() {
        EXPECT_EQ(deliveries, 1);
        EXPECT_EQ(written.size(), 1);
        EXPECT_EQ(heard.size(), 1);
        return heard.value(0);
    }
    CItem Stored(int id) {
        CItem item;
        QString error;
        EXPECT_TRUE(LoadItem(db, id, item, &error)) << error.toStdString();
        return item;
    }
    void Forget() {
        written.clear();
        heard.clear();
        deliveries = 0;
    }

    int python = 0, bash = 0;
    bool failWriter = false;
    QList<CChange> written, heard;
    int deliveries = 0;
};

TEST_F(ChangeRecordTest, EachKindOfWriteReportsItsItemsWithValuesBeforeAndAfter) {
    struct Case {
        const char* what;
        std::function<void()> write;
        CChange::Kind kind;
        std::function<int()> item;       // the item the change names
        bool hasBefore, hasAfter;
        std::function<void(const CItemChange&)> check;
    };
    int created = 0;
    const QString attachment = env.Path("notes.txt");
    {
        QFile f(attachment);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("attached text\n");
    }
    const std::vector<Case> cases = {
        {"new item",
         [&] {
             CItem item;
             item.title = "Reverse";
             item.body = "xs[::-1]";
             item.language = "Python";
             item.categories = {"Lists"};
             ASSERT_GT(created = SaveItem(db, item, {}, nullptr), 0);
         },
         CChange::Kind::Save, [&] { return created; }, false, true,
         [&](const CItemChange& c) {
             EXPECT_EQ(c.after->title, "Reverse");
             EXPECT_EQ(c.after->categories, QStringList{"Lists"});
             EXPECT_EQ(*c.after, Stored(created));
         }},
        {"edited item",
         [&] {
             CItem item = Stored(python);
             item.body = "sorted(xs, reverse=True)";
             item.categories = {"Sorting"};
             ASSERT_GT(SaveItem(db, item, {}, nullptr), 0);
         },
         CChange::Kind::Save, [&] { return python; }, true, true,
         [&](const CItemChange& c) {
             EXPECT_EQ(c.before->body, "sorted(xs)");
             EXPECT_EQ(c.before->categories, (QStringList{"Sorting", "Lists"}));
             EXPECT_EQ(c.after->body, "sorted(xs, reverse=True)");
             EXPECT_EQ(*c.after, Stored(python));
         }},
        {"merged into the item of the same title",
         [&] {
             CItem item;
             item.title = "Find big files";
             item.body = "ignored";  // differs from the stored text
             item.language = "Bash";
             item.categories = {"Disk"};
             SaveOptions merge;
             merge.merge = [](int) { return true; };
             ASSERT_EQ(SaveItem(db, item, merge, nullptr), bash);
         },
         CChange::Kind::Save, [&] { return bash; }, true, true,
         [&](const CItemChange& c) {
             EXPECT_EQ(c.before->categories, QStringList{"Files"});
             EXPECT_EQ(c.after->categories, (QStringList{"Files", "Disk"}));
             // The joining text is kept below the stored one.
             EXPECT_TRUE(c.after->body.startsWith("find . -size +1G\n\n--- Added by merge on "));
             EXPECT_TRUE(c.after->body.endsWith(" ---\nignored"));
             EXPECT_EQ(*c.after, Stored(bash));
         }},
        {"category renamed",
         [&] {
             QString error;
             ASSERT_TRUE(RenameCategory(db, CatId("Bash", "Files"), "Big files", &error)) << error.toStdString();
         },
         CChange::Kind::RenameCategory, [&] { return bash; }, true, true,
         [&](const CItemChange& c) {
             EXPECT_TRUE(c.before->categories.contains("Files"));
             EXPECT_TRUE(c.after->categories.contains("Big files"));
             EXPECT_FALSE(c.after->categories.contains("Files"));
         }},
        {"attached",
         [&] { ASSERT_TRUE(SaveAttachment(db, python, attachment)); },
         CChange::Kind::Attach, [&] { return python; }, true, true,
         [&](const CItemChange& c) {
             EXPECT_EQ(c.before->fileName, QString());
             EXPECT_EQ(c.after->fileName, "notes.txt");
             EXPECT_EQ(c.after->fileSize, 14);
         }},
        {"attachment cleared",
         [&] { ASSERT_TRUE(ClearAttachment(db, python)); },
         CChange::Kind::ClearAttachment, [&] { return python; }, true, true,
         [&](const CItemChange& c) {
             EXPECT_EQ(c.before->fileName, "notes.txt");
             EXPECT_FALSE(c.after->HasAttachment());
         }},
        {"deleted",
         [&] { ASSERT_TRUE(DeleteItem(db, bash)); },
         CChange::Kind::Delete, [&] { return bash; }, true, false,
         [&](const CItemChange& c) { EXPECT_EQ(c.before->title, "Find big files"); }},
    };
    for (const Case& c : cases) {
        Forget();
        c.write();
        const CChange change = Only();
        EXPECT_EQ(change.kind, c.kind) << c.what;
        ASSERT_EQ(change.ItemIds(), QList<int>{c.item()}) << c.what;
        const CItemChange& item = change.items.first();
        EXPECT_EQ(item.before.has_value(), c.hasBefore) << c.what;
        EXPECT_EQ(item.after.has_value(), c.hasAfter) << c.what;
        if (item.before.has_value() == c.hasBefore && item.after.has_value() == c.hasAfter) c.check(item);
        EXPECT_EQ(written.first().kind, c.kind) << c.what;
    }
    if (HasFailure()) return;

    // Compaction names no item; the lists read again.
    Forget();
    ASSERT_TRUE(VacuumDatabase(db));
    EXPECT_EQ(Only().kind, CChange::Kind::Compact);
}

TEST_F(ChangeRecordTest, ImportReportsNewItemsByNumberAndReplacedOnesWithTheirValues) {
    const QString file = env.Path("in.txt");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // Item 1 exists (replaced); item 7 is new.
        f.write("1\tPython\tSorting\tSort again\tsorted(ys)\t\t2024-02-01 10:00:00\t\r\n"
                "7\tGo\tChannels\tFan in\tselect {}\t\t2024-02-01 10:00:00\t\r\n");
    }
    ImportSummary summary;
    ASSERT_TRUE(ImportDatabase(db, file, true, &summary)) << summary.error.toStdString();
    EXPECT_EQ(deliveries, 1);  // one commit, one delivery
    QHash<int, CItemChange> byId;
    for (const CChange& c : heard)
        for (const CItemChange& i : c.items) byId.insert(i.id, i);
    ASSERT_TRUE(byId.contains(python) && byId.contains(7));
    EXPECT_EQ(byId[python].before->title, "Sort a list");
    EXPECT_EQ(byId[python].after->title, "Sort again");
    EXPECT_FALSE(byId[7].before.has_value());
}

TEST_F(ChangeRecordTest, NothingIsHeardOfRolledBackWorkAndAFailingWriterUndoesTheWrite) {
    // A save inside a transaction that is rolled back.
    {
        CTransaction outer(db);
        CItem item = Stored(python);
        item.title = "Never stored";
        ASSERT_GT(SaveItem(db, item, {}, nullptr), 0);
        EXPECT_EQ(written.size(), 1);
        EXPECT_EQ(deliveries, 0);  // not before the commit
    }
    EXPECT_EQ(deliveries, 0);
    EXPECT_EQ(Stored(python).title, "Sort a list");

    // A savepoint rolled back inside a committed transaction takes only its own changes along.
    Forget();
    {
        CTransaction outer(db);
        ASSERT_TRUE(DeleteItem(db, bash));
        {
            CTransaction inner(db);
            CItem item = Stored(python);
            item.title = "Inner";
            ASSERT_GT(SaveItem(db, item, {}, nullptr), 0);
        }
        ASSERT_TRUE(outer.Commit());
    }
    EXPECT_EQ(deliveries, 1);
    ASSERT_EQ(heard.size(), 1);
    EXPECT_EQ(heard.first().kind, CChange::Kind::Delete);

    // A writer that fails fails the write, which leaves nothing behind.
    Forget();
    failWriter = true;
    CItem item = Stored(python);
    item.title = "Refused";
    QString error;
    EXPECT_EQ(SaveItem(db, item, {}, &error), 0);
    EXPECT_EQ(deliveries, 0);
    EXPECT_EQ(Stored(python).title, "Sort a list");
}

TEST_F(ChangeRecordTest, ABigTransactionTellsListenersTheNumbersOnly) {
    CTransaction unit(db);
    for (int i = 0; i < 1001; ++i) {
        CItem item;
        item.title = QString("T%1").arg(i);
        item.language = "C";
        item.categories = {"Bulk"};
        ASSERT_GT(SaveItem(db, item, {}, nullptr), 0);
    }
    ASSERT_TRUE(unit.Commit());
    ASSERT_EQ(heard.size(), 1001);
    EXPECT_TRUE(written.last().items.first().after.has_value());  // writers see every value
    EXPECT_FALSE(heard.first().valuesOmitted);
    EXPECT_TRUE(heard.last().valuesOmitted);
    EXPECT_FALSE(heard.last().items.first().after.has_value());
}

}  // namespace

// A record's item values are shared between copies to stay small, yet each copy keeps its own.
TEST(ChangeValues, ACopyChangedLeavesTheOriginalAsItWas) {
    CItem item;
    item.title = QStringLiteral("Sort a list");
    CItemChange original{7, std::nullopt, item};
    CItemChange copy = original;
    copy.after->title = QStringLiteral("Sort a vector");
    copy.before.emplace(item);
    EXPECT_EQ(original.after->title, "Sort a list");
    EXPECT_FALSE(original.before.has_value());
    EXPECT_EQ(copy.after->title, "Sort a vector");
    copy.after = std::nullopt;
    EXPECT_FALSE(copy.after);
    EXPECT_TRUE(original.after);
}
