#include "app/frmMainStarter.h"

#include "app/frmMain.h"
#include "db/basDB.h"
#include "ui/QtPrompt.h"
#include "util/CPrompt.h"

#include <QApplication>

int RunMainWindow(QApplication& app) {
    QtPrompt prompt;
    CPrompt* previous = SetPrompt(&prompt);
    int rc = 0;
    {
        // The window creates the connection and the settings store when it loads.
        frmMain w;
        w.show();
        rc = app.exec();
    }
    ReleaseGlobals();
    SetPrompt(previous);
    return rc;
}
