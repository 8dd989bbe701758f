// Start-up of the window program as a user meets it: from starting the process to the window
// painted with its titles, on a copy of an empty database and of one with many items
// (10 languages x 20 categories, as bench_window). Timed from outside; the program, started
// with VG_QUIT_AFTER_FIRST_PAINT, says when its title list has painted and how many titles it
// held, then quits.
// Usage: bench_startup [--items N] [--runs R] [--program PATH] [--baseline PATH]
//   --program   the program to time (default ../bin/vellumgranary beside this benchmark)
//   --baseline  another build of it, timed in the same runs, turn about (e.g. the old one)
// The children draw offscreen unless a display is set (run under `xvfb-run -a` for X11).
// Medians of R runs; figures only, nothing is asserted.
#include "BenchDatabase.h"
#include "BenchStats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

// One build of the program in a folder of its own with its settings.db, so its Settings.ini,
// settings and databases stay in a temporary folder.
struct Program {
    QString label;
    QString binary;
    QString home;
    std::vector<double> ms[2];  // empty database, many items
    int titles[2] = {-1, -1};
};

bool Install(Program& p, const QString& source, const QString& folder) {
    QDir().mkpath(folder + QStringLiteral("/bin"));
    QDir().mkpath(folder + QStringLiteral("/home"));
    p.binary = folder + QStringLiteral("/bin/vellumgranary");
    p.home = folder + QStringLiteral("/home");
    return QFile::copy(source, p.binary) &&
           QFile::copy(QFileInfo(source).absolutePath() + QStringLiteral("/settings.db"),
                       folder + QStringLiteral("/bin/settings.db"));
}

// Milliseconds from starting the process to its report, or -1; titles gets the list's count.
double StartOnce(const Program& p, const QString& database, int* titles) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VG_QUIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), p.home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), p.home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("TZ"), QStringLiteral("America/New_York"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")) && env.value(QStringLiteral("DISPLAY")).isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer t;
    t.start();
    child.start(p.binary, {database});
    double ms = -1;
    QByteArray out;
    while (child.waitForReadyRead(20000)) {
        out += child.readAllStandardOutput();
        const qsizetype at = out.indexOf("painted ");
        if (at >= 0 && out.indexOf('\n', at) > at) {
            ms = t.nsecsElapsed() / 1e6;
            *titles = out.mid(at + 8).split(' ').first().toInt();
            break;
        }
    }
    if (!child.waitForFinished(20000)) {
        child.kill();
        child.waitForFinished();
    }
    if (ms < 0) std::fprintf(stderr, "%s: no report\n%s", qPrintable(p.label), child.readAllStandardError().constData());
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&](const char* name, const QString& fallback) {
        const int i = args.indexOf(QLatin1String(name));
        return i > 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    const int runs = std::max(1, option("--runs", QStringLiteral("5")).toInt());
    BenchSpec spec;
    spec.languages = 10;
    spec.categoriesPerLanguage = 20;
    spec.items = option("--items", QString::number(spec.items)).toInt();
    BenchSpec none = spec;
    none.items = 0;
    none.languages = 0;
    const QString full = BenchDatabaseOrExit(spec);
    const QString empty = BenchDatabaseOrExit(none);

    QTemporaryDir tmp;
    std::vector<Program> programs;
    const QString mine = option("--program", app.applicationDirPath() + QStringLiteral("/../bin/vellumgranary"));
    const QString baseline = option("--baseline", QString());
    for (const QString& source : baseline.isEmpty() ? QStringList{mine} : QStringList{mine, baseline}) {
        Program p;
        p.label = source;
        if (!Install(p, source, tmp.filePath(QString::number(programs.size())))) {
            std::fprintf(stderr, "cannot copy %s and its settings.db\n", qPrintable(source));
            return 1;
        }
        programs.push_back(p);
    }
    const QString databases[2] = {BenchWorkCopy(empty, tmp.filePath(QStringLiteral("empty.db"))),
                                  BenchWorkCopy(full, tmp.filePath(QStringLiteral("full.db")))};
    // One start of each first (the files into the page cache), then the timed runs, turn about.
    for (Program& p : programs)
        for (int d = 0; d < 2; ++d) StartOnce(p, databases[d], &p.titles[d]);
    for (int r = 0; r < runs; ++r)
        for (Program& p : programs)
            for (int d = 0; d < 2; ++d) p.ms[d].push_back(StartOnce(p, databases[d], &p.titles[d]));

    std::printf("Process start to the painted title list, %d items (%s), median of %d runs, wall ms\n",
                spec.items, qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "X11", runs);
    std::printf("%-12s %12s %12s %8s  %s\n", "program", "empty", "items", "ratio", "path");
    for (size_t i = 0; i < programs.size(); ++i) {
        const Program& p = programs[i];
        const double e = median(p.ms[0]), f = median(p.ms[1]);
        std::printf("%-12s %12.1f %12.1f %7.2fx  %s (%d / %d titles shown)\n", i == 0 ? "program" : "baseline", e,
                    f, f / e, qPrintable(p.label), p.titles[0], p.titles[1]);
    }
    return 0;
}
