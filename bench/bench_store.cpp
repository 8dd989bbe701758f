// Store operations on a large database: our functions against the same SQL run by the engine
// alone. Usage: bench_store [--items N] [--runs R] [--store-alone]
//   --items  items in the database (default 100000; the built file is cached beside this program)
//   --runs   timed runs per operation, the median is shown (default 5; 3 for vacuum)
//   --store-alone  writes without what follows their change records in the same transaction
//            (history journal, search index, sync state): the write path's own cost
// Figures only; nothing is asserted.
#include "BenchStats.h"
#include "BenchDatabase.h"

#include "db/basDB.h"
#include "util/CPrompt.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Traced {
    std::string sql;
    double ms = 0;
};

// Statements a call runs, with the engine's own time for each. Statements that start while
// another is running (triggers, the full-text module's own queries) belong to that one and
// are left out, so running the list again repeats exactly what the call asked for.
struct Tracer {
    std::vector<Traced> statements;
    sqlite3_stmt* top = nullptr;
    static int Callback(unsigned type, void* ctx, void* p, void* x) {
        auto* self = static_cast<Tracer*>(ctx);
        auto* st = static_cast<sqlite3_stmt*>(p);
        if (type == SQLITE_TRACE_STMT) {
            const char* text = static_cast<const char*>(x);
            if (text && text[0] == '-' && text[1] == '-') return 0;
            if (!self->top) {
                self->top = st;
                self->statements.push_back({sqlite3_sql(st), 0});
            }
        } else if (type == SQLITE_TRACE_PROFILE && st == self->top) {
            self->statements.back().ms = double(*static_cast<sqlite3_int64*>(x)) / 1e6;
            self->top = nullptr;
        }
        return 0;
    }
    void Start() {
        statements.clear();
        top = nullptr;
        sqlite3_trace_v2(gDB->Handle(), SQLITE_TRACE_STMT | SQLITE_TRACE_PROFILE, &Tracer::Callback, this);
    }
    void Stop() { sqlite3_trace_v2(gDB->Handle(), 0, nullptr, nullptr); }
};

// The engine alone: prepare, step every row, keep nothing.
double engineRun(const std::vector<Traced>& statements) {
    const auto t0 = Clock::now();
    for (const Traced& s : statements) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(gDB->Handle(), s.sql.c_str(), -1, &st, nullptr) != SQLITE_OK) continue;
        while (sqlite3_step(st) == SQLITE_ROW) {
        }
        sqlite3_finalize(st);
    }
    return msSince(t0);
}

void printPlan(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    const std::string eqp = "EXPLAIN QUERY PLAN " + sql;
    if (sqlite3_prepare_v2(gDB->Handle(), eqp.c_str(), -1, &st, nullptr) != SQLITE_OK) return;
    std::printf("    plan:\n");
    while (sqlite3_step(st) == SQLITE_ROW)
        std::printf("      %3d %3d  %s\n", sqlite3_column_int(st, 0), sqlite3_column_int(st, 1),
                    reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
    sqlite3_finalize(st);
}

struct Row {
    std::string name;
    int rows = -1;
    double binding = 0;
    double engine = -1;  // -1: not a query
};

std::vector<Row> g_rows;
std::vector<std::pair<std::string, Traced>> g_slow;  // operation, slowest statement
int g_runs = 5;
const double kSlowMs = 20.0;

void noteSlow(const std::string& name, const std::vector<Traced>& statements) {
    const Traced* worst = nullptr;
    for (const Traced& s : statements)
        if (!worst || s.ms > worst->ms) worst = &s;
    if (worst && worst->ms >= kSlowMs) g_slow.push_back({name, *worst});
}

// A read: our function, and the statements it ran, each timed over several runs.
void query(const std::string& name, const std::function<int()>& call) {
    Tracer tracer;
    tracer.Start();
    const int rows = call();  // also warms the cache
    tracer.Stop();
    noteSlow(name, tracer.statements);
    std::vector<double> ours, engine;
    for (int i = 0; i < g_runs; ++i) {
        const auto t0 = Clock::now();
        call();
        ours.push_back(msSince(t0));
        engine.push_back(engineRun(tracer.statements));
    }
    g_rows.push_back({name, rows, median(ours), median(engine)});
    std::fprintf(stderr, "  %s\n", name.c_str());
}

// A write: prepare (untimed) and the timed call, several runs.
void write(const std::string& name, const std::function<void(int)>& prepare,
           const std::function<void(int)>& call, int runs) {
    std::vector<double> ours;
    std::vector<Traced> statements;
    for (int i = 0; i < runs; ++i) {
        if (prepare) prepare(i);
        Tracer tracer;
        if (i == 0) tracer.Start();
        const auto t0 = Clock::now();
        call(i);
        ours.push_back(msSince(t0));
        if (i == 0) {
            tracer.Stop();
            statements = tracer.statements;
        }
    }
    noteSlow(name, statements);
    g_rows.push_back({name, -1, median(ours), -1});
    std::fprintf(stderr, "  %s\n", name.c_str());
}

int scalar(const char* sql) {
    ResultTable t;
    QString e;
    return gDB->Exec(QString::fromUtf8(sql), t, e, true).toInt();
}

void run(const char* sql) {
    const QString e = gDB->Run(QString::fromUtf8(sql));
    if (!e.isEmpty()) std::fprintf(stderr, "bench: %s: %s\n", sql, qPrintable(e));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchSpec spec;
    const QStringList args = app.arguments();
    bool storeAlone = false;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--store-alone")) storeAlone = true;
        if (args[i] == QLatin1String("--items") && i + 1 < args.size()) spec.items = args[++i].toInt();
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) g_runs = std::max(1, args[++i].toInt());
    }
    SetProgramFolder(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"));

    QElapsedTimer buildTimer;
    buildTimer.start();
    QString error;
    const QString cached = BenchDatabase(spec, &error);
    if (cached.isEmpty()) {
        std::fprintf(stderr, "bench_store: cannot build the database: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("database: %s (%lld bytes, ready in %.1f s)\n", qPrintable(cached),
                static_cast<long long>(QFileInfo(cached).size()), double(buildTimer.elapsed()) / 1000.0);

    QTemporaryDir temp(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-store-XXXXXX"));
    const QString work = BenchWorkCopy(cached, temp.filePath(QStringLiteral("work.db")));
    InitGlobals(CSettings::Store::Memory);
    QString file = work;
    if (work.isEmpty() || OpenDatabase(file).isEmpty()) {
        std::fprintf(stderr, "bench_store: cannot open the work copy\n");
        return 1;
    }
    if (storeAlone) {
        const auto none = [](CSQLite&, const CChange&, QString*) { return true; };
        for (const char* name : {"history", "search index", "sync"}) gDB->AddChangeWriter(none, QLatin1String(name));
        gDB->AddCommitWriter([](CSQLite&, QString*) { return true; }, QStringLiteral("search fingerprint"));
    }
    std::printf("engine: SQLite %s; items %d; median of %d runs%s\n\n", qPrintable(CSQLite::Version()),
                scalar("SELECT Count(*) FROM tblItem"), g_runs, storeAlone ? "; the store alone" : "");

    // The largest category of the first language and the largest of another, by links.
    const int bigCat = scalar("SELECT CategoryID FROM tblItemCategory JOIN tblCategory ON ID = CategoryID "
                              "WHERE TypeID = 1 GROUP BY CategoryID ORDER BY Count(*) DESC LIMIT 1");
    const int lang = 1;
    int count = 0;

    std::fprintf(stderr, "running:\n");
    query("LoadTypes", [&] { return LoadTypes(count).RowCount(); });
    query("LoadCategories all", [&] { return LoadCategories(-1, count).RowCount(); });
    query("LoadCategories one language", [&] { return LoadCategories(lang, count).RowCount(); });
    for (const char* order : {"Title", "LastUpdate DESC", "ID", "FileSize DESC"}) {
        const QString o = QString::fromLatin1(order);
        query(std::string("LoadItems all, ") + order, [&] { return LoadItems(-1, -1, o).RowCount(); });
        query(std::string("LoadItems category, ") + order,
              [&] { return LoadItems(bigCat, lang, o).RowCount(); });
    }
    const struct {
        const char* label;
        QString text;
    } searches[] = {{"common word", QString::fromLatin1(BenchCommonWord())},
                    {"rare word", QString::fromLatin1(BenchRareWord())},
                    {"prefix", QString::fromLatin1(BenchPrefix())}};
    // The first search builds the search index; untimed and untraced, so that the statements
    // replayed below are the search's own and not the build's.
    SearchItems(searches[0].text, -1, -1);
    for (const auto& s : searches) {
        query(std::string("SearchItems ") + s.label, [&] { return SearchItems(s.text, -1, -1).RowCount(); });
        query(std::string("SearchItems ") + s.label + ", language",
              [&] { return SearchItems(s.text, -1, lang).RowCount(); });
        query(std::string("SearchItems ") + s.label + ", category",
              [&] { return SearchItems(s.text, bigCat, lang).RowCount(); });
    }

    // Writes. New items get titles nobody has, so the editor's duplicate check asks nothing.
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    std::vector<int> created;
    auto newItem = [&](bool editor, int i) {
        int id = -1;
        const int n = SaveItem(QStringLiteral("C++"), id,
                               QStringLiteral("bench new item %1 %2").arg(editor).arg(i),
                               QString(1000, QLatin1Char('x')), QStringLiteral("Sorting,Files"), now, editor);
        if (n > 0) created.push_back(n);
    };
    write("SaveItem new (editor: duplicate check)", nullptr, [&](int i) { newItem(true, i); }, g_runs);
    write("SaveItem new (import: no check)", nullptr, [&](int i) { newItem(false, i); }, g_runs);
    write("SaveItem update", nullptr,
          [&](int i) {
              int id = 12345;
              SaveItem(QStringLiteral("Python"), id, QStringLiteral("updated %1").arg(i),
                       QString(1000, QLatin1Char('y')), QStringLiteral("Files,Strings"), now, true);
          },
          g_runs);
    write("DeleteItem", nullptr,
          [&](int i) {
              if (size_t(i) < created.size()) DeleteItem(created[size_t(i)]);
          },
          g_runs);

    // Merging the language's largest category into its second largest; put back between runs.
    const int intoCat = scalar("SELECT CategoryID FROM tblItemCategory JOIN tblCategory ON ID = CategoryID "
                               "WHERE TypeID = 1 AND CategoryID <> (SELECT CategoryID FROM tblItemCategory "
                               "JOIN tblCategory ON ID = CategoryID WHERE TypeID = 1 GROUP BY CategoryID "
                               "ORDER BY Count(*) DESC LIMIT 1) GROUP BY CategoryID ORDER BY Count(*) DESC LIMIT 1");
    const int mergedLinks =
        scalar(qPrintable(QStringLiteral("SELECT Count(*) FROM tblItemCategory WHERE CategoryID = %1").arg(bigCat)));
    ResultTable names;
    QString e;
    gDB->Exec(QStringLiteral("SELECT Name FROM tblCategory WHERE ID IN (%1, %2) ORDER BY ID = %2")
                  .arg(bigCat)
                  .arg(intoCat),
              names, e);
    const QString bigName = names.Text(1, 0), intoName = names.Text(2, 0);
    run(qPrintable(QStringLiteral("CREATE TEMP TABLE benchA AS SELECT ItemID FROM tblItemCategory WHERE CategoryID = %1;"
                                  "CREATE TEMP TABLE benchB AS SELECT ItemID FROM tblItemCategory WHERE CategoryID = %2;")
                       .arg(bigCat)
                       .arg(intoCat)));
    write(qPrintable(QStringLiteral("RenameCategory (merge %1 links)").arg(mergedLinks)),
          [&](int i) {
              if (i == 0) return;
              run(qPrintable(QStringLiteral("BEGIN; INSERT INTO tblCategory (ID, TypeID, Name) VALUES (%1, %2, '%3');"
                                            "DELETE FROM tblItemCategory WHERE CategoryID = %4 AND ItemID NOT IN "
                                            "(SELECT ItemID FROM benchB);"
                                            "INSERT INTO tblItemCategory SELECT ItemID, %1 FROM benchA; COMMIT;")
                                 .arg(bigCat)
                                 .arg(lang)
                                 .arg(bigName)
                                 .arg(intoCat)));
          },
          [&](int) { RenameCategory(bigCat, intoName); }, g_runs);
    write("VacuumDatabase", nullptr, [&](int) { VacuumDatabase(); }, std::min(g_runs, 3));

    std::printf("| operation | rows | ours ms | engine alone ms | overhead |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    bool over = false;
    for (const Row& r : g_rows) {
        if (r.engine < 0) {
            std::printf("| %s | | %.2f | | |\n", r.name.c_str(), r.binding);
            continue;
        }
        const double overhead = r.engine > 0 ? (r.binding / r.engine - 1.0) * 100.0 : 0;
        const bool counts = r.rows > 1000;
        if (counts && overhead > 25.0) over = true;
        std::printf("| %s | %d | %.2f | %.2f | %+.0f%%%s |\n", r.name.c_str(), r.rows, r.binding, r.engine,
                    overhead, counts && overhead > 25.0 ? " (over 25%)" : "");
    }
    std::printf("\nbinding overhead on queries of more than 1,000 rows: %s\n",
                over ? "OVER 25% somewhere" : "within 25%");

    std::printf("\nslowest statement of each operation taking %.0f ms or more (engine time):\n", kSlowMs);
    for (const auto& [name, s] : g_slow) {
        std::printf("  %s: %.1f ms\n    %s\n", name.c_str(), s.ms, s.sql.c_str());
        if (s.sql.rfind("SELECT", 0) == 0) printPlan(s.sql);
    }
    CloseDatabase();
    ReleaseGlobals();
    return 0;
}
