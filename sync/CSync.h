#pragma once
// Sync of a snippet database with a git repository holding it as a Markdown folder, merging per
// item by identity against the commit both last agreed on: a change on one side wins; changes on
// both that differ keep this database's version and the other as a conflict; an edit beats a
// delete. The database's writes go through the store's write path, in one transaction that also
// moves the recorded base to the remote's commit, so a sync stopped at any point is completed by
// the next one without loss.
#include "sync/CSyncOptions.h"
#include "sync/CSyncSummary.h"

class CSQLite;

class CSync {
public:
    static bool Run(CSQLite& db, const CSyncOptions& options, CSyncSummary& summary);
    // The folder and remote the database synced with last (empty when never).
    static bool Settings(CSQLite& db, QString& folder, QString& remote, QString* error);
};
