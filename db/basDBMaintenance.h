#pragma once
// Category rename and merge, compaction and backup. The functions that take the connection are
// silent; those without it work on gDB.
#include <QString>

class CSQLite;

// Renames the category, or merges it into the language's category of that name. Runs in one
// transaction; false (with the engine's reason) when it failed and was rolled back, or when
// the category does not exist or the new name holds a comma.
bool RenameCategory(CSQLite& db, int categoryId, const QString& newName, QString* error = nullptr);
bool RenameCategory(int categoryId, const QString& newName, QString* error = nullptr);
// Deletes full-text rows without their item, item rows without their full-text row (one with an
// attachment gets an empty one instead), orphan links, empty categories and languages and the
// checksums of attachments that are gone, then compacts the file. Every step
// runs even when one fails; false (with the first reason) when any failed.
bool VacuumDatabase(CSQLite& db, QString* error = nullptr);
bool VacuumDatabase(QString* error = nullptr);
// Copies the open database to backupFile through the engine (a consistent copy of what is
// committed, into a temporary file beside it that is checked before it replaces backupFile);
// the database stays open. Refuses the open database itself as the target. False when it
// failed, with the system's (or engine's) code and text; an older backupFile is then unchanged.
bool BackupDatabase(CSQLite& db, const QString& backupFile, int* code, QString* error);
// BackupDatabase on gDB: a failure shows "Unable to create backup.\r\nError: " + code + text,
// success is remembered in the BackupFile and BackupTime settings.
bool BackupDatabase(const QString& backupFile);
// The current local time as a day number (days since 30 December 1899, time of day as the
// fraction): the form of the BackupTime setting.
double BackupTimeNow();
