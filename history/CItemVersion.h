#pragma once
// One kept state of an item: its values just before a change, when and by which command it
// changed. Kept in the additional table tblItemVersion of the same file.
#include "db/CItem.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct CItemVersion {
    qint64 versionId = 0;
    int number = 0;  // 1 for the oldest version of the item
    int itemId = 0;
    QDateTime changed;  // UTC: when the change that replaced this state was made
    QString command;    // that change's command ("Save", "Delete", "Import" ...)
    CItem item;         // the values as they were (item.id = itemId)
    // The language of each of item.categories, when they were not all item.language; empty
    // otherwise, and for versions kept before each link's language was.
    QStringList linkLanguages;

    struct Link {
        QString language, category;
    };
    // The links the version had, each category under its language, cleaned as a save cleans
    // names, blank ones left out and each pair once.
    QList<Link> Links() const;
    bool blockKept = false;  // the change altered the attachment block: blockHash is the block before
    QString blockHash;       // empty: there was no block
    // Set for a change kept without the item's values (a category rename or merge): what it
    // changed. Such an entry has no number and nothing to restore.
    QString note;
};
