// Time and peak memory of attaching and then extracting one large mixed file (code text,
// structured binary, random bytes). Each phase runs in a child process of its own, so its
// peak resident size (VmHWM) is that phase's alone; a child that only opens the database
// gives the baseline.
// Attach and extract alternate with the reference's runs, so that drifts of the machine fall on
// both; times are medians, peaks the highest seen.
//   bench_attach [SIZE_MB [random]] [--runs N]   (default 50 MB of mixed content; random:
//   incompressible; 3 runs)
#include "BenchStats.h"
#include "attach/CQuickLZ.h"
#include "attach/basAttachment.h"
#include "db/basDB.h"
#include "util/CString.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <cstdio>
#include <cstring>

static QByteArray mixedFile(qint64 size, bool randomOnly) {
    QByteArray out;
    out.reserve(size);
    QRandomGenerator gen(20261206);
    if (randomOnly) {
        out.resize(size);
        for (qint64 i = 0; i + 4 <= size; i += 4) {
            const quint32 v = gen.generate();
            std::memcpy(out.data() + i, &v, 4);
        }
        return out;
    }
    static const char* const lines[] = {
        "    for (int i = 0; i < count; ++i) {\n",
        "        total += values[i] * weight;\n",
        "    }\n",
        "Private Sub cmdSave_Click()\n",
        "    If Len(txtTitle.Text) = 0 Then Exit Sub\n",
        "SELECT ID, Title FROM qryItem WHERE File LIKE '%.txt' ORDER BY Title;\n",
        "// keep the buffer one byte longer than the text\n",
        "    return QString::fromUtf8(data, length);\n",
    };
    while (out.size() < size) {
        const int kind = gen.bounded(3);
        const int len = 4096 + gen.bounded(60000);
        if (kind == 0) {
            for (qint64 start = out.size(); out.size() - start < len;) {
                out += lines[gen.bounded(8)];
                if (gen.bounded(4) == 0) out += QByteArray::number(gen.bounded(100000)) + ";\n";
            }
        } else if (kind == 1) {
            // Records of small integers and repeated headers, as in a binary data file.
            for (int i = 0; i < len / 16; ++i) {
                const quint32 rec[4] = {0x4D42u, quint32(i), quint32(gen.bounded(256)), 0};
                out.append(reinterpret_cast<const char*>(rec), sizeof rec);
            }
        } else {
            const qint64 at = out.size();
            out.resize(at + len);
            for (qint64 i = at; i < out.size(); ++i) out[i] = char(gen.bounded(256));
        }
    }
    out.truncate(size);
    return out;
}

// Child: one phase, then "seconds peakKb [extra]" on stdout.
static int child(const QStringList& a) {
    InitGlobals(CSettings::Store::Memory);
    QString db = a[1];
    if (OpenDatabase(db).isEmpty()) return 3;
    QElapsedTimer t;
    t.start();
    QString error;
    bool ok = true;
    QString extra;
    if (a[0] == QLatin1String("compress")) {
        // The codec alone: the file read and compressed, nothing stored.
        QFile f(a[2]);
        QByteArray block;
        ok = f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        ok = ok && CQuickLZ().Compress(data, block, &error);
    } else if (a[0] == QLatin1String("ref-attach")) {
        // Reference: the same block and name stored with the engine's own calls, one
        // transaction, the block bound.
        QFile f(a[2]);
        QByteArray block;
        ok = f.open(QIODevice::ReadOnly);
        QByteArray data = f.readAll();
        const qint64 size = data.size();
        ok = ok && CQuickLZ().Compress(data, block, &error);
        data = QByteArray();
        sqlite3* h = gDB->Handle();
        sqlite3_stmt* st = nullptr;
        ok = ok && sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
             sqlite3_prepare_v2(h, "UPDATE tblItem SET FileSize = ?1, FileBLOB = ?2, LastUpdate = JulianDay('now') "
                                   "WHERE ID = 1", -1, &st, nullptr) == SQLITE_OK &&
             sqlite3_bind_int64(st, 1, size) == SQLITE_OK &&
             sqlite3_bind_blob64(st, 2, block.constData(), sqlite3_uint64(block.size()), SQLITE_STATIC) == SQLITE_OK &&
             sqlite3_step(st) == SQLITE_DONE;
        sqlite3_finalize(st);
        ok = ok && sqlite3_exec(h, "UPDATE ftsItem SET File = 'mixed.bin' WHERE ROWID = 1; COMMIT", nullptr, nullptr,
                                nullptr) == SQLITE_OK;
    } else if (a[0] == QLatin1String("ref-extract")) {
        // Reference: the block read from the engine's buffer, decoded, written.
        sqlite3_stmt* st = nullptr;
        QByteArray data;
        ok = sqlite3_prepare_v2(gDB->Handle(), "SELECT FileBLOB FROM tblItem WHERE ID = 1", -1, &st, nullptr) ==
                 SQLITE_OK &&
             sqlite3_step(st) == SQLITE_ROW &&
             CQuickLZ().Decompress(QByteArrayView(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                                                  sqlite3_column_bytes(st, 0)),
                                   data, &error);
        sqlite3_finalize(st);
        QFile f(a[2]);
        ok = ok && f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
    } else if (a[0] == QLatin1String("attach")) {
        ok = SaveAttachment(1, a[2], &error);
    } else if (a[0] == QLatin1String("extract")) {
        QString out = a[2];
        ok = ExtractAttachment(1, out, false, &error);
        extra = out;
    }
    const double secs = t.nsecsElapsed() / 1e9;
    ReleaseGlobals();
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    std::printf("%.3f %lld %s\n", secs, peakKb(), extra.toUtf8().constData());
    return 0;
}

struct Phase {
    double secs = 0;
    qint64 kb = 0;
};

static Phase runChild(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + args);
    p.waitForFinished(-1);
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    Phase r;
    if (p.exitCode() != 0 || f.size() < 2) {
        std::fprintf(stderr, "phase %s failed\n", args.value(0).toUtf8().constData());
        std::exit(1);
    }
    r.secs = f[0].toDouble();
    r.kb = f[1].toLongLong();
    return r;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SetProgramFolder(QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")));
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("--child")) return child(args.mid(1));

    const int runs = RunsArgument(args, 3);
    if (const int r = args.indexOf(QStringLiteral("--runs")); r >= 0) args.remove(r, qMin(2, args.size() - r));
    const qint64 mb = args.isEmpty() ? 50 : args[0].toLongLong();
    const qint64 size = mb * 1024 * 1024;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("bench.db"));
    const QString src = dir.filePath(QStringLiteral("mixed.bin"));
    const QString out = dir.filePath(QStringLiteral("extracted.bin"));
    const bool randomOnly = args.value(1) == QLatin1String("random");
    const QByteArray data = mixedFile(size, randomOnly);
    {
        QFile f(src);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) return 1;
    }
    {
        InitGlobals(CSettings::Store::Memory);
        QString file = db;
        if (OpenDatabase(file).isEmpty()) return 1;
        gDB->Run(QStringLiteral("INSERT INTO tblItem (ID, LastUpdate) VALUES (1, JulianDay('now'));"
                                "INSERT INTO ftsItem (DOCID, Title, Code) VALUES (1, 'Bench', '');"));
        ReleaseGlobals();
    }

    // In-process figures for the two hex conversions the storage leans on.
    {
        CString bytes(data);
        QElapsedTimer t;
        t.start();
        CString hex = bytes.ToHex();
        const double toHex = t.nsecsElapsed() / 1e9;
        t.restart();
        CString back;
        back.FromHexBytes(hex.View());
        const double fromHex = t.nsecsElapsed() / 1e9;
        std::printf("hex: ToHex %.3f s, FromHex %.3f s for %lld MB of bytes (%lld MB of hex)%s\n",
                    toHex, fromHex, mb, 2 * mb, back.View() == QByteArrayView(data) ? "" : "  MISMATCH");
    }

    const Phase base = runChild({QStringLiteral("open"), db});
    const Phase compress = runChild({QStringLiteral("compress"), db, src});
    // Each run: ours, then the reference, on the same block; medians over the runs.
    Phase attach, extract, refAttach, refExtract;
    bool same = true;
    const QString refOut = dir.filePath(QStringLiteral("reference.bin"));
    std::vector<double> t[4];
    auto keep = [&](Phase& into, const Phase& p, int k) {
        t[k].push_back(p.secs);
        into.kb = std::max(into.kb, p.kb);
    };
    for (int run = 0; run < runs; ++run) {
        keep(attach, runChild({QStringLiteral("attach"), db, src}), 0);
        keep(refAttach, runChild({QStringLiteral("ref-attach"), db, src}), 1);
        QFile::remove(out);
        QFile::remove(refOut);
        keep(extract, runChild({QStringLiteral("extract"), db, out}), 2);
        keep(refExtract, runChild({QStringLiteral("ref-extract"), db, refOut}), 3);
        QFile back(out);
        same = same && back.open(QIODevice::ReadOnly) && back.readAll() == data;
    }
    attach.secs = median(t[0]);
    refAttach.secs = median(t[1]);
    extract.secs = median(t[2]);
    refExtract.secs = median(t[3]);
    qint64 stored = 0;
    {
        InitGlobals(CSettings::Store::Memory);
        QString file = db;
        OpenDatabase(file);
        ResultTable t;
        QString error;
        stored = gDB->Exec(QStringLiteral("SELECT Length(FileBLOB) FROM tblItem WHERE ID = 1"), t, error, true)
                     .toLongLong();
        ReleaseGlobals();
    }

    const double fileMb = double(size) / (1024.0 * 1024.0);
    std::printf("file: %.1f MB %s; stored block %.1f MB (%.1f%%)\n", fileMb,
                randomOnly ? "random bytes" : "mixed (code text, binary records, random)", stored / 1048576.0, 100.0 * double(stored) / double(size));
    std::printf("baseline (open database only): peak %.1f MB\n", base.kb / 1024.0);
    auto show = [&](const char* name, const Phase& p) {
        const double peak = p.kb / 1024.0;
        std::printf("%-11s %6.2f s  %6.1f MB/s  peak %6.1f MB = %.2f x file (%.2f x above baseline)\n", name,
                    p.secs, fileMb / p.secs, peak, peak / fileMb, (peak - base.kb / 1024.0) / fileMb);
    };
    show("compress", compress);
    show("attach", attach);
    show("extract", extract);
    show("ref-attach", refAttach);
    show("ref-extract", refExtract);
    std::printf("medians of %d runs, each ours then the reference\n", runs);
    std::printf("ours against the reference: attach %.2fx, extract %.2fx the time\n", attach.secs / refAttach.secs,
                extract.secs / refExtract.secs);
    std::printf("round trip: %s\n", same ? "identical" : "DIFFERENT");
    return same ? 0 : 1;
}
