#pragma once
// What a reader tells besides its entries: the snippets it skipped, those the source holds as
// deleted, and how far it got (for the progress window).
#include "formats/CSkippedEntry.h"

#include <QList>

struct CReadReport {
    QList<CSkippedEntry> skipped;
    int deleted = 0;           // in the source's trash: not imported, only counted
    qint64 done = 0;           // progress in units of the reader's choice (bytes, files)
    qint64 total = 0;          // 0 while unknown
    int Percent() const { return total > 0 ? int(qBound(qint64(0), done * 100 / total, qint64(100))) : 0; }
};
