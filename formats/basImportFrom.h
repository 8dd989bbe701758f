#pragma once
// Import from another tool's files: read with the format's reader, tell what is new, already
// present or skipped, and (unless it is a dry run) store the new items in one transaction, so
// that Cancel or a failure leaves the database as it was.
#include "formats/CImportEntry.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class CItemImport;
class CSQLite;

struct ImportFromOptions {
    QString format;    // a name of CFormatReader::Formats()
    QString path;      // file or folder
    bool dryRun = false;
    QString language;  // replaces every snippet's language when not empty
    QString category;  // replaces every snippet's categories when not empty (commas separate)
    bool listAll = true;  // a row for every snippet; false: rows for the skipped ones only
};

enum class ImportFate { Added, Present, Skipped };

// One line of the preview.
struct ImportFromRow {
    ImportFate fate = ImportFate::Added;
    QString title;  // the item's title, or the source's name of a skipped snippet
    QString language;
    QStringList categories;
    QString reason;  // why it was skipped
    int itemId = 0;  // the stored number (added) or the equal item's (present); 0 when none yet
};

struct ImportFromCount {
    int added = 0;
    int present = 0;
    bool operator==(const ImportFromCount&) const = default;
};

struct ImportFromSummary {
    QList<ImportFromRow> rows;  // in the source's order; skipped snippets after the others
    int added = 0;              // stored, or to be stored in a dry run
    int present = 0;            // equal to an item already there
    int skipped = 0;            // unreadable snippets and identities held by other items
    int deleted = 0;            // in the source's trash
    QMap<QString, ImportFromCount> byLanguage;
    bool completed = false;  // read through (and committed unless a dry run)
    bool cancelled = false;  // Cancel pressed: nothing stored
    QString error;           // why it failed; nothing stored
};

// Runs the import on the open database db. Shows the progress window and nothing else. True
// when it ran to its end (committed, or read through in a dry run).
bool ImportFrom(CSQLite& db, const ImportFromOptions& options, ImportFromSummary* summary);

// Stores one snippet as a new item (under its own number when it carries a free one) with its
// attributes and attachment, inside the caller's transaction: the one place an import writes an
// item. The rows are those the item save writes, stored through the store's bulk path (items)
// while it can and through the item save otherwise. Returns the item number, 0 with the reason
// when the database refused. items.Flush must follow before the commit.
int StoreImportedItem(CSQLite& db, CItemImport& items, CImportEntry& entry, QString* error);

// One line for a message box: "3 items added, 1 already present, 1 skipped, 1 deleted in the source."
QString ImportFromSummaryText(const ImportFromSummary& summary);
