#pragma once
// The one rule for language and category names, wherever a name comes in (the editor, the
// command line, an exchange file): white space around it is dropped, and what is left must not
// be empty. A name with blanks around it would stand beside the same name without them, and
// one of blanks only could not be shown or named again.
#include <QString>
#include <QStringList>

// The name as stored: outer white space removed. Empty when nothing is left: no usable name.
QString CleanName(const QString& name);
// The usable names in a comma-separated categories text, each cleaned, empty ones dropped.
QStringList CleanNames(const QString& categories);
// The engine's NOCASE comparison key (ASCII letters folded, nothing else), so that a lookup
// in memory matches exactly the rows the engine's Name = '...' matches.
QString NoCaseKey(const QString& name);
