#pragma once
// A consistent copy of the database (the engine's backup) taken before risky work: a schema
// upgrade of an older file, an import over existing items. Kept beside the daily backups (the
// folder of the last one, else the database's own folder), the last five of each database.
#include <QString>

class CSQLite;

class CSnapshot {
public:
    static constexpr int kKept = 5;
    // The folder snapshots of db go to.
    static QString Folder(CSQLite& db);
    // Writes a snapshot into folder (Folder(db) when empty); path receives its file. False with
    // the reason; the database is never changed.
    static bool Take(CSQLite& db, QString* path, QString* error, const QString& folder = QString());
};
