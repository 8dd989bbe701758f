// What a single write costs and where: the store's own statements alone, then with the search
// index, then with the history journal too, on a copy of the 100,000-item database whose search
// index is complete (as it is after the first search). Wall and CPU time per call, medians.
// Figures only; nothing is asserted.
//
//   build/bench/bench_writes [--runs R]     (R calls of each operation per variant, default 40)
#include "BenchDatabase.h"
#include "BenchStats.h"

#include "db/basDB.h"
#include "db/basDBMaintenance.h"
#include "search/CSearchIndex.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double wallMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

enum class Variant { Store, Search, History };
const char* const kVariantNames[] = {"store alone", "+ search index", "+ history (as shipped)"};

// Opens path with every writer of the variant; the others are replaced by ones that do nothing.
bool open(CSQLite& db, const QString& path, Variant v) {
    StoreError e;
    if (!OpenDatabase(db, path, &e)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(e.text));
        return false;
    }
    const auto none = [](CSQLite&, const CChange&, QString*) { return true; };
    if (v == Variant::Store) {
        db.AddChangeWriter(none, QStringLiteral("search index"));
        db.AddCommitWriter([](CSQLite&, QString*) { return true; }, QStringLiteral("search fingerprint"));
    }
    if (v != Variant::History) db.AddChangeWriter(none, QStringLiteral("history"));
    return true;
}

struct Figure {
    std::vector<double> wall, cpu;
};

void timed(Figure& f, const std::function<void()>& call) {
    const double w = wallMs(), c = cpuMs();
    call();
    f.wall.push_back(wallMs() - w);
    f.cpu.push_back(cpuMs() - c);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int runs = RunsArgument(app.arguments(), 40);
    SetProgramFolder(QDir(app.applicationDirPath()).filePath(QStringLiteral("../bin")));
    InitGlobals(CSettings::Store::Memory);
    const QString cached = BenchDatabaseOrExit();
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-writes-XXXXXX"));
    const QString work = BenchWorkCopy(cached, dir.filePath(QStringLiteral("work.db")));
    {
        CSQLite db;
        QString e;
        if (!open(db, work, Variant::History) || !CSearchIndex::CatchUp(db, &e)) {
            std::fprintf(stderr, "cannot index the work copy: %s\n", qPrintable(e));
            return 1;
        }
    }
    const char* const ops[] = {"SaveItem new", "SaveItem update", "DeleteItem"};
    Figure figures[3][3];
    int next = 0;
    for (int v = 0; v < 3; ++v) {
        CSQLite db;
        if (!open(db, work, Variant(v))) return 1;
        // The search writer counts on a verified index, as after the program's first search.
        CSearchIndex::IsCurrent(db);
        std::vector<int> made;
        QString e;
        for (int i = 0; i < runs; ++i) {
            CItem item;
            item.title = QStringLiteral("bench write %1 %2").arg(v).arg(i);
            item.body = QString(1000, QLatin1Char('x'));
            item.language = QStringLiteral("C++");
            item.categories = {QStringLiteral("Sorting"), QStringLiteral("Files")};
            timed(figures[v][0], [&] { made.push_back(SaveItem(db, item, SaveOptions(), &e)); });
        }
        for (int i = 0; i < runs; ++i) {
            CItem item;
            if (!LoadItem(db, 1 + (++next * 7919) % 100000, item, &e)) continue;
            item.body += QStringLiteral("\n// edited");
            item.lastUpdate = QDateTime();
            timed(figures[v][1], [&] { SaveItem(db, item, SaveOptions(), &e); });
        }
        for (int id : made) timed(figures[v][2], [&] { DeleteItem(db, id, &e); });
    }
    std::printf("median of %d calls, ms: wall / CPU\n\n| operation |", runs);
    for (const char* name : kVariantNames) std::printf(" %s |", name);
    std::printf("\n|---|---:|---:|---:|\n");
    for (int o = 0; o < 3; ++o) {
        std::printf("| %s |", ops[o]);
        for (int v = 0; v < 3; ++v) std::printf(" %.2f / %.2f |", median(figures[v][o].wall), median(figures[v][o].cpu));
        std::printf("\n");
    }
    ReleaseGlobals();
    return 0;
}
