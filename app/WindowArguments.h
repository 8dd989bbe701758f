#pragma once
// The window program's command line: one optional database file to open instead of the
// remembered one (what a file manager passes through the desktop entry's %f), and --quick for
// the quick palette (of the running program when there is one).
#include <QString>
#include <QStringList>

struct WindowArguments {
    enum class Action { Run, Help, Version, Usage };
    Action action = Action::Run;
    QString database;  // absolute path, or empty for the remembered database
    QString error;     // why the arguments were refused (Action::Usage)
    bool quick = false;  // --quick: the palette alone
};

// args: the arguments after the program name, with the toolkit's own options removed.
WindowArguments ParseWindowArguments(const QStringList& args);
QString WindowUsage();

// The file the main window opens at start-up in place of the remembered one; taking it
// empties it, so a second window starts as usual.
void SetStartupDatabase(const QString& path);
QString TakeStartupDatabase();
