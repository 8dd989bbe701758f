#include "attach/basAttachment.h"

#include "attach/CQuickLZ.h"
#include "db/basDB.h"
#include "db/basDBAttachments.h"
#include "util/CPrompt.h"
#include "util/CString.h"
#include "util/basFileKinds.h"
#include "util/basFileTools.h"
#include "util/basLimits.h"
#include "util/basVariableTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <new>

static bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

bool SaveAttachment(int itemId, const QString& file, QString* error) {
    return SaveAttachment(StoreDB(), itemId, file, error);
}

bool SaveAttachment(CSQLite& db, int itemId, const QString& file, QString* error) {
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    // The file is held up to three times over; a file too large for that is a failure to
    // report, not a reason to end the program.
    QByteArray block;
    QByteArray digest;
    qint64 size = 0;
    try {
        QByteArray data;
        {
            QFile f;
            // Refused before anything is read: more than an extraction accepts could be stored
            // but never given back, and a device or pipe has no end.
            if (!OpenRegularSource(f, file, kMaxContentBytes, error)) return false;
            data = f.readAll();
            if (f.error() != QFileDevice::NoError)
                return fail(error, QStringLiteral("Cannot read %1: %2").arg(file, f.errorString()));
        }
        size = data.size();
        // A file that grew past the limit between the check and the read.
        if (size > kMaxContentBytes)
            return fail(error, QStringLiteral("Cannot read %1: it holds more than the %2 allowed")
                                   .arg(file, QLatin1String(MaxContentText())));
        digest = AttachmentDigest(data);

        // A file of no bytes has no block (the codec needs at least one byte): it is stored as an
        // empty blob, which differs from NULL (no attachment) and extracts to an empty file.
        if (size > 0) {
            CQuickLZ qlz;
            QString why;
            if (!qlz.Compress(data, block, &why))
                return fail(error, QStringLiteral("Cannot compress %1: %2").arg(file, why));
        }
    } catch (const std::bad_alloc&) {
        return fail(error, QStringLiteral("Not enough memory to attach %1").arg(file));
    }

    return StoreAttachment(db, itemId, size, block, GetFileName(file), error, digest);
}

bool ClearAttachment(int itemId, QString* error) { return ClearAttachment(StoreDB(), itemId, error); }

bool ClearAttachment(CSQLite& db, int itemId, QString* error) { return RemoveAttachment(db, itemId, error); }

// Writes data under a free name derived from target: first into a new file beside it, which
// is renamed into place only when complete, so a failure leaves no partial file and an
// existing file is never replaced (the rename refuses an existing name).
// Large files go out in pieces with a progress update between them, so the window stays
// responsive and Cancel is heard; a cancelled write removes its piece file like a failed one.
static const qint64 kWriteChunk = 16 * 1024 * 1024;

static bool writeNewFile(QString& target, const QByteArray& data, QString* error,
                         CProgressScope& progress, bool* cancelled) {
    const QString wanted = QDir::toNativeSeparators(target);
    QString folder = GetParentFolder(wanted);
    if (folder.isEmpty()) folder = QDir::currentPath();
    QString temp;
    QFile out;
    for (int attempt = 0;; ++attempt) {
        temp = JoinPath(folder, QStringLiteral(".vg-extract-%1.part")
                                    .arg(QRandomGenerator::global()->generate64(), 16, 16,
                                         QLatin1Char('0')));
        out.setFileName(temp);
        if (out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) break;
        if (attempt >= 8 || !QFileInfo::exists(temp))
            return fail(error,
                        QStringLiteral("Cannot write %1: %2").arg(wanted, out.errorString()));
    }
    bool written = true, stopped = false;
    // The system's reason is taken where a write failed: the file's own text may by then only
    // say "Unknown error".
    int writeErrno = 0;
    errno = 0;
    for (qint64 done = 0; written && done < data.size();) {
        const qint64 n = qMin(kWriteChunk, data.size() - done);
        written = out.write(data.constData() + done, n) == n;
        if (!written) writeErrno = errno;
        done += n;
        if (written && done < data.size() && progress.Update(95 + int(5 * done / data.size())))
            stopped = true, written = false;
        errno = 0;
    }
    if (written && !out.flush()) written = false, writeErrno = errno;
    const QString why = writeErrno ? qt_error_string(writeErrno) : out.errorString();
    out.close();
    if (stopped) {
        QFile::remove(temp);
        if (cancelled) *cancelled = true;
        return fail(error, QStringLiteral("Cancelled"));
    }
    if (!written || out.error() != QFileDevice::NoError) {
        QFile::remove(temp);
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(wanted, why));
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString free = GetUniqueFileName(wanted);
        if (QFile::rename(temp, free)) {
            target = free;
            return true;
        }
        if (!QFileInfo::exists(free)) break;  // failed for another reason than a race
    }
    QFile::remove(temp);
    return fail(error, QStringLiteral("Cannot write %1").arg(wanted));
}

QString AttachmentChangedText() { return QStringLiteral("The attachment changed since it was stored"); }

bool ExtractAttachment(int itemId, QString& file, bool showProgress, QString* error, bool* cancelled) {
    bool changed = false;
    const QString wanted = file;
    if (ExtractAttachment(StoreDB(), itemId, file, showProgress, error, cancelled, &changed)) return true;
    if (!changed ||
        Prompt().MsgBox(AttachmentChangedText() + QStringLiteral(": its bytes are not the ones attached.\n"
                                                                 "Write them anyway?"),
                        CPrompt::vbYesNo | CPrompt::vbExclamation) != CPrompt::vbYes)
        return false;
    file = wanted;
    return ExtractAttachment(StoreDB(), itemId, file, showProgress, error, cancelled, nullptr, true);
}

bool ExtractAttachment(CSQLite& db, int itemId, QString& file, bool showProgress, QString* error,
                       bool* cancelled, bool* changedSinceStored, bool writeChanged) {
    if (cancelled) *cancelled = false;
    if (changedSinceStored) *changedSinceStored = false;
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    // The system ends a name at its first NUL: the rest would be dropped only when the file is
    // made, after the free name was chosen, and an existing file replaced.
    if (const qsizetype nul = file.indexOf(QChar(0)); nul >= 0) file.truncate(nul);
    if (file.isEmpty() || file.endsWith(QLatin1Char('/')) || file.endsWith(QLatin1Char('\\')))
        return fail(error, QStringLiteral("No file name given"));
    CProgressScope progress(showProgress);

    AttachmentSizes sizes;
    QString why;
    if (!ReadAttachmentSizes(db, itemId, &sizes, error)) return false;
    if (!sizes.hasBlock) return fail(error, QStringLiteral("Item %1 has no attachment").arg(itemId));
    // Text in the block's place was written by another program; its length is counted in
    // characters and it was never a block this program made.
    if (sizes.isText)
        return fail(error, QStringLiteral("The stored attachment is damaged: it is stored as text, not as a "
                                          "compressed block"));
    AttachmentSum sum;
    bool haveSum = false;
    if (!ReadAttachmentSum(db, itemId, &sum, &haveSum, error)) return false;
    // A sum taken of another block (one another program stored in its place) says nothing
    // about this one.
    haveSum = haveSum && sum.blockSize == sizes.stored && (!sizes.hasFileSize || sum.fileSize == sizes.fileSize);
    if (showProgress) {
        progress.Text(0, QStringLiteral("Extracting Attachment"));
        progress.Text(1, file);
        progress.Text(2, FormatByteSize(sizes.stored) + QStringLiteral(" (compressed)"));
    }

    QByteArray data;
    const QString noMemory = QStringLiteral("Not enough memory to extract the attachment");
    try {
        // The block is decompressed straight out of the engine's buffer, never copied.
        bool outOfMemory = false, changed = false, badHeader = false, damaged = false;
        if (!ReadAttachmentBlock(db, itemId,
                                 [&](QByteArrayView block) {
                                     // Nothing may leave here: the statement is still open.
                                     if (block.size() != sizes.stored) {
                                         changed = true;
                                         return;
                                     }
                                     if (block.isEmpty()) return;
                                     // A block is exactly as long as its header says; anything
                                     // else is not what was stored.
                                     if (CQuickLZ::SizeCompressed(block) != block.size()) {
                                         badHeader = true;
                                         return;
                                     }
                                     try {
                                         CQuickLZ qlz;
                                         damaged = !qlz.Decompress(block, data, &why);
                                     } catch (const std::bad_alloc&) {
                                         outOfMemory = true;
                                     }
                                 },
                                 error))
            return false;
        if (outOfMemory) return fail(error, noMemory);
        if (changed)
            return fail(error, QStringLiteral("The stored attachment is damaged: its length "
                                              "changed while it was read"));
        if (badHeader)
            return fail(error, QStringLiteral("The stored attachment is damaged: its length "
                                              "does not match its header"));
        if (damaged) return fail(error, QStringLiteral("The stored attachment is damaged: ") + why);
        // The size stored beside the block is the file's; a block that decodes to another one
        // is not the file that was attached.
        if (sizes.hasFileSize && sizes.fileSize != data.size())
            return fail(error, QStringLiteral("The stored attachment is damaged: it holds %1 bytes "
                                              "where the file had %2")
                                   .arg(data.size())
                                   .arg(sizes.fileSize));
        if (haveSum && (sum.fileSize != data.size() || AttachmentDigest(data) != sum.sha256)) {
            if (changedSinceStored) *changedSinceStored = true;
            if (!writeChanged) return fail(error, AttachmentChangedText());
        }
        if (showProgress) {
            // Once, so the window repaints after the decompression held the thread.
            progress.Text(0, QStringLiteral("Decompressing Attachment"));
            if (QCoreApplication::instance()) QCoreApplication::processEvents();
        }
    } catch (const std::bad_alloc&) {
        return fail(error, noMemory);
    }

    if (showProgress) {
        progress.Text(0, QStringLiteral("Saving Attachment"));
        if (progress.Update(95)) {
            if (cancelled) *cancelled = true;
            return fail(error, QStringLiteral("Cancelled"));
        }
    }
    return writeNewFile(file, data, error, progress, cancelled);
}
