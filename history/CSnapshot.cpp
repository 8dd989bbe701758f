#include "history/CSnapshot.h"

#include "db/CSQLite.h"
#include "db/basDB.h"
#include "db/basDBMaintenance.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

QString CSnapshot::Folder(CSQLite& db) {
    const QString backup = gSettings ? gSettings->GetSetting(QStringLiteral("BackupFile")) : QString();
    if (!backup.isEmpty() && QFileInfo(backup).absoluteDir().exists()) return QFileInfo(backup).absolutePath();
    return QFileInfo(db.Filename()).absolutePath();
}

bool CSnapshot::Take(CSQLite& db, QString* path, QString* error, const QString& folder) {
    if (!db.IsOpen()) {
        if (error) *error = CSQLite::NoDatabaseText();
        return false;
    }
    const QDir dir(folder.isEmpty() ? Folder(db) : folder);
    const QString base = QFileInfo(db.Filename()).completeBaseName() + QStringLiteral("-snapshot-");
    // Named by the time to the millisecond, so that the names sort as they were taken.
    const QString file = dir.filePath(base + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmsszzz")) +
                                      QStringLiteral(".db"));
    int code = 0;
    if (!BackupDatabase(db, file, &code, error)) return false;
    if (path) *path = file;
    const QStringList all = dir.entryList({base + QStringLiteral("*.db")}, QDir::Files, QDir::Name);
    for (qsizetype i = 0; i + kKept < all.size(); ++i) QFile::remove(dir.filePath(all[i]));
    return true;
}
