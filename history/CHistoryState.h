#pragma once
// The journal's per-connection bookkeeping: the blocks kept before a change, the running
// command and whether the tables were seen. Shared by the journal and its command scopes.
#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <memory>

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
    bool tablesReady = false;
    // Whether tblItemVersion has the Languages column: -1 not asked yet. Files written before it
    // existed lack it until their next write adds it.
    int languagesColumn = -1;
    QHash<int, QString> keptBlocks;  // item -> hash of its block before the change, "" none
    // item -> its links before the change as (category, language) pairs, kept only when the
    // links span more than one language: the change record holds one language per item.
    QHash<int, QList<QPair<QString, QString>>> keptLinks;
    QString renameDetail;
    std::unique_ptr<Command> command;  // the running command scope's, none outside one

    // The state of db's current file, kept on the connection (fresh after every open).
    static CHistoryState& Of(CSQLite& db);
};
