// The quick palette on the 100,000-item database, driven offscreen as a user would: Ctrl+K in
// the main window to the painted palette (and to its first list), each typed letter to the
// updated, painted list (200 letters: titles only, then with body hits), the memory of the
// program with the palette open against without, and `vellumgranary --quick` to the painted
// palette of a running program (a child process, timed from outside).
// Usage: bench_quick [--runs R] [--engine-only] [--slow MS]
//   R: Ctrl+K and --quick repetitions (default 20); --engine-only: the ranking alone;
//   --slow: names each typed letter that took longer than MS
#include "BenchDatabase.h"
#include "BenchStats.h"
#include "BenchWindow.h"

#include "app/frmMain.h"
#include "app/frmQuick.h"
#include "db/basDB.h"
#include "search/CQuickSearcher.h"
#include "search/CQuickIndex.h"
#include "ui/QtPrompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

qint64 rssKb(const char* field = "VmRSS:") {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    return -1;
}

// CPU time of this thread: the machine may be shared, the wall clock then says little.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Sets flag on the next paint of the watched widget.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
    }
};

frmQuick* palette() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* q = qobject_cast<frmQuick*>(w)) return q;
    return nullptr;
}

void settle(int ms = 50) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

void report(const char* what, const std::vector<double>& ms) {
    if (ms.empty()) return;
    std::printf("%-46s median %7.2f ms   worst %7.2f ms   (%zu)\n", what, median(ms),
                *std::max_element(ms.begin(), ms.end()), ms.size());
}

// 200 letters: the first ten characters of twenty titles spread over the file.
QStringList queries(const QString& db) {
    CSQLite c;
    c.OpenFile(db);
    QStringList out;
    for (int i = 0; i < 20; ++i) {
        const QString title = c.LookupField(QStringLiteral("ftsItem"), QStringLiteral("Title"),
                                            {QStringLiteral("docid"), 1 + i * 4999});
        out << title.left(10).leftJustified(10, QLatin1Char('x'));
    }
    return out;
}

double g_slow = -1;  // --slow

std::vector<double> typeLetters(frmQuick* q, const QStringList& words) {
    auto* box = q->findChild<QLineEdit*>(QStringLiteral("txtQuick"));
    auto* status = q->findChild<QLabel*>(QStringLiteral("lblQuickStatus"));
    std::vector<double> ms;
    int shown = 0;
    // Counts for this call only: a connection left behind would count into a finished frame.
    const QMetaObject::Connection counting = QObject::connect(q, &frmQuick::ResultsShown, q, [&shown] { ++shown; });
    for (const QString& word : words) {
        box->clear();
        (void)QTest::qWaitFor([&] { return status->text() != QLatin1String("Searching..."); }, 30000);
        settle(20);
        for (QChar ch : word) {
            const int before = shown;
            QElapsedTimer t;
            t.start();
            // The wait sleeps as the program's own event loop does: a loop that polls would take
            // a core from the search's two threads.
            QEventLoop wait;
            QObject::connect(q, &frmQuick::ResultsShown, &wait, &QEventLoop::quit);
            QTimer::singleShot(30000, &wait, &QEventLoop::quit);
            QTest::keyClicks(box, QString(ch));
            if (shown == before) wait.exec();
            QApplication::processEvents();  // the list's paint
            ms.push_back(t.nsecsElapsed() / 1e6);
            if (g_slow >= 0 && ms.back() > g_slow) std::printf("  slow letter: %-12s %7.2f ms\n", qPrintable(box->text()), ms.back());
        }
    }
    QObject::disconnect(counting);
    return ms;
}

// `--quick` against a running copy of the program; empty when it could not run.
std::vector<double> quickFromOutside(const QString& db, int runs, double* first) {
    QTemporaryDir tmp;
    const QString bin = tmp.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    QDir().mkpath(tmp.filePath(QStringLiteral("home")));
    QDir().mkpath(tmp.filePath(QStringLiteral("run")));
    const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/");
    QFile::copy(built + QStringLiteral("vellumgranary"), bin + QStringLiteral("/vellumgranary"));
    QFile::copy(built + QStringLiteral("settings.db"), bin + QStringLiteral("/settings.db"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), tmp.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("home/.config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), tmp.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("VG_QUICK_REPORT"), QStringLiteral("1"));
    if (env.value(QStringLiteral("DISPLAY")).isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess server;
    server.setProcessEnvironment(env);
    server.start(bin + QStringLiteral("/vellumgranary"), {db});
    QByteArray out;
    const auto waitLine = [&](const QByteArray& line, int count) {
        QElapsedTimer t;
        t.start();
        while (out.count(line) < count && t.elapsed() < 60000) {
            server.waitForReadyRead(5);
            out += server.readAllStandardOutput();
        }
        return out.count(line) >= count;
    };
    std::vector<double> ms;
    if (!waitLine("listening\n", 1)) {
        std::fprintf(stderr, "the program did not start: %s\n", server.readAllStandardError().constData());
        return ms;
    }
    for (int r = 0; r <= runs; ++r) {
        QElapsedTimer t;
        t.start();
        QProcess client;
        client.setProcessEnvironment(env);
        client.start(bin + QStringLiteral("/vellumgranary"), {QStringLiteral("--quick")});
        if (!waitLine("quick palette painted\n", r + 1)) break;
        const double elapsed = t.nsecsElapsed() / 1e6;
        client.waitForFinished(10000);
        if (r == 0) *first = elapsed;  // makes the palette and reads the index
        else ms.push_back(elapsed);
        QThread::msleep(50);
    }
    server.kill();
    server.waitForFinished(10000);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = RunsArgument(app.arguments(), 20);
    if (const qsizetype at = app.arguments().indexOf(QStringLiteral("--slow")); at > 0 && at + 1 < app.arguments().size())
        g_slow = app.arguments()[at + 1].toDouble();
    const QString cached = BenchDatabaseOrExit();
    BenchWindowEnv env;
    // The palette counts uses in the file: a copy takes them.
    const QString work = BenchWorkCopy(cached, env.Path(QStringLiteral("work.db")));
    env.StartWith(work);
    QtPrompt prompt;
    SetPrompt(&prompt);
    std::printf("database: %s (100,000 items)\n", qPrintable(cached));

    // The search alone, on this thread: the index's read and each letter's ranking.
    std::vector<double> engine, engineCpu;
    {
        CSQLite db;
        db.OpenFile(work);
        CQuickIndex index;
        QElapsedTimer t;
        t.start();
        index.Load(db);
        const double loadMs = t.nsecsElapsed() / 1e6;
        for (const QString& word : queries(work)) {
            // As the palette's worker does: a query that narrows the last looks at its rows.
            CQuickIndex::Matched last;
            for (int n = 1; n <= word.size(); ++n) {
                t.restart();
                const double cpu0 = threadCpuMs();
                CQuickIndex::Matched matched;
                index.Search(CQuickQuery::Parse(word.left(n)), {}, CQuickSearcher::kLimit, {}, &last, &matched);
                last = std::move(matched);
                engine.push_back(t.nsecsElapsed() / 1e6);
                engineCpu.push_back(threadCpuMs() - cpu0);
            }
        }
        std::printf("index read: %.1f ms for %d items\n", loadMs, index.Size());
        report("ranking alone per letter (titles), wall", engine);
        report("ranking alone per letter (titles), CPU", engineCpu);
    }
    if (app.arguments().contains(QStringLiteral("--engine-only"))) return 0;

    double quickFirst = -1;
    const std::vector<double> quick = quickFromOutside(work, runs, &quickFirst);

    auto* program = new BenchProgram;
    frmMain* w = program->win.get();
    w->show();
    settle(500);
    const qint64 before = rssKb();
    const qint64 anonBefore = rssKb("RssAnon:");

    std::vector<double> ctrlK, ctrlKList;
    double firstOpen = -1, firstIndexed = -1;
    PaintWatch watch;
    for (int r = 0; r <= runs; ++r) {
        watch.painted = false;
        // The window manager gives the main window its focus back when the palette goes.
        w->activateWindow();
        settle(10);
        QElapsedTimer t;
        t.start();
        QTest::keyClick(w, Qt::Key_K, Qt::ControlModifier);
        frmQuick* q = palette();
        if (r == 0) q->installEventFilter(&watch);
        if (r == 0) {
            // The first showing had no watcher yet: its paint is the one queued now.
            QApplication::processEvents();
        }
        while (!watch.painted && t.elapsed() < 30000) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
        const double painted = t.nsecsElapsed() / 1e6;
        auto* status = q->findChild<QLabel*>(QStringLiteral("lblQuickStatus"));
        (void)QTest::qWaitFor([&] { return status->text().contains(QLatin1String(" of ")); }, 60000);
        const double listed = t.nsecsElapsed() / 1e6;
        if (r == 0) {
            firstOpen = painted;
            firstIndexed = listed;
        } else {
            ctrlK.push_back(painted);
            ctrlKList.push_back(listed);
        }
        QTest::keyClick(q->findChild<QLineEdit*>(QStringLiteral("txtQuick")), Qt::Key_Escape);
        settle(30);
    }

    QTest::keyClick(w, Qt::Key_K, Qt::ControlModifier);
    frmQuick* q = palette();
    settle(200);
    const QStringList words = queries(work);
    const qint64 anonOpen = rssKb("RssAnon:");
    q->Searcher()->SetBodyHits(false);
    const std::vector<double> titles = typeLetters(q, words);
    const qint64 anonTitles = rssKb("RssAnon:");
    q->Searcher()->SetBodyHits(true);
    const std::vector<double> bodies = typeLetters(q, words);
    settle(200);
    const qint64 after = rssKb();
    const qint64 anonAfter = rssKb("RssAnon:");

    std::printf("\nCtrl+K (first time: %.1f ms to painted, %.1f ms to the list of a freshly read index)\n",
                firstOpen, firstIndexed);
    report("Ctrl+K to painted palette", ctrlK);
    report("Ctrl+K to painted palette with its list", ctrlKList);
    std::printf("\nper typed letter, %zu letters, to the updated list\n", titles.size());
    report("titles only", titles);
    report("titles and body hits", bodies);
    std::printf("\n--quick from another process (first time: %.1f ms, palette made, index read)\n", quickFirst);
    report("--quick to painted palette", quick);
    std::printf("\nmemory (resident): main window %lld KB, with the palette open and used %lld KB: %.2fx\n",
                before, after, before > 0 ? double(after) / double(before) : 0.0);
    std::printf("of it the program's own (not mapped from files): %lld KB and %lld KB (%lld KB when opened, %lld KB "
                "after the titles-only letters)\n",
                anonBefore, anonAfter, anonOpen, anonTitles);
    delete program;
    SetPrompt(nullptr);
    return 0;
}
