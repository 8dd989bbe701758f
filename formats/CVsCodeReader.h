#pragma once
// VS Code's snippets: a user snippets file (<language id>.json), a *.code-snippets file, or a
// folder of them. One item per snippet entry; the entry's key is the title.
#include "formats/CFormatReader.h"

class CVsCodeReader : public CFormatReader {
public:
    bool Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) override;

    // The attribute names this format keeps.
    static QString PrefixAttribute() { return QStringLiteral("vscode.prefix"); }      // one text
    static QString PrefixesAttribute() { return QStringLiteral("vscode.prefixes"); }  // a JSON list
    static QString ScopeAttribute() { return QStringLiteral("vscode.scope"); }
    static QString SyntaxAttribute() { return QStringLiteral("vscode.syntax"); }  // "1": stored as written
    static QString FileTemplateAttribute() { return QStringLiteral("vscode.isFileTemplate"); }
    // The description any format keeps beside the body it is appended to.
    static QString DescriptionAttribute() { return QStringLiteral("description"); }

private:
    bool ReadFile(const QString& file, const Sink& sink, CReadReport& report, qint64 doneBefore, QString* error);
};
