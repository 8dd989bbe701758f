#include "SyncFixture.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

// vgcli sync killed at random moments: every next sync completes, and no edit of either side is
// lost.
TEST_F(SyncTest, ASyncKilledAtAnyMomentIsCompletedByTheNextWithoutLoss) {
    for (int i = 0; i < 150; ++i) Add(a, QStringLiteral("item %1").arg(i), QStringLiteral("body %1").arg(i));
    Sync(a);
    Sync(b);
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(seed);
    QRandomGenerator random(seed);
    const QString vgcli = QStringLiteral(VG_BIN_DIR "/vgcli");
    int interrupted = 0;
    int longest = 400;  // ms; shrinks while the syncs finish before the kill
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 40; ++i) {
            const int n = (round * 40 + i) % 100;
            Change(a, QStringLiteral("item %1").arg(n), [&](CItem& item) { item.body += QStringLiteral(" a%1").arg(round); });
        }
        Change(b, QStringLiteral("item %1").arg(149 - round), [&](CItem& item) { item.body += QStringLiteral(" b%1").arg(round); });
        Sync(b);
        QProcess child;
        child.start(vgcli, {QStringLiteral("sync"), a.dbPath, a.folder, QStringLiteral("--remote"), remote});
        ASSERT_TRUE(child.waitForStarted());
        QThread::msleep(random.bounded(1, longest));
        child.kill();
        child.waitForFinished();
        if (child.exitStatus() == QProcess::CrashExit) ++interrupted;
        else longest = qMax(10, longest / 2);
        // A push killed while git updated a ref leaves git's own lock in the shared remote, which
        // no machine may take for stale; whoever owns the remote clears it, as with git itself.
        for (QDirIterator it(remote, {QStringLiteral("*.lock")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            QFile::remove(it.next());
        Sync(a);
        Sync(b);
        const auto sa = Snapshot(a);
        EXPECT_EQ(sa, Snapshot(b));
        // Every edit made so far is there.
        for (int i = 0; i < 40; ++i) {
            const int n = (round * 40 + i) % 100;
            EXPECT_TRUE(Body(b, QStringLiteral("item %1").arg(n)).contains(QStringLiteral(" a%1").arg(round))) << n;
        }
        EXPECT_TRUE(Body(a, QStringLiteral("item %1").arg(149 - round)).contains(QStringLiteral(" b%1").arg(round)));
    }
    EXPECT_GT(interrupted, 0) << "no kill landed inside a sync";
}

// A sync killed while it made its lock leaves the lock without an owner: the next sync takes it
// at once, rather than calling it another sync for the next half minute.
TEST_F(SyncTest, ALockLeftEmptyByAKilledSyncDoesNotBlockTheNext) {
    Add(a, QStringLiteral("item"), QStringLiteral("body"));
    Sync(a);
    QFile lock(a.folder + QStringLiteral("/.git/vellumgranary-sync.lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime);
    lock.close();
    Change(a, QStringLiteral("item"), [](CItem& item) { item.body += QStringLiteral(" more"); });
    QElapsedTimer t;
    t.start();
    Sync(a);
    EXPECT_LT(t.elapsed(), 5000);
    Sync(b);
    EXPECT_EQ(Body(b, QStringLiteral("item")), QStringLiteral("body more"));
}
