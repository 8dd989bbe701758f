#include "app/frmMainStarter.h"

#include "app/CApplication.h"
#include "app/CSingleInstance.h"
#include "app/frmMain.h"
#include "db/basDB.h"
#include "ui/QtPrompt.h"
#include "util/CPrompt.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
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

// For the tests and benchmark of `--quick`, which watch the program from outside: with
// VG_QUICK_REPORT set, the program says when it listens and each time the palette has painted
// after being shown, and then hides the palette again for the next call.
class QuickPaintReport : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched->objectName() != QLatin1String("frmQuick") || !watched->isWidgetType()) return false;
        auto* palette = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show) m_armed = true;
        if (event->type() == QEvent::Paint && m_armed) {
            m_armed = false;
            QTimer::singleShot(0, palette, [palette] {
                std::printf("quick palette painted\n");
                std::fflush(stdout);
                palette->hide();
            });
        }
        return false;
    }

private:
    bool m_armed = false;
};

}  // namespace

int RunMainWindow(QApplication& app, bool quickOnly) {
    QtPrompt prompt;
    CPrompt* previous = SetPrompt(&prompt);
    int rc = 0;
    {
        CApplication program;
        frmMain& w = program.MakeMainWindow();
        if (qEnvironmentVariableIsSet("VG_QUIT_AFTER_FIRST_PAINT"))
            new FirstPaintReport(w.findChild<QAbstractItemView*>(QStringLiteral("lstItem")));
        const bool report = qEnvironmentVariableIsSet("VG_QUICK_REPORT");
        if (report) app.installEventFilter(new QuickPaintReport(&app));
        // A second program of the same user leaves the channel to the first.
        CSingleInstance instance;
        if (instance.Listen() && report) {
            std::printf("listening\n");
            std::fflush(stdout);
        }
        QObject::connect(&instance, &CSingleInstance::QuickRequested, &w, [&w] { w.ShowQuickFind(); });
        if (quickOnly) w.ShowQuickFind();
        else w.show();
        rc = app.exec();
    }
    SetPrompt(previous);
    return rc;
}
