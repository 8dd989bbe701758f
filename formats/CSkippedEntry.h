#pragma once
// A snippet a reader could not take, named as the source names it, with the reason.
#include <QString>

struct CSkippedEntry {
    QString name;    // the snippet's name, or the file's for a whole file
    QString reason;  // "the body is neither a text nor a list of lines"
};
