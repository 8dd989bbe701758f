#pragma once
class QApplication;
// Installs the Qt prompt, shows the main window and runs the event loop.
int RunMainWindow(QApplication& app);
