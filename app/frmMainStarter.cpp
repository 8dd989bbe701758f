#include "app/frmMainStarter.h"

#include "app/CApplication.h"
#include "app/frmMain.h"
#include "db/basDB.h"
#include "ui/QtPrompt.h"
#include "util/CPrompt.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>

namespace {

// For the start-up benchmark, which times the program from outside: with VG_QUIT_AFTER_FIRST_PAINT
// set, the program prints "painted N titles" once the title list has painted for the first time
// (the lists are filled while the window is built, so that paint shows them) and quits.
class FirstPaintReport : public QObject {
public:
    explicit FirstPaintReport(QAbstractItemView* titles) : QObject(titles), m_titles(titles) {
        titles->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            watched->removeEventFilter(this);
            // Once this paint has gone through.
            QTimer::singleShot(0, qApp, [n = m_titles->model()->rowCount()] {
                std::printf("painted %d titles\n", n);
                std::fflush(stdout);
                QApplication::exit(0);  // no closing: no save question, no daily backup
            });
        }
        return false;
    }

private:
    QAbstractItemView* m_titles;
    bool m_done = false;
};

}  // namespace

int RunMainWindow(QApplication& app) {
    QtPrompt prompt;
    CPrompt* previous = SetPrompt(&prompt);
    int rc = 0;
    {
        CApplication program;
        frmMain& w = program.ShowMainWindow();
        if (qEnvironmentVariableIsSet("VG_QUIT_AFTER_FIRST_PAINT"))
            new FirstPaintReport(w.findChild<QAbstractItemView*>(QStringLiteral("lstItem")));
        rc = app.exec();
    }
    SetPrompt(previous);
    return rc;
}
