#pragma once
// Where each database's backup goes. Every database remembers its own backup file, so the backup
// of one is never offered as the target of another (which would overwrite it).
#include <QString>

class CSettings;

// The backup file to offer for database: the one last written for it; otherwise
// "<name>-backup.db" in the folder of the last backup of any database (beside the database when
// there was none). Never the database itself nor a file remembered as another database's backup.
QString BackupTargetFor(const CSettings& settings, const QString& database);
// Remembers backup as database's backup, after the copy succeeded.
void RememberBackupTarget(CSettings& settings, const QString& database, const QString& backup);
