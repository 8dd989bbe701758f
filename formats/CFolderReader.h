#pragma once
// Any folder of source files (a gist checkout, a dotfiles folder): one item per text file, named
// after the file without its extension, its language from the extension, its category the
// sub-folder it lies in. Hidden files and folders (.git) and files that are not text are left
// out; the latter are named in the preview.
#include "formats/CFormatReader.h"

class CFolderReader : public CFormatReader {
public:
    bool Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) override;

    static QString FileAttribute() { return QStringLiteral("folder.file"); }  // the relative path
};
