#pragma once
// Our Markdown folder (docs/markdown-folder.md): one file per item under
// <language>/<first category>/, YAML front matter with sorted keys and the body in one fenced
// block, the attachment beside it. The same database always gives the same bytes (no export
// time inside), so the folder can live in version control; files of items no longer in the
// database are removed, other files are left alone.
#include "db/CItem.h"
#include "db/basDBItemAttributes.h"
#include "formats/CFormatWriter.h"

class CMarkdownWriter : public CFormatWriter {
public:
    bool Write(CSQLite& db, const QString& folder, CExportSummary& summary) override;

    // The front matter key that marks a file as ours, with the layout's version as value.
    static QString MarkKey() { return QStringLiteral("vellumgranary"); }
    // The bytes of one item's file; attributes include its identity; attachmentFile is the name
    // of the attachment's file beside it (empty when none).
    static QByteArray Compose(const CItem& item, const ItemAttributes& attributes, const QString& attachmentFile);
    // A text as a YAML double-quoted scalar: every character survives, line breaks included.
    static QString YamlQuote(const QString& text);
    // Gives every item without an identity a new one, in one transaction (export and sync).
    static bool AssignIdentities(CSQLite& db, QString* error);
};
