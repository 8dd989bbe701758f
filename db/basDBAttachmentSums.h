#pragma once
// A strong checksum of every attachment's original bytes, in a table of its own beside the five
// of the snippet schema (files without it work as before and gain it on the first attachment).
// The block format carries no checksum: a damaged block can decode to other bytes of the same
// length, which only this catches.
#include <QByteArray>
#include <QString>

class CSQLite;

// The table's definition, made on the first write; the schema check knows it too.
QString AttachmentSumTableSql();

struct AttachmentSum {
    qint64 fileSize = 0;   // the original file's length
    qint64 blockSize = 0;  // the stored block's length when the sum was taken
    QByteArray sha256;
};
// SHA-256 of the original bytes.
QByteArray AttachmentDigest(QByteArrayView data);

// Records the sum of item itemId's attachment (inside the caller's transaction).
bool StoreAttachmentSum(CSQLite& db, int itemId, const AttachmentSum& sum, QString* error);
// Forgets it (the attachment is removed); nothing to do when the table is absent.
bool RemoveAttachmentSum(CSQLite& db, int itemId, QString* error);
// The sum recorded for item itemId; found false for an attachment stored without one (before
// sums were kept, or by another program).
bool ReadAttachmentSum(CSQLite& db, int itemId, AttachmentSum* sum, bool* found, QString* error);
// Sums of items that no longer have an attachment; run by compaction.
bool RemoveStaleAttachmentSums(CSQLite& db, QString* error);
