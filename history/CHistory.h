#pragma once
// Reading an item's kept versions, restoring one, and letting old ones go.
#include "history/CItemVersion.h"

#include <QList>
#include <QString>
#include <optional>

class CSQLite;

class CHistory {
public:
    // Whether the file holds the journal's tables (a file never written since has none).
    static bool HasTables(CSQLite& db, QString* error);
    // The versions of item itemId (also of a deleted one), newest first, numbered from 1 for the
    // oldest. A file without history gives none; a damaged history table gives false with the
    // reason.
    static bool Versions(CSQLite& db, int itemId, QList<CItemVersion>& versions, QString* error);
    // What the History list shows: the versions as Versions gives them and, by time among them,
    // an entry (with a note, no number) for each category rename or merge that touched the item.
    static bool Entries(CSQLite& db, int itemId, QList<CItemVersion>& entries, QString* error);
    // One version by its row number. False when there is none.
    static bool LoadVersion(CSQLite& db, qint64 versionId, CItemVersion& version, QString* error);
    // The attachment block a version had: nullopt when no change since touched it (the item's
    // block now), an empty text when it had none, else the hash of the kept block.
    static bool BlockOf(CSQLite& db, const CItemVersion& version, std::optional<QString>& hash, QString* error);
    static bool ReadBlock(CSQLite& db, const QString& hash, QByteArray& block, QString* error);

    // Makes version the item's present state, as the command "Restore Version" (a new version
    // of what it replaces, and an undo entry). An item that is gone comes back under its number
    // when free, else a new one (renumbered says so). Returns the stored number, 0 on failure.
    static int Restore(CSQLite& db, const CItemVersion& version, bool* renumbered, QString* error);
    // The work of Restore, inside the caller's transaction and command: with overwrite an item
    // of that number takes the version's values; an item that is gone comes back under its
    // number, or a new one when the number is taken.
    static int PutBack(CSQLite& db, const CItemVersion& version, bool overwrite, bool* renumbered,
                       QString* error);

    // Lets versions, trashed items and undo entries older than days go (0: all of them). False
    // with the engine's text; nothing is removed then.
    // What a purge let go.
    struct Purged {
        int versions = 0;
        int trashed = 0;
    };
    static bool Purge(CSQLite& db, int days, QString* error, Purged* purged = nullptr);
    // How many days compaction keeps history: the HistoryDays setting, 90 when unset.
    static int RetentionDays();
    static constexpr int kDefaultRetentionDays = 90;
};
