#include "app/frmMainStarter.h"

#include "app/frmMain.h"
#include "db/basDB.h"
#include "util/CPrompt.h"

#include <QApplication>

#if __has_include("ui/QtPrompt.h")
#include "ui/QtPrompt.h"
#define VG_HAVE_QT_PROMPT 1
#endif

int RunMainWindow(QApplication& app) {
#ifdef VG_HAVE_QT_PROMPT
    QtPrompt prompt;
    CPrompt* previous = SetPrompt(&prompt);
#endif
    int rc = 0;
    {
        // The window creates the connection and the settings store when it loads.
        frmMain w;
        w.show();
        rc = app.exec();
    }
    ReleaseGlobals();
#ifdef VG_HAVE_QT_PROMPT
    SetPrompt(previous);
#endif
    return rc;
}
