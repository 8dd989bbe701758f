// The query tester on the 100,000-item database: SELECT * FROM qryItem from the Exec click to
// the filled and painted result box, the longest time the window did not handle events, the
// result text's size and the process's peak memory.
// Usage: bench_sql [--runs R]   (default 3; the median is shown)
// Figures only; nothing is asserted.
#include "BenchDatabase.h"
#include "BenchStats.h"
#include "BenchWindow.h"

#include "db/basDB.h"
#include "ui/QtPrompt.h"
#include "ui/TextEx.h"
#include "ui/frmSQL.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = RunsArgument(app.arguments(), 3);
    const QString cached = BenchDatabaseOrExit();
    BenchWindowEnv env;
    QtPrompt windows;  // the real progress window, which lets events run
    SetPrompt(&windows);
    InitGlobals();
    QString file = BenchWorkCopy(cached, env.Path(QStringLiteral("sql.db")));
    if (OpenDatabase(file).isEmpty()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }
    const qint64 before = peakKb();
    std::printf("Query tester on %s, median of %d runs\n", qPrintable(file), runs);
    std::printf("%-34s %8s %10s %10s %12s %10s\n", "statement", "lines", "text MB", "ms", "frozen ms", "peak MB");
    for (const char* sql : {"SELECT * FROM qryItem", "SELECT ID, Title FROM qryItem",
                            "SELECT count(*) FROM qryItem"}) {
        std::vector<double> ms, frozen;
        int lines = 0;
        qsizetype chars = 0;
        for (int i = 0; i < runs; ++i) {
            frmSQL win;
            win.resize(800, 600);
            win.show();
            QApplication::processEvents();
            auto* text = win.findChild<TextEx*>(QStringLiteral("txtSQL"));
            auto* result = win.findChild<TextEx*>(QStringLiteral("txtResult"));
            text->SetText(QLatin1String(sql));
            // A timer that runs whenever events are handled: its longest gap is the freeze.
            QElapsedTimer t, tick;
            qint64 longest = 0;
            QTimer beat;
            beat.setInterval(5);
            QObject::connect(&beat, &QTimer::timeout, [&] {
                longest = std::max(longest, tick.restart());
            });
            t.start();
            tick.start();
            beat.start();
            win.findChild<QPushButton*>(QStringLiteral("cmdExec"))->click();
            win.repaint();
            longest = std::max(longest, tick.elapsed());
            beat.stop();
            ms.push_back(t.nsecsElapsed() / 1e6);
            frozen.push_back(double(longest));
            lines = result->LineCount();
            chars = result->TextLength();
        }
        std::printf("%-34s %8d %10.1f %10.0f %12.0f %10.0f\n", sql, lines, chars / 1e6, median(ms),
                    median(frozen), peakKb() / 1024.0);
    }
    std::printf("peak before the first statement: %.0f MB\n", before / 1024.0);
    ReleaseGlobals();
    SetPrompt(&env.prompt);
    return 0;
}
