#pragma once
// One unit of work on a connection: begun on construction, committed by Commit, rolled back by
// the destructor otherwise. Inside a transaction that is already open it becomes a savepoint, so
// a failed inner unit takes back its own changes only and leaves the rest to the outer one.
#include <QString>

class CSQLite;

class CTransaction {
public:
    // A unit that writes starts as a writer, so another program's lock is waited for at its
    // start (the engine's busy wait cannot help a reader that becomes a writer later); a read
    // snapshot takes no write lock.
    enum Kind { Write, Read };
    // error (when given) receives the engine's text when the transaction could not begin.
    explicit CTransaction(CSQLite& db, QString* error = nullptr, Kind kind = Write);
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
    CSQLite& m_db;
    QString m_savepoint;  // empty for a transaction of its own
    bool m_open = false;
};
