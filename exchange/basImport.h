#pragma once
// Import of an exchange file into the open database, in one transaction: either the whole
// file goes in or, after Cancel or a failure, nothing of it.
#include <QString>

class CSQLite;

struct ImportSummary {
    bool completed = false;     // committed
    bool cancelled = false;     // the user pressed Cancel; rolled back
    int items = 0;              // items saved
    int categoryLines = 0;      // further-category lines applied
    int skippedLines = 0;       // damaged lines: too few fields, no whole item number, a NUL byte
    int missingAttachments = 0; // named attachments not beside the file (unreadable, or a name
                                // with a folder part); the item is imported without one
    QString error;              // why it failed (rolled back), when it did
    QString snapshot;           // the copy of the database taken before items could be replaced
};

// Reads file into db. keepIds: items take the numbers of the file (overwriting items of the same
// number); otherwise every item becomes a new one. Shows the progress window and nothing else; a
// failure (unreadable file, the database refusing a write) is rolled back and its message left in
// the summary. True when the import was committed.
bool ImportDatabase(CSQLite& db, const QString& file, bool keepIds, ImportSummary* summary = nullptr);

// The summary's text: "N items imported, M lines skipped, K attachments missing."
QString ImportSummaryText(const ImportSummary& summary);
