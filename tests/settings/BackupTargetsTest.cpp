// Each database offers its own backup file, never another database's.
#include "settings/basBackupTargets.h"
#include "settings/CSettings.h"
#include "support/TestEnv.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(BackupTargets, EachDatabaseKeepsItsOwnFileAndNeverGetsAnothers) {
    TestEnv env;
    CSettings s(CSettings::Store::Memory);
    const QString a = env.Path("a.db"), b = env.Path("b.db");
    QDir().mkpath(env.Path("bak"));
    const QString bak = env.Path("bak");

    // Never backed up: beside the database.
    EXPECT_EQ(BackupTargetFor(s, a), env.Path("a-backup.db"));

    // A's backup is remembered for A; B starts in that folder under its own name.
    RememberBackupTarget(s, a, bak + "/mine.db");
    s.SaveSetting("BackupFile", bak + "/mine.db");
    const struct {
        QString database, offered;
    } steps[] = {
        {a, bak + "/mine.db"},
        {b, bak + "/b-backup.db"},
        // The same database under another spelling is the same database.
        {env.Path("bak/../a.db"), bak + "/mine.db"},
    };
    for (const auto& c : steps) EXPECT_EQ(BackupTargetFor(s, c.database), c.offered) << c.database.toStdString();

    // A file that belongs to A is not proposed for B even when it has B's default name.
    RememberBackupTarget(s, a, bak + "/b-backup.db");
    EXPECT_EQ(BackupTargetFor(s, b), bak + "/b-backup2.db");
    EXPECT_EQ(BackupTargetFor(s, a), bak + "/b-backup.db");

    // B chooses A's file on purpose: from then on it is B's, and A gets a name of its own.
    RememberBackupTarget(s, b, bak + "/b-backup.db");
    EXPECT_EQ(BackupTargetFor(s, b), bak + "/b-backup.db");
    EXPECT_EQ(BackupTargetFor(s, a), bak + "/a-backup.db");

}
