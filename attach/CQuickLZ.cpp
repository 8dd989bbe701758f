// QuickLZ 1.5 block codec: level-1 encoder (byte-identical to the reference library's 32-bit
// default build; a 64-bit build of the reference never uses input position 0 as a match
// source, so its blocks can differ, while decoding the same) and a bounds-checked decoder for
// levels 1, 2 and 3.
#include "attach/CQuickLZ.h"

#include "util/basLimits.h"

#include <algorithm>
#include <bit>
#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;

constexpr u32 kEmpty = 0xFFFFFFFFu;        // a table slot nothing was entered into
constexpr u32 kCwordTop = 0x80000000u;     // bit 31 of every control word
constexpr int kL1Slots = 4096;
constexpr int kL2Buckets = 2048;
constexpr int kL2Slots = kL2Buckets * 4;
// Level-2 decoding keeps 4 positions and a byte counter per bucket; level 1 reuses the front.
constexpr int kDecompressWords = kL2Slots + kL2Buckets / 4;
// Each level-1 slot keeps the position and its 3 bytes, so a lookup need not touch the source.
constexpr int kCompressWords = kL1Slots * 2;
// No item yields more than 255 bytes from 3 token bytes: the most output a payload byte can stand for.
constexpr u64 kMaxExpansion = 85;
// Blocks carry 32-bit sizes; keep the whole block (with growth for incompressible data) inside them.
constexpr u64 kMaxSource = 0xFFFFFFFFull - 1024;

template <typename T>
inline T ByteSwap(T v) {
    T r = 0;
    for (size_t i = 0; i < sizeof v; ++i) r = T(r << 8 | ((v >> (8 * i)) & 0xFF));
    return r;
}

template <typename T>
inline T LoadLE(const u8* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = ByteSwap(v);
    return v;
}

template <typename T>
inline void StoreLE(u8* p, T v) {
    if constexpr (std::endian::native == std::endian::big) v = ByteSwap(v);
    std::memcpy(p, &v, sizeof v);
}

inline u32 Load24(const u8* p) { return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16; }

inline u32 Hash1(u32 v) { return ((v >> 12) ^ v) & 0xFFF; }
inline u32 Hash2(u32 v) { return ((v >> 9) ^ (v >> 13) ^ v) & 0x7FF; }

bool Fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

// Sizes buf to n bytes (content not kept), reusing its memory when it is large enough: fresh
// pages cost more than the coding itself for large blocks.
void Reserve(QByteArray& buf, size_t n) {
    if (size_t(buf.capacity()) < n || !buf.isDetached()) {
        buf.clear();
        buf.resize(qsizetype(n));
#ifdef __linux__
        // A new large buffer is untouched memory: ask for huge pages before the first write, so
        // filling it costs a few faults instead of one per 4 KB page.
        constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
        if (n >= 4 * kHuge) {
            const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(buf.data()) + kHuge - 1) & ~(kHuge - 1);
            const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(buf.data()) + n) & ~(kHuge - 1);
            if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
        }
#endif
        return;
    }
    buf.resize(qsizetype(n));
}

// True when buf's memory holds any byte of view: then buf must not be reused as the output.
bool Overlaps(const QByteArray& buf, QByteArrayView view) {
    if (view.isEmpty() || buf.capacity() == 0) return false;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(buf.constData());
    const std::uintptr_t end = start + std::uintptr_t(buf.capacity());
    const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(view.data());
    return from < end && from + std::uintptr_t(view.size()) > start;
}

struct Header {
    u8 flags = 0;
    int length = 0;  // 3 or 9
    u64 total = 0;   // block length, header included
    u64 size = 0;    // uncompressed length
};

bool ReadHeader(QByteArrayView block, Header& h) {
    if (block.size() < 1) return false;
    const u8* p = reinterpret_cast<const u8*>(block.data());
    h.flags = p[0];
    if ((h.flags & 0xC0) != 0x40) return false;  // bit 6 set and bit 7 clear in every block
    h.length = (h.flags & 2) ? 9 : 3;
    if (block.size() < h.length) return false;
    if (h.length == 9) {
        h.total = LoadLE<u32>(p + 1);
        h.size = LoadLE<u32>(p + 5);
    } else {
        h.total = p[1];
        h.size = p[2];
    }
    return true;
}

void WriteHeader(u8* out, int headerLength, bool compressed, u64 total, u64 size) {
    out[0] = u8(0x40 | (1 << 2) | (headerLength == 9 ? 2 : 0) | (compressed ? 1 : 0));
    if (headerLength == 9) {
        StoreLE<u32>(out + 1, u32(total));
        StoreLE<u32>(out + 5, u32(size));
    } else {
        out[1] = u8(total);
        out[2] = u8(size);
    }
}

// Copies a match of len bytes from dist back; source and destination may overlap.
// room: bytes of output from out onwards, at least len.
inline void CopyMatch(u8* out, size_t dist, size_t len, size_t room) {
    const u8* from = out - dist;
    if (dist >= 16 && room >= len + 16) {
        for (size_t i = 0; i < len; i += 16) std::memcpy(out + i, from + i, 16);
        return;
    }
    if (room < len + 8) {
        for (size_t i = 0; i < len; ++i) out[i] = from[i];
        return;
    }
    // Enough room to write whole 8-byte chunks past the end; later items overwrite the excess.
    if (dist >= 8) {
        for (size_t i = 0; i < len; i += 8) std::memcpy(out + i, from + i, 8);
        return;
    }
    // Short distance: lay down the first period byte by byte, then copy from a multiple of the
    // period that is at least 8 back, which holds the same bytes.
    for (size_t i = 0; i < 8; ++i) out[i] = from[i];
    const size_t step = dist * ((8 + dist - 1) / dist);
    for (size_t i = 8; i < len; i += 8) std::memcpy(out + i, out + i - step, 8);
}

// Decodes the payload [ip, iend) into out[0, n). Returns nullptr when exactly n bytes came out
// of a sound payload, otherwise the reason.
template <int Level>
const char* DecodePayload(const u8* ip, const u8* const iend, u8* const out, const size_t n, u32* state) {
    u32* const table = state;
    u8* const counters = reinterpret_cast<u8*>(state + kL2Slots);
    if constexpr (Level == 1) std::fill_n(table, kL1Slots, kEmpty);
    if constexpr (Level == 2) {
        std::fill_n(table, kL2Slots, kEmpty);
        std::memset(counters, 0, kL2Buckets);
    }
    auto enterValue = [&](size_t pos, u32 v) {
        if constexpr (Level == 1) {
            table[Hash1(v)] = u32(pos);
        } else {
            const u32 b = Hash2(v);
            table[b * 4 + (counters[b] & 3)] = u32(pos);
            ++counters[b];
        }
    };
    // Enters count positions from first; bytes[i] is the byte at first + i, readable up to limit.
    // Whole 8-byte windows cover six positions per read.
    auto enterBytes = [&](const u8* bytes, size_t first, size_t count, const u8* limit) {
        size_t i = 0;
        for (; i + 6 <= count && size_t(limit - (bytes + i)) >= 8; i += 6) {
            const u64 w = LoadLE<u64>(bytes + i);
            for (unsigned k = 0; k < 6; ++k) enterValue(first + i + k, u32(w >> (8 * k)) & 0xFFFFFF);
        }
        for (; i < count; ++i) enterValue(first + i, Load24(bytes + i));
    };

    // A literal at tailStart or later starts the tail; matches end at matchEnd at the latest.
    const size_t tailStart = n > 11 ? n - 11 : 0;
    const size_t matchEnd = n > 4 ? n - 4 : 0;
    size_t op = 0;
    size_t next = 0;  // next position to enter into the table
    u32 cw = 1;       // remaining item bits above a marker bit; 1 when the word is used up

    for (;;) {
        if (cw == 1) {
            if (iend - ip < 4) return "the block ends inside a control word";
            cw = LoadLE<u32>(ip);
            ip += 4;
            if (!(cw & kCwordTop)) return "a control word lacks its marker bit";
        }
        if (cw & 1) {
            size_t len;
            size_t dist;
            const size_t avail = size_t(iend - ip);
            if constexpr (Level == 1 || Level == 2) {
                if (avail < 2) return "the block ends inside a match";
                const u32 t = LoadLE<u16>(ip);
                const u32 shortLen = Level == 1 ? (t & 0xF) : ((t >> 2) & 7);
                if (shortLen) {
                    len = shortLen + 2;
                    ip += 2;
                } else {
                    if (avail < 3) return "the block ends inside a match";
                    len = ip[2];
                    ip += 3;
                    if (len < 3) return "a match is shorter than 3 bytes";
                }
                const u32 from = Level == 1 ? table[t >> 4] : table[((t >> 5) & 0x7FF) * 4 + (t & 3)];
                if (from == kEmpty) return "a match refers to an empty table slot";
                dist = op - from;  // entries lie at least 3 behind the output
            } else {
                if (avail < 1) return "the block ends inside a match";
                const u32 b0 = ip[0];
                u32 t;
                if ((b0 & 3) == 0) {
                    dist = b0 >> 2;
                    len = 3;
                    ip += 1;
                } else if ((b0 & 3) != 3) {
                    if (avail < 2) return "the block ends inside a match";
                    t = LoadLE<u16>(ip);
                    ip += 2;
                    if ((b0 & 3) == 1) {
                        dist = t >> 2;
                        len = 3;
                    } else {
                        dist = t >> 6;
                        len = ((t >> 2) & 0xF) + 3;
                    }
                } else if ((b0 & 0x7F) != 3) {
                    if (avail < 3) return "the block ends inside a match";
                    t = Load24(ip);
                    ip += 3;
                    dist = (t >> 7) & 0x1FFFF;
                    len = ((t >> 2) & 0x1F) + 2;
                    if (len < 3) return "a match is shorter than 3 bytes";
                } else {
                    if (avail < 4) return "the block ends inside a match";
                    t = LoadLE<u32>(ip);
                    ip += 4;
                    dist = t >> 15;
                    len = ((t >> 7) & 0xFF) + 3;
                }
            }
            if (dist < 3 || dist > op) return "a match reaches outside the data";
            if (op > matchEnd || len > matchEnd - op) return "a match runs past the end of the data";
            if constexpr (Level != 3) {
                // Positions from next (at least op - 2) up to op: their bytes are the two before
                // op and the first three of the match source, all final already.
                const u64 w = u64(LoadLE<u32>(out + op - dist) & 0xFFFFFF) << 16 | LoadLE<u16>(out + op - 2);
                for (; next <= op; ++next) enterValue(next, u32(w >> (8 * (next + 2 - op))) & 0xFFFFFF);
                next = op + len;
            }
            CopyMatch(out + op, dist, len, n - op);
            op += len;
            cw >>= 1;
        } else {
            if (op >= tailStart) break;
            // A run of literals, cut where the tail begins.
            const size_t run = std::min<size_t>(size_t(std::countr_zero(cw)), tailStart - op);
            if (size_t(iend - ip) < run) return "the block ends inside literal bytes";
            const u8* const literals = ip;
            const size_t start = op;
            if (iend - ip >= 32 && n - op >= 32) {
                std::memcpy(out + op, ip, 16);
                std::memcpy(out + op + 16, ip + 16, 16);
            } else {
                std::memcpy(out + op, ip, run);
            }
            op += run;
            ip += run;
            cw >>= run;
            if constexpr (Level != 3) {
                // The up to two positions before the run straddle it; the others read their
                // bytes from the block rather than from the output just written.
                for (; next < start && next + 3 <= op; ++next) enterValue(next, Load24(out + next));
                if (next + 3 <= op) {
                    enterBytes(literals + (next - start), next, op - 2 - next, iend);
                    next = op - 2;
                }
            }
        }
    }

    // The tail: only literals from here; control words are due but their bits are not read.
    while (op < n) {
        if (cw == 1) {
            if (iend - ip < 4) return "the block ends inside a control word";
            ip += 4;
            cw = kCwordTop;
        }
        if (ip >= iend) return "the block ends inside literal bytes";
        out[op++] = *ip++;
        cw >>= 1;
    }
    return nullptr;
}

}  // namespace

CQuickLZ::CQuickLZ()
    : m_compressState(new u64[kCompressWords / 2]()), m_decompressState(new u32[kDecompressWords]()) {}

CQuickLZ::~CQuickLZ() = default;

int CQuickLZ::QLZ_SCRATCH_COMPRESS() { return int(kCompressWords * sizeof(u32)); }

int CQuickLZ::QLZ_SCRATCH_DECOMPRESS() { return int(kDecompressWords * sizeof(u32)); }

qint64 CQuickLZ::SizeCompressed(QByteArrayView block) {
    Header h;
    return ReadHeader(block, h) ? qint64(h.total) : -1;
}

qint64 CQuickLZ::SizeDecompressed(QByteArrayView block) {
    Header h;
    return ReadHeader(block, h) ? qint64(h.size) : -1;
}

bool CQuickLZ::Compress(QByteArrayView source, QByteArray& block, QString* error) {
    if (Overlaps(block, source)) {
        // The source lives in the output's memory: code into a new buffer, then replace.
        QByteArray fresh;
        const bool ok = Compress(source, fresh, error);
        block = std::move(fresh);
        return ok;
    }
    const u64 n64 = u64(source.size());
    if (n64 == 0 || n64 > kMaxSource) {
        block.clear();
        return Fail(error, n64 == 0 ? QStringLiteral("There is no data to compress.")
                                    : QStringLiteral("The data is too large for one compressed block."));
    }
    const u32 n = u32(n64);
    const u8* const src = reinterpret_cast<const u8*>(source.data());
    const int headerLength = n < 216 ? 3 : 9;
    // Never smaller than input + 400, the growth allowed for data that does not compress.
    const size_t capacity = size_t(headerLength) + n + 400;
    Reserve(block, capacity);
    u8* const out = reinterpret_cast<u8*>(block.data());
    u8* const payload = out + headerLength;
    // Past this, one more group of items, the tail and the padding might not fit (never reached:
    // giving up on incompressible data keeps the payload far smaller).
    u8* const groupLimit = out + capacity - 128;

    u64* const table = reinterpret_cast<u64*>(m_compressState.get());
    std::fill_n(table, kL1Slots, u64(kEmpty));

    u8* cwordAt = payload;
    u8* dst = payload + 4;
    u32 cw = kCwordTop;  // item bits shift in from the top; the marker reaches bit 0 after 31 items
    u32 p = 0;
    u32 literalsSinceMatch = 0;
    bool stored = false;

    if (n >= 11) {
        const u32 lastMatchStart = n - 11;
        const u32 half = n / 2;
        while (p <= lastMatchStart) {
            if (cw & 1) {
                const size_t written = size_t(dst - payload);
                if ((p > half && written > p - p / 32) || dst > groupLimit) {
                    stored = true;
                    break;
                }
                StoreLE<u32>(cwordAt, (cw >> 1) | kCwordTop);
                cwordAt = dst;
                dst += 4;
                cw = kCwordTop;
            }
            const u32 v = LoadLE<u32>(src + p) & 0xFFFFFF;
            const u32 h = Hash1(v);
            const u64 entry = table[h];
            table[h] = u64(v) << 32 | p;
            const u32 q = u32(entry);
            const u32 dist = p - q;  // an empty slot gives p + 1, outside 1..p
            if (u32(entry >> 32) == v && dist - 1 < p &&
                (dist >= 3 ||
                 // A run of one byte: the decoder's table holds p - 3, which has the same bytes.
                 (dist == 1 && literalsSinceMatch >= 3 && p > 3 &&
                  ((LoadLE<u64>(src + p - 3) ^ (LoadLE<u64>(src + p - 3) >> 8)) & 0xFFFFFFFFFFFFull) == 0))) {
                // The match may reach up to 4 bytes before the end, at most 255 bytes.
                const u32 limit = std::min<u32>(255, n - 4 - p);
                u32 len = 3;
                for (;;) {
                    if (len + 8 <= limit) {
                        const u64 diff = LoadLE<u64>(src + q + len) ^ LoadLE<u64>(src + p + len);
                        if (diff) {
                            len += u32(std::countr_zero(diff)) / 8;
                            break;
                        }
                        len += 8;
                    } else {
                        while (len < limit && src[q + len] == src[p + len]) ++len;
                        break;
                    }
                }
                if (len < 18) {
                    StoreLE<u16>(dst, u16(h << 4 | (len - 2)));
                    dst += 2;
                } else {
                    StoreLE<u16>(dst, u16(h << 4));
                    dst[2] = u8(len);
                    dst += 3;
                }
                p += len;
                literalsSinceMatch = 0;
                cw = (cw >> 1) | kCwordTop;
            } else {
                *dst++ = src[p++];
                ++literalsSinceMatch;
                cw >>= 1;
            }
        }
    }

    size_t total;
    if (stored) {
        std::memcpy(payload, src, n);
        total = size_t(headerLength) + n;
    } else {
        while (p < n) {
            if (cw & 1) {
                StoreLE<u32>(cwordAt, (cw >> 1) | kCwordTop);
                cwordAt = dst;
                dst += 4;
                cw = kCwordTop;
            }
            *dst++ = src[p++];
            cw >>= 1;
        }
        while (!(cw & 1)) cw >>= 1;
        StoreLE<u32>(cwordAt, (cw >> 1) | kCwordTop);
        while (dst - payload < 9) *dst++ = 0;
        total = size_t(dst - out);
    }
    WriteHeader(out, headerLength, !stored, total, n);
    block.resize(qsizetype(total));
    return true;
}

bool CQuickLZ::Decompress(QByteArrayView block, QByteArray& data, QString* error) {
    if (Overlaps(data, block)) {
        QByteArray fresh;
        const bool ok = Decompress(block, fresh, error);
        data = std::move(fresh);
        return ok;
    }
    if (!DecompressInto(block, data, error)) {
        data.clear();
        return false;
    }
    return true;
}

bool CQuickLZ::DecompressInto(QByteArrayView block, QByteArray& data, QString* error) {
    Header h;
    if (!ReadHeader(block, h))
        return Fail(error, QStringLiteral("Not a compressed block: the header cannot be read."));
    const int level = (h.flags >> 2) & 3;
    if (level == 0) return Fail(error, QStringLiteral("Not a compressed block: unknown compression level."));
    if (h.total > u64(block.size()))
        return Fail(error, QStringLiteral("The compressed block is truncated: it should be %1 bytes long, %2 are there.")
                               .arg(h.total)
                               .arg(block.size()));
    if (h.total < u64(h.length))
        return Fail(error, QStringLiteral("The compressed block is damaged: its length is shorter than its header."));
    if (h.size == 0) return Fail(error, QStringLiteral("The compressed block is damaged: it holds no data."));
    if (h.size > u64(kMaxContentBytes))
        return Fail(error, QStringLiteral("The compressed block claims %1 bytes, more than the %2 allowed.")
                               .arg(h.size)
                               .arg(QLatin1String(MaxContentText())));
    const u8* const begin = reinterpret_cast<const u8*>(block.data());
    const u64 payloadLength = h.total - u64(h.length);

    if (!(h.flags & 1)) {
        if (payloadLength != h.size)
            return Fail(error, QStringLiteral("The compressed block is damaged: the stored data has the wrong length."));
        Reserve(data, size_t(h.size));
        std::memcpy(data.data(), begin + h.length, size_t(h.size));
        return true;
    }
    // Refuse a header that promises more than its payload could ever yield, before allocating.
    if (h.size > payloadLength * kMaxExpansion)
        return Fail(error, QStringLiteral("The compressed block is damaged: it claims %1 bytes, more than it can hold.")
                               .arg(h.size));

    Reserve(data, size_t(h.size));
    u8* const out = reinterpret_cast<u8*>(data.data());
    const u8* const ip = begin + h.length;
    const u8* const iend = begin + h.total;
    u32* const state = m_decompressState.get();
    const char* why = level == 1   ? DecodePayload<1>(ip, iend, out, size_t(h.size), state)
                      : level == 2 ? DecodePayload<2>(ip, iend, out, size_t(h.size), state)
                                   : DecodePayload<3>(ip, iend, out, size_t(h.size), state);
    if (why) {
        return Fail(error, QStringLiteral("The compressed block is damaged: ") + QLatin1String(why) +
                               QLatin1Char('.'));
    }
    return true;
}
