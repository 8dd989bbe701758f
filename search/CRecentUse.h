#pragma once
// Which items the quick palette handed out, how often and when last, kept in the snippet file's
// own table tblItemUse (made on the first use; a file without it simply has no history yet).
// Rows of items deleted since are skipped on reading and dropped on the next write.
#include <QDateTime>
#include <QHash>
#include <QString>

class CSQLite;

class CRecentUse {
public:
    struct Use {
        qint64 count = 0;
        double lastUsed = 0;  // UTC Julian day
    };

    // The uses of existing items by item number. True (empty) for a file without the table;
    // false with the engine's text when the read failed.
    static bool Load(CSQLite& db, QHash<int, Use>* uses, QString* error = nullptr);
    // Counts one use of the item at when, in a transaction of its own. False with the engine's
    // text when it could not be written (a read-only file, another program's lock).
    static bool Record(CSQLite& db, int itemId, const QDateTime& when, QString* error = nullptr);

    // Frequent and recent together: each use counts fully for a fortnight, then fades.
    static double Weight(const Use& use, double nowJulianDay);
    static double JulianDay(const QDateTime& when);
};
