// Window tests need a QApplication; ctest runs them on the offscreen platform.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);

    // A dialog that a test failed to answer would block the run; close it after a while so the
    // test fails instead of hanging.
    QPointer<QWidget> modal;
    QDeadlineTimer deadline;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w != modal) {
            modal = w;
            deadline.setRemainingTime(20000);
        } else if (w && deadline.hasExpired()) {
            std::fprintf(stderr, "watchdog: closing unanswered %s \"%s\"\n",
                         w->metaObject()->className(), qPrintable(w->windowTitle()));
            if (auto* d = qobject_cast<QDialog*>(w))
                d->reject();
            else
                w->close();
            ADD_FAILURE() << "a dialog was left unanswered";
        }
    });
    watchdog.start(500);
    return RUN_ALL_TESTS();
}
