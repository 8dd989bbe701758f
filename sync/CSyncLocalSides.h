#pragma once
// This database's side of each item as the last sync computed it (its content fingerprint and
// attachment's blob), kept in an additional table with a cheap key of the item's stored state,
// so a sync reads again only the items whose key moved. The store's writes drop the rows of the
// items they touch; other programs' writes change the key (time stamp, lengths, categories).
#include <QHash>
#include <QList>
#include <QString>
#include <functional>

class CSQLite;

struct CSyncLocalSide {
    int id = 0;
    QString uuid;
    QString key;
    QString fingerprint;
    QString attachBlob;
    QString attachSum;
};

class CSyncLocalSides {
public:
    // Every item with an identity, in one query: known gets each item whose remembered side
    // still holds (its key unchanged), stale the others with their key now. count: all of them.
    static bool Read(CSQLite& db, const std::function<void(const CSyncLocalSide& side)>& known,
                     QHash<int, QString>& stale, qsizetype& count, QString* error);
    // Inside the caller's transaction.
    static bool Write(CSQLite& db, const QList<CSyncLocalSide>& sides, QString* error);
};
