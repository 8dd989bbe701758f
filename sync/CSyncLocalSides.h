#pragma once
// This database's side of each item as the last sync computed it (its content fingerprint and
// attachment's blob), kept in an additional table with a cheap key of the item's stored state,
// so a sync reads again only the items whose key moved. The store's writes drop the rows of the
// items they touch; other programs' writes change the key (time stamp, lengths, categories).
#include <QHash>
#include <QList>
#include <QString>

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
    // Every item with an identity: item number -> side with only uuid and key set.
    static bool ReadKeys(CSQLite& db, QHash<int, CSyncLocalSide>& keys, QString* error);
    // The sides remembered, by item number.
    static bool Read(CSQLite& db, QHash<int, CSyncLocalSide>& sides, QString* error);
    // Inside the caller's transaction.
    static bool Write(CSQLite& db, const QList<CSyncLocalSide>& sides, QString* error);
};
