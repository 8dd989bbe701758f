#pragma once
// The schema a snippet database may have, checked against the one built into the program (not
// against settings.db, which may be missing or changed, and whose text is never run here). A
// file of unknown origin could otherwise bring its own triggers (a save that deletes items), a
// key that is not the row number (saves that report numbers no item has), a full-text table of
// another kind or with other options (text lost or changed), or column defaults that write
// hundreds of megabytes per save.
#include <QString>
#include <QStringList>

class CSQLite;

struct SchemaDifferences {
    // Views and triggers: "name (missing)", "name (changed)", "name (a trigger of its own)".
    QStringList objects;
    // Tables (the five, the full-text module's own and the program's additional ones) and their
    // indexes: "name (changed)" and the like.
    QStringList tables;
};

// Compares the open file's schema with the built-in one. False with the engine's text when the
// file's schema could not be read.
bool CompareSchema(CSQLite& db, SchemaDifferences* differences, QString* error);
