#pragma once
// Export of the whole open database to an exchange file, with the attachments written as
// files beside it on request. The file format lives in exchange/basExchangeFile.h.
#include "util/ResultTable.h"

#include <QString>
#include <QStringList>

class CSQLite;

struct ExportSummary {
    bool written = false;        // the exchange file is in place
    bool cancelled = false;      // the user pressed Cancel; no exchange file was written
    int items = 0;               // items written
    int lines = 0;               // data lines written (one per item-category link)
    int attachments = 0;         // attachment files written
    int attachmentFailures = 0;  // attachments that could not be written (the line names them)
    QStringList failedAttachments;  // "name (item N): reason" of each of them
    qint64 bytes = 0;            // size of the exchange file
    QString error;               // why nothing was written, when it was not cancelled
    bool nothing = false;        // the error is that there was nothing to export
};

// Writes the exchange file of db (through a temporary file beside it, renamed into place at the
// end, replacing an existing file), with the attachments when withAttachments. Shows the progress
// window and nothing else: a failure ("No items found to export", a write failure with the
// system's reason) is in the summary's error, attachments that could not be written in its list.
// True when the file was written.
bool ExportDatabase(CSQLite& db, const QString& file, bool withAttachments, ExportSummary* summary = nullptr);

// True when cell (r, c) equals cell (r - 1, c) as text without regard to letter case; false when
// either cannot be read (out of range or NULL). Row 1 is compared with the header row.
bool IsSameAsPreviousRow(const ResultTable& table, int r, int c);
