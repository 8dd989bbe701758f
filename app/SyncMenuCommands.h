#pragma once
// Tools, Sync Now and Tools, Sync Settings... in the window's Tools menu (added on the first call,
// enabled while a database is open), and the sync's figures kept in the status bar.
class QMenu;
class QMainWindow;

void SyncMenuCommands(QMenu* tools, bool databaseOpen);
// Syncs the open database with the folder and remote of the settings, showing the outcome in the
// status bar (made only then, so the window's layout is untouched until a sync). False when it failed (the reason shown) or no folder is chosen.
bool SyncNow(QMainWindow* window);
// Syncs when the settings ask for it at this moment (and a folder is chosen).
enum class SyncMoment { Start, Exit };
void SyncWhen(SyncMoment moment, QMainWindow* window);
