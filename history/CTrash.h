#pragma once
// Deleted items: listed, brought back under their old number, or deleted for good.
#include "history/CTrashEntry.h"

#include <QList>
#include <QString>

class CSQLite;

class CTrash {
public:
    // Newest first. A file without history has an empty trash.
    static bool List(CSQLite& db, QList<CTrashEntry>& entries, QString* error);
    // The newest trash entry of an item number; false when none.
    static bool FindItem(CSQLite& db, int itemId, CTrashEntry& entry, QString* error);
    // Brings the item back (under its old number when free, else a new one: renumbered).
    // Returns the stored number, 0 on failure.
    static int Undelete(CSQLite& db, qint64 trashId, bool* renumbered, QString* error);
    // Deletes the entry for good, with the versions of that item up to its deletion.
    static bool Forget(CSQLite& db, qint64 trashId, QString* error);
    static bool Empty(CSQLite& db, QString* error);
};
