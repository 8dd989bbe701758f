#pragma once
// Every hit of a full-text expression over the search index, ranked with the index's own bm25
// (the column weights of CSearch) to the same scores and order (score, then item number) as the
// engine's ORDER BY rank, rowid, but cheaper: the engine's rank looks up each hit's size with a
// statement of its own and counts each phrase's rows with a second pass over the index; here the
// sizes are read in one pass in order and a phrase whose every row is a hit is counted from the
// hits.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <algorithm>
#include <vector>

class CSQLite;

class CRankedHits {
public:
    struct Hit {
        qint64 id = 0;
        double score = 0;  // as the engine's rank: lower is better
        qsizetype titleAt = 0;
        int titleSize = -1;  // -1: no title (without titles, or an index row without its item)
        bool textTitle = true;  // stored as text (another program may have stored a number or blob)
    };

    // Runs match over ftsSearch. countFromHits has one character per phrase of match in the
    // order it is written: '1' when every row holding that phrase is a hit of the whole match
    // (the phrase stands alone or under OR only), so its row count comes from the hits. With
    // titles, each hit carries its title from the index's titles table. False with the engine's
    // reason.
    bool Run(CSQLite& db, const QString& match, const QString& countFromHits, bool titles, QString* error);

    // Best first.
    const std::vector<Hit>& Hits() const { return m_hits; }
    // Keeps the hits whose number keep gives true, in their order.
    template <typename Keep>
    void KeepOnly(Keep keep) {
        m_hits.erase(std::remove_if(m_hits.begin(), m_hits.end(), [&](const Hit& h) { return !keep(h.id); }),
                     m_hits.end());
    }
    // Rows in the index (items indexed) at the last run.
    qint64 IndexRows() const { return m_rows; }
    // The title's stored bytes.
    QByteArrayView Title(const Hit& hit) const {
        return hit.titleSize < 0 ? QByteArrayView() : QByteArrayView(m_titles.constData() + hit.titleAt, hit.titleSize);
    }

private:
    std::vector<Hit> m_hits;
    qint64 m_rows = 0;
    QByteArray m_titles;  // all titles one after the other
};
