// Export and import of a 100,000-item database, without and with attachments (every tenth item
// carries a 4 KB file). Each phase runs in a child process of its own, so its peak resident size
// (VmHWM) is that phase's alone; a child that only opens the database gives the baseline.
//   bench_exchange [ITEMS]      (default 100000)
#include "BenchStats.h"
#include "BenchDatabase.h"
#include "attach/CQuickLZ.h"
#include "db/basDB.h"
#include "exchange/basExport.h"
#include "exchange/basImport.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>

static double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

static QString binFolder() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"); }

// A 4 KB text file that compresses like source code does.
static QByteArray attachmentFile(int item) {
    QByteArray out;
    int k = item;
    while (out.size() < 4096) {
        out += "    total += values[" + QByteArray::number(k % 97) + "] * weight; // step " +
               QByteArray::number(k) + "\r\n";
        k = k * 1103515245 + 12345;
        k &= 0x7fffffff;
    }
    out.truncate(4096);
    return out;
}

static BenchSpec spec(int items, bool attachments) {
    BenchSpec s;
    s.items = items;
    s.settingsDb = binFolder() + QStringLiteral("/settings.db");
    if (attachments) {
        s.attachmentTag = QStringLiteral("text4k-every10");
        s.attachment = [](int n, BenchAttachment& a) {
            if (n % 10 != 0) return false;
            const QByteArray file = attachmentFile(n);
            CQuickLZ qlz;
            if (!qlz.Compress(file, a.block)) return false;
            a.fileSize = file.size();
            a.fileName = QStringLiteral("snippet%1.txt").arg(n % 1000);
            return true;
        };
    }
    return s;
}

// Child: one phase. Prints "seconds bytes peakKb [extra]".
static int child(const QStringList& a) {
    const QString phase = a.value(0), db = a.value(1), file = a.value(2);
    const bool flag = a.value(3) == QLatin1String("1");
    SetProgramFolder(binFolder());
    InitGlobals(CSettings::Store::Memory);
    QString path = db;
    if (OpenDatabase(path).isEmpty()) return 1;
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuSeconds();
    QString extra;
    if (phase == QLatin1String("export")) {
        ExportSummary s;
        if (!ExportDatabase(*gDB, file, flag, &s)) return 1;
        extra = QStringLiteral("lines=%1 attachments=%2").arg(s.lines).arg(s.attachments);
    } else if (phase == QLatin1String("import")) {
        ImportSummary s;
        if (!ImportDatabase(*gDB, file, flag, &s)) return 1;
        extra = QStringLiteral("items=%1 missing=%2").arg(s.items).arg(s.missingAttachments);
    }
    const double secs = double(t.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    std::printf("%.3f %lld %lld %.3f %s\n", secs, qlonglong(QFileInfo(file).size()),
                qlonglong(peakKb()), cpu, qPrintable(extra));
    ReleaseGlobals();
    return 0;
}

struct Result {
    bool ok = false;
    double secs = 0;
    double cpu = 0;
    qint64 bytes = 0;
    qint64 peak = 0;
    QString extra;
};

static Result run(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + args);
    p.waitForFinished(-1);
    Result r;
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    if (p.exitCode() != 0 || f.size() < 4) return r;
    r.ok = true;
    r.secs = f[0].toDouble();
    r.bytes = f[1].toLongLong();
    r.peak = f[2].toLongLong();
    r.cpu = f[3].toDouble();
    r.extra = QString::fromUtf8(f.mid(4).join(' '));
    return r;
}

static void report(const char* what, const Result& r, qint64 baseline) {
    if (!r.ok) {
        std::printf("%-34s failed\n", what);
        return;
    }
    // Wall time depends on what else the machine runs; CPU time is the phase's own.
    std::printf("%-34s %7.2f s (cpu %6.2f s)  %6.1f MB  %6.1f MB/s (cpu %6.1f)  peak %6.1f MB "
                "(+%.1f over open)  %s\n",
                what, r.secs, r.cpu, r.bytes / 1e6, r.bytes / 1e6 / r.secs, r.bytes / 1e6 / r.cpu,
                r.peak / 1024.0, (r.peak - baseline) / 1024.0, qPrintable(r.extra));
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("--child")) return child(args.mid(1));
    const int items = args.isEmpty() ? 100000 : args[0].toInt();

    const QString work = QCoreApplication::applicationDirPath() + QStringLiteral("/exchange-work");
    QDir(work).removeRecursively();
    QDir().mkpath(work + QStringLiteral("/plain"));
    QDir().mkpath(work + QStringLiteral("/attached"));

    for (bool attachments : {false, true}) {
        QString error;
        const QString cached = BenchDatabase(spec(items, attachments), &error);
        if (cached.isEmpty()) {
            std::printf("cannot build the database: %s\n", qPrintable(error));
            return 1;
        }
        const QString folder = work + (attachments ? QStringLiteral("/attached") : QStringLiteral("/plain"));
        const QString db = BenchWorkCopy(cached, folder + QStringLiteral("/source.db"));
        const QString file = folder + QStringLiteral("/all.tab");
        std::printf("%d items, %s\n", items, attachments ? "every tenth with a 4 KB attachment"
                                                         : "no attachments");
        const Result base = run({QStringLiteral("open"), db, db});
        const qint64 baseline = base.ok ? base.peak : 0;
        std::printf("%-34s peak %6.1f MB\n", "open only (baseline)", baseline / 1024.0);

        report(attachments ? "export with attachments" : "export", run({QStringLiteral("export"), db, file,
                                                                         attachments ? "1" : "0"}),
               baseline);
        // Into an empty database, keeping the numbers, then as new items on top of the original.
        const QString empty = folder + QStringLiteral("/empty.db");
        QFile::remove(empty);
        report("import keeping numbers (empty db)", run({QStringLiteral("import"), empty, file, "1"}),
               baseline);
        report("import as new items (full db)", run({QStringLiteral("import"), db, file, "0"}), baseline);
    }
    QDir(work).removeRecursively();
    return 0;
}
