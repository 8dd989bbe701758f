#include "db/CTransaction.h"

#include "db/CSQLite.h"

// Savepoint names are per connection and nest; a counter keeps inner ones apart from outer ones.
static int g_depth = 0;

CTransaction::CTransaction(CSQLite& db, QString* error, Kind kind) : m_db(db) {
    if (m_db.InTransaction()) m_savepoint = QStringLiteral("vgUnit%1").arg(++g_depth);
    const QString why = m_db.Run(IsSavepoint() ? QStringLiteral("SAVEPOINT ") + m_savepoint + QLatin1Char(';')
                                               : (kind == Write ? QStringLiteral("BEGIN IMMEDIATE TRANSACTION;") : QStringLiteral("BEGIN TRANSACTION;")));
    m_open = why.isEmpty();
    if (!m_open && IsSavepoint()) --g_depth;
    if (error) *error = why;
}

CTransaction::~CTransaction() { Rollback(); }

bool CTransaction::Commit(QString* error) {
    if (!m_open) {
        if (error) *error = QStringLiteral("No transaction is open");
        return false;
    }
    const QString why = m_db.Run(IsSavepoint() ? QStringLiteral("RELEASE ") + m_savepoint + QLatin1Char(';')
                                               : QStringLiteral("COMMIT TRANSACTION;"));
    if (error) *error = why;
    if (!why.isEmpty()) {
        Rollback();
        return false;
    }
    m_open = false;
    if (IsSavepoint()) --g_depth;
    return true;
}

void CTransaction::Rollback() {
    if (!m_open) return;
    m_open = false;
    if (IsSavepoint()) {
        // Rolling back to a savepoint keeps it open; releasing it ends it.
        m_db.Run(QStringLiteral("ROLLBACK TO ") + m_savepoint + QStringLiteral("; RELEASE ") + m_savepoint +
                 QLatin1Char(';'));
        --g_depth;
    } else {
        m_db.Run(QStringLiteral("ROLLBACK TRANSACTION;"));
    }
}
