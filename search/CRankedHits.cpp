#include "search/CRankedHits.h"

#include "db/CSQLite.h"
#include "search/CReadTransaction.h"
#include "search/CSearch.h"

#include <QMutex>
#include <QSet>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

namespace {

constexpr char kSinkType[] = "vgHitSink";
constexpr char kFunction[] = "vg_hit_terms";

// What the scan gathers, filled by the auxiliary function row by row.
struct Sink {
    std::string fromHits;  // per phrase: '1' counted from the hits
    bool started = false;
    int phrases = 0;
    qint64 rows = 0;    // rows in the index
    qint64 tokens = 0;  // tokens in the index, all columns
    std::vector<qint64> rowsWith;
    std::vector<char> countHits;
    std::vector<qint64> ids;
    std::vector<double> freq;  // phrases per hit: the weighted count of its matches
};

double columnWeight(int column) {
    return column == 0 ? CSearch::kTitleWeight : column == 1 ? CSearch::kFileWeight : CSearch::kBodyWeight;
}

int countRow(const Fts5ExtensionApi*, Fts5Context*, void* user) {
    ++*static_cast<qint64*>(user);
    return SQLITE_OK;
}

int start(Sink& s, const Fts5ExtensionApi* api, Fts5Context* fts) {
    s.started = true;
    s.phrases = api->xPhraseCount(fts);
    int rc = api->xRowCount(fts, &s.rows);
    if (rc == SQLITE_OK) rc = api->xColumnTotalSize(fts, -1, &s.tokens);
    // Should the expression have another number of phrases than told, every count is made
    // the engine's way.
    const bool told = s.fromHits.size() == size_t(s.phrases);
    s.rowsWith.assign(size_t(s.phrases), 0);
    s.countHits.assign(size_t(s.phrases), 0);
    for (int i = 0; rc == SQLITE_OK && i < s.phrases; ++i) {
        s.countHits[size_t(i)] = told && s.fromHits[size_t(i)] == '1';
        if (!s.countHits[size_t(i)]) rc = api->xQueryPhrase(fts, i, &s.rowsWith[size_t(i)], countRow);
    }
    return rc;
}

void hitTerms(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    Sink* s = argc >= 1 ? static_cast<Sink*>(sqlite3_value_pointer(argv[0], kSinkType)) : nullptr;
    if (!s) {
        sqlite3_result_error(ctx, "vg_hit_terms is for the search only", -1);
        return;
    }
    int rc = s->started ? SQLITE_OK : start(*s, api, fts);
    const size_t at = s->freq.size();
    s->ids.push_back(api->xRowid(fts));
    s->freq.resize(at + size_t(s->phrases), 0.0);
    int n = 0;
    if (rc == SQLITE_OK) rc = api->xInstCount(fts, &n);
    for (int k = 0; rc == SQLITE_OK && k < n; ++k) {
        int phrase = 0, column = 0, offset = 0;
        rc = api->xInst(fts, k, &phrase, &column, &offset);
        if (rc == SQLITE_OK && phrase >= 0 && phrase < s->phrases) s->freq[at + size_t(phrase)] += columnWeight(column);
    }
    for (int i = 0; i < s->phrases; ++i)
        if (s->countHits[size_t(i)] && s->freq[at + size_t(i)] > 0) ++s->rowsWith[size_t(i)];
    if (rc != SQLITE_OK) sqlite3_result_error_code(ctx, rc);
    else sqlite3_result_null(ctx);
}

// The function belongs to the connection, not to the file: the file's schema stays the stock one.
bool ensureFunction(CSQLite& db) {
    static QMutex lock;
    static QSet<quint64> registered;
    QMutexLocker hold(&lock);
    if (registered.contains(db.OpenSerial())) return true;
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.Handle(), "SELECT fts5(?1)", -1, &st, nullptr) != SQLITE_OK) return false;
    sqlite3_bind_pointer(st, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
    sqlite3_step(st);
    sqlite3_finalize(st);
    if (!api || api->iVersion < 2 ||
        api->xCreateFunction(api, kFunction, nullptr, hitTerms, nullptr) != SQLITE_OK)
        return false;
    registered.insert(db.OpenSerial());
    return true;
}

// The engine's varint: seven bits a byte, high bit first, the ninth byte whole.
int readVarint(const unsigned char* p, const unsigned char* end, quint64& v) {
    v = 0;
    for (int i = 0; i < 8; ++i) {
        if (p + i >= end) return 0;
        v = (v << 7) | (p[i] & 0x7f);
        if (!(p[i] & 0x80)) return i + 1;
    }
    if (p + 8 >= end) return 0;
    v = (v << 8) | p[8];
    return 9;
}

// A row's size record: one token count per column; their sum, or -1 when it cannot be read.
int rowSize(const void* blob, int bytes) {
    const auto* p = static_cast<const unsigned char*>(blob);
    const unsigned char* const end = p + bytes;
    int sum = 0;
    for (int c = 0; c < 3; ++c) {
        quint64 v = 0;
        const int used = p ? readVarint(p, end, v) : 0;
        if (!used) return -1;
        p += used;
        sum += int(quint32(v));
    }
    return p == end ? sum : -1;
}

bool failed(sqlite3* h, sqlite3_stmt* st, QString* error) {
    if (error) *error = QString::fromUtf8(sqlite3_errmsg(h));
    sqlite3_finalize(st);
    return false;
}

// The sizes of the rows ids (ascending): one pass over the size table when the hits are many,
// else one look-up each.
bool readSizes(sqlite3* h, const std::vector<qint64>& ids, qint64 rows, std::vector<int>& sizes, QString* error) {
    sizes.assign(ids.size(), -1);
    sqlite3_stmt* st = nullptr;
    const bool scan = qint64(ids.size()) * 8 >= rows;
    const char* sql = scan ? "SELECT id, sz FROM ftsSearch_docsize ORDER BY id"
                           : "SELECT sz FROM ftsSearch_docsize WHERE id = ?1";
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) != SQLITE_OK) return failed(h, st, error);
    int rc = SQLITE_OK;
    if (scan) {
        size_t k = 0;
        while (k < ids.size() && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            const qint64 id = sqlite3_column_int64(st, 0);
            while (k < ids.size() && ids[k] < id) ++k;
            if (k < ids.size() && ids[k] == id)
                sizes[k++] = rowSize(sqlite3_column_blob(st, 1), sqlite3_column_bytes(st, 1));
        }
    } else {
        for (size_t k = 0; k < ids.size(); ++k) {
            sqlite3_bind_int64(st, 1, ids[k]);
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW) sizes[k] = rowSize(sqlite3_column_blob(st, 0), sqlite3_column_bytes(st, 0));
            else if (rc != SQLITE_DONE) break;
            sqlite3_reset(st);
        }
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return failed(h, st, error);
    sqlite3_finalize(st);
    // A hit without its size is a damaged index, as the engine's rank would say.
    if (std::find(sizes.begin(), sizes.end(), -1) != sizes.end()) {
        if (error) *error = QStringLiteral("The search index is damaged");
        return false;
    }
    return true;
}

}  // namespace

bool CRankedHits::Run(CSQLite& db, const QString& match, const QString& countFromHits, bool titles, QString* error) {
    m_hits.clear();
    m_titles.clear();
    m_rows = 0;
    if (error) error->clear();
    if (!db.IsOpen()) {
        if (error) *error = CSQLite::NoDatabaseText();
        return false;
    }
    if (!ensureFunction(db)) {
        if (error) *error = QStringLiteral("The full-text engine has no ranking functions");
        return false;
    }
    sqlite3* h = db.Handle();
    const CReadTransaction hold(h);
    Sink sink;
    sink.fromHits = countFromHits.toStdString();
    const char* sql = titles ? "SELECT c.Title, vg_hit_terms(ftsSearch, ?1) FROM ftsSearch "
                               "LEFT JOIN tblSearchTitle AS c ON c.ItemID = ftsSearch.rowid WHERE ftsSearch MATCH ?2"
                             : "SELECT vg_hit_terms(ftsSearch, ?1) FROM ftsSearch WHERE ftsSearch MATCH ?2";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) != SQLITE_OK) return failed(h, st, error);
    const QByteArray expr = match.toUtf8();
    sqlite3_bind_pointer(st, 1, static_cast<void*>(&sink), kSinkType, nullptr);
    sqlite3_bind_text(st, 2, expr.constData(), int(expr.size()), SQLITE_STATIC);
    // Per hit where its title starts in m_titles and its size (-1: none).
    std::vector<std::pair<qsizetype, int>> named;
    std::vector<char> text;
    m_titles.clear();
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (!titles) continue;
        const int type = sqlite3_column_type(st, 0);
        text.push_back(type == SQLITE_TEXT);
        if (type == SQLITE_NULL) {
            named.push_back({0, -1});
            continue;
        }
        const int size = sqlite3_column_bytes(st, 0);
        named.push_back({m_titles.size(), size});
        m_titles.append(static_cast<const char*>(sqlite3_column_blob(st, 0)), size);
    }
    if (rc != SQLITE_DONE) return failed(h, st, error);
    sqlite3_finalize(st);
    const size_t count = sink.ids.size();
    m_rows = sink.rows;
    if (titles && named.size() != count) {
        if (error) *error = QStringLiteral("The search read its hits twice");
        return false;
    }
    if (!count) return true;

    // The engine hands the hits in ascending order; the sizes are read in that order.
    std::vector<size_t> byId(count);
    std::iota(byId.begin(), byId.end(), size_t(0));
    if (!std::is_sorted(sink.ids.begin(), sink.ids.end()))
        std::sort(byId.begin(), byId.end(), [&](size_t a, size_t b) { return sink.ids[a] < sink.ids[b]; });
    std::vector<qint64> ascending(count);
    for (size_t k = 0; k < count; ++k) ascending[k] = sink.ids[byId[k]];
    std::vector<int> sizes;
    if (!readSizes(h, ascending, sink.rows, sizes, error)) return false;

    // bm25 as the engine computes it, term for term, so that equal scores stay equal.
    const double k1 = 1.2;
    const double b = 0.75;
    const double avgdl = double(sink.tokens) / double(sink.rows);
    std::vector<double> idf(size_t(sink.phrases));
    for (size_t i = 0; i < idf.size(); ++i) {
        const qint64 hit = sink.rowsWith[i];
        idf[i] = std::log((double(sink.rows) - double(hit) + 0.5) / (double(hit) + 0.5));
        if (idf[i] <= 0.0) idf[i] = 1e-6;
    }
    m_hits.resize(count);
    for (size_t k = 0; k < count; ++k) {
        const size_t row = byId[k];
        const double D = double(sizes[k]);
        double score = 0.0;
        for (size_t i = 0; i < idf.size(); ++i) {
            const double f = sink.freq[row * idf.size() + i];
            score += idf[i] * ((f * (k1 + 1.0)) / (f + k1 * (1 - b + b * D / avgdl)));
        }
        Hit& hit = m_hits[k];
        hit.id = sink.ids[row];
        hit.score = -1.0 * score;
        if (titles) {
            hit.titleAt = named[row].first;
            hit.titleSize = named[row].second;
            hit.textTitle = text[row];
        }
    }
    std::sort(m_hits.begin(), m_hits.end(),
              [](const Hit& a, const Hit& b) { return a.score < b.score || (a.score == b.score && a.id < b.id); });
    return true;
}
