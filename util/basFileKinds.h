#pragma once
// What kind of file a path names, for the commands that read or write whole files: a device
// node, a pipe or a socket is never content to store and never a place to put a file (a write
// that renames a new file over it would replace the node itself).
#include <QString>

class QFile;

// True when nothing is at path, or a regular file (a symbolic link to one counts as one); false
// with "Cannot write PATH: it is not a regular file" (or "... it is a folder") otherwise.
bool IsWritableTarget(const QString& path, QString* why);
// Opens path for reading when it is a regular file (links followed) of at most limit bytes;
// false with the reason otherwise, nothing read. The size is checked on the opened file, so a
// file swapped for another in between is checked too.
bool OpenRegularSource(QFile& file, const QString& path, qint64 limit, QString* why);
