#include "settings/basBackupTargets.h"
#include "settings/CSettings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace {

// One spelling per file, so that "a/../b.db" and "b.db" are the same database.
QString Canonical(const QString& path) {
    if (path.isEmpty()) return {};
    const QFileInfo info(path);
    const QString real = info.canonicalFilePath();
    return real.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : real;
}

// Paths make poor setting names (slashes are INI groups): keys carry a digest of the path.
QString Key(const char* prefix, const QString& path) {
    return QLatin1String(prefix) +
           QString::fromLatin1(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(20));
}

QString OwnerOf(const CSettings& settings, const QString& backup) {
    return settings.GetSetting(Key("BackupOwner", Canonical(backup)));
}

bool Offerable(const CSettings& settings, const QString& database, const QString& backup) {
    if (backup.isEmpty() || Canonical(backup) == database) return false;
    const QString owner = OwnerOf(settings, backup);
    return owner.isEmpty() || owner == database;
}

}  // namespace

QString BackupTargetFor(const CSettings& settings, const QString& database) {
    const QString db = Canonical(database);
    const QString own = settings.GetSetting(Key("BackupFileOf", db));
    if (Offerable(settings, db, own)) return own;
    const QString last = settings.GetSetting(QStringLiteral("BackupFile"));
    const QString folder = last.isEmpty() ? QFileInfo(db).absolutePath() : QFileInfo(last).absolutePath();
    const QString base = QFileInfo(db).completeBaseName();
    for (int n = 1;; ++n) {
        const QString name = base + QStringLiteral("-backup") + (n == 1 ? QString() : QString::number(n)) +
                             QStringLiteral(".db");
        const QString candidate = QDir(folder).filePath(name);
        if (Offerable(settings, db, candidate)) return candidate;
    }
}

void RememberBackupTarget(CSettings& settings, const QString& database, const QString& backup) {
    const QString db = Canonical(database);
    const QString file = Canonical(backup);
    // The file another database backed up to before is now this one's: that one forgets it.
    const QString previousOwner = OwnerOf(settings, file);
    if (!previousOwner.isEmpty() && previousOwner != db &&
        Canonical(settings.GetSetting(Key("BackupFileOf", previousOwner))) == file)
        settings.DeleteSetting(Key("BackupFileOf", previousOwner));
    settings.SaveSetting(Key("BackupFileOf", db), file);
    settings.SaveSetting(Key("BackupOwner", file), db);
}
