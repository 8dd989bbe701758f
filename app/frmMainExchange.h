#pragma once
// The window's File, Import and Export: the dialogs and questions around the silent exchange
// cores, and the messages that tell how they ended.
#include "exchange/basExport.h"
#include "exchange/basImport.h"

#include <QString>
#include <optional>

// Imports file into gDB: a failure is shown, and with showSummary the end tells how many items
// were imported, lines skipped and attachments missing. True when the import was committed.
bool ImportDatabase(const QString& file, bool keepIds, ImportSummary* summary = nullptr,
                    bool showSummary = true);
// Exports gDB to file: "No items found to export", a write failure and attachments that could not
// be written are shown. True when the file was written.
bool ExportDatabase(const QString& file, bool withAttachments, ExportSummary* summary = nullptr);

// The File, Import command: open dialog, the new-or-overwrite question, then the import.
// Returns true when the import ran (whatever its outcome): the caller then reloads its lists.
bool ImportCommand();
QString AskImportFile();  // the open dialog; empty when cancelled
// "Import everything as new items ...?": Yes gives false (new numbers), No gives true (keep the
// file's numbers), Cancel gives no value.
std::optional<bool> AskImportKeepIds();

// The File, Export command: save dialog, overwrite and attachment questions, then the export.
// Returns true when a file was written.
bool ExportCommand();
QString AskExportFile();                           // the save dialog; empty when cancelled
bool ConfirmExportOverwrite(const QString& file);  // true when file is free or may be replaced
bool AskExportAttachments();                       // "Export file attachments?" answered Yes
