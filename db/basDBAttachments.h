#pragma once
// The attachment's rows: one compressed block per item in the item table, its name in the
// full-text table. The codec and the files are attach/'s; these only store and read.
#include "db/basDBAttachmentSums.h"

#include <QByteArrayView>
#include <QString>
#include <functional>

class CSQLite;

// Stores block (size: the file's length) and name as item itemId's attachment with a new time,
// both or neither, with the checksum of the original bytes when sha256 is given (an earlier one
// is dropped otherwise). False with the reason ("No such item: N" when the item is missing).
bool StoreAttachment(CSQLite& db, int itemId, qint64 size, QByteArrayView block, const QString& name,
                     QString* error, const QByteArray& sha256 = {});
// Removes item itemId's attachment, block and name.
bool RemoveAttachment(CSQLite& db, int itemId, QString* error);

struct AttachmentSizes {
    bool hasBlock = false;  // false for an item without attachment
    qint64 stored = 0;      // the block's length
    bool hasFileSize = false;
    qint64 fileSize = 0;    // the file's length as stored beside the block
    bool isText = false;    // the block column holds text (written by another program), not a block
};
// The sizes of item itemId's attachment. False with the reason when the read failed or there
// is no such item.
bool ReadAttachmentSizes(CSQLite& db, int itemId, AttachmentSizes* sizes, QString* error);
// Hands item itemId's block to sink straight from the engine's buffer (not called when the item
// is gone); nothing may leave sink, the statement is still open.
bool ReadAttachmentBlock(CSQLite& db, int itemId, const std::function<void(QByteArrayView block)>& sink,
                         QString* error);
// The attachment's stored name; empty when there is none.
QString AttachmentName(CSQLite& db, int itemId);
