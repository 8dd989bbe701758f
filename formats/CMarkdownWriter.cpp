#include "formats/CMarkdownWriter.h"

#include "attach/basAttachment.h"
#include "db/CSQLite.h"
#include "db/CTransaction.h"
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

// Writes a file that cannot exist yet, in a folder this export made: no look at the disk first.
// Anything unexpected there (a name another program made meanwhile) goes the careful way.
CFormatWriter::FileWrite writeNew(const QString& file, const QByteArray& bytes, QString* error) {
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return CFormatWriter::WriteIfChanged(file, bytes, error);
    const bool written = out.write(bytes) == bytes.size() && out.flush();
    const QString why = out.errorString();
    out.close();
    if (written && out.error() == QFileDevice::NoError) return CFormatWriter::FileWrite::Written;
    QFile::remove(file);
    if (error) *error = QStringLiteral("Unable to write %1: %2").arg(file, written ? out.errorString() : why);
    return CFormatWriter::FileWrite::Failed;
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
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const ushort u = c.unicode();
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
        default:
            if (u < 0x20 || u == 0x7f) out += QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, QLatin1Char('0')).toUpper();
            else out += c;
        }
    }
    return out + QLatin1Char('"');
}

QByteArray CMarkdownWriter::Compose(const CItem& item, const ItemAttributes& attributes, const QString& attachmentFile) {
    QString t = QStringLiteral("---\n");
    if (!attachmentFile.isEmpty()) {
        t += QStringLiteral("attachment: ") + YamlQuote(item.fileName) + QLatin1Char('\n');
        t += QStringLiteral("attachment_file: ") + YamlQuote(attachmentFile) + QLatin1Char('\n');
    }
    ItemAttributes kept = attributes;
    const QString uuid = kept.take(ItemUuidAttribute());
    if (!kept.isEmpty()) {
        t += QStringLiteral("attributes:\n");
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            t += QStringLiteral("  ") + YamlQuote(it.key()) + QStringLiteral(": ") + YamlQuote(it.value()) + QLatin1Char('\n');
    }
    if (item.categories.isEmpty()) {
        t += QStringLiteral("categories: []\n");
    } else {
        t += QStringLiteral("categories:\n");
        for (const QString& c : item.categories) t += QStringLiteral("  - ") + YamlQuote(c) + QLatin1Char('\n');
    }
    t += QStringLiteral("language: ") + YamlQuote(item.language) + QLatin1Char('\n');
    t += QStringLiteral("number: %1\n").arg(item.id);
    t += QStringLiteral("title: ") + YamlQuote(item.title) + QLatin1Char('\n');
    if (item.lastUpdate.isValid())
        t += QStringLiteral("updated: ") + YamlQuote(item.lastUpdate.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))) +
             QLatin1Char('\n');
    if (!uuid.isEmpty()) t += QStringLiteral("uuid: ") + YamlQuote(uuid) + QLatin1Char('\n');
    t += MarkKey() + QStringLiteral(": 1\n---\n\n");
    const QString fence = FenceFor(item.body);
    t += fence + CLanguageMap::FenceId(item.language) + QLatin1Char('\n') + item.body + QLatin1Char('\n') + fence +
         QLatin1Char('\n');
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
    if (QFileInfo(root).exists() && !QFileInfo(root).isDir()) {
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
            if (!QFileInfo::exists(f.path)) {
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
        produced.insert(mdPath);
        const QByteArray bytes = Compose(item, attributes, attachmentFile);
        switch (folder.made ? writeNew(mdPath, bytes, failure) : WriteIfChanged(mdPath, bytes, failure)) {
        case FileWrite::Written: ++s.written; break;
        case FileWrite::Unchanged: ++s.unchanged; break;
        case FileWrite::Failed: return false;
        }
        if (!attachmentFile.isEmpty()) {
            const QString target = folder.path + QLatin1Char('/') + attachmentFile;
            produced.insert(target);
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
    if (!ok) return false;

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
