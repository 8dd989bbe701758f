#pragma once
// Category rename and merge, compaction and backup.
#include <QString>

// Renames the category, or merges it into the language's category of that name.
void RenameCategory(int categoryId, const QString& newName);
// Deletes orphan links, empty categories and languages, then compacts the file.
void VacuumDatabase();
// Copies the open database to backupFile (through a temporary file beside it), reopening
// the database afterwards in every case. False when it failed (the message was shown).
bool BackupDatabase(const QString& backupFile);
