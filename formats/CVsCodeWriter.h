#pragma once
// VS Code user snippets: a folder with one <language id>.json per language, each snippet keyed
// by its title (made unique in its file), with its kept prefix, description and scope or a
// prefix made from the title. Bodies are escaped so that VS Code inserts exactly the stored
// code, except those that came from VS Code with snippet syntax, which go back as they came.
#include "db/CItem.h"
#include "db/basDBItemAttributes.h"
#include "formats/CFormatWriter.h"

class CVsCodeWriter : public CFormatWriter {
public:
    bool Write(CSQLite& db, const QString& folder, CExportSummary& summary) override;

    // The body as the file holds it: the kept description (appended on import) taken off, then
    // escaped unless the item is marked as VS Code syntax.
    static QString SnippetBody(const CItem& item, const ItemAttributes& attributes);
    // The code without a description AppendDescription added; code unchanged when it did not.
    static QString StripDescription(const QString& body, const QString& description);
    // "Read a file" -> "read-a-file": lower-case letters and digits joined by '-'.
    static QString PrefixFromTitle(const QString& title);
};
