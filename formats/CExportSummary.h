#pragma once
// How an export to another tool's format ended.
#include <QString>
#include <QStringList>

struct CExportSummary {
    bool completed = false;  // every file is in place
    bool cancelled = false;  // Cancel pressed; the files written so far stay, each one whole
    int items = 0;           // items exported
    int written = 0;         // files written (new or changed)
    int unchanged = 0;       // files that already held the same bytes, left untouched
    int removed = 0;         // files of items no longer in the database, removed
    QStringList failures;    // "name: reason" of attachments that could not be written
    QString error;           // why it stopped
};
