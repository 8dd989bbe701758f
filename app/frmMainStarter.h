#pragma once
class QApplication;
// Installs the Qt prompt, shows the main window (only the quick palette with quickOnly) and
// runs the event loop. The program answers later `--quick` calls while it runs.
int RunMainWindow(QApplication& app, bool quickOnly = false);
