#include "history/CHistoryCommand.h"

#include "history/CHistoryState.h"

CHistoryCommand::CHistoryCommand(CSQLite& db, const QString& name, const QString& kind, Undo undo) : m_db(db) {
    CHistoryState& s = CHistoryState::Of(db);
    if (s.command) return;
    auto* c = new CHistoryState::Command;
    c->name = name;
    c->kind = kind;
    c->undo = int(undo);
    s.command = c;
    m_outer = true;
}

CHistoryCommand::~CHistoryCommand() {
    if (!m_outer) return;
    CHistoryState& s = CHistoryState::Of(m_db);
    delete s.command;
    s.command = nullptr;
}

qint64 CHistoryCommand::UndoId() const {
    const CHistoryState& s = CHistoryState::Of(m_db);
    return s.command ? s.command->undoId : 0;
}
