#pragma once
// The other side of a conflict: when both machines changed an item differently, this database
// keeps its own version and the remote's is kept here (tblSyncConflict, an additional table) until
// the user picks one. The item counts as in conflict while it has a row here.
#include "sync/CSyncedItem.h"

#include <QDateTime>
#include <QList>
#include <QSet>

class CSQLite;

struct CSyncConflict {
    int id = 0;      // the row
    int itemId = 0;  // this database's item
    CSyncedItem remote;
    QDateTime noted;  // UTC
};

class CSyncConflicts {
public:
    // Keeps the remote's version of item itemId (inside the caller's transaction); the same
    // version kept twice is one row.
    static bool KeepConflictSide(CSQLite& db, int itemId, const CSyncedItem& remote, QString* error);
    static bool List(CSQLite& db, QList<CSyncConflict>& conflicts, QString* error);
    // Items with a conflict, for the title list's mark.
    static bool Items(CSQLite& db, QSet<int>& items, QString* error);
    // Settles item itemId's conflict: takeRemote stores the newest kept version through the write
    // path (the attachment stays this database's); otherwise this database's version stays.
    static bool Resolve(CSQLite& db, int itemId, bool takeRemote, QString* error);
};
