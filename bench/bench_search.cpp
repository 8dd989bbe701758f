// The ranked search on the 100,000-item database: vgcli search beside the sqlite3 shell running
// the bare MATCH for the same text (each a whole process, alternately), a ranked identifier
// search inside the process, the catch-up after another program changed 1,000 items, the first
// building of the index, and the index's size beside the stored text.
// Usage: bench_search [--runs R] [--only size|cli|ranked|catchup]   (default 7 runs; medians)
// Figures only; nothing is asserted.
#include "BenchDatabase.h"
#include "BenchStats.h"

#include "db/basDB.h"
#include "search/CSearch.h"
#include "search/CSearchIndex.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

double runMs(const QString& program, const QStringList& args) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e6;
}

// CPU time of this thread: on a shared machine the wall clock says less.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

qint64 scalar(CSQLite& db, const QString& sql) {
    ResultTable t;
    QString error;
    const qint64 v = db.Exec(sql, t, error, true).toLongLong();
    if (!error.isEmpty()) std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(error));
    return v;
}

bool openDb(CSQLite& db, const QString& path) {
    StoreError error;
    if (OpenDatabase(db, path, &error)) return true;
    std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(error.text));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = RunsArgument(app.arguments(), 7);
    const int only = app.arguments().indexOf(QStringLiteral("--only"));
    const QString part = only >= 0 && only + 1 < app.arguments().size() ? app.arguments()[only + 1] : QString();
    const auto wanted = [&](const char* name) { return part.isEmpty() || part == QLatin1String(name); };
    const QString cached = BenchDatabaseOrExit();
    const QString dir = QCoreApplication::applicationDirPath();

    // The index is made once per cached database; the time of that first build is shown.
    const QString indexed = dir + QStringLiteral("/bench-search-indexed-v%1.db").arg(CSearchIndex::kVersion);
    if (!QFile::exists(indexed)) {
        const QString partial = indexed + QStringLiteral(".partial");
        BenchWorkCopy(cached, partial);
        CSQLite db;
        if (!openDb(db, partial)) return 1;
        QElapsedTimer t;
        t.start();
        QString error;
        int rewritten = 0;
        if (!CSearchIndex::CatchUp(db, &error, &rewritten)) {
            std::fprintf(stderr, "cannot index: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("first index of %d items: %.0f ms\n", rewritten, t.nsecsElapsed() / 1e6);
        db.CloseFile();
        QFile::rename(partial, indexed);
    }

    if (wanted("size")) {
        CSQLite db;
        if (!openDb(db, indexed)) return 1;
        const qint64 text = scalar(db, QStringLiteral(
            "SELECT Sum(Length(CAST(c0Title AS BLOB)) + Length(CAST(c1Code AS BLOB)) + "
            "IfNull(Length(CAST(c2File AS BLOB)), 0)) FROM ftsItem_content"));
        const qint64 index = scalar(db, QStringLiteral("SELECT Sum(pgsize) FROM dbstat WHERE name LIKE 'ftsSearch%' OR "
                                                       "name LIKE 'tblSearch%' OR name LIKE 'sqlite_autoindex_tblSearch%'"));
        const qint64 state = scalar(db, QStringLiteral("SELECT Sum(pgsize) FROM dbstat WHERE name = 'tblSearchState'"));
        const qint64 plain = scalar(db, QStringLiteral("SELECT Sum(pgsize) FROM dbstat WHERE name LIKE 'ftsItem_seg%'"));
        std::printf("stored text %.1f MB; search index %.1f MB (%.2fx the text; of it the state rows %.1f MB); "
                    "the plain full-text index %.1f MB\n",
                    text / 1e6, index / 1e6, double(index) / double(text), state / 1e6, plain / 1e6);
    }

    const QString vgcli = dir + QStringLiteral("/../bin/vgcli");
    struct Query {
        const char* label;
        QString ours;
        QString match;  // the same text for the bare MATCH
    };
    const Query queries[] = {
        {"plain word", QStringLiteral("buffered"), QStringLiteral("buffered")},
        {"rare word", QLatin1String(BenchRareWord()), QLatin1String(BenchRareWord())},
        {"prefix", QLatin1String(BenchPrefix()), QLatin1String(BenchPrefix())},
        {"two words", QStringLiteral("buffer value"), QStringLiteral("buffer value")},
        {"common word", QLatin1String(BenchCommonWord()), QLatin1String(BenchCommonWord())},
    };
    if (wanted("cli")) std::printf("\nvgcli search against the sqlite3 shell's bare MATCH, whole processes, median of %d runs\n", runs);
    if (wanted("cli")) std::printf("%-12s %-14s %8s %12s %12s %7s\n", "query", "text", "hits", "vgcli (ms)", "shell (ms)", "ratio");
    for (const Query& q : queries) {
        if (!wanted("cli")) break;
        const QString sql = QStringLiteral("SELECT ROWID, Title FROM ftsItem WHERE ftsItem MATCH '") + q.match +
                            QStringLiteral("' ORDER BY Title;");
        std::vector<double> ours, shell;
        for (int i = 0; i < runs; ++i) {
            ours.push_back(runMs(vgcli, {QStringLiteral("search"), indexed, q.ours}));
            shell.push_back(runMs(QStringLiteral("sqlite3"), {indexed, sql}));
        }
        CSQLite db;
        openDb(db, indexed);
        QString error;
        const int hits = CSearch::Run(db, q.ours, -1, -1, {}, &error).RowCount();
        std::printf("%-12s %-14s %8d %12.1f %12.1f %6.2fx\n", q.label, qPrintable(q.ours), hits, median(ours),
                    median(shell), median(ours) / median(shell));
    }

    // Identifier searches inside the process, the connection open: parsed, checked and ranked.
    if (wanted("ranked")) {
        std::printf("\nranked identifier search in the process, median of %d runs\n", runs);
        CSQLite db;
        if (!openDb(db, indexed)) return 1;
        QString first;
        db.ForEachRow(QStringLiteral("SELECT c0Title FROM ftsItem_content WHERE docid = 5"), [&](const CSQLite::Row& r) {
            QByteArray s;
            first = QString::fromUtf8(r.Utf8(0, s)).section(QLatin1Char(' '), 0, 0);
            return false;
        });
        // "kalomi23" written as code: camelCase with its number, and as a phrase of its parts.
        QString camel = first;
        if (!camel.isEmpty()) camel[0] = camel[0].toUpper();
        for (const QString& text : {QStringLiteral("bufferValue"), QStringLiteral("return_value"),
                                    QStringLiteral("get") + camel, first, QStringLiteral("buffValue*")}) {
            std::vector<double> ms, cpu;
            int hits = 0;
            for (int i = 0; i < runs; ++i) {
                QElapsedTimer t;
                t.start();
                const double cpu0 = threadCpuMs();
                QString error;
                hits = CSearch::Run(db, text, -1, -1, {}, &error).RowCount();
                ms.push_back(t.nsecsElapsed() / 1e6);
                cpu.push_back(threadCpuMs() - cpu0);
            }
            std::printf("%-22s %8d hits %8.1f ms (CPU %.1f ms)\n", qPrintable(text), hits, median(ms), median(cpu));
        }
    }

    // Another program changes 1,000 items; the next search brings the index up to date.
    if (wanted("catchup")) {
        std::printf("\ncatch-up after another program changed 1,000 items, median of %d runs\n", runs);
        std::vector<double> ms;
        int rewritten = 0;
        for (int i = 0; i < runs; ++i) {
            const QString work = BenchWorkCopy(indexed, dir + QStringLiteral("/bench-search-work.db"));
            sqlite3* other = nullptr;
            sqlite3_open(QFile::encodeName(work).constData(), &other);
            sqlite3_exec(other,
                         "UPDATE ftsItem SET Code = Code || ' changedElsewhere' WHERE docid % 100 = 0;",
                         nullptr, nullptr, nullptr);
            sqlite3_close(other);
            // The copy's pages on disk first, so that writing them back does not run alongside.
            ::sync();
            CSQLite db;
            if (!openDb(db, work)) return 1;
            QElapsedTimer t;
            t.start();
            QString error;
            CSearchIndex::CatchUp(db, &error, &rewritten);
            ms.push_back(t.nsecsElapsed() / 1e6);
            const int found = CSearch::Run(db, QStringLiteral("changedElsewhere"), -1, -1, {}, &error).RowCount();
            if (i == 0) std::printf("items indexed again %d, found by the new word %d\n", rewritten, found);
        }
        std::printf("catch-up %.0f ms\n", median(ms));
        QFile::remove(dir + QStringLiteral("/bench-search-work.db"));
    }
    return 0;
}
