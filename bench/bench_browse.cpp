// Browse and search lists on 100,000 items: our operations against the plain statements over
// the views (qryTypes, qryItemTypes, qryItems) that define what each list holds, on the same
// database twice: without attachments, and with 1,000 attachments of 100 KB among the items.
// Usage: bench_browse [--items N] [--runs R] [--plans]
//   --runs   timed runs of each statement, the median is shown (default 5)
//   --plans  print each operation's query plan, view statement and ours
// Times are wall-clock milliseconds (and CPU milliseconds, which shared machines disturb
// less). "same" says whether both gave the same table, header and order included.
// Figures only; nothing is asserted.
#include "BenchStats.h"
#include "BenchDatabase.h"

#include "db/basDB.h"
#include "util/basProgram.h"
#include "util/basVariableTools.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

Timing timed(int runs, const std::function<void()>& call) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        const double c0 = cpuMs();
        call();
        cpu.push_back(cpuMs() - c0);
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return {median(wall), median(cpu)};
}

// ---- The plain statements over the views, as the lists are defined.

QString viewItems(int c, int t, const QString& order) {
    QString cond;
    if (c != -1) cond = QStringLiteral("(CategoryID = %1)").arg(c);
    if (t != -1) {
        if (!cond.isEmpty()) cond += QStringLiteral(" AND ");
        cond += QStringLiteral("(TypeID = %1)").arg(t);
    }
    if (!cond.isEmpty()) cond = QStringLiteral("WHERE ") + cond;
    return QStringLiteral("SELECT DISTINCT ID, Title FROM qryItems ") + cond + QStringLiteral(" ORDER BY ") + order;
}

QString viewCategories(int t) {
    const QString filter = t == -1 ? QString() : QStringLiteral("WHERE TypeID = %1 ").arg(t);
    return QStringLiteral("SELECT tblCategory.ID, tblCategory.Name, Count(tblItemCategory.ItemID) "
                          "FROM tblCategory JOIN tblItemCategory ON tblCategory.ID = tblItemCategory.CategoryID ") +
           filter + QStringLiteral("GROUP BY tblCategory.ID ORDER BY tblCategory.Name");
}

QString viewCategoriesCount(int t) {
    if (t == -1) return QStringLiteral("SELECT Count(ID) FROM tblItem");
    return QStringLiteral("SELECT Count(ItemID) FROM qryItemTypes WHERE TypeID = %1 ").arg(t);
}

QString viewSearch(const QString& s, int c, int t) {
    QString filter;
    if (c != -1) filter = QStringLiteral(" AND CategoryID = %1").arg(c);
    if (t != -1) filter += QStringLiteral(" AND TypeID = %1").arg(t);
    if (!filter.isEmpty())
        return QStringLiteral("SELECT DISTINCT qryItemTypes.ItemID, Title "
                              "FROM qryItemTypes JOIN ftsItem ON qryItemTypes.ItemID = +ftsitem.docid "
                              "WHERE ftsItem MATCH '") +
               SqlEscape(s) + QLatin1Char('\'') + filter + QStringLiteral(" ORDER BY Title;");
    return QStringLiteral("SELECT ROWID, Title FROM ftsItem WHERE ftsItem MATCH '") + SqlEscape(s) +
           QStringLiteral("' ORDER BY Title;");
}

// ---- Running and comparing.

struct Result {
    ResultTable table;
    int count = 0;
};

Result viaExec(const QStringList& statements) {
    Result r;
    for (const QString& sql : statements) {
        ResultTable t;
        QString error;
        const QVariant v = gDB->Exec(sql, t, error, sql.startsWith(QLatin1String("SELECT Count(")));
        if (sql.startsWith(QLatin1String("SELECT Count("))) r.count = v.toInt();
        else r.table = t;
    }
    return r;
}

bool sameTable(const ResultTable& a, const ResultTable& b) {
    if (a.RowCount() == 0 && b.RowCount() == 0) return true;
    if (a.RowCount() != b.RowCount() || a.ColCount() != b.ColCount()) return false;
    for (int r = 0; r <= a.RowCount(); ++r)
        for (int c = 0; c < a.ColCount(); ++c) {
            const QVariant& x = a.At(r, c);
            const QVariant& y = b.At(r, c);
            if (x.isValid() != y.isValid() || x.metaType() != y.metaType() || x != y) return false;
        }
    return true;
}

// The statements one call runs (the full-text module's own ones left out).
std::vector<std::string> traced(const std::function<void()>& call) {
    std::vector<std::string> out;
    auto cb = [](unsigned, void* ctx, void* p, void* x) -> int {
        const char* text = static_cast<const char*>(x);
        if (text && text[0] == '-' && text[1] == '-') return 0;
        static_cast<std::vector<std::string>*>(ctx)->push_back(sqlite3_sql(static_cast<sqlite3_stmt*>(p)));
        return 0;
    };
    sqlite3_trace_v2(gDB->Handle(), SQLITE_TRACE_STMT, cb, &out);
    call();
    sqlite3_trace_v2(gDB->Handle(), 0, nullptr, nullptr);
    return out;
}

void printPlan(const char* label, const std::string& sql) {
    std::printf("  %s: %s\n", label, sql.c_str());
    sqlite3_stmt* st = nullptr;
    const std::string eqp = "EXPLAIN QUERY PLAN " + sql;
    if (sqlite3_prepare_v2(gDB->Handle(), eqp.c_str(), -1, &st, nullptr) != SQLITE_OK) return;
    std::map<int, int> depth;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const int id = sqlite3_column_int(st, 0), parent = sqlite3_column_int(st, 1);
        depth[id] = depth.count(parent) ? depth[parent] + 1 : 0;
        std::printf("      %*s%s\n", 2 * depth[id], "", reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
    }
    sqlite3_finalize(st);
}

struct Operation {
    std::string name;
    std::string kind;  // the target group: types, categories, items-all, items-category, search
    std::function<Result()> ours;
    QStringList view;  // the view statements for the same list
};

struct Figures {
    int rows = 0;
    bool same = false;
    Timing ours, view;
};

int scalar(const QString& sql) {
    ResultTable t;
    QString e;
    return gDB->Exec(sql, t, e, true).toInt();
}

bool openCopy(const QString& cached, QTemporaryDir& temp, const QString& name) {
    const QString work = BenchWorkCopy(cached, temp.filePath(name));
    QString file = work;
    return !work.isEmpty() && !OpenDatabase(file).isEmpty();
}

// 1,000 attachments of 100 KB spread evenly over the items: bytes that do not compress, stored
// as the attachment commands store an incompressible file.
bool heavyAttachment(int item, BenchAttachment& out) {
    if (item % 100 != 37) return false;
    benchdb::Rng rng{std::uint64_t(item) * 7919u};
    out.block.resize(100 * 1024);
    for (qsizetype i = 0; i < out.block.size(); i += 8) {
        const std::uint64_t v = rng.Next();
        for (int k = 0; k < 8 && i + k < out.block.size(); ++k) out.block[i + k] = char(v >> (8 * k));
    }
    out.fileSize = out.block.size();
    out.fileName = QStringLiteral("attachment%1.bin").arg(item);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    BenchSpec plain;
    int runs = 5;
    bool plans = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--items") && i + 1 < args.size()) plain.items = args[++i].toInt();
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) runs = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--plans")) plans = true;
    }
    SetProgramFolder(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"));
    BenchSpec heavy = plain;
    heavy.attachment = heavyAttachment;
    heavy.attachmentTag = QStringLiteral("att1000x100k");

    QElapsedTimer buildTimer;
    buildTimer.start();
    QString error;
    const QString plainDb = BenchDatabase(plain, &error);
    const QString heavyDb = plainDb.isEmpty() ? QString() : BenchDatabase(heavy, &error);
    if (heavyDb.isEmpty()) {
        std::fprintf(stderr, "bench_browse: cannot build the databases: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("databases ready in %.1f s:\n  without attachments: %s (%lld bytes)\n  with attachments:    %s (%lld bytes)\n",
                double(buildTimer.elapsed()) / 1000.0, qPrintable(plainDb),
                static_cast<long long>(QFileInfo(plainDb).size()), qPrintable(heavyDb),
                static_cast<long long>(QFileInfo(heavyDb).size()));

    QTemporaryDir temp(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-browse-XXXXXX"));
    InitGlobals(CSettings::Store::Memory);
    if (!openCopy(plainDb, temp, QStringLiteral("plain.db"))) return 1;

    // The largest category of the first language, by links (the same in both files).
    const int lang = 1;
    const int bigCat = scalar(QStringLiteral(
        "SELECT CategoryID FROM tblItemCategory JOIN tblCategory ON ID = CategoryID "
        "WHERE TypeID = 1 GROUP BY CategoryID ORDER BY Count(*) DESC LIMIT 1"));
    const int smallCat = scalar(QStringLiteral(
        "SELECT CategoryID FROM tblItemCategory JOIN tblCategory ON ID = CategoryID "
        "WHERE TypeID = 1 GROUP BY CategoryID ORDER BY Count(*) ASC LIMIT 1"));

    std::vector<Operation> ops;
    ops.push_back({"LoadTypes", "types",
                   [] {
                       Result r;
                       r.table = LoadTypes(r.count);
                       return r;
                   },
                   {QStringLiteral("SELECT Count(ID) FROM tblItem"), QStringLiteral("SELECT ID, Name, Count FROM qryTypes")}});
    for (int t : {-1, lang}) {
        ops.push_back({t == -1 ? "LoadCategories all" : "LoadCategories one language", "categories",
                       [t] {
                           Result r;
                           r.table = LoadCategories(t, r.count);
                           return r;
                       },
                       {viewCategoriesCount(t), viewCategories(t)}});
    }
    for (const char* order : {"Title", "LastUpdate DESC", "ID", "FileSize DESC"}) {
        const QString o = QString::fromLatin1(order);
        ops.push_back({std::string("LoadItems all, ") + order, "items-all",
                       [o] { return Result{LoadItems(-1, -1, o), 0}; }, {viewItems(-1, -1, o)}});
        ops.push_back({std::string("LoadItems language, ") + order, "items-language",
                       [o] { return Result{LoadItems(-1, lang, o), 0}; }, {viewItems(-1, lang, o)}});
        ops.push_back({std::string("LoadItems big category, ") + order, "items-category",
                       [o, bigCat] { return Result{LoadItems(bigCat, lang, o), 0}; },
                       {viewItems(bigCat, lang, o)}});
    }
    ops.push_back({"LoadItems small category, Title", "items-category",
                   [smallCat] { return Result{LoadItems(smallCat, lang, QStringLiteral("Title")), 0}; },
                   {viewItems(smallCat, lang, QStringLiteral("Title"))}});
    ops.push_back({"LoadItems category only, Title", "items-category",
                   [bigCat] { return Result{LoadItems(bigCat, -1, QStringLiteral("Title")), 0}; },
                   {viewItems(bigCat, -1, QStringLiteral("Title"))}});
    const struct {
        const char* label;
        QString text;
    } searches[] = {{"common word", QString::fromLatin1(BenchCommonWord())},
                    {"rare word", QString::fromLatin1(BenchRareWord())},
                    {"prefix", QString::fromLatin1(BenchPrefix())}};
    for (const auto& s : searches) {
        const QString text = s.text;
        ops.push_back({std::string("SearchItems ") + s.label, "search",
                       [text] { return Result{SearchItems(text, -1, -1), 0}; }, {viewSearch(text, -1, -1)}});
        ops.push_back({std::string("SearchItems ") + s.label + ", language", "search",
                       [text] { return Result{SearchItems(text, -1, lang), 0}; }, {viewSearch(text, -1, lang)}});
        ops.push_back({std::string("SearchItems ") + s.label + ", category", "search",
                       [text, bigCat] { return Result{SearchItems(text, bigCat, lang), 0}; },
                       {viewSearch(text, bigCat, lang)}});
    }

    std::printf("engine: SQLite %s; items %d; median of %d runs; category %d (largest of language %d), "
                "%d (smallest)\n\n",
                qPrintable(CSQLite::Version()), scalar(QStringLiteral("SELECT Count(*) FROM tblItem")), runs,
                bigCat, lang, smallCat);

    std::vector<Figures> figures[2];
    for (int db = 0; db < 2; ++db) {
        if (db == 1 && !openCopy(heavyDb, temp, QStringLiteral("heavy.db"))) return 1;
        std::fprintf(stderr, "%s:\n", db ? "with attachments" : "without attachments");
        for (const Operation& op : ops) {
            std::fprintf(stderr, "  %s\n", op.name.c_str());
            Figures f;
            const Result ours = op.ours();  // also warms the cache
            const Result view = viaExec(op.view);
            f.rows = ours.table.RowCount();
            f.same = sameTable(ours.table, view.table) && ours.count == view.count;
            f.ours = timed(runs, [&] { op.ours(); });
            f.view = timed(runs, [&] { viaExec(op.view); });
            figures[db].push_back(f);
        }
    }

    std::printf("| operation | rows | same | no att.: ours ms | view ms | with att.: ours ms | view ms | ours/view | "
                "with/without | ours CPU ms (no att. / att.) | view CPU ms (no att. / att.) |\n");
    std::printf("|---|---:|:-:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (size_t i = 0; i < ops.size(); ++i) {
        const Figures& p = figures[0][i];
        const Figures& h = figures[1][i];
        std::printf("| %s | %d | %s | %.1f | %.1f | %.1f | %.1f | %.3f | %.2f | %.1f / %.1f | %.1f / %.1f |\n",
                    ops[i].name.c_str(), h.rows, p.same && h.same ? "yes" : "NO", p.ours.wall, p.view.wall,
                    h.ours.wall, h.view.wall, h.view.wall > 0 ? h.ours.wall / h.view.wall : 0,
                    p.ours.wall > 0 ? h.ours.wall / p.ours.wall : 0, p.ours.cpu, h.ours.cpu, p.view.cpu, h.view.cpu);
    }

    // The targets, on the database with attachments unless said otherwise; judged on wall time
    // and, separately, on CPU time, which a busy machine disturbs less.
    std::printf("\ntargets (wall / CPU):\n");
    for (int useCpu = 0; useCpu < 2; ++useCpu) {
        auto t = [useCpu](const Timing& x) { return useCpu ? x.cpu : x.wall; };
        bool catTenth = true, allThird = true, twice = true, quick = true, same = true;
        for (size_t i = 0; i < ops.size(); ++i) {
            const Figures& p = figures[0][i];
            const Figures& h = figures[1][i];
            same = same && p.same && h.same;
            if (ops[i].kind == "items-category" && t(h.ours) > t(h.view) / 10) catTenth = false;
            if (ops[i].kind == "items-all" && t(h.ours) > t(h.view) / 3) allThird = false;
            if (t(h.ours) > 2 * t(p.ours) && t(h.ours) > 1.0) twice = false;  // below 1 ms is noise
            if ((ops[i].kind == "types" || ops[i].kind == "categories") && (t(h.ours) > 100 || t(p.ours) > 100))
                quick = false;
        }
        const char* on = useCpu ? "CPU " : "wall";
        auto check = [on](const char* what, bool ok) { std::printf("  %s  %-74s %s\n", on, what, ok ? "holds" : "MISSED"); };
        if (!useCpu) check("every list equals the view statement's, cell for cell", same);
        check("LoadItems for one category: at most 1/10 of the view statement", catTenth);
        check("LoadItems for all items: at most 1/3 of the view statement", allThird);
        check("no operation takes more than twice as long with attachments", twice);
        check("LoadTypes and LoadCategories within 100 ms", quick);
    }

    if (plans) {
        std::printf("\nquery plans (database with attachments):\n");
        for (const Operation& op : ops) {
            std::printf("\n%s\n", op.name.c_str());
            for (const QString& sql : op.view) printPlan("view", sql.toStdString());
            for (const std::string& sql : traced([&] { op.ours(); })) printPlan("ours", sql);
        }
    }
    CloseDatabase();
    ReleaseGlobals();
    return 0;
}
