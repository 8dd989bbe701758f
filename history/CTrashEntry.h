#pragma once
// A deleted item waiting in the trash: its number, the kept values and when it went.
#include <QDateTime>
#include <QString>

struct CTrashEntry {
    qint64 trashId = 0;
    int itemId = 0;
    qint64 versionId = 0;
    QString title;
    QString language;
    QDateTime deleted;  // UTC
};
