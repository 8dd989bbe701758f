#pragma once
// One snippet read from another tool's file, as it would be stored: the item, what the five
// tables cannot hold about it, and an attachment to store with it.
#include "db/CItem.h"
#include "db/basDBItemAttributes.h"

#include <QString>

struct CImportEntry {
    CItem item;                 // id: a number to keep when it is free (our Markdown folder), else -1
    ItemAttributes attributes;  // kept in the additional table
    QString attachmentPath;     // a file to attach; empty when none
    QString attachmentName;     // the name it is stored under; empty: the file's own
    QString origin;             // the file it came from
};
