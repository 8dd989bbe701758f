#include "formats/CMarkdownReader.h"

#include "formats/CFrontMatter.h"
#include "formats/CSafeFileName.h"
#include "formats/basFormatText.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

bool CMarkdownReader::Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        if (error) *error = QStringLiteral("No such folder: ") + path;
        return false;
    }
    QStringList files;
    QString root;
    if (info.isDir()) {
        root = QDir::cleanPath(info.absoluteFilePath());
        QDirIterator it(root, {QStringLiteral("*.md")}, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            bool hidden = false;
            for (const QString& part : QDir(root).relativeFilePath(file).split(QLatin1Char('/')))
                if (part.startsWith(QLatin1Char('.'))) hidden = true;
            if (!hidden) files << file;
        }
        files.sort();
    } else {
        root = info.absolutePath();
        files << info.absoluteFilePath();
    }
    report.total = files.size();
    for (const QString& file : std::as_const(files)) {
        ++report.done;
        CImportEntry e;
        QString skipped;
        if (!ReadFile(file, root, e, &skipped, error)) return false;
        if (!skipped.isEmpty()) {
            report.skipped.append({QDir(root).relativeFilePath(file), skipped});
            continue;
        }
        if (!sink(e)) return false;
    }
    return true;
}

bool CMarkdownReader::ReadFile(const QString& file, const QString& rootFolder, CImportEntry& e, QString* skipped,
                               QString* error) {
    QByteArray bytes;
    if (!ReadWholeFile(file, bytes, error)) return false;
    CFrontMatter fm;
    if (!fm.Parse(bytes, file, error)) return false;
    if (!fm.Present()) {
        *skipped = QStringLiteral("no front matter: not an exported item");
        return true;
    }
    const QVariantMap& v = fm.Values();
    const QStringList lines = fm.Body().split(QLatin1Char('\n'));
    qsizetype open = -1, close = -1;
    FindCodeBlock(lines, open, close);
    if (open >= 0 && close < 0) {
        if (error) *error = PositionError(file, fm.BodyLine() + int(open), 1, QStringLiteral("the code block is never closed"));
        return false;
    }
    e.item.body = open < 0 ? fm.Body().trimmed() : lines.mid(open + 1, close - open - 1).join(QLatin1Char('\n'));

    e.origin = file;
    // Our own file holds the title exactly.
    FillItem(v, QFileInfo(file).completeBaseName(), e.item);
    if (!e.item.lastUpdate.isValid()) e.item.lastUpdate = FileTime(file);
    bool isNumber = false;
    const int number = v.value(QStringLiteral("number")).toString().toInt(&isNumber);
    e.item.id = isNumber && number >= 1 ? number : -1;
    const QVariantMap attributes = v.value(QStringLiteral("attributes")).toMap();
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it)
        if (it.key() != ItemUuidAttribute()) e.attributes.insert(it.key(), it.value().toString());
    const QString uuid = v.value(QStringLiteral("uuid")).toString().trimmed();
    if (!uuid.isEmpty()) e.attributes.insert(ItemUuidAttribute(), uuid);

    // The attachment is a bare file name beside the item's file, and really there: a name with a
    // folder part or a link pointing elsewhere never brings in a file from outside the folder.
    const QString attachmentFile = v.value(QStringLiteral("attachment_file")).toString();
    if (!attachmentFile.isEmpty()) {
        const QString dir = QFileInfo(file).absolutePath();
        const QFileInfo a(dir + QLatin1Char('/') + attachmentFile);
        const QString real = a.canonicalFilePath();
        const QString base = QDir(rootFolder).canonicalPath();
        if (!CSafeFileName::IsSafe(attachmentFile) || !a.isFile() || a.isSymLink() || real.isEmpty() ||
            !real.startsWith(base + QLatin1Char('/'))) {
            *skipped = QStringLiteral("its attachment %1 is missing").arg(attachmentFile);
            return true;
        }
        e.attachmentPath = a.absoluteFilePath();
        e.attachmentName = v.value(QStringLiteral("attachment"), attachmentFile).toString();
        if (e.attachmentName.isEmpty()) e.attachmentName = attachmentFile;
    }
    return true;
}

void CMarkdownReader::FillItem(const QVariantMap& v, const QString& defaultTitle, CItem& item) {
    item.title = v.value(QStringLiteral("title"), defaultTitle).toString();
    if (item.title.trimmed().isEmpty()) item.title = QStringLiteral("Untitled");
    item.language = v.value(QStringLiteral("language")).toString().trimmed();
    if (item.language.isEmpty()) item.language = QStringLiteral("Text");
    QStringList categories;
    const QVariant cats = v.value(QStringLiteral("categories"));
    if (cats.typeId() == QMetaType::QVariantList) {
        for (const QVariant& c : cats.toList()) categories << c.toString();
    } else if (!cats.toString().isEmpty()) {
        categories << cats.toString();
    }
    item.categories = CleanCategories(categories, QStringLiteral("Uncategorized"));
    item.lastUpdate = ParseSourceTime(v.value(QStringLiteral("updated")).toString());
}
