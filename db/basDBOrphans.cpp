#include "db/basDBOrphans.h"

#include "db/CSQLite.h"

#include <QString>

bool HasFullTextRow(CSQLite& db, int itemId, QString* error) {
    bool found = false;
    QString why;
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT 1 FROM ftsItem WHERE docid = %1").arg(itemId),
        [&](const CSQLite::Row&) {
            found = true;
            return false;
        },
        &why);
    if (error) *error = ok ? QString() : why;
    return found;
}
