#pragma once
// Keeps the state of every item before each change, inside the change's own transaction, in
// additional tables of the same file (made on first write; the five tables never change):
// tblItemVersion (one row per kept state), tblVersionBlock (attachment blocks by hash, each
// kept once), tblTrash (deleted items), tblUndo and tblUndoAdded (commands that can be taken
// back). A file without them works as before.
#include <QString>

struct CItem;

class CSQLite;

class CHistoryJournal {
public:
    // Installs the journal as a named change writer on db (OpenDatabase does).
    static void Install(CSQLite& db);
    // Makes the tables when missing. False with the engine's text.
    static bool EnsureTables(CSQLite& db, QString* error);
    // Called by the write operations before the item's attachment block changes or goes: the
    // change records carry no block, so it is kept here (with the links, as KeepLinksBefore).
    // False with the engine's text.
    static bool KeepBlockBefore(CSQLite& db, int itemId, QString* error);
    // Called by the write operations before an item's links change or go: the change records
    // carry one language per item, so the links of one under several are kept here. False with
    // the engine's text.
    static bool KeepLinksBefore(CSQLite& db, int itemId, QString* error);
    // Whether the file's tblItemVersion has the Languages column (files written before it have
    // not, until EnsureTables adds it). False on a file without the table.
    static bool HasLanguagesColumn(CSQLite& db);
    // Called by a category rename before it runs: the category's row and its items' links, to
    // put back exactly. False with the engine's text.
    static bool BeforeRename(CSQLite& db, int categoryId, QString* error);
    // Keeps state as a version of item itemId that no local change made (the other side of a
    // sync conflict), named command; its attachment block is not kept. False with the reason.
    static bool KeepVersion(CSQLite& db, int itemId, const CItem& state, const QString& command, QString* error);
    // Kept code this long (UTF-8 bytes) or longer is compressed.
    static constexpr int kPackFrom = 256;
    // The current time as the tables hold it (milliseconds since 1970, UTC).
    static qint64 NowMs();
};
