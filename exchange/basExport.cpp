#include "exchange/basExport.h"

#include "attach/basAttachment.h"
#include "db/basDB.h"
#include "exchange/basExchangeFile.h"
#include "util/CPrompt.h"
#include "util/CString.h"
#include "util/basFileTools.h"
#include "util/basText.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cmath>
#include <new>
#include <memory>
#include <optional>
#include <sqlite3.h>

QString ExportQuery() {
    return QStringLiteral(
        "SELECT qryItem.ID, tblType.Name AS Type, tblCategory.Name AS Category, qryItem.Title, "
        "qryItem.Code, qryItem.File, DateTime(qryItem.LastUpdate) AS ModifyDate "
        "FROM tblItemCategory "
        "LEFT JOIN qryItem ON tblItemCategory.ItemID = qryItem.ID "
        "LEFT JOIN tblCategory ON tblItemCategory.CategoryID = tblCategory.ID "
        "LEFT JOIN tblType ON tblCategory.TypeID = tblType.ID "
        "ORDER BY qryItem.ID;");
}

static const QString kFilter = QStringLiteral("Tab Separated Values (*.tab)|*.tab|All Files|*.*|");

bool IsSameAsPreviousRow(const ResultTable& table, int r, int c) {
    if (r < 1 || r > table.RowCount() || c < 0 || c >= table.ColCount()) return false;
    const QVariant& here = table.At(r, c);
    const QVariant& before = table.At(r - 1, c);
    if (!here.isValid() || !before.isValid()) return false;
    return here.toString().compare(before.toString(), Qt::CaseInsensitive) == 0;
}

// The stored name may come from anywhere (a file edited by hand, another program): only its last
// part is used, so an attachment is never written outside the export's folder.
static QString safeFileName(const QString& stored) {
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

// One field of the current row: the engine's UTF-8 as it is, or text stored through the 8-bit
// code page turned into UTF-8, escaped and followed by its TAB.
static void appendField(CString& out, sqlite3_stmt* st, int c) {
    const QByteArrayView v(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                           sqlite3_column_bytes(st, c));
    if (IsValidUtf8(v)) AppendEscapedBytes(out, v);
    else AppendEscapedBytes(out, DecodeCp1252(v).toUtf8());
    out.AppendBytes("\t");
}

bool ExportDatabase(const QString& file, bool withAttachments, ExportSummary* summary) {
    ExportSummary local;
    ExportSummary& s = summary ? *summary : local;
    s = ExportSummary();

    // Closed before any message, so the message does not hide behind it.
    std::optional<CProgressScope> progress(std::in_place);
    progress->Text(0, QStringLiteral("Exporting Database..."));
    progress->Text(1, ExchangeProgressPath(file));
    auto fail = [&](const QString& message, int style) {
        s.error = message;
        progress.reset();
        Prompt().MsgBox(message, style);
        return false;
    };
    const QString noItems = QStringLiteral("No items found to export");

    // The rows go straight from the engine into the buffer: holding them all as a result table
    // first would cost several times the file's size.
    sqlite3* db = gDB && gDB->IsOpen() ? gDB->Handle() : nullptr;
    qint64 n = 0;  // one row per link
    if (db) {
        ResultTable t;
        QString error;
        n = gDB->Exec(QStringLiteral("SELECT Count(*) FROM tblItemCategory"), t, error, true)
                .toLongLong();
    }
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = ExportQuery().toUtf8();
    if (n <= 0 || sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
        n = 0;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(st, sqlite3_finalize);
    if (n <= 0) return fail(noItems, CPrompt::vbOKOnly);

    int idCol = -1, fileCol = -1;
    const int cols = sqlite3_column_count(st);
    for (int c = 0; c < cols; ++c) {
        const QString name = QString::fromUtf8(sqlite3_column_name(st, c));
        if (name.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0) idCol = c;
        if (name.compare(QLatin1String("File"), Qt::CaseInsensitive) == 0) fileCol = c;
    }

    // One buffer for the whole file, sized from the row count so that it rarely grows (a fresh
    // zeroed block: pages the text never reaches cost nothing).
    CString out;
    try {
        out.SetBufferSize(qMin<qint64>(n * 2500, qint64(1) << 28), true);
        for (int c = 0; c < cols; ++c) {
            out.AppendBytes(sqlite3_column_name(st, c));
            out.AppendBytes("\t");
        }
        out.AppendBytes("\r\n");

        const QString folder = QFileInfo(file).absolutePath();
        qint64 r = 0, previous = 0;
        bool havePrevious = false;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            ++r;
            // Links whose item is gone (left until the next compaction) have no item number;
            // they are not items and are left out.
            if (sqlite3_column_type(st, idCol) != SQLITE_NULL) {
                const qint64 id = sqlite3_column_int64(st, idCol);
                const bool same = havePrevious && id == previous;
                previous = id;
                havePrevious = true;
                for (int c = 0; c < cols; ++c) {
                    if (same && c > 2) continue;
                    QString fileName;
                    if (c == fileCol)
                        fileName = DecodeUtf8OrCp1252(QByteArrayView(
                            reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                            sqlite3_column_bytes(st, c)));
                    if (c != fileCol || !withAttachments || fileName.isEmpty()) {
                        appendField(out, st, c);
                        continue;
                    }
                    fileName = safeFileName(fileName);
                    QString target = attachmentTarget(folder, fileName, file);
                    if (ExtractAttachment(int(id), target, false)) ++s.attachments;
                    else ++s.attachmentFailures;
                    AppendEscapedBytes(out, QFileInfo(target).fileName().toUtf8());
                    out.AppendBytes("\t");
                }
                out.AppendBytes("\r\n");
                ++s.lines;
                if (!same) ++s.items;
            }
            // Halves round to even, as the bar always has.
            const int percent = int(std::nearbyint(double(qMin(r, n)) / double(n) * 98.0));
            if (progress->Update(percent)) {
                s.cancelled = true;
                return false;
            }
        }
        if (rc != SQLITE_DONE)
            return fail(QStringLiteral("Export error: ") + QString::fromUtf8(sqlite3_errmsg(db)),
                        CPrompt::vbOKOnly | CPrompt::vbExclamation);
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Not enough memory to export the database"),
                    CPrompt::vbOKOnly | CPrompt::vbExclamation);
    }
    statement.reset();
    if (s.lines == 0) return fail(noItems, CPrompt::vbOKOnly);

    progress->Text(0, QStringLiteral("Writing File"));
    progress->Update(98);
    // Written beside the target and renamed over it only when complete: a failed write never
    // leaves a truncated file (or destroys an older one) under the chosen name.
    QSaveFile target(file);
    bool ok = target.open(QIODevice::WriteOnly);
    if (ok) ok = out.WriteToFile(target);
    if (ok) ok = target.commit();
    else target.cancelWriting();
    if (!ok)
        return fail(QStringLiteral("Unable to write the export file: ") + target.errorString(),
                    CPrompt::vbOKOnly | CPrompt::vbExclamation);
    s.written = true;
    s.bytes = out.Length();
    if (s.attachmentFailures > 0) {
        progress.reset();
        Prompt().MsgBox(QStringLiteral("%1 of the attachments could not be written beside the "
                                       "export file.")
                            .arg(s.attachmentFailures),
                        CPrompt::vbOKOnly | CPrompt::vbExclamation);
    }
    return true;
}

QString AskExportFile() {
    return Prompt().FileDialog(true, QStringLiteral("Export to file"), QString(), QString(),
                               kFilter, CPrompt::OFN_EXPLORER | CPrompt::OFN_PATHMUSTEXIST);
}

bool ConfirmExportOverwrite(const QString& file) {
    if (!QFileInfo::exists(file)) return true;
    return Prompt().MsgBox(QStringLiteral("Overwrite existing file?"),
                           CPrompt::vbOKCancel | CPrompt::vbQuestion) == CPrompt::vbOK;
}

bool AskExportAttachments() {
    return Prompt().MsgBox(QStringLiteral("Export file attachments?"),
                           CPrompt::vbYesNo | CPrompt::vbQuestion) == CPrompt::vbYes;
}

bool ExportCommand() {
    const QString file = AskExportFile();
    if (file.isEmpty()) return false;
    // The old file stays until the new one is complete; the export replaces it at its end.
    if (!ConfirmExportOverwrite(file)) return false;
    return ExportDatabase(file, AskExportAttachments());
}
