// Import from other tools' files and export to a Markdown folder:
//   - 10,000 VS Code snippets (one user snippets file) into an empty database;
//   - a 10,000-snippet massCode db.json into an empty database;
//   - the 100,000-item benchmark database exported to Markdown, then exported again unchanged
//     (which must rewrite no file);
//   - with --big MB, a VS Code file, a massCode db.json and a SnippetsLab export of about MB
//     megabytes each, for the peak memory against their size;
//   - with --export-only, the Markdown export phases alone.
// Each phase runs in a child process of its own, so its peak resident size (VmHWM) is its alone.
//   bench_formats [--items N] [--big MB] [--export-only]
#include "BenchDatabase.h"
#include "BenchStats.h"
#include "db/basDB.h"
#include "formats/CFormatWriter.h"
#include "formats/basImportFrom.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>

static double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

static QString binFolder() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"); }

// A snippet body of a few lines, different for every n, with some VS Code syntax now and then.
static QByteArray body(int n) {
    QByteArray b = "[\"def handler_" + QByteArray::number(n) + "(event, context):\", ";
    b += "\"\\tvalues = [x * " + QByteArray::number(n % 97) + " for x in range(10)]\", ";
    b += n % 3 == 0 ? "\"\\treturn ${1:values}\"]" : "\"\\treturn sum(values)  # total\"]";
    return b;
}

static void writeVsCode(const QString& file, int count, qint64 minBytes = 0) {
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write("{\n");
    for (int n = 0; n < count || f.size() < minBytes; ++n) {
        if (n) f.write(",\n");
        f.write("\t\"Snippet " + QByteArray::number(n) + "\": {\"prefix\": \"s" + QByteArray::number(n) +
                "\", \"body\": " + body(n) + ", \"description\": \"handler number " + QByteArray::number(n) + "\"}");
    }
    f.write("\n}\n");
}

static void writeMassCode(const QString& file, int count, qint64 minBytes = 0) {
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write("{\"folders\": [");
    for (int i = 0; i < 20; ++i)
        f.write((i ? "," : "") + QByteArray("{\"id\": \"f") + QByteArray::number(i) + "\", \"name\": \"Folder " +
                QByteArray::number(i) + "\", \"parentId\": " + (i < 5 ? QByteArray("null") : "\"f" + QByteArray::number(i % 5) + "\"") +
                ", \"defaultLanguage\": \"python\"}");
    f.write("], \"tags\": [{\"id\": \"t1\", \"name\": \"web\"}, {\"id\": \"t2\", \"name\": \"cli\"}], \"snippets\": [\n");
    for (int n = 0; n < count || f.size() < minBytes; ++n) {
        f.write((n ? ",\n" : "") + QByteArray("{\"id\": \"s") + QByteArray::number(n) + "\", \"name\": \"Snippet " +
                QByteArray::number(n) + "\", \"folderId\": \"f" + QByteArray::number(n % 20) + "\", \"tagsIds\": [\"t" +
                QByteArray::number(1 + n % 2) + "\"], \"description\": null, \"isFavorites\": false, \"isDeleted\": " +
                (n % 50 == 0 ? "true" : "false") + ", \"createdAt\": 1663003921012, \"updatedAt\": " +
                QByteArray::number(1663003921012LL + n) + ", \"content\": [{\"label\": \"Fragment 1\", \"language\": \"python\", "
                "\"value\": \"import os\\nprint(os.getcwd(), " + QByteArray::number(n) + ")\\n\"}]}");
    }
    f.write("]}\n");
}

// A SnippetsLab export of at least minBytes: a few folders and tags, then the snippets.
static void writeSnippetsLab(const QString& file, qint64 minBytes) {
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write("{\"contents\": {\"folders\": [{\"title\": \"Work\", \"uuid\": \"F-1\", \"children\": "
            "[{\"title\": \"Lambda\", \"uuid\": \"F-2\", \"children\": []}]}], "
            "\"tags\": [{\"title\": \"aws\", \"uuid\": \"T-1\"}], \"snippets\": [\n");
    for (int n = 0; f.size() < minBytes; ++n) {
        const QByteArray num = QByteArray::number(n);
        f.write((n ? ",\n" : "") + QByteArray("{\"title\": \"Snippet ") + num + "\", \"folder\": \"F-" +
                QByteArray::number(1 + n % 2) + "\", \"tags\": [\"T-1\"], \"pinned\": false, "
                "\"dateModified\": \"2020-06-07T08:09:10Z\", \"fragments\": [{\"title\": \"code\", \"note\": \"handler " +
                num + "\", \"language\": \"Python\", \"content\": \"def handler_" + num +
                "(event):\\n    return sum(x * 3 for x in range(10))\\n\"}]}");
    }
    f.write("]}}\n");
}

static int child(const QStringList& a) {
    const QString phase = a.value(0), db = a.value(1), path = a.value(2);
    SetProgramFolder(binFolder());
    InitGlobals(CSettings::Store::Memory);
    QString file = db;
    if (OpenDatabase(file).isEmpty()) return 1;
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuSeconds();
    QString extra;
    if (phase == QLatin1String("export")) {
        CExportSummary s;
        if (!CFormatWriter::Create(QStringLiteral("markdown"))->Write(*gDB, path, s)) return 1;
        extra = QStringLiteral("items=%1 written=%2 unchanged=%3").arg(s.items).arg(s.written).arg(s.unchanged);
    } else if (phase == QLatin1String("files")) {
        // The file system alone: the Markdown folder's files written again as plain new files
        // (same folders, names and sizes) into another folder.
        const QString target = a.value(3);
        int n = 0;
        qint64 writeNs = 0;
        for (QDirIterator it(path, {QStringLiteral("*.md")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); ++n) {
            const QString src = it.next();
            const QString dst = target + QLatin1Char('/') + QDir(path).relativeFilePath(src);
            QFile in(src), out(dst);
            in.open(QIODevice::ReadOnly);
            const QByteArray bytes = in.readAll();
            QElapsedTimer w;  // only the writing counts, not the reading of the source
            w.start();
            QDir().mkpath(QFileInfo(dst).absolutePath());
            out.open(QIODevice::WriteOnly);
            out.write(bytes);
            out.close();
            writeNs += w.nsecsElapsed();
        }
        extra = QStringLiteral("files=%1 writing=%2s").arg(n).arg(double(writeNs) / 1e9, 0, 'f', 3);
    } else if (phase != QLatin1String("open")) {
        ImportFromSummary s;
        if (!ImportFrom(*gDB, {phase, path, false, {}, {}}, &s)) {
            std::fprintf(stderr, "%s\n", qPrintable(s.error));
            return 1;
        }
        extra = QStringLiteral("added=%1 deleted=%2").arg(s.added).arg(s.deleted);
    }
    std::printf("%.3f %lld %.3f %s\n", double(t.nsecsElapsed()) / 1e9, qlonglong(peakKb()), cpuSeconds() - cpu0,
                qPrintable(extra));
    ReleaseGlobals();
    return 0;
}

static void run(const char* what, const QStringList& args, qint64 sourceBytes = 0) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + args);
    p.waitForFinished(-1);
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    if (p.exitCode() != 0 || f.size() < 2) {
        std::printf("%-40s failed\n", what);
        return;
    }
    // Wall time depends on what else the machine runs; CPU time is the phase's own.
    std::printf("%-40s %7.3f s (cpu %6.3f s)  peak %7.1f MB", what, f[0].toDouble(), f.value(2).toDouble(),
                f[1].toDouble() / 1024.0);
    if (sourceBytes > 0) std::printf(" (%.2fx the source's %.1f MB)", f[1].toDouble() * 1024.0 / double(sourceBytes), sourceBytes / 1e6);
    std::printf("  %s\n", f.mid(3).join(' ').constData());
    std::fflush(stdout);
}

static void importPhases(const QString& work, const QString& vscode, const QString& masscode, int bigMb) {
    writeVsCode(vscode, 10000);
    writeMassCode(masscode, 10205);  // 205 of them in the trash: 10,000 to import
    run("open an empty database (baseline)", {QStringLiteral("open"), work + QStringLiteral("/base.db"), QString()});
    run("import 10,000 VS Code snippets", {QStringLiteral("vscode"), work + QStringLiteral("/vs.db"), vscode},
        QFileInfo(vscode).size());
    run("import 10,000-snippet massCode db.json", {QStringLiteral("masscode"), work + QStringLiteral("/mc.db"), masscode},
        QFileInfo(masscode).size());
    if (bigMb > 0) {
        const QString big = work + QStringLiteral("/big.json");
        writeVsCode(big, 0, qint64(bigMb) * 1000 * 1000);
        run("import a large VS Code file", {QStringLiteral("vscode"), work + QStringLiteral("/big.db"), big}, QFileInfo(big).size());
        QFile::remove(big);
        writeMassCode(big, 0, qint64(bigMb) * 1000 * 1000);
        run("import a large massCode db.json", {QStringLiteral("masscode"), work + QStringLiteral("/bigmc.db"), big},
            QFileInfo(big).size());
        QFile::remove(big);
        writeSnippetsLab(big, qint64(bigMb) * 1000 * 1000);
        run("import a large SnippetsLab export", {QStringLiteral("snippetslab"), work + QStringLiteral("/bigsl.db"), big},
            QFileInfo(big).size());
        QFile::remove(big);
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("--child")) return child(args.mid(1));
    const int itemsAt = args.indexOf(QStringLiteral("--items"));
    const int items = itemsAt >= 0 ? args.value(itemsAt + 1).toInt() : 100000;
    const int bigAt = args.indexOf(QStringLiteral("--big"));
    const int bigMb = bigAt >= 0 ? args.value(bigAt + 1).toInt() : 0;
    const bool exportOnly = args.contains(QStringLiteral("--export-only"));

    const QString work = QCoreApplication::applicationDirPath() + QStringLiteral("/formats-work");
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    const QString vscode = work + QStringLiteral("/python.json"), masscode = work + QStringLiteral("/db.json");
    if (!exportOnly) importPhases(work, vscode, masscode, bigMb);


    BenchSpec spec;
    spec.items = items;
    spec.settingsDb = binFolder() + QStringLiteral("/settings.db");
    const QString db = BenchWorkCopy(BenchDatabaseOrExit(spec), work + QStringLiteral("/source.db"));
    const QString folder = work + QStringLiteral("/markdown");
    run(qPrintable(QStringLiteral("export %1 items to Markdown").arg(items)), {QStringLiteral("export"), db, folder});
    // The identities were stored by the first export: the second one sees the same database.
    QHash<QString, QDateTime> times;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString f = it.next();
        times.insert(f, QFileInfo(f).lastModified());
    }
    run("export again, nothing changed", {QStringLiteral("export"), db, folder});
    int touched = 0;
    for (auto it = times.cbegin(); it != times.cend(); ++it)
        if (QFileInfo(it.key()).lastModified() != it.value()) ++touched;
    std::printf("%-40s %d of %lld files\n", "files rewritten by the second export", touched, qlonglong(times.size()));
    run("the same files written plainly (fs only)", {QStringLiteral("files"), db, folder, work + QStringLiteral("/plain")});
    QDir(work).removeRecursively();
    return 0;
}
