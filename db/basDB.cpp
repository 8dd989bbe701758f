#include "db/basDB.h"

#include "history/CHistoryJournal.h"
#include "history/CSnapshot.h"
#include "search/CSearchIndex.h"
#include "sync/CSyncChangeWriter.h"

#include "db/CTransaction.h"
#include "db/basSchemaCheck.h"
#include "util/basVariableTools.h"

#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <sqlite3.h>

CSQLite* gDB = nullptr;
CSettings* gSettings = nullptr;

QString NotValidDatabaseMessage() {
    return QStringLiteral("This is not a valid VellumGranary database");
}

CSQLite& StoreDB() {
    static CSQLite closed;
    return gDB ? *gDB : closed;
}

bool IsDatabaseOpen() { return StoreDB().IsOpen(); }

QString EngineFailureMessage(const QString& engineError) { return EngineFailureMessage(StoreDB(), engineError); }

QString EngineFailureMessage(const CSQLite& db, const QString& engineError) {
    const int code = db.LastErrorCode();
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return CSQLite::BusyText(engineError);
    return engineError;
}

void InitGlobals(CSettings::Store store) {
    ReleaseGlobals();
    gDB = new CSQLite;
    gSettings = new CSettings(store);
}

void ReleaseGlobals() {
    CloseDatabase();
    delete gDB;
    gDB = nullptr;
    delete gSettings;
    gSettings = nullptr;
}

namespace {

// The schema text new databases get, from settings.db; empty when it cannot be read.
QString schemaText() {
    return ShippedText(QStringLiteral("Settings"), QStringLiteral("Value"), QStringLiteral("DbSchema"));
}

// Why the file open on db cannot be used as a snippet database (after upgrading it when it is
// older), or empty text when it can; detail receives what differs.
QString checkDatabase(CSQLite& db, QString* detail = nullptr) {
    ResultTable data;
    QString error;
    // A failed read is another program's lock or a file the engine cannot read (text, random
    // bytes, a damaged file); only the second is not a snippet database.
    const auto failed = [&] {
        const QString why = EngineFailureMessage(db, error);
        return CSQLite::IsBusyText(why) ? why : NotValidDatabaseMessage();
    };
    const QVariant v = db.Exec(QStringLiteral("PRAGMA user_version"), data, error, true);
    if (!error.isEmpty()) return failed();
    // Look for the tables before upgrading, so a foreign file is never written to.
    for (const char* table : {"tblCategory", "tblItem", "ftsItem", "tblType", "tblItemCategory"}) {
        const int n = db.Exec(QStringLiteral("SELECT Name FROM sqlite_master WHERE Type = "
                                             "'table' AND Name = '") +
                                  QLatin1String(table) + QLatin1Char('\''),
                              data, error)
                          .toInt();
        if (!error.isEmpty()) return failed();
        if (n == 0) return NotValidDatabaseMessage();
    }
    const qint64 version = v.toLongLong();
    if (version < 0) return NotValidDatabaseMessage();
    // Its schema may hold what this program does not know; writing to it could spoil it.
    if (version > kCurrentUserVersion)
        return QStringLiteral("This database was made by a newer version of VellumGranary");
    SchemaDifferences differ;
    if (!CompareSchema(db, &differ, &error)) return failed();
    if (!differ.tables.isEmpty()) {
        if (detail)
            *detail = QStringLiteral("Its tables are not the ones VellumGranary makes: ") +
                      differ.tables.join(QStringLiteral(", "));
        return NotValidDatabaseMessage();
    }
    if (!differ.objects.isEmpty())
        return QStringLiteral("This database's views and triggers are not the ones VellumGranary "
                              "makes: ") +
               differ.objects.join(QStringLiteral(", "));
    const QString wanted = gSettings ? gSettings->GetSetting(QStringLiteral("DbUserVersion")) : QString();
    if (wanted != QString::number(version) && !UpgradeDatabase(db, int(version))) return NotValidDatabaseMessage();
    return {};
}

}  // namespace

namespace {

// The derived data the store keeps beside the five tables follows every change inside the
// change's own transaction. The bulk import path indexes its new items batch by batch itself.
void followWithDerivedData(CSQLite& db) {
    CSearchIndex::Install(db);
    CHistoryJournal::Install(db);
    CSyncChangeWriter::Install(db);
}

}  // namespace

bool OpenDatabase(CSQLite& db, const QString& file, StoreError* error, bool* created) {
    if (created) *created = false;
    followWithDerivedData(db);
    // Looked for where OpenFile will open it, or an existing database would be given the
    // schema again (or an absent one called invalid).
    const QFileInfo info(CSQLite::FilePath(file));
    const bool existed = info.exists() && !info.isDir();
    const int rc = db.OpenFile(file);
    if (rc != 0) {
        if (error)
            *error = {QStringLiteral("Unable to open last snippet database '") + file + QStringLiteral("'. Error: ") +
                          QString::number(rc),
                      true};
        return false;
    }
    if (!existed) {
        if (created) *created = true;
        return CreateDatabase(db, error);
    }
    QString detail;
    if (const QString why = checkDatabase(db, &detail); !why.isEmpty()) {
        if (error) *error = {why, false, detail};
        return false;
    }
    return true;
}

bool IsValidDatabase(CSQLite& db) { return checkDatabase(db).isEmpty(); }

bool UpgradeDatabase(CSQLite& db, int version) {
    // An older file is copied as it was before anything of it changes.
    if (version < kCurrentUserVersion) CSnapshot::Take(db, nullptr, nullptr);
    if (version == 0) {
        if (!db.Run(QStringLiteral("PRAGMA user_version=1;")).isEmpty()) return false;
        version = 1;
    }
    if (version == 1) {
        CTransaction unit(db);
        db.Run(QStringLiteral("DROP INDEX IF EXISTS tblItem_ID;"));
        db.Run(QStringLiteral("PRAGMA user_version=2;"));
        return unit.Commit();
    }
    return true;
}

QString ShippedText(const QString& table, const QString& field, const QString& name) {
    // Opening a missing file would leave an empty one in its place.
    const QString file = CSQLite::FilePath(QStringLiteral("settings.db"));
    if (!QFileInfo(file).isFile()) return {};
    CSQLite settingsDb;
    if (settingsDb.OpenFile(file) != 0) return {};
    ResultTable data;
    QString error;
    return settingsDb
        .Exec(QStringLiteral("SELECT ") + field + QStringLiteral(" FROM ") + table + QStringLiteral(" WHERE Name = ") +
                  CSQLite::RenderValue(name),
              data, error, true)
        .toString();
}

bool CreateDatabase(CSQLite& db, StoreError* failure) {
    const QString schema = schemaText();
    const QString version =
        ShippedText(QStringLiteral("Settings"), QStringLiteral("Value"), QStringLiteral("DbUserVersion"));
    if (schema.isEmpty()) {
        if (failure) *failure = {QStringLiteral("Failed to create new database. Unable to read settings"), true};
        return false;
    }
    QString error;
    CTransaction unit(db);
    ResultTable data;
    db.Exec(schema, data, error);
    if (error.isEmpty()) {
        // The version is a number from our own settings.db; refuse anything else.
        bool ok = false;
        const int v = version.trimmed().toInt(&ok);
        db.Run(QStringLiteral("PRAGMA user_version = ") + QString::number(ok ? v : kCurrentUserVersion));
        unit.Commit(&error);
    }
    if (!error.isEmpty()) {
        if (failure) *failure = {QStringLiteral("Unable to create database.\r\nError: ") + error, false};
        return false;
    }
    return true;
}

void CloseDatabase() {
    if (gDB && gDB->IsOpen()) gDB->CloseFile();
}

bool IsValidDatabase() { return IsValidDatabase(StoreDB()); }

bool UpgradeDatabase(int version) { return UpgradeDatabase(StoreDB(), version); }
