#pragma once
// The most memory one piece of content read from a file may take (an attachment's data, an
// item's body, an exchange file): a length or a claim beyond it is refused before anything is
// allocated, so a hostile or endless file fails with a message instead of ending the program.
#include <QtGlobal>

constexpr qint64 kMaxContentBytes = qint64(1) << 30;
// "1 GB", for messages.
inline const char* MaxContentText() { return "1 GB"; }

// The most characters of one title a list keeps (bytes for a title stored as a blob): a list
// holds every title at once, and one hostile title of hundreds of megabytes would otherwise be
// copied several times over. The item itself shows its whole title.
constexpr int kListTitleChars = 4096;
