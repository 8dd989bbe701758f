#include "exchange/basImport.h"

#include "attach/basAttachment.h"
#include "db/CItemImport.h"
#include "db/basDB.h"
#include "exchange/CExchangeFileReader.h"
#include "exchange/basExchangeFile.h"
#include "util/CPrompt.h"
#include "util/basVariableTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

static const QString kFilter = QStringLiteral("Tab Separated Values (*.tab)|*.tab|All Files|*.*|");

QString ImportSummaryText(const ImportSummary& s) {
    return QStringLiteral("%1 items imported, %2 lines skipped, %3 attachments missing.")
        .arg(s.items)
        .arg(s.skippedLines)
        .arg(s.missingAttachments);
}

// An attachment name the export wrote is a bare file name; anything with a folder part would
// reach outside the exchange file's folder and is treated as missing.
static bool isBareName(const QString& name) {
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           name != QLatin1String(".") && name != QLatin1String("..");
}

// Where the file really is, links followed, lies in the exchange file's folder: a link beside
// the file must not bring in what it points to elsewhere.
static bool insideFolder(const QString& path, const QDir& folder) {
    const QString real = QFileInfo(path).canonicalFilePath();
    const QString base = folder.canonicalPath();
    return !real.isEmpty() && !base.isEmpty() && real.startsWith(base + QLatin1Char('/'));
}

// The schema stamps the current time on every change of an item row that does not set a new
// time itself, attaching included: the item gets the file's time back. Writing the value the
// row holds would fire the stamp again.
static bool restoreItemTime(int item, const QString& time, QString* error) {
    const QString jd = QStringLiteral("JulianDay(") + SqlQuote(time) + QLatin1Char(')');
    *error = gDB->Run(QStringLiteral("UPDATE tblItem SET LastUpdate = ") + jd + QStringLiteral(" WHERE ID = ") +
                      QString::number(item) + QStringLiteral(" AND LastUpdate IS NOT ") + jd + QLatin1Char(';'));
    return error->isEmpty();
}

// Items that have an attachment now: an item overwritten from a file line without one loses it.
static QSet<int> itemsWithAttachments() {
    QSet<int> ids;
    ResultTable t;
    QString error;
    gDB->Exec(QStringLiteral("SELECT ID FROM tblItem WHERE FileBLOB IS NOT NULL OR FileSize IS NOT "
                             "NULL UNION SELECT DOCID FROM ftsItem WHERE File IS NOT NULL"),
              t, error);
    for (int r = 1; r <= t.RowCount(); ++r) ids.insert(int(t.Int(r, 0)));
    return ids;
}

bool ImportDatabase(const QString& file, bool keepIds, ImportSummary* summary, bool showSummary) {
    ImportSummary local;
    ImportSummary& s = summary ? *summary : local;
    s = ImportSummary();

    std::optional<CProgressScope> progress(std::in_place);
    progress->Text(0, QStringLiteral("Importing Database..."));
    progress->Text(1, ExchangeProgressPath(file));

    auto fail = [&](const QString& message, bool rollback) {
        if (rollback) gDB->Run(QStringLiteral("ROLLBACK TRANSACTION;"));
        s.error = message;
        progress.reset();
        Prompt().MsgBox(message, CPrompt::vbOKOnly | CPrompt::vbExclamation);
        return false;
    };

    // A failure inside the transaction undoes the whole import.
    auto failAt = [&](const ExchangeRecord& r, const QString& why) {
        return fail(QStringLiteral("Import error in line %1 (item #%2): %3")
                        .arg(r.line)
                        .arg(r.id)
                        .arg(why),
                    true);
    };

    if (!gDB || !gDB->IsOpen()) return fail(QStringLiteral("No database is open"), false);
    QString error;
    // Read in pieces: the import holds a few megabytes of the file, not all of it.
    CExchangeFileReader reader;
    if (!reader.Open(file, &error))
        return fail(QStringLiteral("Unable to read the import file: ") + error, false);

    const QDir folder = QFileInfo(file).absoluteDir();
    ExchangeRecord rec;
    const bool any = reader.Next(rec);
    if (!reader.Error().isEmpty())
        return fail(QStringLiteral("Unable to read the import file: ") + reader.Error(), false);
    // An empty file (or one holding only the header line) imports nothing and opens no
    // transaction.
    if (!any) {
        s.completed = true;
        progress.reset();
        if (showSummary) Prompt().MsgBox(ImportSummaryText(s), CPrompt::vbInformation);
        return true;
    }

    error = gDB->Run(QStringLiteral("BEGIN TRANSACTION;"));
    if (!error.isEmpty()) return fail(QStringLiteral("Import error: ") + error, false);
    const QSet<int> attached = keepIds ? itemsWithAttachments() : QSet<int>();

    int lastSaved = 0;
    CItemImport items(*gDB);
    if (!items.Begin(&error)) return fail(QStringLiteral("Import error: ") + error, true);
    struct Attachment {
        int item;
        QString path, time;
        ExchangeRecord line;  // for the message when it fails
    };
    QList<Attachment> attachments;
    // The pending full-text rows, then the attachments waiting for them. Runs before anything
    // reads or changes a stored item again and before the commit.
    auto flushAll = [&]() -> bool {
        QString why;
        if (!items.Flush(&why)) return failAt(rec, why);
        for (const Attachment& a : std::as_const(attachments)) {
            // The file was there and readable: a failure now is the database's.
            if (!SaveAttachment(a.item, a.path, &why) || !restoreItemTime(a.item, a.time, &why))
                return failAt(a.line, why);
        }
        attachments.clear();
        return true;
    };
    const qint64 size = qMax<qint64>(1, reader.Size());
    do {
        switch (rec.kind) {
        case ExchangeLineKind::Blank:
            break;
        case ExchangeLineKind::Junk:
        case ExchangeLineKind::BadNumber:
            ++s.skippedLines;
            break;
        case ExchangeLineKind::Item: {
            if (CategoryNames(rec.category).isEmpty()) {
                // Listed nowhere if stored; its further category lines go with it.
                ++s.skippedLines;
                lastSaved = 0;
                break;
            }
            int id = keepIds ? rec.id : -1;
            error.clear();
            // The time text is the UTC time the export wrote. A number free in the file goes
            // in the fast way; an item stored already is overwritten by the item save.
            qint64 fast = id >= 1 && items.Exists(id)
                              ? -1
                              : items.Insert(rec.language, id, rec.title, rec.body, rec.category, rec.time, &error);
            if (fast == 0) return failAt(rec, error);
            int saved = int(fast);
            if (fast == -1) {
                if (!flushAll()) return false;
                saved = SaveItem(rec.language, id, rec.title, rec.body, rec.category, rec.time, false, false,
                                 TimeBase::Utc, &error);
                if (saved == 0) return failAt(rec, error);
                items.Stored(saved);
            }
            lastSaved = saved;
            ++s.items;
            bool restoreTime = false;
            if (!rec.file.isEmpty()) {
                const QString path = folder.filePath(rec.file);
                QFile probe(path);
                if (!isBareName(rec.file) || !QFileInfo(path).isFile() || !insideFolder(path, folder) ||
                    !probe.open(QIODevice::ReadOnly)) {
                    ++s.missingAttachments;
                } else {
                    probe.close();
                    // Attached once the item's full-text row is written, with the rest of its
                    // batch: one write of the batch's terms instead of one per attachment.
                    attachments.append({saved, path, rec.time, rec});
                }
            } else if (attached.contains(saved)) {
                // Overwritten by an item without attachment.
                error.clear();
                if (!items.Flush(&error) || !ClearAttachment(saved, &error)) return failAt(rec, error);
                restoreTime = true;
            }
            if (restoreTime && !restoreItemTime(saved, rec.time, &error)) return failAt(rec, error);
            // The batch's full-text rows are written: its attachments can follow.
            if (items.PendingCount() == 0 && !flushAll()) return false;
            break;
        }
        case ExchangeLineKind::Category: {
            if (lastSaved == 0) break;
            // A line naming no category would store one that no list entry can show.
            if (CategoryNames(rec.category).isEmpty()) {
                ++s.skippedLines;
                break;
            }
            error.clear();
            if (!items.Link(lastSaved, rec.language, rec.category, &error)) return failAt(rec, error);
            ++s.categoryLines;
            break;
        }
        }
        if (progress->Update(int(qint64(rec.end) * 100 / size))) {
            gDB->Run(QStringLiteral("ROLLBACK TRANSACTION;"));
            s.cancelled = true;
            return false;
        }
    } while (reader.Next(rec));
    if (!reader.Error().isEmpty())
        return fail(QStringLiteral("Unable to read the import file: ") + reader.Error(), true);

    if (!flushAll()) return false;
    error = gDB->Run(QStringLiteral("COMMIT TRANSACTION;"));
    if (!error.isEmpty()) return fail(QStringLiteral("Import error: ") + error, true);
    s.completed = true;
    progress.reset();
    if (showSummary) Prompt().MsgBox(ImportSummaryText(s), CPrompt::vbInformation);
    return true;
}

QString AskImportFile() {
    return Prompt().FileDialog(false, QStringLiteral("Import from file"), QString(), QString(),
                               kFilter, CPrompt::OFN_EXPLORER | CPrompt::OFN_FILEMUSTEXIST);
}

std::optional<bool> AskImportKeepIds() {
    const int answer = Prompt().MsgBox(
        QStringLiteral("Import everything as new items (may create duplicates)?\nOtherwise, "
                       "importing will overwrite existing items having the same item numbers."),
        CPrompt::vbYesNoCancel | CPrompt::vbQuestion);
    if (answer == CPrompt::vbYes) return false;
    if (answer == CPrompt::vbNo) return true;
    return std::nullopt;
}

bool ImportCommand() {
    const QString file = AskImportFile();
    if (file.isEmpty()) return false;
    const std::optional<bool> keepIds = AskImportKeepIds();
    if (!keepIds) return false;
    ImportDatabase(file, *keepIds);
    return true;
}
