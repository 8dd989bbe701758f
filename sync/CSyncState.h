#pragma once
// What the database remembers of its last sync, in additional tables of the same file: the
// commit it last agreed with the remote on (the base of the next three-way merge), the remote
// and branch, and per identity where that commit holds the item and what its content was.
// A file without the tables has never synced and gains them on its first sync.
#include <QHash>
#include <QString>
#include <QStringList>

class CSQLite;

struct CSyncEntry {
    QString path;         // the Markdown file
    QString blob;         // its blob id
    QString fingerprint;  // CSyncedItem::Fingerprint of its content
    int number = 0;       // the item number the file names
    QString attachPath;   // the attachment's file; empty without one
    QString attachBlob;
    QString attachSum;    // SHA-256 (hex) of the attachment as this database stores it
    bool operator==(const CSyncEntry&) const = default;
};
using SyncEntries = QHash<QString, CSyncEntry>;  // by identity

class CSyncState {
public:
    static bool Read(CSQLite& db, const QString& name, QString& value, QString* error);
    // Inside the caller's transaction, as every write here.
    static bool Write(CSQLite& db, const QString& name, const QString& value, QString* error);
    static bool ReadEntries(CSQLite& db, SyncEntries& entries, QString* error);
    // Adds the entries of these identities, or of the items whose file or attachment lies at
    // one of these paths, to entries (those already there are kept).
    static bool ReadEntriesOf(CSQLite& db, const QStringList& uuids, SyncEntries& entries, QString* error);
    static bool ReadEntriesAt(CSQLite& db, const QStringList& paths, SyncEntries& entries, QString* error);
    // How many entries there are.
    static bool CountEntries(CSQLite& db, qint64& count, QString* error);
    // Stores entries, writing only the rows that differ from old.
    static bool WriteEntries(CSQLite& db, const SyncEntries& old, const SyncEntries& entries, QString* error);
    static bool Prepare(CSQLite& db, QString* error);

    static QString BaseKey() { return QStringLiteral("base"); }
    static QString RemoteKey() { return QStringLiteral("remote"); }
    static QString BranchKey() { return QStringLiteral("branch"); }
    static QString FolderKey() { return QStringLiteral("folder"); }
};
