#pragma once
// Figures the benchmarks share: medians of repeated runs and the process's peak memory.
#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <vector>

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Peak resident memory of this process in KB (VmHWM), -1 when it cannot be read.
inline qint64 peakKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// The N of "--runs N" among the arguments, at least 1; fallback when it is not given.
inline int RunsArgument(const QStringList& args, int fallback) {
    const int r = args.indexOf(QStringLiteral("--runs"));
    return r >= 0 && r + 1 < args.size() ? std::max(1, args[r + 1].toInt()) : fallback;
}
