#include "formats/basExportItems.h"

#include "formats/CStoredItems.h"
#include "util/CPrompt.h"

bool ExportEachItem(CSQLite& db, CProgressScope& progress, int upTo, CExportSummary& s, const ExportStep& step) {
    QString error;
    qint64 total = 0;
    bool stopped = false;
    const bool ok = CStoredItems::ForEach(
        db,
        [&](const CItem& item, const ItemAttributes& attributes) {
            if (!step(item, attributes, &error)) return false;
            ++s.items;
            if (progress.Update(total > 0 ? int(qint64(s.items) * upTo / total) : 0)) {
                s.cancelled = true;
                return false;
            }
            return true;
        },
        &error, &total, &stopped);
    if (s.cancelled) return false;
    if (!ok || stopped) {
        s.error = error;
        return false;
    }
    return true;
}
