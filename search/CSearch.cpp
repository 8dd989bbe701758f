#include "search/CSearch.h"

#include "db/CSQLite.h"
#include "search/CRankedHits.h"
#include "search/CSearchIndex.h"
#include "search/CSearchMarks.h"
#include "search/CSearchQuery.h"
#include "util/basText.h"
#include "util/basVariableTools.h"


#include <algorithm>

namespace {

// A search reads pages of the full-text tables and of the item texts all over the file; mapped,
// the engine reads them in place instead of copying each one through a system call. Set once per
// opening of a connection (the engine grows or ends the map with the file).
constexpr qint64 kSearchMapBytes = qint64(1) << 30;

struct Mapped {
    bool done = false;
};

void mapForSearch(CSQLite& db) {
    bool& done = db.Slot<Mapped>().done;
    if (done) return;
    done = true;
    db.Run(QStringLiteral("PRAGMA mmap_size = ") + QString::number(kSearchMapBytes));
}

QString likePrefix(const QString& name) {
    QString escaped = name;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return SqlQuote(escaped + QLatin1Char('%')) + QStringLiteral(" ESCAPE '\\'");
}

QString nameTest(const QString& column, const CSearchQuery::Filter& f) {
    return column + (f.prefix ? QStringLiteral(" LIKE ") + likePrefix(f.name) : QStringLiteral(" = ") + SqlQuote(f.name));
}

// The link of an item (hit: its number) to a category, and through it to a language, that the
// conditions hold for.
QString linkExists(const QString& hit, const QStringList& conditions, bool exists) {
    return QStringLiteral(" AND ") + (exists ? QString() : QStringLiteral("NOT ")) +
           QStringLiteral("EXISTS (SELECT 1 FROM tblItemCategory AS l JOIN tblCategory AS k ON k.ID = l.CategoryID "
                          "JOIN tblItem AS it ON it.ID = l.ItemID WHERE l.ItemID = ") +
           hit + (conditions.isEmpty() ? QString() : QStringLiteral(" AND ") + conditions.join(QStringLiteral(" AND "))) +
           QLatin1Char(')');
}

// The conditions of a search's filters on one link of an item: those all must hold for one of
// its links, each excluded one for none.
struct FilterTerms {
    QStringList must;
    QStringList excluded;
};

FilterTerms filterTerms(const CSearchQuery& query, int categoryId, int typeId) {
    FilterTerms terms;
    if (categoryId != -1) terms.must << QStringLiteral("k.ID = ") + QString::number(categoryId);
    if (typeId != -1) terms.must << QStringLiteral("k.TypeID = ") + QString::number(typeId);
    QStringList languages, categories;
    for (const CSearchQuery::Filter& f : query.Filters()) {
        const QString test = f.category ? nameTest(QStringLiteral("k.Name"), f)
                                        : QStringLiteral("k.TypeID IN (SELECT ID FROM tblType WHERE ") +
                                              nameTest(QStringLiteral("Name"), f) + QLatin1Char(')');
        if (f.excluded) terms.excluded << test;
        else (f.category ? categories : languages) << test;
    }
    // Several of one kind: any of them; languages and categories: both, on one link.
    if (!languages.isEmpty()) terms.must << QLatin1Char('(') + languages.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    if (!categories.isEmpty()) terms.must << QLatin1Char('(') + categories.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    return terms;
}

QString filterSql(const QString& hit, const CSearchQuery& query, int categoryId, int typeId) {
    const FilterTerms terms = filterTerms(query, categoryId, typeId);
    QString sql;
    if (!terms.must.isEmpty()) sql = linkExists(hit, terms.must, true);
    for (const QString& test : terms.excluded) sql += linkExists(hit, {test}, false);
    return sql;
}

// The items with a link the conditions hold for, ascending.
bool linkedItems(CSQLite& db, const QStringList& conditions, std::vector<qint64>& ids) {
    ids.clear();
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT l.ItemID FROM tblItemCategory AS l JOIN tblCategory AS k ON k.ID = l.CategoryID "
                       "JOIN tblItem AS it ON it.ID = l.ItemID WHERE ") +
            conditions.join(QStringLiteral(" AND ")),
        [&](const CSQLite::Row& r) {
            ids.push_back(r.Int(0));
            return true;
        },
        nullptr);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ok;
}

// Filters the hits with the items read in one pass over the links. The links have no index by
// category, so a look-up per hit costs more once the hits are a good share of the items; below
// that share, without a filter or when the pass fails false, and the statement filters each hit
// instead.
bool filterAtOnce(CSQLite& db, CRankedHits& hits, const CSearchQuery& query, int categoryId, int typeId) {
    if (double(hits.Hits().size()) < CSearch::FilterAtOnceShare * double(hits.IndexRows())) return false;
    const FilterTerms terms = filterTerms(query, categoryId, typeId);
    if (terms.must.isEmpty() && terms.excluded.isEmpty()) return false;
    std::vector<qint64> must;
    if (!terms.must.isEmpty() && !linkedItems(db, terms.must, must)) return false;
    std::vector<qint64> excluded, one;
    for (const QString& test : terms.excluded) {
        if (!linkedItems(db, {test}, one)) return false;
        excluded.insert(excluded.end(), one.begin(), one.end());
    }
    std::sort(excluded.begin(), excluded.end());
    hits.KeepOnly([&](qint64 id) {
        return (terms.must.isEmpty() || std::binary_search(must.begin(), must.end(), id)) &&
               !std::binary_search(excluded.begin(), excluded.end(), id);
    });
    return true;
}

// The ORDER BY terms of the list's orders; the items' table joins in for two of them.
QString orderSql(const QString& orderBy, const QString& id, const QString& title, bool* needsItem) {
    const QString key = orderBy.simplified();
    *needsItem = false;
    if (key.compare(QLatin1String("LastUpdate DESC"), Qt::CaseInsensitive) == 0) {
        *needsItem = true;
        return QStringLiteral("i.LastUpdate DESC, ") + title;
    }
    if (key.compare(QLatin1String("FileSize DESC"), Qt::CaseInsensitive) == 0) {
        *needsItem = true;
        return QStringLiteral("i.FileSize DESC, ") + title;
    }
    if (key.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0) return id;
    return title + QStringLiteral(", ") + id;
}

// The hits' items with their titles, filtered (unless filterAtOnce did), in the hits' order: by
// sorting on the list's positions, or (unsorted) as the list is walked.
QString inOrderStatement(const std::vector<CRankedHits::Hit>& hits, const CSearchQuery& query, int categoryId,
                         int typeId, bool sorted, bool filteredAlready) {
    QString ids;
    ids.reserve(qsizetype(hits.size()) * 7 + 2);
    ids += QLatin1Char('[');
    for (const CRankedHits::Hit& h : hits) {
        if (ids.size() > 1) ids += QLatin1Char(',');
        ids += QString::number(h.id);
    }
    ids += QLatin1Char(']');
    const QString idName = categoryId != -1 || typeId != -1 ? QStringLiteral("ItemID") : QStringLiteral("rowid");
    return QStringLiteral("SELECT j.value AS ") + idName + QStringLiteral(", c.Title AS Title FROM json_each('") + ids +
           QStringLiteral("') AS j JOIN tblSearchTitle AS c ON c.ItemID = j.value WHERE 1") +
           (filteredAlready ? QString() : filterSql(QStringLiteral("j.value"), query, categoryId, typeId)) +
           (sorted ? QStringLiteral(" ORDER BY j.key") : QString());
}

}  // namespace

QString CSearch::Statement(CSQLite& db, const QString& text, int categoryId, int typeId, const QString& orderBy,
                           QString* error, bool* ranked, CSearchQuery* parsed) {
    if (error) error->clear();
    if (ranked) *ranked = false;
    if (!db.IsOpen()) return {};
    mapForSearch(db);
    CSearchQuery query;
    QString why;
    if (!query.Parse(text, &why)) {
        if (error) *error = why;
        return {};
    }
    const bool useIndex = query.HasText() && CSearchIndex::Prepare(db);
    // The hit's number and title in the table the rows come from.
    const QString id = !query.HasText() ? QStringLiteral("c.docid") : useIndex ? QStringLiteral("s.rowid") : QStringLiteral("ftsItem.docid");
    const QString title = useIndex ? QStringLiteral("c.Title") : !query.HasText() ? QStringLiteral("c.c0Title") : QStringLiteral("ftsItem.Title");
    bool needsItem = false;
    const QString order = useIndex && orderBy.isEmpty() ? QStringLiteral("s.rank, s.rowid")
                                                        : orderSql(orderBy, id, title, &needsItem);
    const QString item = needsItem ? QStringLiteral("LEFT JOIN tblItem AS i ON i.ID = ") + id + QLatin1Char(' ') : QString();
    // The first column keeps the name it always had: ItemID when filtered, rowid otherwise.
    const QString idName = categoryId != -1 || typeId != -1 ? QStringLiteral("ItemID") : QStringLiteral("rowid");
    QString sql = QStringLiteral("SELECT ") + id + QStringLiteral(" AS ") + idName + QStringLiteral(", ") + title +
                  QStringLiteral(" AS Title FROM ");
    if (!query.HasText())
        sql += QStringLiteral("ftsItem_content AS c ") + item + QStringLiteral("WHERE 1");
    else if (useIndex)
        sql += QStringLiteral("ftsSearch AS s JOIN tblSearchTitle AS c ON c.ItemID = s.rowid ") + item +
               QStringLiteral("WHERE ftsSearch MATCH ") + SqlQuote(query.IndexMatch());
    else
        sql += QStringLiteral("ftsItem ") + item + QStringLiteral("WHERE ftsItem MATCH ") + SqlQuote(query.PlainMatch());
    sql += filterSql(id, query, categoryId, typeId) + QStringLiteral(" ORDER BY ") + order;
    if (ranked) *ranked = useIndex && orderBy.isEmpty();
    if (parsed) *parsed = query;
    return sql;
}

bool CSearch::Ranked(CSQLite& db, const CSearchQuery& query, int categoryId, int typeId, ResultTable& table) {
    const bool filtered = categoryId != -1 || typeId != -1 || !query.Filters().isEmpty();
    // Unfiltered into a table, the titles come with the hits; otherwise a statement reads them.
    const bool direct = !filtered;
    CRankedHits hits;
    if (!hits.Run(db, query.IndexMatch(), query.PhrasesFromHits(), direct, nullptr)) return false;
    const auto& list = hits.Hits();
    // A title stored as a number or blob reads as the engine gives it.
    const bool plain = std::all_of(list.begin(), list.end(),
                                   [](const CRankedHits::Hit& h) { return h.textTitle || h.titleSize < 0; });
    if (direct && plain) {
        table.Clear();
        if (list.empty()) return true;
        table.SetHeader({QStringLiteral("rowid"), QStringLiteral("Title")});
        table.Reserve(qsizetype(list.size() + 1) * 2);
        for (const CRankedHits::Hit& h : list) {
            if (h.titleSize < 0) continue;
            table.Append(QVariant(qlonglong(h.id)));
            table.Append(QVariant(DecodeUtf8OrCp1252(hits.Title(h))));
        }
        if (!table.IsFilled()) table.Clear();
        return true;
    }
    QString why;
    const bool done = filterAtOnce(db, hits, query, categoryId, typeId);
    db.Exec(inOrderStatement(hits.Hits(), query, categoryId, typeId, true, done), table, why);
    return why.isEmpty();
}

ResultTable CSearch::Run(CSQLite& db, const QString& text, int categoryId, int typeId, const QString& orderBy,
                         QString* error, bool* ranked) {
    CSearchQuery query;
    bool best = false;
    const QString sql = Statement(db, text, categoryId, typeId, orderBy, error, &best, &query);
    if (ranked) *ranked = best;
    if (sql.isEmpty()) return {};
    ResultTable data;
    if (best && Ranked(db, query, categoryId, typeId, data)) return data;
    QString why;
    db.Exec(sql, data, why);
    if (error) *error = why;
    if (!why.isEmpty()) return {};
    return data;
}

bool CSearch::ForEach(CSQLite& db, const QString& text, int categoryId, int typeId, const QString& orderBy,
                      const std::function<bool(const CSQLite::Row&)>& fn, QString* error, bool* ranked) {
    CSearchQuery query;
    bool best = false;
    QString sql = Statement(db, text, categoryId, typeId, orderBy, error, &best, &query);
    if (ranked) *ranked = best;
    if (sql.isEmpty()) {
        if (error && error->isEmpty() && !db.IsOpen()) *error = CSQLite::NoDatabaseText();
        return false;
    }
    if (best) {
        CRankedHits hits;
        if (hits.Run(db, query.IndexMatch(), query.PhrasesFromHits(), false, nullptr)) {
            // The statement reads the titles in the hits' order without sorting them again (its
            // only plan walks the list); each row is checked against that order all the same.
            const bool done = filterAtOnce(db, hits, query, categoryId, typeId);
            const auto& list = hits.Hits();
            size_t next = 0;
            bool inOrder = true;
            const bool ok = db.ForEachRow(
                inOrderStatement(list, query, categoryId, typeId, false, done),
                [&](const CSQLite::Row& row) {
                    const qint64 id = row.Int(0);
                    while (next < list.size() && list[next].id != id) ++next;
                    if (next == list.size()) return inOrder = false;
                    ++next;
                    return fn(row);
                },
                error);
            if (!inOrder && error) *error = QStringLiteral("The search could not keep the order of its hits");
            return ok && inOrder;
        }
    }
    return db.ForEachRow(sql, fn, error);
}

QHash<int, QString> CSearch::Contexts(CSQLite& db, const QList<int>& ids, const QStringList& words, int maxChars,
                                      const QString& open, const QString& close) {
    QHash<int, QString> lines;
    const CSearchMarks marks(words);
    if (marks.IsEmpty()) return lines;
    for (qsizetype from = 0; from < ids.size(); from += 500) {
        QStringList list;
        for (qsizetype k = from; k < from + 500 && k < ids.size(); ++k) list << QString::number(ids[k]);
        db.ForEachRow(QStringLiteral("SELECT docid, c1Code, c0Title, c2File FROM ftsItem_content WHERE docid IN (") +
                          list.join(QLatin1Char(',')) + QLatin1Char(')'),
                      [&](const CSQLite::Row& r) {
                          QByteArray scratch;
                          for (int c = 1; c <= 3; ++c) {
                              const QString line =
                                  marks.ContextLine(QString::fromUtf8(r.Utf8(c, scratch)), maxChars, open, close);
                              if (line.isEmpty()) continue;
                              lines.insert(int(r.Int(0)), line);
                              break;
                          }
                          return true;
                      });
    }
    return lines;
}
