#include "history/CHistoryCommand.h"

#include "history/CHistoryState.h"

CHistoryCommand::CHistoryCommand(CSQLite& db, const QString& name, const QString& kind, Undo undo) : m_db(db) {
    CHistoryState& s = CHistoryState::Of(db);
    if (s.command) return;
    s.command = std::make_unique<CHistoryState::Command>();
    s.command->name = name;
    s.command->kind = kind;
    s.command->undo = int(undo);
    m_command = s.command.get();
}

CHistoryCommand::~CHistoryCommand() {
    if (!m_command) return;
    // The file may have closed (and its state gone) while the scope lived.
    CHistoryState& s = CHistoryState::Of(m_db);
    if (s.command.get() == m_command) s.command.reset();
}

qint64 CHistoryCommand::UndoId() const {
    const CHistoryState& s = CHistoryState::Of(m_db);
    return s.command ? s.command->undoId : 0;
}
