// Times taken in the hour that repeats, rows left without their other half, and titles too
// large for a list.
#include "StoreFixture.h"
#include "db/basDBOrphans.h"
#include "util/basLimits.h"
#include "util/basTime.h"

#include <QTimeZone>

namespace {

using TrustStoreTest = ItemStoreTest;

// Saves at fixed instants around the night New York's clocks go back (01:00-02:00 EST comes
// after 01:00-02:00 EDT): each is stored as the instant it was, and the list by modification
// follows the order of saving.
TEST_F(TrustStoreTest, TimesInTheRepeatedHourKeepTheirOrder) {
    const QStringList utc = {"2023-11-05 05:10:00", "2023-11-05 05:50:00", "2023-11-05 06:10:00",
                             "2023-11-05 06:30:00"};  // 01:10 EDT, 01:50 EDT, 01:10 EST, 01:30 EST
    QList<int> ids;
    for (const QString& at : utc) {
        SetFixedClock(QDateTime(QDate::fromString(at.left(10), "yyyy-MM-dd"),
                                QTime::fromString(at.mid(11), "hh:mm:ss"), Qt::UTC));
        EXPECT_EQ(UtcNowText(), at);
        ids << Save("C", at, "Times", "code", UtcNowText(), -1, TimeBase::Utc);
    }
    SetFixedClock({});
    for (int i = 0; i < ids.size(); ++i)
        EXPECT_EQ(Scalar("SELECT DateTime(LastUpdate) FROM tblItem WHERE ID = " + QString::number(ids[i])).toString(),
                  utc[i]);
    EXPECT_EQ(Item(ids[2]).lastUpdate, "11/05/2023 01:10");  // shown in local time
    const ResultTable newestFirst = LoadItems(db, -1, -1, "LastUpdate DESC");
    QList<int> order;
    for (int r = 1; r <= newestFirst.RowCount(); ++r) order << newestFirst.Int(r, 0);
    EXPECT_EQ(order, (QList<int>{ids[3], ids[2], ids[1], ids[0]}));
}

// A full-text row without its item holds its number; an item row without its full-text row is
// listed nowhere. Compaction repairs both, delete removes such a row.
TEST_F(TrustStoreTest, RowsWithoutTheirOtherHalfAreRepaired) {
    const int kept = Save("C", "Kept", "A");
    Query(
        "INSERT INTO ftsItem (docid, Title, Code) VALUES (40, 'orphan', 'x');"
        "INSERT INTO tblItem (ID, LastUpdate) VALUES (41, 2460000.5);"
        "INSERT INTO tblItem (ID, FileSize, FileBLOB, LastUpdate) VALUES (42, 1, X'00', 2460000.5);");
    struct Case {
        const char* name;
        std::function<bool(QString*)> repair;
    };
    const QList<Case> cases = {
        {"compaction", [&](QString* e) { return VacuumDatabase(db, e); }},
        {"delete", [&](QString* e) { return DeleteItem(db, 40, e) && DeleteItem(db, 41, e); }},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_TRUE(HasFullTextRow(db, 40, &error)) << c.name;
        ASSERT_TRUE(c.repair(&error)) << c.name << error.toStdString();
        EXPECT_FALSE(HasFullTextRow(db, 40, &error)) << c.name;
        EXPECT_EQ(Count("tblItem WHERE ID = 41"), 0) << c.name;
        Query(
            "INSERT INTO ftsItem (docid, Title, Code) VALUES (40, 'orphan', 'x');"
            "INSERT INTO tblItem (ID, LastUpdate) VALUES (41, 2460000.5)");
    }
    // The item with an attachment stays, with an empty title, for its attachment to be taken out.
    EXPECT_EQ(Scalar("SELECT Title FROM qryItem WHERE ID = 42").toString(), "");
    EXPECT_EQ(Item(kept).title, "Kept");
}

// A list keeps at most kListTitleChars of a title, whichever way it is read.
TEST_F(TrustStoreTest, ListsKeepABoundedPartOfAHugeTitle) {
    const QString huge = QString(kListTitleChars + 100000, QChar(u'é'));
    const int id = Save("C", huge, "A");
    Save("C", "b", "A");
    for (const bool kept : {true, false}) {
        KeepItemLists(db, kept);
        const ResultTable rows = LoadItems(db, -1, -1, "Title");
        ASSERT_EQ(rows.RowCount(), 2);
        EXPECT_EQ(rows.Text(1, 1), "b");
        EXPECT_EQ(rows.Text(2, 1), huge.left(kListTitleChars)) << kept;
    }
    KeepItemLists(db, true);
    EXPECT_EQ(Item(id).title, huge);  // the item itself keeps it whole
}

}  // namespace
