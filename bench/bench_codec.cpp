// Level-1 compression and decompression throughput of the QuickLZ codec on a deterministic
// 50 MB corpus of code-like text, structured binary and random bytes, compressed as one block
// (as an attachment is). Prints the best of several runs in MB/s (1 MB = 10^6 bytes).
#include "attach/CQuickLZ.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <ctime>

namespace {

constexpr qsizetype kCorpusSize = 50'000'000;

void AppendText(QByteArray& out, qsizetype n, std::mt19937& rng) {
    static const char* keywords[] = {"if", "for", "while", "return", "const", "auto", "int", "void",
                                     "static", "struct", "class", "else", "switch", "case", "break"};
    static const char* names[] = {"count", "index", "buffer", "result", "value", "length", "item",
                                  "table", "offset", "source", "target", "error", "name", "data"};
    const qsizetype end = out.size() + n;
    int depth = 0;
    while (out.size() < end) {
        out += QByteArray(depth * 4, ' ');
        switch (rng() % 6) {
        case 0: out += keywords[rng() % 15]; out += " ("; out += names[rng() % 14]; out += " < "; out += QByteArray::number(int(rng() % 1000)); out += ") {\n"; if (depth < 6) ++depth; break;
        case 1: out += "}\n"; if (depth > 0) --depth; break;
        case 2: out += names[rng() % 14]; out += " = "; out += names[rng() % 14]; out += " + "; out += QByteArray::number(int(rng() % 100)); out += ";\n"; break;
        case 3: out += "// "; for (int w = 0; w < 6; ++w) { out += names[rng() % 14]; out += ' '; } out += "\n"; break;
        case 4: out += "return "; out += names[rng() % 14]; out += "("; out += names[rng() % 14]; out += ");\n"; break;
        default: out += keywords[rng() % 15]; out += ' '; out += names[rng() % 14]; out += "_"; out += QByteArray::number(int(rng() % 50)); out += ";\n"; break;
        }
    }
    out.truncate(end);
}

// Records of slowly changing integers, flags and padding, as in executables and data files.
void AppendBinary(QByteArray& out, qsizetype n, std::mt19937& rng) {
    const qsizetype end = out.size() + n;
    std::uint32_t id = rng() % 100000;
    while (out.size() < end) {
        std::uint32_t rec[4] = {id++, std::uint32_t(rng() % 4), std::uint32_t(0x00400000 + (rng() % 256) * 16), 0};
        if (rng() % 8 == 0) rec[3] = rng();
        out.append(reinterpret_cast<const char*>(rec), sizeof rec);
    }
    out.truncate(end);
}

void AppendRandom(QByteArray& out, qsizetype n, std::mt19937& rng) {
    const qsizetype start = out.size();
    out.resize(start + n);
    for (qsizetype i = start; i < start + n; ++i) out[i] = char(rng());
}

QByteArray Corpus() {
    std::mt19937 rng(20261206);
    QByteArray corpus;
    corpus.reserve(kCorpusSize);
    while (corpus.size() < kCorpusSize) {
        const qsizetype piece = std::min<qsizetype>(kCorpusSize - corpus.size(), 16384 + rng() % 200000);
        const unsigned kind = rng() % 20;  // 45 % text, 35 % binary, 20 % random
        if (kind < 9) AppendText(corpus, piece, rng);
        else if (kind < 16) AppendBinary(corpus, piece, rng);
        else AppendRandom(corpus, piece, rng);
    }
    return corpus;
}

// The machine is shared, so besides wall time the figures use this thread's CPU time, which
// other processes' load does not inflate.
struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpu = CpuNow();
    static double CpuNow() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    }
    double Wall() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(); }
    double Cpu() const { return CpuNow() - cpu; }
};

struct Best {
    double wall = 1e9;
    double cpu = 1e9;
    void Take(const Clock& c) {
        const double w = c.Wall(), u = c.Cpu();
        wall = std::min(wall, w);
        cpu = std::min(cpu, u);
    }
};

// Cold: a new output buffer per call, as an attachment operation does (fresh pages included).
// Warm: the output buffers are reused, which measures the codec alone.
void Measure(const char* what, const QByteArray& data, int runs) {
    CQuickLZ codec;
    QByteArray block;
    QByteArray back;
    Best coldC, coldD, warmC, warmD;
    for (int i = 0; i < runs; ++i) {
        {
            QByteArray b, d;
            Clock c;
            codec.Compress(data, b);
            coldC.Take(c);
            Clock e;
            codec.Decompress(b, d);
            coldD.Take(e);
        }
        Clock c;
        codec.Compress(data, block);
        warmC.Take(c);
        Clock e;
        codec.Decompress(block, back);
        warmD.Take(e);
    }
    const bool same = back == data;
    const double mb = double(data.size()) / 1e6;
    std::printf("%-7s %5.1f MB ratio %.3f (%.1f %% of the input)%s\n", what, mb,
                double(data.size()) / double(block.size()), 100.0 * double(block.size()) / double(data.size()),
                same ? "" : "  ROUND TRIP FAILED");
    std::printf("        compress   warm %7.1f MB/s cpu %7.1f MB/s wall | cold %7.1f MB/s cpu %7.1f MB/s wall\n",
                mb / warmC.cpu, mb / warmC.wall, mb / coldC.cpu, mb / coldC.wall);
    std::printf("        decompress warm %7.1f MB/s cpu %7.1f MB/s wall | cold %7.1f MB/s cpu %7.1f MB/s wall\n",
                mb / warmD.cpu, mb / warmD.wall, mb / coldD.cpu, mb / coldD.wall);
}

}  // namespace

int main() {
    const QByteArray corpus = Corpus();
    std::mt19937 rng(1);
    QByteArray text, binary, random;
    AppendText(text, 10'000'000, rng);
    AppendBinary(binary, 10'000'000, rng);
    AppendRandom(random, 10'000'000, rng);
    std::printf("QuickLZ level 1, one block per input, best of 5 runs\n");
    Measure("mixed", corpus, 5);
    Measure("text", text, 5);
    Measure("binary", binary, 5);
    Measure("random", random, 5);
    return 0;
}
