#pragma once
// One unit of work on a connection: begun on construction, committed by Commit, rolled back by
// the destructor otherwise. Inside a transaction that is already open it becomes a savepoint, so
// a failed inner unit takes back its own changes only and leaves the rest to the outer one.
// The changes recorded inside (CSQLite::Record) reach the listeners after the outermost commit;
// those of a unit rolled back are forgotten with it.
#include "db/CSQLite.h"

#include <QString>

class CTransaction {
public:
    enum class Mode {
        Write,  // begins as a writer, so another connection's lock is waited for at the start
        Read,   // a consistent snapshot for reading; takes no write lock
    };
    // error (when given) receives the engine's text when the transaction could not begin.
    explicit CTransaction(CSQLite& db, QString* error = nullptr, Mode mode = Mode::Write);
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    bool IsOpen() const { return m_open; }
    bool IsSavepoint() const { return !m_savepoint.isEmpty(); }
    // False with the engine's text when the commit (or release) failed; the work is then rolled
    // back.
    bool Commit(QString* error = nullptr);
    void Rollback();

private:
    void End();

    CSQLite& m_db;
    QString m_savepoint;  // empty for a transaction of its own
    bool m_open = false;
    qsizetype m_changesMark = 0;  // the recorded changes that came before this unit
};
