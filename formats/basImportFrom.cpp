#include "formats/basImportFrom.h"

#include "attach/CQuickLZ.h"
#include "attach/basAttachment.h"
#include "db/basDBAttachments.h"
#include "db/CItemImport.h"
#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "history/CHistoryCommand.h"
#include "db/basDBItemAttributes.h"
#include "db/basDBItems.h"
#include "formats/CFormatReader.h"
#include "formats/CPresentItems.h"
#include "util/CPrompt.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <optional>

namespace {

// The time text SaveItem takes as UTC; empty lets the store stamp the current time.
QString utcText(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) : QString();
}

// Stores file as the item's attachment under name (the file's own name when empty).
bool attach(CSQLite& db, int item, const QString& file, const QString& name, QString* error) {
    if (name.isEmpty() || name == QFileInfo(file).fileName()) return SaveAttachment(db, item, file, error);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("Cannot open %1: %2").arg(file, f.errorString());
        return false;
    }
    const QByteArray data = f.readAll();
    QByteArray block;
    CQuickLZ qlz;
    if (!data.isEmpty() && !qlz.Compress(data, block, error)) return false;
    return StoreAttachment(db, item, data.size(), block, name, error);
}

}  // namespace

int StoreImportedItem(CSQLite& db, CItemImport& items, CImportEntry& e, QString* error) {
    // A number the source carries is kept when no item holds it.
    qint64 id = e.item.id >= 1 && !items.Exists(e.item.id) ? e.item.id : -1;
    const QString time = utcText(e.item.lastUpdate);
    qint64 saved = items.Insert(e.item.language, id, e.item.title, e.item.body, e.item.CategoriesText(), time, error);
    if (saved == 0) return 0;
    if (saved == -1) {
        // Past the 32-bit numbers: the item save finds a free number.
        int n = -1;
        if (!items.Flush(error)) return 0;
        saved = SaveItem(db, e.item.language, n, e.item.title, e.item.body, e.item.CategoriesText(), time, MergeDecision(),
                         TimeBase::Utc, error);
        if (saved == 0) return 0;
        if (!items.Stored(saved, error)) return 0;
    }
    if (!SetItemAttributes(db, int(saved), e.attributes, error)) return 0;
    if (!e.attachmentPath.isEmpty()) {
        // The attachment's name goes into the item's full-text row, which must be there.
        if (!items.Flush(error) || !attach(db, int(saved), e.attachmentPath, e.attachmentName, error)) return 0;
        // Attaching stamps the current time; the item keeps the source's.
        if (!time.isEmpty() && !RestoreItemTime(db, int(saved), time, error)) return 0;
    }
    e.item.id = int(saved);
    return int(saved);
}

bool ImportFrom(CSQLite& db, const ImportFromOptions& options, ImportFromSummary* summary) {
    ImportFromSummary local;
    ImportFromSummary& s = summary ? *summary : local;
    s = ImportFromSummary();
    auto fail = [&](const QString& why) {
        s.error = why;
        return false;
    };
    if (!db.IsOpen()) return fail(CSQLite::NoDatabaseText());
    std::unique_ptr<CFormatReader> reader = CFormatReader::Create(options.format);
    if (!reader) return fail(QStringLiteral("Unknown format: ") + options.format);

    CProgressScope progress;
    progress.Text(0, QStringLiteral("Importing from ") + options.format + QStringLiteral("..."));
    progress.Text(1, options.path);

    QString error;
    CHistoryCommand command(db, QStringLiteral("Import"), QStringLiteral("import"));
    std::optional<CTransaction> unit;
    CItemImport items(db);
    if (!options.dryRun) {
        unit.emplace(db, &error);
        if (!unit->IsOpen()) return fail(QStringLiteral("Import error: ") + error);
        // Rows left by items deleted elsewhere go before a new item can take their number.
        if (!PrepareItemAttributes(db, &error) || !items.Begin(&error)) return fail(QStringLiteral("Import error: ") + error);
    }
    CPresentItems present(db);
    QHash<QString, int> uuids;
    if (!present.Begin(&error) || !ReadItemUuids(db, uuids, &error)) return fail(QStringLiteral("Import error: ") + error);
    QSet<int> numbers;  // numbers claimed in this import (a dry run stores none)

    const QStringList categories = CItem::SplitCategories(options.category);
    QList<ImportFromRow> skippedRows;
    CReadReport report;
    bool storeFailed = false;
    const bool read = reader->Read(
        options.path,
        [&](CImportEntry& e) {
            if (!options.language.trimmed().isEmpty()) e.item.language = options.language.trimmed();
            if (!categories.isEmpty()) e.item.categories = categories;
            ImportFromRow row{ImportFate::Added, e.item.title, e.item.language, e.item.categories, QString(), 0};
            const QString uuid = e.attributes.value(ItemUuidAttribute());
            const int equal = present.Find(e.item.title, e.item.language, e.item.body, &error);
            if (!error.isEmpty()) {
                storeFailed = true;
                return false;
            }
            if (equal != 0) {
                row.fate = ImportFate::Present;
                row.itemId = qMax(0, equal);
            } else if (!uuid.isEmpty() && uuids.contains(uuid)) {
                // The identity belongs to another item (or one changed since the export): never
                // overwritten, never given twice.
                row.fate = ImportFate::Skipped;
                row.reason = uuids[uuid] > 0 ? QStringLiteral("item #%1 has this identity and differs").arg(uuids[uuid])
                                             : QStringLiteral("its identity appears twice in the source");
            } else {
                if (e.item.id >= 1 && numbers.contains(e.item.id)) e.item.id = -1;
                if (e.item.id >= 1) numbers.insert(e.item.id);
                if (!options.dryRun) {
                    if (StoreImportedItem(db, items, e, &error) == 0) {
                        error = e.item.title + QStringLiteral(" (") + e.origin + QStringLiteral("): ") + error;
                        storeFailed = true;
                        return false;
                    }
                    row.itemId = e.item.id;
                    numbers.insert(e.item.id);
                }
                present.Taken(e.item.title, e.item.language, e.item.body);
                if (!uuid.isEmpty()) uuids.insert(uuid, row.itemId);
            }
            switch (row.fate) {
            case ImportFate::Added:
                ++s.added;
                ++s.byLanguage[row.language].added;
                break;
            case ImportFate::Present:
                ++s.present;
                ++s.byLanguage[row.language].present;
                break;
            case ImportFate::Skipped: ++s.skipped; break;
            }
            if (row.fate == ImportFate::Skipped) skippedRows.append(row);
            else if (options.listAll) s.rows.append(row);
            if (progress.Update(report.Percent())) {
                s.cancelled = true;
                return false;
            }
            return true;
        },
        report, &error);
    auto clear = [&] {
        const bool cancelled = s.cancelled;
        s = ImportFromSummary();
        s.cancelled = cancelled;
    };
    if (s.cancelled) {
        clear();
        return false;
    }
    if (!read || storeFailed) {
        clear();
        return fail(error.isEmpty() ? QStringLiteral("Import error") : error);
    }
    for (const CSkippedEntry& k : std::as_const(report.skipped))
        s.rows.append({ImportFate::Skipped, k.name, QString(), {}, k.reason, 0});
    s.skipped += int(report.skipped.size());
    s.rows += skippedRows;
    s.deleted = report.deleted;
    // The new items' change record, as every write makes one.
    const auto record = [&] {
        CChange change;
        change.kind = CChange::Kind::Import;
        change.valuesOmitted = true;
        for (int id : items.Inserted()) change.items.append({id, std::nullopt, std::nullopt});
        return change.items.isEmpty() || db.Record(change, &error);
    };
    if (unit && (!items.Flush(&error) || !record() || !unit->Commit(&error))) {
        clear();
        return fail(QStringLiteral("Import error: ") + error);
    }
    s.completed = true;
    return true;
}

QString ImportFromSummaryText(const ImportFromSummary& s) {
    return QStringLiteral("%1 items added, %2 already present, %3 skipped, %4 deleted in the source.")
        .arg(s.added)
        .arg(s.present)
        .arg(s.skipped)
        .arg(s.deleted);
}
