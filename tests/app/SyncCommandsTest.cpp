// Tools, Sync Now: the figures in the status bar and the mark of an item in conflict.
#include "MainWindowFixture.h"

#include "db/basDBItems.h"
#include "sync/CGitRepository.h"
#include "sync/CSync.h"
#include "ui/CTitleListModel.h"

#include <QFile>
#include <QMenu>

namespace {
bool SyncFile(const QString& db, const QString& folder, const QString& remote) {
    CSQLite c;
    StoreError e;
    CSyncOptions o;
    o.folder = folder;
    o.remote = remote;
    CSyncSummary s;
    return OpenDatabase(c, db, &e) && CSync::Run(c, o, s);
}
bool SetBody(const QString& db, int id, const QString& body) {
    CSQLite c;
    StoreError e;
    CItem item;
    if (!OpenDatabase(c, db, &e) || !LoadItem(c, id, item, nullptr)) return false;
    item.body = body;
    item.lastUpdate = QDateTime();
    return SaveItem(c, item, {}, nullptr) > 0;
}
}  // namespace

TEST_F(MainWindowTest, SyncNowShowsItsFiguresAndMarksTheItemInConflict) {
    const QString remote = env->Path("remote.git"), other = env->Path("other.db");
    ASSERT_TRUE(CGitRepository::InitBare(remote, nullptr));
    MakeDatabase(FourItems());
    ASSERT_TRUE(SyncFile(dbPath, env->Path("here"), remote));
    // Another machine, synced from the same start, changes the first item; so does this one.
    ASSERT_TRUE(QFile::copy(dbPath, other));
    ASSERT_TRUE(SetBody(other, 1, "select 'there'") && SyncFile(other, env->Path("there"), remote));
    ASSERT_TRUE(SetBody(other, 2, "select 'only there'") && SyncFile(other, env->Path("there"), remote));
    ASSERT_TRUE(SetBody(dbPath, 1, "select 'here'"));
    Preset("SyncFolder", env->Path("here"));
    Preset("SyncRemote", remote);
    Start();

    QStringList captions;
    for (QAction* a : Find<QMenu>("mnuTools")->actions()) captions << a->text();
    EXPECT_EQ(captions.mid(captions.size() - 2), QStringList({"Sync &Now", "S&ync Settings..."}));
    Trigger("mnuToolsSyncNow");
    EXPECT_EQ(LabelText("lblSyncStatus"), "Synced: 1 in, 0 out, 1 conflicts");
    EXPECT_EQ(Stored("Code", 2), "select 'only there'");
    EXPECT_EQ(Stored("Code", 1), "select 'here'");
    const int row = static_cast<CTitleListModel*>(Titles()->model())->RowOf(1);
    ASSERT_GE(row, 0);
    EXPECT_FALSE(Titles()->model()->index(row, 0).data(Qt::DecorationRole).isNull());
    const int plain = static_cast<CTitleListModel*>(Titles()->model())->RowOf(2);
    EXPECT_TRUE(Titles()->model()->index(plain, 0).data(Qt::DecorationRole).isNull());

    // Saving an edited version settles the conflict: the mark goes at once.
    ClickRow(Titles(), row);
    Type(Body(), "select 'merged'");
    Click("cmdSave");
    EXPECT_EQ(Stored("Code", 1), "select 'merged'");
    const int saved = static_cast<CTitleListModel*>(Titles()->model())->RowOf(1);
    ASSERT_GE(saved, 0);
    EXPECT_TRUE(Titles()->model()->index(saved, 0).data(Qt::DecorationRole).isNull());
}
