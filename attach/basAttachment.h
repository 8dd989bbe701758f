#pragma once
// Attachments: one compressed block per item in tblItem.FileBLOB, its name in ftsItem.File.
#include <QString>

// Compresses file into item itemId. False (attachment unchanged) when the file cannot be read
// or the database refuses; error gets the reason.
bool SaveAttachment(int itemId, const QString& file, QString* error = nullptr);
// Writes the attachment of itemId to file (a free name beside it when taken; file receives the
// path written). Never leaves a partial file. showProgress drives the progress window, whose
// Cancel stops the extraction before the file is complete (false, cancelled set).
bool ExtractAttachment(int itemId, QString& file, bool showProgress, QString* error = nullptr,
                       bool* cancelled = nullptr);
// Removes the attachment of itemId.
bool ClearAttachment(int itemId, QString* error = nullptr);
