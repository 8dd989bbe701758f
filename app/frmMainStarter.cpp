#include "app/frmMainStarter.h"

#include "db/basDB.h"
#include "util/basProgram.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

// A first window until the full main window lands: opens the last database and shows it.
int RunMainWindow(QApplication& app) {
    InitGlobals();
    QMainWindow w;
    w.setObjectName(QStringLiteral("frmMain"));
    QString file;
    const QString name = OpenDatabase(file);
    w.setWindowTitle(name.isEmpty() ? AppCaption() : AppCaption() + QStringLiteral(" (") + name + QLatin1Char(')'));
    w.setCentralWidget(new QLabel(file.isEmpty() ? QStringLiteral("No database open") : file));
    w.resize(800, 600);
    w.show();
    const int rc = app.exec();
    ReleaseGlobals();
    return rc;
}
