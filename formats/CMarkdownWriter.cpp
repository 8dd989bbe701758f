#include "formats/CMarkdownWriter.h"

#include "attach/basAttachment.h"
#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "formats/CFileWriteQueue.h"
#include "formats/CFrontMatter.h"
#include "formats/CLanguageMap.h"
#include "formats/CSafeFileName.h"
#include "formats/basExportItems.h"
#include "formats/basFormatText.h"
#include "util/CPrompt.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <cstdio>

namespace {

// The names taken in each folder, compared without regard to letter case (as the file systems
// of Windows and macOS do).
class NameClaims {
public:
    // name, or name with " (n)" before the extension when taken; folderKey is the folder's
    // name in lower case.
    QString Claim(const QString& folderKey, const QString& base, const QString& extension, int n) {
        QSet<QString>& taken = m_taken[folderKey];
        QString name = base + extension;
        for (int k = 0; taken.contains(name.toLower()); ++k)
            name = base + QStringLiteral(" (%1)").arg(k == 0 ? QString::number(n) : QStringLiteral("%1-%2").arg(n).arg(k)) +
                   extension;
        taken.insert(name.toLower());
        return name;
    }

private:
    QHash<QString, QSet<QString>> m_taken;
};

// A folder the items of one language and first category go to.
struct ItemFolder {
    QString rel;   // under the export folder
    QString path;  // absolute
    QString key;   // rel in lower case, for the name claims
    bool made = false;  // made by this export: none of its files can exist yet
};

// Whether c goes between YAML double quotes as it is.
bool plainInQuotes(char16_t u) {
    return u >= 0x20 && u != '\\' && u != '"' && u != 0x7f && u != 0x85 && u != 0x2028 && u != 0x2029 && u != 0xFEFF;
}

// text as a YAML double-quoted scalar at the end of out; runs that need no escape are copied whole.
void appendQuoted(QString& out, QStringView text) {
    out += QLatin1Char('"');
    const char16_t* const begin = text.utf16();
    const qsizetype n = text.size();
    qsizetype from = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = begin[i];
        if (plainInQuotes(u)) continue;
        out.append(QStringView(begin + from, i - from));
        from = i + 1;
        switch (u) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '"': out += QLatin1String("\\\""); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case 0x85: out += QLatin1String("\\u0085"); break;  // yaml-cpp reads \N as a lone byte
        case 0x2028: out += QLatin1String("\\L"); break;
        case 0x2029: out += QLatin1String("\\P"); break;
        case 0xFEFF: out += QLatin1String("\\uFEFF"); break;
        default: {
            static const char hex[] = "0123456789ABCDEF";
            const char escape[] = {'\\', 'x', hex[(u >> 4) & 0xf], hex[u & 0xf]};
            out += QLatin1String(escape, 4);
        }
        }
    }
    out.append(QStringView(begin + from, n - from));
    out += QLatin1Char('"');
}

// The time in UTC as yyyy-MM-ddTHH:mm:ssZ, without the general date formatter for common years.
void appendUtcTime(QString& out, const QDateTime& time) {
    const QDateTime utc = time.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    if (d.year() < 1000 || d.year() > 9999) {
        out += utc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
        return;
    }
    char text[20];
    auto put = [&text](int at, int value, int digits) {
        for (int k = digits - 1; k >= 0; --k, value /= 10) text[at + k] = char('0' + value % 10);
    };
    put(0, d.year(), 4);
    text[4] = '-';
    put(5, d.month(), 2);
    text[7] = '-';
    put(8, d.day(), 2);
    text[10] = 'T';
    put(11, t.hour(), 2);
    text[13] = ':';
    put(14, t.minute(), 2);
    text[16] = ':';
    put(17, t.second(), 2);
    out += QLatin1String(text, 19);
    out += QLatin1Char('Z');
}

// Whether two files hold the same bytes.
bool sameBytes(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    if (fa.size() != fb.size() || !fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 20) != fb.read(1 << 20)) return false;
    }
    return true;
}

}  // namespace

QString CMarkdownWriter::YamlQuote(const QString& text) {
    QString out;
    appendQuoted(out, text);
    return out;
}

QByteArray CMarkdownWriter::Compose(const CItem& item, const ItemAttributes& attributes, const QString& attachmentFile) {
    QString t;
    t.reserve(item.body.size() + item.title.size() + 320);
    t += QLatin1String("---\n");
    auto field = [&t](QLatin1String key, const QString& value) {
        t += key;
        appendQuoted(t, value);
        t += QLatin1Char('\n');
    };
    if (!attachmentFile.isEmpty()) {
        field(QLatin1String("attachment: "), item.fileName);
        field(QLatin1String("attachment_file: "), attachmentFile);
    }
    QString uuid;
    bool anyKept = false;
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        if (it.key() == ItemUuidAttribute()) {
            uuid = it.value();
            continue;
        }
        if (!anyKept) t += QLatin1String("attributes:\n");
        anyKept = true;
        t += QLatin1String("  ");
        appendQuoted(t, it.key());
        t += QLatin1String(": ");
        appendQuoted(t, it.value());
        t += QLatin1Char('\n');
    }
    if (item.categories.isEmpty()) {
        t += QLatin1String("categories: []\n");
    } else {
        t += QLatin1String("categories:\n");
        for (const QString& c : item.categories) field(QLatin1String("  - "), c);
    }
    field(QLatin1String("language: "), item.language);
    t += QLatin1String("number: ");
    t += QString::number(item.id);
    t += QLatin1Char('\n');
    field(QLatin1String("title: "), item.title);
    if (item.lastUpdate.isValid()) {
        t += QLatin1String("updated: \"");
        appendUtcTime(t, item.lastUpdate);
        t += QLatin1String("\"\n");
    }
    if (!uuid.isEmpty()) field(QLatin1String("uuid: "), uuid);
    t += MarkKey();
    t += QLatin1String(": 1\n---\n\n");
    const QString fence = FenceFor(item.body);
    t += fence;
    t += CLanguageMap::FenceId(item.language);
    t += QLatin1Char('\n');
    t += item.body;
    t += QLatin1Char('\n');
    t += fence;
    t += QLatin1Char('\n');
    return t.toUtf8();
}

bool CMarkdownWriter::AssignIdentities(CSQLite& db, QString* error) {
    QList<int> missing;
    const bool hasTable = HasItemAttributeTable(db, error);
    if (error && !error->isEmpty()) return false;
    if (!db.ForEachRow(QStringLiteral("SELECT ID FROM tblItem") +
                           (hasTable ? QStringLiteral(" WHERE ID NOT IN (SELECT ItemID FROM tblItemAttribute WHERE Name = 'uuid')")
                                     : QString()) +
                           QStringLiteral(" ORDER BY ID"),
                       [&](const CSQLite::Row& r) {
                           missing << int(r.Int(0));
                           return true;
                       },
                       error))
        return false;
    if (missing.isEmpty()) return true;
    CTransaction unit(db, error);
    if (!unit.IsOpen() || !PrepareItemAttributes(db, error)) return false;
    for (const int id : std::as_const(missing))
        if (!SetItemAttributes(db, id, {{ItemUuidAttribute(), NewItemUuid()}}, error)) return false;
    return unit.Commit(error);
}

bool CMarkdownWriter::Write(CSQLite& db, const QString& folder, CExportSummary& s) {
    s = CExportSummary();
    if (!db.IsOpen()) {
        s.error = CSQLite::NoDatabaseText();
        return false;
    }
    const QString root = QDir::cleanPath(QDir(folder).absolutePath());
    const QFileInfo rootInfo(root);
    // A folder made by this export holds no file of an earlier one: nothing to compare or remove.
    const bool rootIsNew = !rootInfo.exists();
    if (!rootIsNew && !rootInfo.isDir()) {
        s.error = QStringLiteral("Not a folder: ") + folder;
        return false;
    }
    if (!QDir().mkpath(root)) {
        s.error = QStringLiteral("Unable to make the folder ") + folder;
        return false;
    }
    // The identity an item keeps for life is given on its first export and stored with it.
    QString error;
    if (!AssignIdentities(db, &error)) {
        s.error = QStringLiteral("Unable to store the items' identities: ") + error;
        return false;
    }
    CProgressScope progress;
    progress.Text(0, QStringLiteral("Exporting to Markdown..."));
    progress.Text(1, folder);

    NameClaims claims;
    // Items are composed here while the files are put on disk on another thread. One writer:
    // a second one only competed with this thread for the cores and the folders' locks.
    CFileWriteQueue files(1);
    QSet<QString> produced;  // every file this export stands for, written or not
    // Items share few folders: each is named, and looked at on the disk, once.
    QHash<QPair<QString, QString>, ItemFolder> folders;
    const bool ok = ExportEachItem(db, progress, 100, s, [&](const CItem& item, const ItemAttributes& attributes, QString* failure) {
        const QString category = item.categories.value(0);
        auto place = folders.find({item.language, category});
        if (place == folders.end()) {
            ItemFolder f;
            f.rel = CSafeFileName::Make(item.language, QStringLiteral("Text")) + QLatin1Char('/') +
                    CSafeFileName::Make(category, QStringLiteral("Uncategorized"));
            f.path = root + QLatin1Char('/') + f.rel;
            f.key = f.rel.toLower();
            if (rootIsNew || !QFileInfo::exists(f.path)) {
                if (!QDir().mkpath(f.path)) {
                    *failure = QStringLiteral("Unable to make the folder %1").arg(f.path);
                    return false;
                }
                f.made = true;
            }
            place = folders.insert({item.language, category}, f);
        }
        const ItemFolder& folder = *place;
        const QString mdName = claims.Claim(folder.key, CSafeFileName::Make(item.title), QStringLiteral(".md"), item.id);
        QString attachmentFile;
        if (item.HasAttachment()) {
            const QString base = mdName.chopped(3) + QLatin1Char('.');
            attachmentFile = claims.Claim(folder.key, base + CSafeFileName::Make(item.fileName, QStringLiteral("attachment")),
                                          QString(), item.id);
        }
        const QString mdPath = folder.path + QLatin1Char('/') + mdName;
        if (!rootIsNew) produced.insert(mdPath);
        // False once a write failed: its reason comes from the queue below.
        if (!files.Put(mdPath, Compose(item, attributes, attachmentFile),
                       folder.made ? CFileWriteQueue::Mode::New : CFileWriteQueue::Mode::IfChanged))
            return false;
        if (!attachmentFile.isEmpty()) {
            const QString target = folder.path + QLatin1Char('/') + attachmentFile;
            if (!rootIsNew) produced.insert(target);
            QString temp = folder.path + QStringLiteral("/.vellumgranary-%1.tmp").arg(item.id);
            QFile::remove(temp);
            QString why;
            if (!ExtractAttachment(db, item.id, temp, false, &why)) {
                s.failures << QStringLiteral("%1 (item %2): %3").arg(item.fileName).arg(item.id).arg(why);
            } else if (!folder.made && QFileInfo::exists(target) && sameBytes(temp, target)) {
                QFile::remove(temp);
                ++s.unchanged;
            } else if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
                QFile::remove(temp);
                s.failures << QStringLiteral("%1 (item %2): unable to write %3").arg(item.fileName).arg(item.id).arg(target);
            } else {
                ++s.written;
            }
        }
        return true;
    });
    QString writeError;
    const bool allWritten = files.Finish(&writeError);
    s.written += files.Written();
    s.unchanged += files.Unchanged();
    if (!allWritten) {
        s.error = writeError;
        return false;
    }
    if (!ok) return false;
    if (rootIsNew) {
        s.completed = true;
        return true;
    }

    // Files of ours that no item stands for any more: an item deleted, renamed or moved.
    QDirIterator it(root, {QStringLiteral("*.md")}, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    QStringList stale;
    while (it.hasNext()) {
        const QString file = QDir::cleanPath(it.next());
        if (!produced.contains(file)) stale << file;
    }
    for (const QString& file : std::as_const(stale)) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) continue;
        CFrontMatter fm;
        if (!fm.Parse(f.read(64 * 1024), file, nullptr) || !fm.Present() || !fm.Values().contains(MarkKey())) {
            // Not ours, or not readable as ours: left alone.
            continue;
        }
        f.close();
        const QString attachment = fm.Values().value(QStringLiteral("attachment_file")).toString();
        const QString dir = QFileInfo(file).absolutePath();
        if (CSafeFileName::IsSafe(attachment) && !produced.contains(dir + QLatin1Char('/') + attachment) &&
            QFile::remove(dir + QLatin1Char('/') + attachment))
            ++s.removed;
        if (QFile::remove(file)) ++s.removed;
        // Folders left empty go too, up to the export folder.
        for (QString d = dir; d.startsWith(root + QLatin1Char('/')) && QDir().rmdir(d); d = QFileInfo(d).absolutePath()) {
        }
    }
    s.completed = true;
    return true;
}
