#pragma once
// The snippet store: the global connection and settings store, and opening, validating,
// upgrading and creating snippet databases. Store operations on items live beside it.
#include "db/CSQLite.h"
#include "settings/CSettings.h"
#include "db/basDBBrowse.h"
#include "db/basDBItems.h"
#include "db/basDBMaintenance.h"

#include <QString>

extern CSQLite* gDB;
extern CSettings* gSettings;

// The schema version this program writes and expects.
constexpr int kCurrentUserVersion = 2;

// Creates gDB (closed) and the settings store; calling it again starts both afresh.
void InitGlobals(CSettings::Store store = CSettings::Store::Native);
// Closes and deletes both (program end, tests).
void ReleaseGlobals();

// Opens sFile (or the LastDatabase setting when sFile is empty, which the caller then sees),
// creating a missing file from the schema and refusing a file that is not a snippet database.
// Returns the file name part of the opened file, or empty text on failure.
QString OpenDatabase(QString& sFile);
bool IsValidDatabase();
bool UpgradeDatabase(int version);
bool CreateDatabase();
// A text settings.db ships: field of the row named name in table (Settings' "Value", Help's
// "Desc"). Empty when the file, the table or the row is missing or the value is NULL; the file
// is only read, never created.
QString ShippedText(const QString& table, const QString& field, const QString& name);
void CloseDatabase();

// The message shown for a file that is not a snippet database.
QString NotValidDatabaseMessage();
// The message for a failed statement on gDB, called right after it: another program's lock
// gives "The database is busy in another program: " + the engine's text, anything else the
// engine's text alone.
QString EngineFailureMessage(const QString& engineError);
