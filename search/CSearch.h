#pragma once
// A search over the snippet file: parsed by CSearchQuery, answered best first from the search
// index (CSearchIndex, brought up to date first), or plainly from the plain full-text table
// by title while the index cannot be used (a read-only file, another program's lock).
#include "db/CSQLite.h"
#include "util/ResultTable.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class CSearchQuery;

class CSearch {
public:
    // The ranking: bm25 over the index's columns with these weights (a match in the title counts
    // ten times one in the body).
    static constexpr double kTitleWeight = 10.0;
    static constexpr double kFileWeight = 5.0;
    static constexpr double kBodyWeight = 1.0;
    // A filtered search whose hits are at least this share of the items reads the filter's items
    // in one pass instead of checking each hit (tests set 0 or more than 1 to take one way).
    static inline double FilterAtOnceShare = 0.2;

    // Items (ID, Title) matching text within a category and/or language (-1: any). orderBy
    // empty: best first; else one of the title list's orders ("Title", "LastUpdate DESC", "ID",
    // "FileSize DESC"). An unfilled table when nothing matches; a malformed search gives its
    // reason in error. ranked (when given) tells whether the index answered.
    static ResultTable Run(CSQLite& db, const QString& text, int categoryId, int typeId, const QString& orderBy,
                           QString* error, bool* ranked = nullptr);
    // The same rows handed to fn one at a time (ID, Title) until it returns false; false with
    // the reason when the search is malformed or the read failed.
    static bool ForEach(CSQLite& db, const QString& text, int categoryId, int typeId, const QString& orderBy,
                        const std::function<bool(const CSQLite::Row&)>& fn, QString* error, bool* ranked = nullptr);

    // One line of context per item of ids that has a match of words (CSearchQuery::MarkWords):
    // from the code, else the title, else the attachment name; the matches between open and
    // close.
    static QHash<int, QString> Contexts(CSQLite& db, const QList<int>& ids, const QStringList& words, int maxChars,
                                        const QString& open, const QString& close);

private:
    // The statement of a search; empty with the reason when it is malformed.
    static QString Statement(CSQLite& db, const QString& text, int categoryId, int typeId, const QString& orderBy,
                             QString* error, bool* ranked, CSearchQuery* parsed = nullptr);
    // Best first without the engine's rank (CRankedHits) into table. False when the ranking
    // cannot be had, and the engine's statement is used instead.
    static bool Ranked(CSQLite& db, const CSearchQuery& query, int categoryId, int typeId, ResultTable& table);
};
