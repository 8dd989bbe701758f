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

// The schema version this program writes and expects (set in the build, which also writes it
// into settings.db).
constexpr int kCurrentUserVersion = VG_SCHEMA_VERSION;

// Creates gDB (closed) and the settings store; calling it again starts both afresh.
void InitGlobals(CSettings::Store store = CSettings::Store::Native);
// Closes and deletes both (program end, tests).
void ReleaseGlobals();

// gDB, or a connection that stays closed while there is none (before InitGlobals): what the
// functions without a connection parameter work on.
CSQLite& StoreDB();
// Whether gDB holds an open file.
bool IsDatabaseOpen();

// Why a store operation failed, as the window words it; critical ones show the stop sign.
struct StoreError {
    QString text;
    bool critical = false;
    // For a file refused as not a snippet database: what in it differs (the command line shows
    // it, the window does not).
    QString detail{};
};

// Opens file on db, creating a missing file from the schema and refusing a file that is not a
// snippet database. False with the reason; created tells whether the file was new, in which case
// it stays open even when its schema could not be written.
bool OpenDatabase(CSQLite& db, const QString& file, StoreError* error, bool* created = nullptr);
// OpenDatabase on gDB for sFile (or the LastDatabase setting when sFile is empty, which the caller
// then sees): shows the reason of a failure and remembers the file as LastDatabase. Returns the
// file name part of the opened file, or empty text on failure.
QString OpenDatabase(QString& sFile);
bool IsValidDatabase(CSQLite& db);
bool IsValidDatabase();
bool UpgradeDatabase(CSQLite& db, int version);
bool UpgradeDatabase(int version);
// Writes the schema into the empty file open on db, in one transaction.
bool CreateDatabase(CSQLite& db, StoreError* error);
bool CreateDatabase();
// A text settings.db ships: field of the row named name in table (Settings' "Value", Help's
// "Desc"). Empty when the file, the table or the row is missing or the value is NULL; the file
// is only read, never created.
QString ShippedText(const QString& table, const QString& field, const QString& name);
void CloseDatabase();

// The message shown for a file that is not a snippet database.
QString NotValidDatabaseMessage();
// The message for a failed statement on db (gDB), called right after it: another program's lock
// gives "The database is busy in another program: " + the engine's text, anything else the
// engine's text alone.
QString EngineFailureMessage(const CSQLite& db, const QString& engineError);
QString EngineFailureMessage(const QString& engineError);
