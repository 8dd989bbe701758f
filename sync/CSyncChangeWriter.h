#pragma once
// Keeps the sync's tables in step with every write to the store, inside the write's own
// transaction: an item written loses its remembered local state (so the next sync reads it
// again instead of every item), and an item in conflict that the user saves with different
// content has its conflict settled by that content. The sync's own writes settle nothing: they
// are not the user's choice.
#include "db/CItem.h"

class CSQLite;
struct CChange;

class CSyncChangeWriter {
public:
    // Installs the writer on the connection (named, so a connection opened again keeps one).
    static void Install(CSQLite& db);
    static bool Follow(CSQLite& db, const CChange& change, QString* error);
    // Whether saving after over before is an edit that settles a conflict: the content the
    // sync would carry differs (categories in another order are no edit).
    static bool IsEdit(const CItem& before, const CItem& after);

    // While one lives, writes on this thread are the sync's own.
    class SyncWrites {
    public:
        SyncWrites();
        ~SyncWrites();
        SyncWrites(const SyncWrites&) = delete;
        SyncWrites& operator=(const SyncWrites&) = delete;
    };
};
