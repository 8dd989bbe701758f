#include "formats/CFormatWriter.h"

#include "formats/CMarkdownWriter.h"
#include "formats/CVsCodeWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

std::unique_ptr<CFormatWriter> CFormatWriter::Create(const QString& format) {
    const QString f = format.trimmed().toLower();
    if (f == QLatin1String("vscode")) return std::make_unique<CVsCodeWriter>();
    if (f == QLatin1String("markdown")) return std::make_unique<CMarkdownWriter>();
    return nullptr;
}

QStringList CFormatWriter::Formats() { return {QStringLiteral("vscode"), QStringLiteral("markdown")}; }

CFormatWriter::FileWrite CFormatWriter::WriteIfChanged(const QString& file, const QByteArray& bytes, QString* error) {
    const QFileInfo info(file);
    const bool exists = info.exists();
    if (exists) {
        if (info.isDir() || info.isSymLink()) {
            if (error) *error = QStringLiteral("%1: not a plain file").arg(file);
            return FileWrite::Failed;
        }
        if (info.size() == bytes.size()) {
            QFile old(file);
            if (old.open(QIODevice::ReadOnly) && old.readAll() == bytes) return FileWrite::Unchanged;
        }
    } else if (!info.dir().exists() && !QDir().mkpath(info.absolutePath())) {
        if (error) *error = QStringLiteral("Unable to make the folder %1").arg(info.absolutePath());
        return FileWrite::Failed;
    }
    // A new file is written in place (removed again when the write fails); a changed one through
    // a temporary file renamed over it, so that it is always whole. No flush to the disk per
    // file: an export of many thousand files would wait on the disk for each.
    const QString target = exists ? info.absolutePath() + QStringLiteral("/.vellumgranary-write.tmp") : file;
    QFile out(target);
    const bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size() && out.flush();
    const QString why = out.errorString();
    out.close();
    if (!written || (exists && std::rename(QFile::encodeName(target).constData(), QFile::encodeName(file).constData()) != 0)) {
        QFile::remove(target);
        if (error) *error = QStringLiteral("Unable to write %1: %2").arg(file, written ? QString::fromLocal8Bit(std::strerror(errno)) : why);
        return FileWrite::Failed;
    }
    return FileWrite::Written;
}
