#pragma once
// Small stateless helpers on paths and files: splitting and joining, a free file name, the
// temporary folder and size texts for display.
// Paths use the platform's separator; '/' is accepted everywhere as well.
#include <QString>

// The text before the last separator (a trailing one is skipped); "/" for a top-level entry
// of the root; empty for an empty path or one without a separator.
QString GetParentFolder(const QString& path);
// The text after the last separator; the whole path when there is none.
QString GetFileName(const QString& path);
// Of the file-name part: the text after its last dot when that dot is not its first character.
QString GetFileExtension(const QString& path);
// The path up to its last dot when that dot lies in the file-name part.
QString StripExtension(const QString& path);
// The path itself when no file has that name, otherwise the first free "name (k).ext"
// (or "name (k)" for a name without extension), k = 1, 2, ...; empty for an empty path.
QString GetUniqueFileName(const QString& path);
// True for an existing file that is not a folder; false on any error.
bool FileExists(const QString& path);
// True when both paths name one existing file, through links and relative parts alike.
bool SameFile(const QString& a, const QString& b);
// folder + separator (unless it ends with one) + name.
QString JoinPath(const QString& folder, const QString& name);
// The user's temporary folder, ending with a separator.
QString GetTempFolder();
// "512 bytes", "1.95 KB", "19.5 KB", "195 KB", "0.97 MB" ...: three significant digits,
// truncated, as the shell shows sizes.
QString FormatByteSize(qint64 bytes);
// Twips (1/1440 inch) to pixels at 96 dots per inch, to the nearest whole number.
int TwipsToPixels(int twips);
