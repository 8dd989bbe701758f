#include "db/CTransaction.h"

CTransaction::CTransaction(CSQLite& db, QString* error, Mode mode) : m_db(db) {
    const bool nested = m_db.InTransaction();
    // The stamp is only valid outside a transaction: take it before this one begins.
    const CSQLite::Stamp before = nested ? CSQLite::Stamp() : m_db.ChangeStamp();
    QString sql;
    if (nested) {
        // Savepoint names nest per connection; the depth keeps inner ones apart from outer ones.
        m_savepoint = QStringLiteral("vgUnit%1").arg(m_db.TransactionDepth(+1));
        sql = QStringLiteral("SAVEPOINT ") + m_savepoint + QLatin1Char(';');
    } else {
        // A deferred transaction that reads first and writes later fails at its first write when
        // another connection writes meanwhile, without waiting; a writer waits at the start.
        sql = mode == Mode::Write ? QStringLiteral("BEGIN IMMEDIATE TRANSACTION;")
                                  : QStringLiteral("BEGIN TRANSACTION;");
    }
    const QString why = m_db.Run(sql);
    m_open = why.isEmpty();
    if (!m_open && nested) m_db.TransactionDepth(-1);
    if (m_open && !nested) {
        m_db.TransactionDepth(+1);
        m_db.TransactionBegun(before);
    }
    m_changesMark = m_db.PendingChanges();
    if (error) *error = why;
}

CTransaction::~CTransaction() { Rollback(); }

void CTransaction::End() {
    m_open = false;
    m_db.TransactionDepth(-1);
}

bool CTransaction::Commit(QString* error) {
    if (!m_open) {
        if (error) *error = QStringLiteral("No transaction is open");
        return false;
    }
    QString why;
    if (!IsSavepoint() && !m_db.BeforeCommit(&why)) {
        if (error) *error = why;
        Rollback();
        return false;
    }
    why = m_db.Run(IsSavepoint() ? QStringLiteral("RELEASE ") + m_savepoint + QLatin1Char(';')
                                 : QStringLiteral("COMMIT TRANSACTION;"));
    if (error) *error = why;
    if (!why.isEmpty()) {
        Rollback();
        return false;
    }
    End();
    if (!IsSavepoint()) m_db.DeliverChanges();
    return true;
}

void CTransaction::Rollback() {
    if (!m_open) return;
    if (IsSavepoint()) {
        // Rolling back to a savepoint keeps it open; releasing it ends it.
        m_db.Run(QStringLiteral("ROLLBACK TO ") + m_savepoint + QStringLiteral("; RELEASE ") + m_savepoint +
                 QLatin1Char(';'));
    } else {
        m_db.Run(QStringLiteral("ROLLBACK TRANSACTION;"));
    }
    m_db.DropChanges(m_changesMark);
    End();
}
