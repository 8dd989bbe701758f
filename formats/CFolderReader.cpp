#include "formats/CFolderReader.h"

#include "formats/CLanguageMap.h"
#include "formats/basFormatText.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

// A NUL byte, or many control characters in the first few kilobytes, make a file that is not
// text (an image, an archive); text in the Windows code page still reads.
static bool looksBinary(const QByteArray& bytes) {
    if (bytes.contains('\0')) return true;
    const qsizetype n = qMin<qsizetype>(bytes.size(), 8192);
    qsizetype control = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1b) ++control;
    }
    return control * 10 > n;
}

bool CFolderReader::Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) {
    const QFileInfo info(path);
    if (!info.isDir()) {
        if (error) *error = (info.exists() ? QStringLiteral("Not a folder: ") : QStringLiteral("No such folder: ")) + path;
        return false;
    }
    const QDir root(info.absoluteFilePath());
    // Links are not followed: one could lead out of the folder or round in a circle.
    QStringList files;
    QDirIterator it(root.path(), QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString rel = root.relativeFilePath(file);
        bool hidden = false;
        for (const QString& part : rel.split(QLatin1Char('/')))
            if (part.startsWith(QLatin1Char('.'))) hidden = true;
        if (!hidden) files << file;
    }
    files.sort();
    report.total = files.size();
    const QString topCategory = root.dirName().isEmpty() ? QStringLiteral("Files") : root.dirName();
    for (const QString& file : std::as_const(files)) {
        ++report.done;
        const QString rel = root.relativeFilePath(file);
        QByteArray bytes;
        if (!ReadWholeFile(file, bytes, error)) return false;
        if (looksBinary(bytes)) {
            report.skipped.append({rel, QStringLiteral("not a text file")});
            continue;
        }
        const QFileInfo fi(file);
        const QString dir = QFileInfo(rel).path();
        CImportEntry e;
        e.origin = file;
        // "backup.sh" is titled "backup"; ".bashrc"-like names are hidden and never reach here.
        e.item.title = ItemTitle(fi.completeBaseName().isEmpty() ? fi.fileName() : fi.completeBaseName());
        e.item.body = NormalizeLineEnds(DecodeText(bytes));
        e.item.language = CLanguageMap::FromFileName(fi.fileName());
        e.item.categories = CleanCategories({dir == QLatin1String(".") ? topCategory : dir}, topCategory);
        e.item.lastUpdate = FileTime(file);
        e.attributes.insert(FileAttribute(), rel);
        if (!sink(e)) return false;
    }
    return true;
}
