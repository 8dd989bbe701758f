#pragma once
// A Markdown folder this program exported (docs/markdown-folder.md): one item per file with our
// front matter, under the identity, number, title, language, categories and time it names, its
// attachment read from the file beside it. Markdown files without front matter are named in the
// preview and left out.
#include "formats/CFormatReader.h"

#include <QVariantMap>

class CMarkdownReader : public CFormatReader {
public:
    bool Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) override;
    // One file's entry. False with "FILE:LINE:COLUMN: reason" when it is malformed; skipped (with
    // the reason) when it is readable but not one of ours.
    static bool ReadFile(const QString& file, const QString& rootFolder, CImportEntry& entry, QString* skipped,
                         QString* error);
    // The item's title, language, categories and time from our front matter v; a blank title
    // becomes "Untitled", a missing one defaultTitle; the time stays invalid when none is named.
    static void FillItem(const QVariantMap& v, const QString& defaultTitle, CItem& item);
};
