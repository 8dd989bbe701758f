#include "util/basText.h"

#include <cstring>

bool IsValidUtf8(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        // ASCII runs are the common case: skip them eight bytes at a time.
        while (end - p >= 8) {
            quint64 w;
            std::memcpy(&w, p, 8);
            if (w & 0x8080808080808080ull) break;
            p += 8;
        }
        if (p >= end) break;
        unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int n;
        unsigned minCp;
        if ((c & 0xE0) == 0xC0) n = 1, minCp = 0x80, c &= 0x1F;
        else if ((c & 0xF0) == 0xE0) n = 2, minCp = 0x800, c &= 0x0F;
        else if ((c & 0xF8) == 0xF0) n = 3, minCp = 0x10000, c &= 0x07;
        else return false;
        if (end - p <= n) return false;
        for (int i = 1; i <= n; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (c < minCp || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        p += n + 1;
    }
    return true;
}

QString DecodeCp1252(QByteArrayView bytes) {
    // 0x80..0x9F differ from Latin-1; unassigned positions map to themselves as Windows does.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        d[i] = (c >= 0x80 && c < 0xA0) ? QChar(high[c - 0x80]) : QChar(c);
    }
    return out;
}

QString DecodeUtf8OrCp1252(QByteArrayView bytes) {
    if (IsValidUtf8(bytes)) return QString::fromUtf8(bytes);
    return DecodeCp1252(bytes);
}

QString DecodeLinesUtf8OrCp1252(QByteArrayView bytes) {
    if (IsValidUtf8(bytes)) return QString::fromUtf8(bytes);
    QString out;
    out.reserve(bytes.size());
    for (qsizetype start = 0; start < bytes.size();) {
        const qsizetype lf = bytes.indexOf('\n', start);
        const qsizetype end = lf < 0 ? bytes.size() : lf + 1;
        out += DecodeUtf8OrCp1252(bytes.sliced(start, end - start));
        start = end;
    }
    return out;
}
