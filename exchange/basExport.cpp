#include "exchange/basExport.h"

#include "attach/basAttachment.h"
#include "db/basDB.h"
#include "exchange/basExchangeFile.h"
#include "util/CPrompt.h"
#include "util/CString.h"
#include "util/basFileTools.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cmath>
#include <optional>

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

bool ExportDatabase(const QString& file, bool withAttachments, ExportSummary* summary) {
    ExportSummary local;
    ExportSummary& s = summary ? *summary : local;
    s = ExportSummary();

    // Closed before any message, so the message does not hide behind it.
    std::optional<CProgressScope> progress(std::in_place);
    progress->Text(0, QStringLiteral("Exporting Database..."));
    progress->Text(1, ExchangeProgressPath(file));

    ResultTable rows;
    QString error;
    const int n = gDB && gDB->IsOpen() ? gDB->Exec(ExportQuery(), rows, error).toInt() : 0;
    const int idCol = CSQLite::GetFieldNo(rows, QStringLiteral("ID"));
    const int fileCol = CSQLite::GetFieldNo(rows, QStringLiteral("File"));
    // Links whose item is gone (left until the next compaction) have no item number; they are
    // not items and are left out.
    int firstItemRow = 1;
    while (firstItemRow <= n && !rows.At(firstItemRow, idCol).isValid()) ++firstItemRow;
    if (n <= 0 || idCol < 0 || firstItemRow > n) {
        progress.reset();
        s.error = QStringLiteral("No items found to export");
        Prompt().MsgBox(s.error);
        return false;
    }

    // One buffer for the whole file, sized from the row count so that it rarely grows (a fresh
    // zeroed block: pages the text never reaches cost nothing).
    CString out;
    out.SetBufferSize(qint64(n) * 2500, true);
    QByteArray field;  // one field's escaped bytes, reused
    const int cols = rows.ColCount();
    for (int c = 0; c < cols; ++c) {
        out.Append(rows.Header(c));
        out.AppendBytes("\t");
    }
    out.AppendBytes("\r\n");

    const QString folder = QFileInfo(file).absolutePath();
    for (int r = 1; r <= n; ++r) {
        if (r >= firstItemRow) {
            const bool same = IsSameAsPreviousRow(rows, r, idCol);
            QString fileName = rows.Text(r, fileCol);
            if (!same && withAttachments && !fileName.isEmpty()) {
                fileName = safeFileName(fileName);
                QString target = attachmentTarget(folder, fileName, file);
                if (ExtractAttachment(int(rows.Int(r, idCol)), target, false)) ++s.attachments;
                else ++s.attachmentFailures;
                fileName = QFileInfo(target).fileName();
            }
            for (int c = 0; c < cols; ++c) {
                if (same && c > 2) continue;
                field.resize(0);
                AppendEscapedUtf8(field, c == fileCol ? fileName : rows.Text(r, c));
                field.append('\t');
                out.AppendBytes(field);
            }
            out.AppendBytes("\r\n");
            ++s.lines;
            if (!same) ++s.items;
        }
        // Halves round to even, as the bar always has.
        const int percent = int(std::nearbyint(double(r) / n * 98.0));
        if (progress->Update(percent)) {
            s.cancelled = true;
            return false;
        }
    }

    progress->Text(0, QStringLiteral("Writing File"));
    progress->Update(98);
    // Written beside the target and renamed over it only when complete: a failed write never
    // leaves a truncated file (or destroys an older one) under the chosen name.
    QSaveFile target(file);
    bool ok = target.open(QIODevice::WriteOnly);
    if (ok) ok = out.WriteToFile(target);
    if (ok) ok = target.commit();
    else target.cancelWriting();
    if (!ok) {
        s.error = QStringLiteral("Unable to write the export file: ") + target.errorString();
        progress.reset();
        Prompt().MsgBox(s.error, CPrompt::vbOKOnly | CPrompt::vbExclamation);
        return false;
    }
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
