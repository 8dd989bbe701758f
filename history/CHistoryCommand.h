#pragma once
// Names the command a run of writes belongs to, while it lives. Every change recorded on the
// connection meanwhile keeps its version under this name, and the destructive ones join one undo
// entry (an import that replaced a thousand items is taken back at once). Scopes nest: the
// outermost one names the command.
#include <QString>

class CSQLite;

class CHistoryCommand {
public:
    enum class Undo {
        Entry,    // the command can be taken back
        None,     // versions only (an undelete, a restore from the trash)
        Undoing,  // an undo running: versions only, and no version of items it brings back
    };
    CHistoryCommand(CSQLite& db, const QString& name, const QString& kind, Undo undo = Undo::Entry);
    ~CHistoryCommand();
    CHistoryCommand(const CHistoryCommand&) = delete;
    CHistoryCommand& operator=(const CHistoryCommand&) = delete;

    // The undo entry made for the command so far, 0 when none.
    qint64 UndoId() const;

private:
    CSQLite& m_db;
    const void* m_command = nullptr;  // the command this outermost scope made
};
