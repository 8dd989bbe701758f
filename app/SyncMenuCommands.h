#pragma once
// Tools, Sync Now and Tools, Sync Settings... in the window's Tools menu (added on the first call,
// enabled while a database is open), and the sync's figures kept in the status bar.
class QMenu;
class QStatusBar;

void SyncMenuCommands(QMenu* tools, QStatusBar* status, bool databaseOpen);
// Syncs the open database with the folder and remote of the settings, showing the outcome in the
// status bar. False when it failed (the reason shown) or no folder is chosen.
bool SyncNow(QStatusBar* status);
// Syncs when the settings ask for it at this moment (and a folder is chosen).
enum class SyncMoment { Start, Exit };
void SyncWhen(SyncMoment moment, QStatusBar* status);
