#include "exchange/basImport.h"

#include "attach/basAttachment.h"
#include "db/CItemImport.h"
#include "db/CTransaction.h"
#include "history/CHistoryCommand.h"
#include "history/CSnapshot.h"
#include "db/basDB.h"
#include "exchange/CExchangeFileReader.h"
#include "exchange/basExchangeFile.h"
#include "util/CPrompt.h"
#include "util/basNames.h"
#include "util/basVariableTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <optional>

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

bool ImportDatabase(CSQLite& db, const QString& file, bool keepIds, ImportSummary* summary) {
    ImportSummary local;
    ImportSummary& s = summary ? *summary : local;
    s = ImportSummary();

    CProgressScope progress;
    progress.Text(0, QStringLiteral("Importing Database..."));
    progress.Text(1, ExchangeProgressPath(file));

    // The whole import is one command to take back.
    CHistoryCommand command(db, QStringLiteral("Import"), QStringLiteral("import"));
    // Opened once the file has a line to import; a failure inside it undoes the whole import.
    std::optional<CTransaction> unit;
    auto fail = [&](const QString& message, bool rollback) {
        if (rollback && unit) unit->Rollback();
        s.error = message;
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

    if (!db.IsOpen()) return fail(CSQLite::NoDatabaseText(), false);
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
        return true;
    }

    // Items of the file's numbers may be replaced: a copy of the file first, kept beside the
    // backups. A copy that cannot be written does not stop the import; the history keeps them too.
    if (keepIds && !db.LookupField(QStringLiteral("tblItem"), QStringLiteral("ID")).isEmpty())
        CSnapshot::Take(db, &s.snapshot, nullptr);
    unit.emplace(db, &error);
    if (!unit->IsOpen()) return fail(QStringLiteral("Import error: ") + error, false);
    const QSet<int> attached = keepIds ? ItemsWithAttachments(db) : QSet<int>();

    int lastSaved = 0;
    CItemImport items(db);
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
            if (!SaveAttachment(db, a.item, a.path, &why) || !RestoreItemTime(db, a.item, a.time, &why))
                return failAt(a.line, why);
        }
        attachments.clear();
        return true;
    };
    // A link the item can be stored under: one rule for names, as everywhere.
    const auto usable = [](const ExchangeRecord& r) {
        return !CleanName(r.language).isEmpty() && !CleanNames(r.category).isEmpty();
    };
    std::optional<ExchangeRecord> held;  // an item whose first line had no usable link
    const auto storeItem = [&](const ExchangeRecord& r) -> bool {
        int id = keepIds ? r.id : -1;
        error.clear();
        // The time text is the UTC time the export wrote. A number free in the file goes
        // in the fast way; an item stored already is overwritten by the item save.
        const QString language = CleanName(r.language);
        const QString categories = CleanNames(r.category).join(QLatin1Char(','));
        qint64 fast = id >= 1 && items.Exists(id)
                          ? -1
                          : items.Insert(language, id, r.title, r.body, categories, r.time, &error);
        if (fast == 0) return failAt(r, error);
        int saved = int(fast);
        if (fast == -1) {
            if (!flushAll()) return false;
            saved = SaveItem(db, language, id, r.title, r.body, categories, r.time, MergeDecision(), TimeBase::Utc,
                             &error);
            if (saved == 0) return failAt(r, error);
            if (!items.Stored(saved, &error)) return failAt(r, error);
        }
        lastSaved = saved;
        ++s.items;
        bool restoreTime = false;
        if (!r.file.isEmpty()) {
            const QString path = folder.filePath(r.file);
            QFile probe(path);
            if (!isBareName(r.file) || !QFileInfo(path).isFile() || !insideFolder(path, folder) ||
                !probe.open(QIODevice::ReadOnly)) {
                ++s.missingAttachments;
            } else {
                probe.close();
                // Attached once the item's full-text row is written, with the rest of its
                // batch: one write of the batch's terms instead of one per attachment.
                attachments.append({saved, path, r.time, r});
            }
        } else if (attached.contains(saved)) {
            // Overwritten by an item without attachment.
            error.clear();
            if (!items.Flush(&error) || !ClearAttachment(db, saved, &error)) return failAt(r, error);
            restoreTime = true;
        }
        if (restoreTime && !RestoreItemTime(db, saved, r.time, &error)) return failAt(r, error);
        // The batch's full-text rows are written: its attachments can follow.
        return items.PendingCount() != 0 || flushAll();
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
        case ExchangeLineKind::Item:
            held.reset();
            if (!usable(rec)) {
                // Its link leads nowhere (a category or language since removed, a name of blanks):
                // the line is skipped, the item waits for a further line that names a usable one.
                ++s.skippedLines;
                lastSaved = 0;
                held = rec;
                break;
            }
            if (!storeItem(rec)) return false;
            break;
        case ExchangeLineKind::Category: {
            if (lastSaved == 0 && !held) break;
            // A line naming no category would store one that no list entry can show.
            if (!usable(rec)) {
                ++s.skippedLines;
                break;
            }
            if (lastSaved == 0) {
                // The first usable link of an item whose first line had none.
                ExchangeRecord item = *held;
                held.reset();
                item.language = rec.language;
                item.category = rec.category;
                item.line = rec.line;
                if (!storeItem(item)) return false;
                break;
            }
            error.clear();
            if (!items.Link(lastSaved, rec.language, rec.category, &error)) return failAt(rec, error);
            ++s.categoryLines;
            break;
        }
        }
        if (progress.Update(int(qint64(rec.end) * 100 / size))) {
            unit->Rollback();
            s.cancelled = true;
            return false;
        }
    } while (reader.Next(rec));
    if (!reader.Error().isEmpty())
        return fail(QStringLiteral("Unable to read the import file: ") + reader.Error(), true);

    if (!flushAll()) return false;
    // Items stored over existing ones recorded their own changes through the item save.
    CChange change;
    change.kind = CChange::Kind::Import;
    change.valuesOmitted = true;
    for (int id : items.Inserted()) change.items.append({id, std::nullopt, std::nullopt});
    if (!change.items.isEmpty() && !db.Record(change, &error))
        return fail(QStringLiteral("Import error: ") + error, true);
    if (!unit->Commit(&error)) return fail(QStringLiteral("Import error: ") + error, true);
    s.completed = true;
    return true;
}
