#pragma once
// Names from a database (titles, languages, categories, attachment names) as single file names
// that stay inside the folder they are written to on every system: no folder separators, no
// "..", no NUL or control characters, none of the characters Windows refuses, no reserved
// Windows device name, no leading or trailing dots and blanks, and a length every file system
// takes.
#include <QString>

class CSafeFileName {
public:
    static constexpr int kMaxBytes = 120;  // UTF-8 bytes, leaving room for a suffix and extension

    // The safe form of name; fallback when nothing is left of it.
    static QString Make(const QString& name, const QString& fallback = QStringLiteral("Untitled"));
    // Whether name is one Make leaves unchanged (a file name read back from a folder).
    static bool IsSafe(const QString& name) { return !name.isEmpty() && Make(name, QString()) == name; }
};
