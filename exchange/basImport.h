#pragma once
// Import of an exchange file into the open database (gDB), in one transaction: either the whole
// file goes in or, after Cancel or a failure, nothing of it.
#include <QString>
#include <optional>

struct ImportSummary {
    bool completed = false;     // committed
    bool cancelled = false;     // the user pressed Cancel; rolled back
    int items = 0;              // items saved
    int categoryLines = 0;      // further-category lines applied
    int skippedLines = 0;       // damaged lines: too few fields, no whole item number, a NUL byte
    int missingAttachments = 0; // named attachments not beside the file (unreadable, or a name
                                // with a folder part); the item is imported without one
    QString error;              // why it failed (rolled back), when it did
};

// Reads file into the open database. keepIds: items take the numbers of the file (overwriting
// items of the same number); otherwise every item becomes a new one. Shows the progress window;
// a failure (unreadable file, the database refusing a write) is reported through the prompt and
// rolled back. With showSummary the end tells how many items were imported, lines skipped and
// attachments missing. True when the import was committed.
bool ImportDatabase(const QString& file, bool keepIds, ImportSummary* summary = nullptr,
                    bool showSummary = true);

// The summary's text: "N items imported, M lines skipped, K attachments missing."
QString ImportSummaryText(const ImportSummary& summary);

// The File, Import command: open dialog, the new-or-overwrite question, then the import.
// Returns true when the import ran (whatever its outcome): the caller then reloads its lists.
bool ImportCommand();

// Its steps, for a caller that drives them itself.
QString AskImportFile();  // the open dialog; empty when cancelled
// "Import everything as new items ...?": Yes gives false (new numbers), No gives true (keep the
// file's numbers), Cancel gives no value.
std::optional<bool> AskImportKeepIds();
