#pragma once
// Taking back the last destructive command, several levels deep and across restarts: the
// undo is itself a write through the store, so lists and the search index follow it.
#include "history/CUndoEntry.h"

#include <QList>
#include <QString>

class CSQLite;

class CUndo {
public:
    // The commands that can be taken back, newest first.
    static bool Entries(CSQLite& db, QList<CUndoEntry>& entries, QString* error);
    // The command Undo would take back; false (error empty) when there is none.
    static bool Last(CSQLite& db, CUndoEntry& entry, QString* error);
    // Takes back the last command, in one transaction. notice tells of items that came back under
    // a new number. False with the reason; nothing changes then.
    static bool UndoLast(CSQLite& db, CUndoEntry* undone, QString* notice, QString* error);
};
