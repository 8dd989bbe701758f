#pragma once
// Puts File, Import From... and File, Export To... into the window's File menu, after another
// command, the first time it is called; every call enables them when a database is open.
// reload runs after a committed import, so the lists show the new items.
#include <functional>

class QAction;
class QMenu;

void FormatMenuCommands(QMenu* file, QAction* after, bool databaseOpen, const std::function<void()>& reload);
