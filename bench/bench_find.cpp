// Find in the real main window (offscreen) on the 100,000-item database: from the menu command
// to the filled title list with the first hit opened in the editor, beside the search alone.
// Usage: bench_find [--runs R]   (default 7; the median is shown)
// Figures only; nothing is asserted.
#include "BenchDatabase.h"
#include "BenchStats.h"
#include "BenchWindow.h"

#include "app/frmMain.h"
#include "db/basDB.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QAbstractItemView>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = RunsArgument(app.arguments(), 7);
    const QString cached = BenchDatabaseOrExit();
    BenchWindowEnv env;
    env.StartWith(BenchWorkCopy(cached, env.Path(QStringLiteral("find.db"))));
    BenchPrompt& prompt = env.prompt;

    BenchProgram program;
    frmMain& win = *program;
    win.resize(1000, 700);
    win.show();
    QApplication::processEvents();
    QAction* find = win.findChild<QAction*>(QStringLiteral("mnuEditFind"));
    auto* titles = win.findChild<QAbstractItemView*>(QStringLiteral("lstItem"));
    auto* title = win.findChild<QLineEdit*>(QStringLiteral("txtTitle"));

    std::printf("Find on %d items, median of %d runs, wall ms\n", titles->model()->rowCount(), runs);
    std::printf("%-14s %8s %12s %12s\n", "query", "hits", "Find (ms)", "search (ms)");
    for (const char* word : {BenchCommonWord(), BenchRareWord(), BenchPrefix()}) {
        std::vector<double> window, store;
        int hits = 0;
        for (int i = 0; i < runs; ++i) {
            prompt.search = QLatin1String(word);
            QElapsedTimer t;
            t.start();
            find->trigger();
            // The first hit opens once the list's selection event has run; then one paint.
            while (title->text().isEmpty() && prompt.messages == 0) QApplication::processEvents();
            win.repaint();
            window.push_back(t.nsecsElapsed() / 1e6);
            hits = titles->model()->rowCount();
            t.restart();
            SearchItems(QLatin1String(word), -1, -1);
            store.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("%-14s %8d %12.1f %12.1f\n", word, hits, median(window), median(store));
    }
    std::printf("peak memory %lld KB\n", static_cast<long long>(peakKb()));
    win.close();
    return 0;
}
