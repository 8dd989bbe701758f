#include "formats/CFormatReader.h"

#include "formats/CFolderReader.h"
#include "formats/CMarkdownReader.h"
#include "formats/CMassCodeReader.h"
#include "formats/CPetReader.h"
#include "formats/CSnippetsLabReader.h"
#include "formats/CTheWayReader.h"
#include "formats/CVsCodeReader.h"

std::unique_ptr<CFormatReader> CFormatReader::Create(const QString& format) {
    const QString f = format.trimmed().toLower();
    if (f == QLatin1String("vscode")) return std::make_unique<CVsCodeReader>();
    if (f == QLatin1String("masscode")) return std::make_unique<CMassCodeReader>();
    if (f == QLatin1String("pet")) return std::make_unique<CPetReader>();
    if (f == QLatin1String("the-way")) return std::make_unique<CTheWayReader>();
    if (f == QLatin1String("snippetslab")) return std::make_unique<CSnippetsLabReader>();
    if (f == QLatin1String("folder")) return std::make_unique<CFolderReader>();
    if (f == QLatin1String("markdown")) return std::make_unique<CMarkdownReader>();
    return nullptr;
}

QStringList CFormatReader::Formats() {
    return {QStringLiteral("vscode"), QStringLiteral("masscode"), QStringLiteral("pet"), QStringLiteral("the-way"),
            QStringLiteral("snippetslab"), QStringLiteral("folder"), QStringLiteral("markdown")};
}

CFormatReader::PathKind CFormatReader::PathKindOf(const QString& format) {
    const QString f = format.trimmed().toLower();
    if (f == QLatin1String("folder") || f == QLatin1String("markdown")) return PathKind::Folder;
    if (f == QLatin1String("vscode") || f == QLatin1String("masscode")) return PathKind::FileOrFolder;
    return PathKind::File;
}
