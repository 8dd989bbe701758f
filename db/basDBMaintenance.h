#pragma once
// Category rename and merge, compaction and backup.
#include <QString>

// Renames the category, or merges it into the language's category of that name. Runs in one
// transaction; false (with the engine's reason) when it failed and was rolled back, or when
// the category does not exist or the new name holds a comma.
bool RenameCategory(int categoryId, const QString& newName, QString* error = nullptr);
// Deletes orphan links, empty categories and languages, then compacts the file. Every step
// runs even when one fails; false (with the first reason) when any failed.
bool VacuumDatabase(QString* error = nullptr);
// Copies the open database to backupFile through the engine (a consistent copy of what is
// committed, into a temporary file beside it that is checked before it replaces backupFile);
// the database stays open. Refuses the open database itself as the target. False when it
// failed (the message was shown); an older backupFile is then unchanged.
bool BackupDatabase(const QString& backupFile);
// The current local time as a day number (days since 30 December 1899, time of day as the
// fraction): the form of the BackupTime setting.
double BackupTimeNow();
