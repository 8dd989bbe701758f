#include "exchange/basExport.h"

#include "attach/basAttachment.h"
#include "db/basDB.h"
#include "db/basDBExport.h"
#include "exchange/basExchangeFile.h"
#include "util/CPrompt.h"
#include "util/CString.h"
#include "util/basFileKinds.h"
#include "util/basFileTools.h"
#include "util/basText.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cmath>
#include <new>

bool IsSameAsPreviousRow(const ResultTable& table, int r, int c) {
    if (r < 1 || r > table.RowCount() || c < 0 || c >= table.ColCount()) return false;
    const QVariant& here = table.At(r, c);
    const QVariant& before = table.At(r - 1, c);
    if (!here.isValid() || !before.isValid()) return false;
    return here.toString().compare(before.toString(), Qt::CaseInsensitive) == 0;
}

// The stored name may come from anywhere (a file edited by hand, another program): only its last
// part is used, so an attachment is never written outside the export's folder.
static QString safeFileName(const QString& whole) {
    // The system ends a name at a NUL.
    const QString stored = whole.left(whole.indexOf(QChar(0)));
    QString name = stored.mid(qMax(stored.lastIndexOf(QLatin1Char('/')),
                                   stored.lastIndexOf(QLatin1Char('\\'))) + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("attachment");
    return name;
}

// Where the attachment goes: its name in the export's folder. The exchange file itself only
// appears at the very end, so its name is kept free here by hand.
static QString attachmentTarget(const QString& folder, const QString& name,
                                const QString& exchangeFile) {
    const QString path = QDir(folder).filePath(name);
    if (QFileInfo(path).absoluteFilePath() != QFileInfo(exchangeFile).absoluteFilePath())
        return path;
    const QString base = StripExtension(path);
    const QString ext = GetFileExtension(path);
    for (int k = 1;; ++k) {
        QString candidate = base + QStringLiteral(" (%1)").arg(k);
        if (!ext.isEmpty()) candidate += QLatin1Char('.') + ext;
        if (!QFileInfo::exists(candidate)) return candidate;
    }
}

// One field: the engine's UTF-8 as it is, or text stored through the 8-bit code page turned
// into UTF-8, escaped and followed by its TAB.
static void appendField(CString& out, QByteArrayView v) {
    if (IsValidUtf8(v)) AppendEscapedBytes(out, v);
    else AppendEscapedBytes(out, DecodeCp1252(v).toUtf8());
    out.AppendBytes("\t");
}

bool ExportDatabase(CSQLite& db, const QString& file, bool withAttachments, ExportSummary* summary) {
    ExportSummary local;
    ExportSummary& s = summary ? *summary : local;
    s = ExportSummary();

    // Closed before the caller's message, so the message does not hide behind it.
    CProgressScope progress;
    progress.Text(0, QStringLiteral("Exporting Database..."));
    progress.Text(1, ExchangeProgressPath(file));
    auto fail = [&](const QString& message, bool nothing = false) {
        s.error = message;
        s.nothing = nothing;
        return false;
    };
    const QString noItems = QStringLiteral("No items found to export");

    qint64 n = 0;  // one row per link
    if (db.IsOpen()) {
        QString error;
        n = CountItemLinks(db, &error);
        // A failed count is not an empty database.
        if (!error.isEmpty()) return fail(QStringLiteral("Export error: ") + EngineFailureMessage(db, error));
    }
    if (n <= 0) return fail(noItems, true);
    // Replacing the open database's file with the exchange text would destroy it.
    if (SameFile(file, db.Filename()))
        return fail(QStringLiteral("Unable to write the export file: it is the open database"));
    // The finished file is renamed over the target: a device node or a pipe would be replaced.
    if (QString why; !IsWritableTarget(file, &why)) return fail(QStringLiteral("Unable to write the export file: ") + why);

    // Written beside the target as it goes and renamed over it only when complete: a failed
    // export never leaves a truncated file (or destroys an older one) under the chosen name,
    // and the text is never held whole in memory.
    // Unbuffered: a short write (a full disk) must fail where it happens. Left in the file's
    // buffer, it would surface only in the flush inside commit(), which goes on to rename the
    // truncated file over the old one and report success.
    QSaveFile target(file);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("Unable to write the export file: ") + target.errorString());
    constexpr qsizetype kChunk = qsizetype(1) << 22;
    CString out;
    bool writeFailed = false;
    int writeErrno = 0;
    // The system's reason, taken where the write failed: the file's own text is a generic one
    // by the time the failure is reported ("Unknown error", "Writing canceled by application").
    const auto writeError = [&] {
        return writeErrno ? qt_error_string(writeErrno) : target.errorString();
    };
    const auto flush = [&] {
        if (out.Length() == 0 || writeFailed) return !writeFailed;
        errno = 0;
        writeFailed = !out.WriteToFile(target);
        if (writeFailed) writeErrno = errno;
        s.bytes += out.Length();
        out.Clear();
        return !writeFailed;
    };
    const QString folder = QFileInfo(file).absolutePath();
    qint64 r = 0, previous = 0;
    bool havePrevious = false;
    const ExportRowSink line = [&](bool hasId, qint64 id, const ExportFields& f) {
        ++r;
        // Links whose item is gone (left until the next compaction) have no item number; they
        // are not items and are left out.
        if (hasId) {
            const bool same = havePrevious && id == previous;
            previous = id;
            havePrevious = true;
            for (int c = 0; c < kExportFieldCount; ++c) {
                if (same && c > kExportCategory) continue;
                const QString fileName = c == kExportFile ? DecodeUtf8OrCp1252(f[c]) : QString();
                if (c != kExportFile || !withAttachments || fileName.isEmpty()) {
                    appendField(out, f[c]);
                    continue;
                }
                QString written = attachmentTarget(folder, safeFileName(fileName), file);
                QString why;
                if (ExtractAttachment(db, int(id), written, false, &why)) {
                    ++s.attachments;
                } else {
                    ++s.attachmentFailures;
                    s.failedAttachments << QStringLiteral("%1 (item %2): %3")
                                               .arg(QFileInfo(written).fileName())
                                               .arg(id)
                                               .arg(why);
                }
                AppendEscapedBytes(out, QFileInfo(written).fileName().toUtf8());
                out.AppendBytes("\t");
            }
            out.AppendBytes("\r\n");
            ++s.lines;
            if (!same) ++s.items;
            if (out.Length() >= kChunk && !flush()) return false;
        }
        // Halves round to even, as the bar always has.
        const int percent = int(std::nearbyint(double(qMin(r, n)) / double(n) * 98.0));
        if (progress.Update(percent)) {
            s.cancelled = true;
            return false;
        }
        return true;
    };

    QString error;
    try {
        out.SetBufferSize(kChunk + (qsizetype(1) << 16));
        out.AppendBytes("ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n");
        bool stopped = false;
        const bool ok = ReadExportRows(db, line, &error, &stopped);
        if (s.cancelled) return false;
        if (writeFailed || (ok && !flush()))
            return fail(QStringLiteral("Unable to write the export file: ") + writeError());
        if (!ok) return fail(QStringLiteral("Export error: ") + EngineFailureMessage(db, error));
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Not enough memory to export the database"));
    }
    if (s.lines == 0) return fail(noItems, true);

    progress.Text(0, QStringLiteral("Writing File"));
    progress.Update(98);
    errno = 0;
    if (!target.commit()) {
        if (!writeErrno) writeErrno = errno;
        return fail(QStringLiteral("Unable to write the export file: ") + writeError());
    }
    s.written = true;
    return true;
}
