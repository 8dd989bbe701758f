#pragma once
// Holds one read transaction on a connection while it lives, when none is open: statements run
// one after another then share it, where each on its own would take the file's lock and look for
// a journal again. Inside the caller's transaction it does nothing.
#include <sqlite3.h>

class CReadTransaction {
public:
    explicit CReadTransaction(sqlite3* h) {
        if (h && sqlite3_get_autocommit(h) &&
            sqlite3_prepare_v2(h, "SELECT 1 FROM sqlite_master", -1, &m_st, nullptr) == SQLITE_OK)
            sqlite3_step(m_st);
    }
    ~CReadTransaction() { sqlite3_finalize(m_st); }
    CReadTransaction(const CReadTransaction&) = delete;
    CReadTransaction& operator=(const CReadTransaction&) = delete;

private:
    sqlite3_stmt* m_st = nullptr;
};
