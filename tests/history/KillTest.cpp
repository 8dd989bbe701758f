// A process saving, deleting and undoing in a loop, killed at random moments, leaves every item
// and its history consistent: the journal commits with the change or not at all.
#include "history/HistoryFixture.h"

#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

namespace {

const char* const kChildVariable = "VG_HISTORY_KILL_CHILD";

int counterOf(const QString& body) { return body.mid(1).toInt(); }

}  // namespace

// Runs only as the child of the test below.
TEST(HistoryKillChild, SavesUntilKilled) {
    const QString path = qEnvironmentVariable(kChildVariable);
    if (path.isEmpty()) GTEST_SKIP() << "runs as the kill test's child only";
    CSQLite db;
    StoreError se;
    ASSERT_TRUE(OpenDatabase(db, path, &se));
    for (int round = 0;; ++round) {
        CItem item;
        QString e;
        ASSERT_TRUE(LoadItem(db, 1, item, &e)) << e.toStdString();
        item.body = QStringLiteral("v%1").arg(counterOf(item.body) + 1);
        item.lastUpdate = QDateTime();
        ASSERT_GT(SaveItem(db, item, SaveOptions(), &e), 0) << e.toStdString();
        if (round % 5 == 0) {
            ASSERT_TRUE(DeleteItem(db, 2, &e)) << e.toStdString();
            ASSERT_TRUE(CUndo::UndoLast(db, nullptr, nullptr, &e)) << e.toStdString();
        }
        if (round % 50 == 49) {
            ASSERT_TRUE(CHistory::Purge(db, 0, &e)) << e.toStdString();
        }
    }
}

TEST_F(HistoryTest, AKillAtAnyMomentLeavesItemsAndHistoryConsistent) {
    Save("C++", "Counter", "a", "v1");
    Save("C++", "Deleted and back", "a", "x");
    db.CloseFile();
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    for (int run = 0; run < 6; ++run) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildVariable), dbPath);
        child.setProcessEnvironment(env);
        child.start(self, {QStringLiteral("--gtest_filter=HistoryKillChild.*")});
        ASSERT_TRUE(child.waitForStarted());
        child.waitForFinished(150 + QRandomGenerator::global()->bounded(400));
        ASSERT_EQ(child.state(), QProcess::Running) << child.readAllStandardOutput().toStdString();
        child.kill();
        child.waitForFinished();

        StoreError se;
        ASSERT_TRUE(OpenDatabase(db, dbPath, &se)) << se.text.toStdString();
        EXPECT_EQ(Scalar("PRAGMA integrity_check").toString(), "ok");
        // One version per save since the last purge, whatever moment the kill came at.
        const int counter = counterOf(Item(1).body);
        const int purged = Scalar("SELECT Coalesce(Min(CAST(substr(Code, 2) AS INTEGER)), 0) FROM tblItemVersion "
                                  "WHERE ItemID = 1").toInt();
        const int kept = Count("tblItemVersion WHERE ItemID = 1");
        if (kept > 0) {
            EXPECT_EQ(kept, counter - purged) << "run " << run;
        }
        // Every version's item exists or waits in the trash; item 2 is either there or trashed
        // with an undo entry naming its delete.
        EXPECT_EQ(Count("tblItemVersion WHERE ItemID NOT IN (SELECT ID FROM tblItem) AND ItemID NOT IN "
                        "(SELECT ItemID FROM tblTrash)"),
                  0);
        const bool present = Count("tblItem WHERE ID = 2") == 1;
        const int trashed = Count("tblTrash WHERE ItemID = 2");
        EXPECT_EQ(present ? 0 : 1, trashed) << "run " << run;
        EXPECT_EQ(Count("tblUndo WHERE Command = 'Delete'"), trashed);
        if (!present) {
            QString e;
            ASSERT_TRUE(CUndo::UndoLast(db, nullptr, nullptr, &e)) << e.toStdString();
        }
        db.CloseFile();
    }
}
