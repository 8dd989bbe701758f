#include "EngineWork.h"

#include <sqlite3.h>

EngineWork::EngineWork(sqlite3* db) : m_db(db) {
    // The profile event comes when a statement has run (finished or reset); its step counter is
    // read and reset there, so a statement kept for reuse is counted per run.
    sqlite3_trace_v2(
        m_db, SQLITE_TRACE_PROFILE,
        [](unsigned, void* self, void* statement, void*) {
            auto* work = static_cast<EngineWork*>(self);
            ++work->m_statements;
            work->m_steps += sqlite3_stmt_status(static_cast<sqlite3_stmt*>(statement), SQLITE_STMTSTATUS_VM_STEP, 1);
            return 0;
        },
        this);
}

EngineWork::~EngineWork() { sqlite3_trace_v2(m_db, 0, nullptr, nullptr); }
