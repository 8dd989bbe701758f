#pragma once
// Attachments: one compressed block per item, stored through db/basDBAttachments.h. The
// functions that take the connection are silent but for the progress window; those without it
// work on gDB.
#include <QString>

class CSQLite;

// Compresses file into item itemId, with the checksum of its bytes. False (attachment unchanged)
// when the file cannot be read, is not a regular file or is larger than an extraction accepts
// (refused before anything is read), or the database refuses; error gets the reason.
bool SaveAttachment(CSQLite& db, int itemId, const QString& file, QString* error = nullptr);
bool SaveAttachment(int itemId, const QString& file, QString* error = nullptr);
// Writes the attachment of itemId to file (a free name beside it when taken; file receives the
// path written). Never leaves a partial file. showProgress drives the progress window, whose
// Cancel stops the extraction before the file is complete (false, cancelled set).
// Bytes that differ from the checksum taken when the attachment was stored are written only
// with writeChanged; otherwise nothing is written and the call fails with
// AttachmentChangedText() and changed set. An attachment stored without checksum (before they
// were kept) extracts as it always has.
bool ExtractAttachment(CSQLite& db, int itemId, QString& file, bool showProgress, QString* error = nullptr,
                       bool* cancelled = nullptr, bool* changed = nullptr, bool writeChanged = false);
// On gDB; bytes that differ from their checksum are written only when the user says so
// (asked through the prompt).
bool ExtractAttachment(int itemId, QString& file, bool showProgress, QString* error = nullptr,
                       bool* cancelled = nullptr);
QString AttachmentChangedText();
// Removes the attachment of itemId.
bool ClearAttachment(CSQLite& db, int itemId, QString* error = nullptr);
bool ClearAttachment(int itemId, QString* error = nullptr);
