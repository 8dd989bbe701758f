#pragma once
// The one table that turns other tools' language ids (VS Code's, massCode's, file extensions,
// names as SnippetsLab writes them) into this program's language names, and a name back into the
// id VS Code and Markdown fences know. Every importer and exporter goes through it.
#include <QString>

class CLanguageMap {
public:
    // The language name for a tool's id or a name ("python", "c_cpp", "shellscript", "C++"),
    // matched without regard to letter case. An unknown id keeps its own spelling; an empty one
    // gives fallback.
    static QString Name(const QString& id, const QString& fallback = QStringLiteral("Text"));
    // Whether the table knows the id or name.
    static bool IsKnown(const QString& id);
    // The language of a file, by its extension (".py") or its whole name ("Makefile"). Unknown
    // extensions give the extension itself, none at all gives "Text".
    static QString FromFileName(const QString& fileName);
    // The id VS Code and Markdown fences use for a language name ("C++" -> "cpp"). A name the
    // table does not know becomes its lower-case spelling with every character but letters,
    // digits, '+', '#', '-', '_' and '.' turned into '-'.
    static QString VsCodeId(const QString& name);
    // The info string of a Markdown code fence: VS Code's id, but the names Markdown renderers
    // know for shells and plain text.
    static QString FenceId(const QString& name);
};
