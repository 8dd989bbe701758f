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
#include <cerrno>
#include <cmath>
#include <new>
#include <memory>
#include <optional>
#include <sqlite3.h>

#include <QHash>
#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <vector>

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

namespace {

enum Field { kId, kType, kCategory, kTitle, kCode, kFile, kModifyDate, kFieldCount };
using Fields = std::array<QByteArrayView, kFieldCount>;
// Called once per link in file order with the item number (or none for a link whose item is
// gone) and the line's fields; false stops the reading.
using RowSink = std::function<bool(bool hasId, qint64 id, const Fields& fields)>;

// The rows of ExportQuery() read from the base tables: the view statement copies every item,
// code text and attachment included, into a temporary table and then sorts whole rows. Here
// only the links are sorted (by item, keeping their order within an item as the engine's sorter
// does), and the items are read once in number order and met with their links. False when a
// table cannot be read the direct way (no content table of the full-text module).
bool readDirect(CSQLite& db, const RowSink& sink, QString* error, bool* stopped) {
    QHash<qint64, QByteArray> types;
    struct Category {
        qint64 type = 0;
        bool typeUsable = false;
        QByteArray name;
    };
    QHash<qint64, Category> categories;
    struct Link {
        qint64 item;
        qint64 category;
        bool categoryUsable;
    };
    std::vector<Link> links;
    const auto integer = [](const CSQLite::Row& r, int c, qint64* v) {
        if (r.Type(c) != SQLITE_INTEGER) return false;
        *v = r.Int(c);
        return true;
    };
    if (!db.ForEachRow(QStringLiteral("SELECT ID, Name FROM tblType"),
                       [&](const CSQLite::Row& r) {
                           types.insert(r.Int(0), r.Bytes(1).toByteArray());
                           return true;
                       },
                       error) ||
        !db.ForEachRow(QStringLiteral("SELECT ID, TypeID, Name FROM tblCategory"),
                       [&](const CSQLite::Row& r) {
                           Category c;
                           c.typeUsable = integer(r, 1, &c.type);
                           c.name = r.Bytes(2).toByteArray();
                           categories.insert(r.Int(0), std::move(c));
                           return true;
                       },
                       error) ||
        !db.ForEachRow(QStringLiteral("SELECT ItemID, CategoryID FROM tblItemCategory ORDER BY rowid"),
                       [&](const CSQLite::Row& r) {
                           Link link{0, 0, false};
                           // A number the join cannot match stays with the links of no item.
                           if (!integer(r, 0, &link.item)) link.item = std::numeric_limits<qint64>::min();
                           link.categoryUsable = integer(r, 1, &link.category);
                           links.push_back(link);
                           return true;
                       },
                       error))
        return false;
    std::stable_sort(links.begin(), links.end(), [](const Link& a, const Link& b) { return a.item < b.item; });

    // Emits the links before item id (they have no item) and then those of id with its fields;
    // with last, every link left.
    size_t next = 0;
    const auto emitUpTo = [&](bool last, qint64 id, const Fields& item) {
        while (next < links.size() && (last || links[next].item <= id)) {
            const Link& link = links[next++];
            const bool matched = !last && link.item == id;
            Fields f = matched ? item : Fields{};
            const auto category =
                link.categoryUsable ? categories.constFind(link.category) : categories.constEnd();
            if (category != categories.constEnd()) {
                f[kCategory] = category->name;
                const auto type = category->typeUsable ? types.constFind(category->type) : types.constEnd();
                if (type != types.constEnd()) f[kType] = *type;
            }
            if (!sink(matched, id, f)) {
                *stopped = true;
                return false;
            }
        }
        return true;
    };
    QByteArray idText;
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT tblItem.ID, Content.c0Title, Content.c1Code, Content.c2File, "
                       "DateTime(tblItem.LastUpdate) FROM tblItem "
                       "JOIN ftsItem_content AS Content ON Content.docid = tblItem.ID ORDER BY tblItem.ID"),
        [&](const CSQLite::Row& r) {
            const qint64 id = r.Int(0);
            idText = QByteArray::number(id);
            Fields f;
            f[kId] = idText;
            f[kTitle] = r.Bytes(1);
            f[kCode] = r.Bytes(2);
            f[kFile] = r.Bytes(3);
            f[kModifyDate] = r.Bytes(4);
            return emitUpTo(false, id, f);
        },
        error);
    return ok && emitUpTo(true, 0, Fields{});
}

}  // namespace

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

    qint64 n = 0;  // one row per link
    if (gDB && gDB->IsOpen()) {
        ResultTable t;
        QString error;
        n = gDB->Exec(QStringLiteral("SELECT Count(*) FROM tblItemCategory"), t, error, true).toLongLong();
        // A failed count is not an empty database.
        if (!error.isEmpty())
            return fail(QStringLiteral("Export error: ") + EngineFailureMessage(error),
                        CPrompt::vbOKOnly | CPrompt::vbExclamation);
    }
    if (n <= 0) return fail(noItems, CPrompt::vbOKOnly);
    // Replacing the open database's file with the exchange text would destroy it.
    if (SameFile(file, gDB->Filename()))
        return fail(QStringLiteral("Unable to write the export file: it is the open database"),
                    CPrompt::vbOKOnly | CPrompt::vbExclamation);

    // Written beside the target as it goes and renamed over it only when complete: a failed
    // export never leaves a truncated file (or destroys an older one) under the chosen name,
    // and the text is never held whole in memory.
    // Unbuffered: a short write (a full disk) must fail where it happens. Left in the file's
    // buffer, it would surface only in the flush inside commit(), which goes on to rename the
    // truncated file over the old one and report success.
    QSaveFile target(file);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("Unable to write the export file: ") + target.errorString(),
                    CPrompt::vbOKOnly | CPrompt::vbExclamation);
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
    const RowSink line = [&](bool hasId, qint64 id, const Fields& f) {
        ++r;
        // Links whose item is gone (left until the next compaction) have no item number; they
        // are not items and are left out.
        if (hasId) {
            const bool same = havePrevious && id == previous;
            previous = id;
            havePrevious = true;
            for (int c = 0; c < kFieldCount; ++c) {
                if (same && c > kCategory) continue;
                const QString fileName = c == kFile ? DecodeUtf8OrCp1252(f[c]) : QString();
                if (c != kFile || !withAttachments || fileName.isEmpty()) {
                    appendField(out, f[c]);
                    continue;
                }
                QString written = attachmentTarget(folder, safeFileName(fileName), file);
                QString why;
                if (ExtractAttachment(int(id), written, false, &why)) {
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
        if (progress->Update(percent)) {
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
        bool ok = readDirect(*gDB, line, &error, &stopped);
        if (!ok && !stopped && r == 0) {
            // A file whose full-text table keeps no content table: the view, the slow way.
            error.clear();
            ok = gDB->ForEachRow(
                ExportQuery(),
                [&](const CSQLite::Row& row) {
                    Fields f;
                    for (int c = 0; c < kFieldCount; ++c) f[c] = row.Bytes(c);
                    return line(!row.IsNull(kId), row.Int(kId), f);
                },
                &error);
            stopped = !ok && error.isEmpty();
        }
        if (s.cancelled) return false;
        if (writeFailed || (ok && !flush()))
            return fail(QStringLiteral("Unable to write the export file: ") + writeError(),
                        CPrompt::vbOKOnly | CPrompt::vbExclamation);
        if (!ok)
            return fail(QStringLiteral("Export error: ") + EngineFailureMessage(error),
                        CPrompt::vbOKOnly | CPrompt::vbExclamation);
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Not enough memory to export the database"),
                    CPrompt::vbOKOnly | CPrompt::vbExclamation);
    }
    if (s.lines == 0) return fail(noItems, CPrompt::vbOKOnly);

    progress->Text(0, QStringLiteral("Writing File"));
    progress->Update(98);
    errno = 0;
    if (!target.commit()) {
        if (!writeErrno) writeErrno = errno;
        return fail(QStringLiteral("Unable to write the export file: ") + writeError(),
                    CPrompt::vbOKOnly | CPrompt::vbExclamation);
    }
    s.written = true;
    if (s.attachmentFailures > 0) {
        progress.reset();
        Prompt().MsgBox(QStringLiteral("%1 of the attachments could not be written beside the "
                                       "export file:\r\n")
                                .arg(s.attachmentFailures) +
                            s.failedAttachments.join(QStringLiteral("\r\n")),
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
