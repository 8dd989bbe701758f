#pragma once
// This database's side of each item as the last sync computed it (its content fingerprint and
// attachment's blob), kept in an additional table with a cheap key of the item's stored state,
// so a sync reads again only the items whose key moved. The store's writes drop the rows of the
// items they touch; other programs' writes change the key (time stamp, lengths, categories).
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
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
    // The items that may differ from what the last sync agreed on, in one pass over each
    // table: known gets each item whose remembered side holds (key unchanged) yet differs from
    // the agreed fingerprint, has none, or whose identity is in wanted; stale the items whose
    // key moved (or that have nothing remembered), with their key now; gone the identities
    // the last sync agreed on that no item holds any more.
    static bool ReadChanged(CSQLite& db, const QSet<QString>& wanted,
                            const std::function<void(const CSyncLocalSide& side)>& known, QHash<int, QString>& stale,
                            QStringList& gone, QString* error);
    // The identities the last sync agreed on that no item of this database holds any more.
    static bool ReadGone(CSQLite& db, QStringList& uuids, QString* error);
    // Writes in transactions of their own: the rows are true whatever the sync does next.
    static bool Write(CSQLite& db, const QList<CSyncLocalSide>& sides, QString* error);
};
