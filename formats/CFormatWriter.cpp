#include "formats/CFormatWriter.h"

#include "formats/CMarkdownWriter.h"
#include "formats/CVsCodeWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

std::unique_ptr<CFormatWriter> CFormatWriter::Create(const QString& format) {
    const QString f = format.trimmed().toLower();
    if (f == QLatin1String("vscode")) return std::make_unique<CVsCodeWriter>();
    if (f == QLatin1String("markdown")) return std::make_unique<CMarkdownWriter>();
    return nullptr;
}

QStringList CFormatWriter::Formats() { return {QStringLiteral("vscode"), QStringLiteral("markdown")}; }

CFormatWriter::FileWrite CFormatWriter::WriteIfChanged(const QString& file, const QByteArray& bytes, QString* error) {
    const QFileInfo info(file);
    if (info.exists()) {
        if (info.isDir() || info.isSymLink()) {
            if (error) *error = QStringLiteral("%1: not a plain file").arg(file);
            return FileWrite::Failed;
        }
        if (info.size() == bytes.size()) {
            QFile old(file);
            if (old.open(QIODevice::ReadOnly) && old.readAll() == bytes) return FileWrite::Unchanged;
        }
    } else if (!QDir().mkpath(info.absolutePath())) {
        if (error) *error = QStringLiteral("Unable to make the folder %1").arg(info.absolutePath());
        return FileWrite::Failed;
    }
    QSaveFile out(file);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        if (error) *error = QStringLiteral("Unable to write %1: %2").arg(file, out.errorString());
        return FileWrite::Failed;
    }
    return FileWrite::Written;
}
