// The journal's cost on the 100,000-item database: a save with history against one without,
// an import over every existing item with and without, the undo of that import, and the room
// ten saves of a 2 KB item take. Prints figures; asserts nothing.
//
//   build/bench/bench_history [--runs R] [--saves N] [--items N] [--undo-only]
//                             [--keep-import FILE | --undo-from FILE]
//   (--items: a smaller database; --undo-only: just the import with history and its undo;
//   --keep-import: a copy of the database after that import goes to FILE; --undo-from: only the
//   undo, on a copy of such a FILE)
#include "BenchDatabase.h"
#include "BenchStats.h"

#include "db/basDB.h"
#include "exchange/basExport.h"
#include "exchange/basImport.h"
#include "history/CHistoryJournal.h"
#include "history/CUndo.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

namespace {

double seconds(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

// Process CPU seconds: suffers less from a busy machine than the wall clock.
double cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// Opens path on db; without history the journal's writer is replaced by one that does nothing.
bool open(CSQLite& db, const QString& path, bool history) {
    StoreError e;
    if (!OpenDatabase(db, path, &e)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(e.text));
        return false;
    }
    if (!history) db.AddChangeWriter([](CSQLite&, const CChange&, QString*) { return true; }, QStringLiteral("history"));
    return true;
}

qint64 fileBytes(CSQLite& db) {
    ResultTable t;
    QString e;
    return db.Exec(QStringLiteral("SELECT page_count * page_size FROM pragma_page_count, pragma_page_size"), t, e, true)
        .toLongLong();
}

// Seconds per save of saves items, each edited once.
double saveSeconds(const QString& path, bool history, int saves, int items) {
    CSQLite db;
    if (!open(db, path, history)) return -1;
    QElapsedTimer t;
    t.start();
    for (int i = 1; i <= saves; ++i) {
        CItem item;
        QString e;
        const int id = 1 + (i * 7919) % items;
        if (!LoadItem(db, id, item, &e)) continue;
        item.body += QStringLiteral("\n// edited");
        item.lastUpdate = QDateTime();
        if (!SaveItem(db, item, SaveOptions(), &e)) std::fprintf(stderr, "save: %s\n", qPrintable(e));
    }
    return seconds(t) / saves;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Each figure shows as soon as it is measured: the import runs take minutes.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    const int runs = RunsArgument(args, 3);
    const int saveIndex = int(args.indexOf(QStringLiteral("--saves")));
    const int saves = saveIndex > 0 ? args.value(saveIndex + 1).toInt() : 300;
    SetProgramFolder(QDir(app.applicationDirPath()).filePath(QStringLiteral("../bin")));
    InitGlobals(CSettings::Store::Memory);
    BenchSpec spec;
    if (const int i = int(args.indexOf(QStringLiteral("--items"))); i > 0) spec.items = args.value(i + 1).toInt();
    const QString cached = BenchDatabaseOrExit(spec);
    QTemporaryDir dir;
    const QString work = dir.filePath(QStringLiteral("work.db"));

    const auto option = [&](const char* name) {
        const int i = int(args.indexOf(QLatin1String(name)));
        return i > 0 ? args.value(i + 1) : QString();
    };
    const QString keepImport = option("--keep-import"), undoFrom = option("--undo-from");
    if (!undoFrom.isEmpty()) {
        BenchWorkCopy(undoFrom, work);
        CSQLite db;
        if (!open(db, work, true)) return 1;
        QElapsedTimer t;
        t.start();
        const double cpu = cpuSeconds();
        QString e;
        const bool undone = CUndo::UndoLast(db, nullptr, nullptr, &e);
        std::printf("undo of the import in %s: %.2f s (CPU %.2f s)%s\n", qPrintable(undoFrom), seconds(t),
                    cpuSeconds() - cpu, undone ? "" : qPrintable(QStringLiteral(" (failed: ") + e + QLatin1Char(')')));
        return undone ? 0 : 1;
    }
    const bool undoOnly = args.contains(QStringLiteral("--undo-only"));
    std::vector<double> with, without;
    for (int r = 0; r < runs && !undoOnly; ++r) {
        BenchWorkCopy(cached, work);
        without.push_back(saveSeconds(work, false, saves, spec.items));
        BenchWorkCopy(cached, work);
        with.push_back(saveSeconds(work, true, saves, spec.items));
    }
    if (!undoOnly)
        std::printf("save (median of %d x %d): without history %.3f ms, with %.3f ms, ratio %.2f\n", runs, saves,
                median(without) * 1e3, median(with) * 1e3, median(with) / median(without));

    // The file holds every item with other code than the database: the import replaces them all.
    const QString file = dir.filePath(QStringLiteral("items.tab"));
    {
        CSQLite db;
        BenchWorkCopy(cached, work);
        if (!open(db, work, true) || !ExportDatabase(db, file, false)) return 1;
        db.Run(QStringLiteral("UPDATE ftsItem SET Code = Code || ' changed'"));
    }
    const QString changed = dir.filePath(QStringLiteral("changed.db"));
    {
        CSQLite db;
        BenchWorkCopy(cached, changed);
        if (!open(db, changed, false)) return 1;
        db.Run(QStringLiteral("UPDATE ftsItem SET Code = Code || ' changed'"));
    }
    for (bool history : {false, true}) {
        if (undoOnly && !history) continue;
        BenchWorkCopy(changed, work);
        CSQLite db;
        if (!open(db, work, history)) return 1;
        ImportSummary s;
        QElapsedTimer t;
        t.start();
        double cpu = cpuSeconds();
        const bool ok = ImportDatabase(db, file, true, &s);
        const double secs = seconds(t);
        std::printf("import over %d existing items %s history: %.2f s (CPU %.2f s)%s\n", s.items,
                    history ? "with" : "without", secs, cpuSeconds() - cpu,
                    ok ? "" : qPrintable(QStringLiteral(" (failed: ") + s.error + QLatin1Char(')')));
        if (!history) continue;
        if (!keepImport.isEmpty()) {
            db.CloseFile();
            QFile::remove(keepImport);
            QFile::copy(work, keepImport);
            if (!open(db, work, history)) return 1;
        }
        t.restart();
        cpu = cpuSeconds();
        QString e;
        const bool undone = CUndo::UndoLast(db, nullptr, nullptr, &e);
        std::printf("undo of that import: %.2f s (CPU %.2f s)%s\n", seconds(t), cpuSeconds() - cpu,
                    undone ? "" : qPrintable(QStringLiteral(" (failed: ") + e + QLatin1Char(')')));
    }

    // Ten saves of one 2 KB item.
    if (!undoOnly) {
        CSQLite db;
        const QString small = dir.filePath(QStringLiteral("small.db"));
        if (!open(db, small, true)) return 1;
        CItem item;
        item.title = QStringLiteral("Two kilobytes");
        item.language = QStringLiteral("C++");
        item.categories = {QStringLiteral("bench")};
        while (item.body.size() < 2048) item.body += QStringLiteral("int value%1 = compute(%1);\n").arg(item.body.size());
        QString e;
        SaveItem(db, item, SaveOptions(), &e);
        CHistoryJournal::EnsureTables(db, &e);
        db.Run(QStringLiteral("VACUUM"));
        const qint64 before = fileBytes(db);
        for (int i = 0; i < 10; ++i) {
            item.body += QStringLiteral("// %1\n").arg(i);
            item.lastUpdate = QDateTime();
            SaveItem(db, item, SaveOptions(), &e);
        }
        std::printf("history of 10 saves of a 2 KB item: %lld bytes\n", qlonglong(fileBytes(db) - before));
    }
    ReleaseGlobals();
    return 0;
}
