// Browse actions in the real main window (offscreen): from the user's action to the repainted
// lists, the store's queries included, on a database of 10 languages x 20 categories.
// Usage: bench_window [--items N] [--runs R]   (defaults 100000 and 5; medians are shown)
// Figures only; nothing is asserted.
#include "BenchDatabase.h"
#include "BenchStats.h"
#include "BenchWindow.h"

#include "app/frmMain.h"
#include "db/basDB.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Milliseconds from the action to the window repainted with nothing left in the queue.
double Time(frmMain& win, const std::function<void()>& action) {
    QElapsedTimer t;
    t.start();
    action();
    Settle();
    win.repaint();
    return t.nsecsElapsed() / 1e6;
}

void Click(QWidget* w, const QPoint& at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, {}, {});
    QApplication::sendEvent(w, &release);
}

void ClickRow(QAbstractItemView* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    Click(list->viewport(), list->visualRect(index).center());
}

BenchProgram Start() {
    BenchProgram win;
    win->resize(1000, 700);
    win->show();
    Settle();
    win->repaint();
    return win;
}

double StartUp(int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        auto win = Start();
        ms.push_back(t.nsecsElapsed() / 1e6);
        win->close();
    }
    return median(ms);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int runs = RunsArgument(args, 5);
    BenchSpec spec;
    spec.languages = 10;
    spec.categoriesPerLanguage = 20;
    const int n = args.indexOf(QStringLiteral("--items"));
    if (n > 0 && n + 1 < args.size()) spec.items = args[n + 1].toInt();
    BenchSpec none = spec;
    none.items = 0;
    none.languages = 0;

    QString error;
    const QString full = BenchDatabase(spec, &error);
    const QString empty = full.isEmpty() ? QString() : BenchDatabase(none, &error);
    if (empty.isEmpty()) {
        std::fprintf(stderr, "cannot build the databases: %s\n", qPrintable(error));
        return 1;
    }
    BenchWindowEnv env;
    env.StartWith(BenchWorkCopy(empty, env.Path(QStringLiteral("empty.db"))));
    const double startEmpty = StartUp(runs);
    env.StartWith(BenchWorkCopy(full, env.Path(QStringLiteral("full.db"))));
    const double startFull = StartUp(runs);

    BenchProgram win = Start();
    auto* titles = win->findChild<QAbstractItemView*>(QStringLiteral("lstItem"));
    auto* categories = win->findChild<QAbstractItemView*>(QStringLiteral("lstCategory"));
    auto* languages = win->findChild<QComboBox*>(QStringLiteral("cboLanguage"));
    auto* caption = win->findChild<QLabel*>(QStringLiteral("lblTitles"));
    std::printf("Window on %d items, %d languages x %d categories, median of %d runs, wall ms\n",
                titles->model()->rowCount(), spec.languages, spec.categoriesPerLanguage, runs);
    std::printf("%-44s %10s\n", "action", "ms");
    std::printf("%-44s %10.1f\n", "start-up, empty database", startEmpty);
    std::printf("%-44s %10.1f  (%.2fx)\n", "start-up, all titles shown", startFull, startFull / startEmpty);

    // A commit (any save) makes the next list compose its rows anew from the file; another
    // program's commit also empties the connection's page cache.
    const auto commit = [] { gDB->Run(QStringLiteral("UPDATE tblItem SET FileSize = FileSize WHERE ID = 1")); };
    const auto commitElsewhere = [] {
        sqlite3* other = nullptr;
        sqlite3_open(gDB->Filename().toUtf8().constData(), &other);
        sqlite3_exec(other, "UPDATE tblItem SET FileSize = FileSize WHERE ID = 1", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    };
    std::vector<double> all, sort, language, allAfterCommit, allAfterOther;
    for (int i = 0; i < runs; ++i) {
        ClickRow(categories, 1);
        Settle();
        all.push_back(Time(*win, [&] { ClickRow(categories, 0); }));
        sort.push_back(Time(*win, [&] { Click(caption, caption->rect().center()); }));
        ClickRow(categories, 1);
        Settle();
        commit();
        allAfterCommit.push_back(Time(*win, [&] { ClickRow(categories, 0); }));
        ClickRow(categories, 1);
        Settle();
        commitElsewhere();
        allAfterOther.push_back(Time(*win, [&] { ClickRow(categories, 0); }));
    }
    int shown = 0;
    for (int i = 0; i < runs; ++i) {
        language.push_back(Time(*win, [&] { languages->setCurrentIndex(1 + i % spec.languages); }));
        shown += titles->model()->rowCount();
    }
    std::printf("%-44s %10.1f\n", "click <All Categories> (all titles)", median(all));
    std::printf("%-44s %10.1f\n", "  the same after a commit", median(allAfterCommit));
    std::printf("%-44s %10.1f\n", "  the same after another program's commit", median(allAfterOther));
    std::printf("%-44s %10.1f\n", "click the titles caption (sort)", median(sort));
    std::vector<double> query, queryAfterCommit, statement;
    for (int i = 0; i < runs; ++i) {
        LoadItems(-1, -1, QStringLiteral("Title"));
        QElapsedTimer t;
        t.start();
        LoadItems(-1, -1, QStringLiteral("Title"));
        query.push_back(t.nsecsElapsed() / 1e6);
        commit();
        t.restart();
        LoadItems(-1, -1, QStringLiteral("Title"));
        queryAfterCommit.push_back(t.nsecsElapsed() / 1e6);
        // Inside a transaction the rows come from one statement over the tables, as before.
        gDB->Run(QStringLiteral("BEGIN"));
        t.restart();
        LoadItems(-1, -1, QStringLiteral("Title"));
        statement.push_back(t.nsecsElapsed() / 1e6);
        gDB->Run(QStringLiteral("ROLLBACK"));
    }
    std::printf("%-44s %10.1f\n", "  the store's query alone (all titles)", median(query));
    std::printf("%-44s %10.1f\n", "  the same after a commit", median(queryAfterCommit));
    std::printf("%-44s %10.1f\n", "  one statement instead (in a transaction)", median(statement));
    std::printf("%-44s %10.1f  (%d titles on average)\n", "change language", median(language), shown / runs);

    // The window's own save: an item's title edited and saved, to the three lists shown again
    // (a language is picked: the item is saved under it).
    languages->setCurrentIndex(1);
    ClickRow(categories, 0);
    Settle();
    auto* title = win->findChild<QLineEdit*>(QStringLiteral("txtTitle"));
    auto* save = win->findChild<QAbstractButton*>(QStringLiteral("cmdSave"));
    std::vector<double> saves;
    for (int i = 0; i < runs; ++i) {
        ClickRow(titles, 10 + i);
        Settle();
        title->setText(title->text() + QLatin1Char('x'));
        saves.push_back(Time(*win, [&] { save->click(); }));
    }
    std::printf("%-44s %10.1f  (%d titles, %d messages)\n", "save an edited title, all lists reloaded",
                median(saves), titles->model()->rowCount(), env.prompt.messages);

    // Typing a language name at 80 ms a key, then waiting: how often the lists reload.
    languages->setCurrentIndex(0);
    Settle();
    int reloads = 0;
    const QObject counting;  // disconnects before reloads goes
    QObject::connect(categories->model(), &QAbstractItemModel::modelReset, &counting, [&] { ++reloads; });
    QLineEdit* edit = languages->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QElapsedTimer typing;
    typing.start();
    const auto key = [&](int code, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
        QApplication::sendEvent(edit, &release);
        QElapsedTimer gap;
        gap.start();
        while (gap.elapsed() < 80) QApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    key(Qt::Key_Delete, QString());
    for (const QChar c : QStringLiteral("Rust")) key(c.toUpper().unicode(), QString(c));
    const double typed = typing.nsecsElapsed() / 1e6;
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("%-44s %10d  (%.0f ms of typing incl. reloads; %d titles)\n", "reloads while typing \"Rust\" (5 keys)",
                reloads, typed, titles->model()->rowCount());
    std::printf("peak memory %lld KB\n", static_cast<long long>(peakKb()));
    win->close();
    return 0;
}
