#include "formats/CFormatWriter.h"

#include "formats/CFileWriteQueue.h"
#include "formats/CMarkdownWriter.h"
#include "formats/CVsCodeWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

std::unique_ptr<CFormatWriter> CFormatWriter::Create(const QString& format) {
    const QString f = format.trimmed().toLower();
    if (f == QLatin1String("vscode")) return std::make_unique<CVsCodeWriter>();
    if (f == QLatin1String("markdown")) return std::make_unique<CMarkdownWriter>();
    return nullptr;
}

QStringList CFormatWriter::Formats() { return {QStringLiteral("vscode"), QStringLiteral("markdown")}; }

CFormatWriter::FileWrite CFormatWriter::WriteIfChanged(const QString& file, const QByteArray& bytes, QString* error) {
    const QFileInfo info(file);
    if (!info.dir().exists() && !QDir().mkpath(info.absolutePath())) {
        if (error) *error = QStringLiteral("Unable to make the folder %1").arg(info.absolutePath());
        return FileWrite::Failed;
    }
    bool written = false;
    if (!CFileWriteQueue::WriteOne(QFile::encodeName(info.absoluteFilePath()), bytes, CFileWriteQueue::Mode::IfChanged,
                                   ".vellumgranary-write.tmp", error, &written))
        return FileWrite::Failed;
    return written ? FileWrite::Written : FileWrite::Unchanged;
}
