#pragma once
// A larger page cache while one long transaction runs (an undo or a catch-up over many items):
// the engine otherwise writes changed pages out, and syncs its journal, again and again inside
// it. The connection's own size comes back when this goes.
#include "db/CSQLite.h"

class CLargerCache {
public:
    explicit CLargerCache(CSQLite& db) : m_db(db) {
        db.ForEachRow(QStringLiteral("PRAGMA cache_size"), [&](const CSQLite::Row& r) {
            m_old = r.Int(0);
            return false;
        });
        if (m_old != 0) m_db.Run(QStringLiteral("PRAGMA cache_size = -131072"));
    }
    ~CLargerCache() {
        if (m_old != 0) m_db.Run(QStringLiteral("PRAGMA cache_size = ") + QString::number(m_old));
    }
    CLargerCache(const CLargerCache&) = delete;
    CLargerCache& operator=(const CLargerCache&) = delete;

private:
    CSQLite& m_db;
    qint64 m_old = 0;
};
