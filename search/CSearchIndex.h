#pragma once
// The search index: a second full-text table in the snippet file (ftsSearch, the stock FTS5
// module and tokenizer) that holds each item's text as CSearchText expands it, beside a state
// row per item (tblSearchState: a hash of the text it was made from and that text compressed,
// which taking the row out of the index needs), each item's title alone (tblSearchTitle: a
// ranked search lists its hits' titles from a few dense pages instead of one item row each)
// and tblSearchInfo (the version of the index and a fingerprint of the plain full-text table as
// the index last matched it). The five store
// tables stay as they are; a file without these tables works as before and gains them on its
// first write. Another program's changes show as a different fingerprint, after which the
// items whose text no longer matches their state are indexed again.
#include <QList>
#include <QString>

class CSQLite;

class CSearchIndex {
public:
    // The index's version (of the expansion and the tables): an index made by another one is
    // made again. 2: the titles table.
    static constexpr int kVersion = 2;
    // From this many items to index again on, the progress window shows.
    static constexpr int kProgressFrom = 2000;

    // Makes the index follow every change recorded on db, inside the change's transaction
    // (OpenDatabase does).
    static void Install(CSQLite& db);

    // Whether the file holds the index tables.
    static bool Exists(CSQLite& db);

    // After items changed, inside the same transaction: reads items ids again from the store
    // tables and rewrites their index rows; an id without its full-text row loses its row. Makes
    // the tables when the file has none (the rest of the items are indexed by the next CatchUp).
    // Does nothing on a read-only file.
    static bool ItemsChanged(CSQLite& db, const QList<int>& ids, QString* error);

    // Cheap: whether the index matches the plain full-text table as it is now.
    static bool IsCurrent(CSQLite& db);

    // Brings the index up to date (making it when missing): every item whose text differs from
    // its state is indexed again, in one transaction, with the progress window when there are
    // many. False with the reason when the file cannot be written (read-only, busy) or the user
    // cancelled; rewritten (when given) gets how many items were indexed again.
    static bool CatchUp(CSQLite& db, QString* error, int* rewritten = nullptr);

    // Before a search: true when the index is up to date or was brought up to date; false when
    // the search must go without it.
    static bool Prepare(CSQLite& db);

    // The fingerprint of the plain full-text table's index: it changes with every change of
    // its text. Empty (with error) when it cannot be read.
    static QString Fingerprint(CSQLite& db, QString* error = nullptr);
};
