#pragma once
// Writes every item of a database into a folder in another tool's format. A file is written
// only when its bytes change (a changed one through a temporary file beside it, so it is never
// left half written), so a second export of an unchanged database touches nothing.
#include "formats/CExportSummary.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class CSQLite;

class CFormatWriter {
public:
    virtual ~CFormatWriter() = default;
    // Exports db into folder (made when missing). Shows the progress window. False with the
    // summary's error, or cancelled.
    virtual bool Write(CSQLite& db, const QString& folder, CExportSummary& summary) = 0;

    // "vscode" or "markdown"; nullptr for another name.
    static std::unique_ptr<CFormatWriter> Create(const QString& format);
    static QStringList Formats();

    enum class FileWrite { Written, Unchanged, Failed };
    // Puts bytes into file unless it holds them already; a new file's folder is made.
    static FileWrite WriteIfChanged(const QString& file, const QByteArray& bytes, QString* error);
};
