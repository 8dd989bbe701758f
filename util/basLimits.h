#pragma once
// The most memory one piece of content read from a file may take (an attachment's data, an
// item's body, an exchange file): a length or a claim beyond it is refused before anything is
// allocated, so a hostile or endless file fails with a message instead of ending the program.
#include <QtGlobal>

constexpr qint64 kMaxContentBytes = qint64(1) << 30;
// "1 GB", for messages.
inline const char* MaxContentText() { return "1 GB"; }
