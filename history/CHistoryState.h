#pragma once
// The journal's per-connection bookkeeping: the blocks kept before a change, the running
// command and whether the tables were seen. Shared by the journal and its command scopes.
#include <QHash>
#include <QSet>
#include <QString>

class CSQLite;

class CHistoryState {
public:
    struct Command {
        QString name, kind;
        int undo = 0;  // CHistoryCommand::Undo
        qint64 undoId = 0;
        QHash<int, qint64> versionOf;  // item -> its version kept by this command
        QSet<int> created;             // items the command made (no state before it)
        QString detail;                // what a rename undo puts back
    };
    quint64 serial = 0;
    bool tablesReady = false;
    QHash<int, QString> keptBlocks;  // item -> hash of its block before the change, "" none
    QString renameDetail;
    Command* command = nullptr;

    // The state of db's current file (fresh after every open).
    static CHistoryState& Of(CSQLite& db);
};
