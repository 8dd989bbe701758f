#pragma once
// VS Code's snippet syntax in a body: tab stops ($1, ${1:label}, ${1|a,b|}), variables ($NAME,
// ${NAME}) and the escapes \$, \} and \\ that make those characters literal. A body without tab
// stops or variables inserts as its plain text with the escapes undone; Escape makes any text
// insert as itself, and Unescape(Escape(text)) == text for every text.
#include <QString>

class CSnippetSyntax {
public:
    // Whether VS Code would read a tab stop, placeholder, choice or variable in body: a '$' not
    // escaped by a backslash, followed by a digit, a letter or '_', or '{' and one of those.
    static bool HasSyntax(const QString& body);
    // The text VS Code inserts for a body without syntax: \$, \} and \\ become $, } and \; any
    // other backslash stays.
    static QString Unescape(const QString& body);
    // The body that makes VS Code insert text exactly: every '$' and each backslash that would
    // otherwise escape the next character ('$', '}' or '\') get a backslash.
    static QString Escape(const QString& text);
};
