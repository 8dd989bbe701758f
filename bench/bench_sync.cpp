// Sync through git on the 100,000-item benchmark database, with a bare repository on a local path:
//   - the first sync (every item written, committed and pushed);
//   - a sync with 10 items changed here and 10 others changed on the remote by another clone;
//   - a sync with nothing changed;
//   - a second machine's first sync (every item taken in), unless --no-clone.
// Each phase runs in a child process of its own, so its peak resident size (VmHWM) is its alone.
//   bench_sync [--items N] [--no-clone]
#include "BenchDatabase.h"
#include "BenchStats.h"
#include "db/basDB.h"
#include "db/basDBItems.h"
#include "sync/CGitRepository.h"
#include "sync/CSync.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>

static double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

static QString binFolder() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"); }

// 10 items of the database and 10 other files of the remote get a new last line.
static bool edit(const QString& db, const QString& remote, const QString& scratch) {
    QString file = db;
    if (OpenDatabase(file).isEmpty()) return false;
    for (int id = 1; id <= 10; ++id) {
        CItem item;
        if (!LoadItem(*gDB, id * 997, item, nullptr)) continue;
        item.body += QStringLiteral("\n// changed here");
        item.lastUpdate = QDateTime();
        if (SaveItem(*gDB, item, {}, nullptr) == 0) return false;
    }
    CGitRepository other;
    QString error, head, commit;
    QHash<QString, QString> tree;
    if (!other.Open(scratch, &error) || !other.SetRemote(remote, &error) || !other.Fetch(QStringLiteral("main"), head, &error) ||
        !other.ReadTree(head, tree, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    QStringList paths = tree.keys();
    paths.sort();
    CGitRepository::Edit change;
    for (int n = 0; n < 10; ++n) {
        const QString path = paths[(n * 7919 + 13) % paths.size()];
        QByteArray bytes;
        if (!path.endsWith(QStringLiteral(".md")) || !other.ReadBlob(tree[path], bytes, &error)) continue;
        const qsizetype fence = bytes.lastIndexOf("\n```");
        change.write.insert(path, bytes.insert(fence, "\n// changed there"));
    }
    bool refused = false;
    return other.Commit(head, change, QStringLiteral("elsewhere"), commit, &error) &&
           other.Push(commit, QStringLiteral("main"), refused, &error);
}

static int child(const QStringList& a) {
    const QString phase = a.value(0), db = a.value(1), folder = a.value(2), remote = a.value(3);
    SetProgramFolder(binFolder());
    InitGlobals(CSettings::Store::Memory);
    if (phase == QLatin1String("edit")) return edit(db, remote, a.value(4)) ? 0 : 1;
    QString file = db;
    if (OpenDatabase(file).isEmpty()) return 1;
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuSeconds();
    CSyncOptions o;
    o.folder = folder;
    o.remote = remote;
    o.machine = QStringLiteral("bench");
    CSyncSummary s;
    if (!CSync::Run(*gDB, o, s)) {
        std::fprintf(stderr, "%s\n", qPrintable(s.error));
        return 1;
    }
    std::printf("%.3f %lld %.3f in=%d out=%d conflicts=%d\n", double(t.nsecsElapsed()) / 1e9, qlonglong(peakKb()),
                cpuSeconds() - cpu0, s.in, s.out, s.conflicts);
    ReleaseGlobals();
    return 0;
}

static void run(const char* what, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + args);
    p.waitForFinished(-1);
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    if (p.exitCode() != 0 || (args[0] != QLatin1String("edit") && f.size() < 3)) {
        std::printf("%-44s failed\n", what);
        return;
    }
    if (args[0] == QLatin1String("edit")) return;
    std::printf("%-44s %7.3f s (cpu %6.3f s)  peak %7.1f MB  %s\n", what, f[0].toDouble(), f[2].toDouble(),
                f[1].toDouble() / 1024.0, f.mid(3).join(' ').constData());
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("--child")) return child(args.mid(1));
    const int itemsAt = args.indexOf(QStringLiteral("--items"));
    const int items = itemsAt >= 0 ? args.value(itemsAt + 1).toInt() : 100000;

    const QString work = QCoreApplication::applicationDirPath() + QStringLiteral("/sync-work");
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    const QString remote = work + QStringLiteral("/remote.git");
    QString error;
    if (!CGitRepository::InitBare(remote, &error)) {
        std::printf("%s\n", qPrintable(error));
        return 1;
    }
    BenchSpec spec;
    spec.items = items;
    spec.settingsDb = binFolder() + QStringLiteral("/settings.db");
    const QString db = BenchWorkCopy(BenchDatabaseOrExit(spec), work + QStringLiteral("/a.db"));
    const QString folder = work + QStringLiteral("/a-sync");
    run(qPrintable(QStringLiteral("first sync of %1 items").arg(items)), {QStringLiteral("sync"), db, folder, remote});
    run("10 items changed on each side", {QStringLiteral("edit"), db, folder, remote, work + QStringLiteral("/other")});
    run("sync with 10 items changed on each side", {QStringLiteral("sync"), db, folder, remote});
    run("sync with nothing changed", {QStringLiteral("sync"), db, folder, remote});
    if (!args.contains(QStringLiteral("--no-clone"))) {
        const QString empty = work + QStringLiteral("/b.db");
        run(qPrintable(QStringLiteral("second machine's first sync (%1 in)").arg(items)),
            {QStringLiteral("sync"), empty, work + QStringLiteral("/b-sync"), remote});
    }
    return 0;
}
