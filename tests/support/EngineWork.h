#pragma once
// Counts the engine's work on a connection while it lives: statements run and virtual-machine
// steps taken. A check of how work grows with the data, without timing anything.
#include <QtGlobal>

struct sqlite3;

class EngineWork {
public:
    explicit EngineWork(sqlite3* db);
    ~EngineWork();
    EngineWork(const EngineWork&) = delete;
    EngineWork& operator=(const EngineWork&) = delete;

    qint64 Statements() const { return m_statements; }
    qint64 Steps() const { return m_steps; }

private:
    sqlite3* m_db;
    qint64 m_statements = 0;
    qint64 m_steps = 0;
};
