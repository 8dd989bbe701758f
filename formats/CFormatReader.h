#pragma once
// Reads one other tool's snippets. Entries are handed over one at a time, so that a large source
// is never held twice in memory; the caller decides what becomes of them (a preview, the store).
// A malformed file fails as a whole with "FILE:LINE:COLUMN: reason" before or while entries flow,
// so the caller keeps its writes in one transaction; a snippet that cannot be read alone is
// skipped and reported, and the rest goes on.
#include "formats/CImportEntry.h"
#include "formats/CReadReport.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class CFormatReader {
public:
    // Takes one entry; false stops the reading (Read then returns false with no error).
    using Sink = std::function<bool(CImportEntry& entry)>;

    virtual ~CFormatReader() = default;
    // Reads path (a file or a folder, as the format takes it). False with the reason when the
    // path is missing or unreadable or a file is malformed; error stays empty when sink stopped.
    virtual bool Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) = 0;

    // The reader of a format ("vscode", "masscode", "pet", "the-way", "snippetslab", "folder",
    // "markdown"); nullptr for an unknown name.
    static std::unique_ptr<CFormatReader> Create(const QString& format);
    // The formats, in the order the window offers them.
    static QStringList Formats();
    // Whether the format reads a folder only (true), a file only (false) ...
    enum class PathKind { File, Folder, FileOrFolder };
    static PathKind PathKindOf(const QString& format);
};
