#pragma once
// A destructive command that can be taken back: its name, kind and when it ran.
#include <QDateTime>
#include <QString>

struct CUndoEntry {
    qint64 undoId = 0;
    QString command;  // as the menu names it: "Delete", "Rename Category", "Import" ...
    QString kind;     // what undoing it takes: "delete", "rename", "import", "restore", "clear"
    QDateTime done;   // UTC
    int items = 0;    // items it changed
};
