#include "util/CString.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

static const char kInvalidLength[] = "Invalid length";
static const char kInvalidStart[] = "Invalid starting position";

namespace {

// Hex digit values, -1 for anything else.
struct HexDecodeTable {
    qint8 v[256];
    constexpr HexDecodeTable() : v() {
        for (int i = 0; i < 256; ++i) v[i] = -1;
        for (int i = 0; i < 10; ++i) v['0' + i] = qint8(i);
        for (int i = 0; i < 6; ++i) {
            v['A' + i] = qint8(10 + i);
            v['a' + i] = qint8(10 + i);
        }
    }
};
constexpr HexDecodeTable kHexDecode;

// The two uppercase digits of every byte value.
struct HexEncodeTable {
    char d[512];
    constexpr HexEncodeTable() : d() {
        const char digits[] = "0123456789ABCDEF";
        for (int i = 0; i < 256; ++i) {
            d[2 * i] = digits[i >> 4];
            d[2 * i + 1] = digits[i & 15];
        }
    }
};
constexpr HexEncodeTable kHexEncode;

// x / 2 and x * 1.25 rounded to the nearest whole number, halves to even.
qsizetype halfRoundEven(qsizetype x) {
    qsizetype q = x / 2;
    if ((x & 1) && (q & 1)) ++q;
    return q;
}

qsizetype growRoundEven(qsizetype x) {
    const qsizetype q = x + x / 4;
    const qsizetype r = x % 4;  // fraction r/4
    if (r > 2 || (r == 2 && (q & 1))) return q + 1;
    return q;
}

}  // namespace

CString::CString() { SetBufferSize(256); }

CString::CString(QByteArrayView bytes) : CString() { CopyFromPointer(bytes.data(), bytes.size()); }

CString::CString(const CString& other)
    : m_length(other.m_length),
      m_capacity(other.m_capacity),
      m_findText(other.m_findText),
      m_findCached(other.m_findCached) {
    m_buf = static_cast<char*>(std::calloc(size_t(m_capacity) + 1, 1));
    if (!m_buf) throw std::bad_alloc();
    if (m_length) std::memcpy(m_buf, other.m_buf, size_t(m_length));
    std::memcpy(m_shift, other.m_shift, sizeof m_shift);
}

CString::CString(CString&& other) noexcept
    : m_buf(other.m_buf),
      m_length(other.m_length),
      m_capacity(other.m_capacity),
      m_findText(std::move(other.m_findText)),
      m_findCached(other.m_findCached) {
    std::memcpy(m_shift, other.m_shift, sizeof m_shift);
    other.m_buf = nullptr;
    other.m_length = other.m_capacity = 0;
    other.m_findCached = false;
}

CString& CString::operator=(const CString& other) {
    if (this != &other) {
        CString copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CString& CString::operator=(CString&& other) noexcept {
    if (this != &other) {
        std::free(m_buf);
        m_buf = other.m_buf;
        m_length = other.m_length;
        m_capacity = other.m_capacity;
        m_findText = std::move(other.m_findText);
        m_findCached = other.m_findCached;
        std::memcpy(m_shift, other.m_shift, sizeof m_shift);
        other.m_buf = nullptr;
        other.m_length = other.m_capacity = 0;
        other.m_findCached = false;
    }
    return *this;
}

CString::~CString() { std::free(m_buf); }

void CString::SetBufferSize(qsizetype newSize, bool clearIt) {
    if (newSize < 0) throw CStringError(kInvalidLength);
    newSize = std::max(newSize, m_length);  // the text always fits
    if (m_buf && newSize == m_capacity && !(clearIt && m_length == 0)) return;
    if (clearIt && m_length == 0) {
        // Nothing to keep: a fresh zeroed block (for large sizes the system hands out zero
        // pages without touching them).
        char* fresh = static_cast<char*>(std::calloc(size_t(newSize) + 1, 1));
        if (!fresh) throw std::bad_alloc();
        std::free(m_buf);
        m_buf = fresh;
    } else {
        char* grown = static_cast<char*>(std::realloc(m_buf, size_t(newSize) + 1));
        if (!grown) throw std::bad_alloc();
        // Bytes behind the text are unspecified, but keep them defined for TrimToNull.
        const qsizetype oldEnd = m_buf ? m_capacity + 1 : 0;
        if (newSize + 1 > oldEnd) std::memset(grown + oldEnd, 0, size_t(newSize + 1 - oldEnd));
        m_buf = grown;
    }
    m_capacity = newSize;
}

void CString::ensureExact(qsizetype needed) {
    if (needed > m_capacity || !m_buf) SetBufferSize(needed, true);
}

void CString::checkLength(qsizetype n) const {
    if (n < 0) throw CStringError(kInvalidLength);
}

void CString::checkStart(qsizetype startpos) const {
    if (startpos < 1) throw CStringError(kInvalidStart);
}

QString CString::Value() const {
    if (m_length == 0) return QString();
    return QString::fromUtf8(m_buf, m_length);
}

void CString::SetValue(const QString& newValue) { SetBytes(newValue.toUtf8()); }

void CString::SetBytes(QByteArrayView bytes) { CopyFromPointer(bytes.data(), bytes.size()); }

QByteArray CString::ByteArray() const {
    if (m_length == 0) return QByteArray();
    return QByteArray(m_buf, m_length);
}

const char* CString::StrPtr() {
    if (!m_buf) SetBufferSize(0);
    m_buf[m_length] = '\0';
    return m_buf;
}

void CString::SetLength(qsizetype newValue) {
    checkLength(newValue);
    ensureExact(newValue);
    if (newValue > m_length) std::memset(m_buf + m_length, ' ', size_t(newValue - m_length));
    m_length = newValue;
}

CString CString::Copy() const { return CString(View()); }

void CString::CopyFromPointer(const void* address, qsizetype count) {
    checkLength(count);
    ensureExact(count);
    if (count) std::memmove(m_buf, address, size_t(count));
    m_length = count;
}

void CString::FromHex(const QString& sHex) {
    // Hex digits are ASCII, so Latin-1 keeps one byte per character; anything else fails below.
    FromHexBytes(sHex.toLatin1());
}

void CString::FromHexBytes(QByteArrayView hex) {
    const qsizetype n = halfRoundEven(hex.size());
    m_length = 0;
    SetBufferSize(n, true);
    const auto* src = reinterpret_cast<const quint8*>(hex.data());
    auto* dst = reinterpret_cast<quint8*>(m_buf);
    const qsizetype pairs = std::min(n, hex.size() / 2);
    // Any invalid digit turns the OR negative; test once per block instead of per byte.
    int bad = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        const int hi = kHexDecode.v[src[2 * i]];
        const int lo = kHexDecode.v[src[2 * i + 1]];
        bad |= hi | lo;
        dst[i] = quint8((hi << 4) | (lo & 15));
        if ((i & 4095) == 4095 && bad < 0) break;
    }
    if (pairs < n) {  // an odd last digit stands alone
        const int one = kHexDecode.v[src[2 * pairs]];
        bad |= one;
        dst[pairs] = quint8(one & 15);
    }
    if (bad < 0) throw CStringError("Invalid hexadecimal digit");
    m_length = n;
}

CString CString::ToHex() const {
    CString out;
    out.SetBufferSize(2 * m_length, true);
    out.AppendHex(View());
    return out;
}

CString& CString::AppendHex(QByteArrayView bytes) {
    if (bytes.isEmpty()) return *this;
    const qsizetype newLength = m_length + 2 * bytes.size();
    if (newLength > m_capacity || !m_buf) SetBufferSize(growRoundEven(newLength));
    const auto* src = reinterpret_cast<const quint8*>(bytes.data());
    char* dst = m_buf + m_length;
    for (qsizetype i = 0, n = bytes.size(); i < n; ++i) {
        std::memcpy(dst, &kHexEncode.d[2 * src[i]], 2);
        dst += 2;
    }
    m_length = newLength;
    return *this;
}

CString CString::Left(qsizetype numChars) const {
    checkLength(numChars);
    return CString(QByteArrayView(m_buf, std::min(numChars, m_length)));
}

CString CString::Right(qsizetype numChars) const {
    checkLength(numChars);
    const qsizetype k = std::min(numChars, m_length);
    return CString(QByteArrayView(m_buf + m_length - k, k));
}

CString CString::Mid(qsizetype startpos, std::optional<qsizetype> numChars) const {
    checkStart(startpos);
    if (numChars) checkLength(*numChars);
    if (startpos > m_length) return CString();
    const qsizetype rest = m_length - startpos + 1;
    return CString(QByteArrayView(m_buf + startpos - 1, numChars ? std::min(*numChars, rest) : rest));
}

void CString::overwrite(qsizetype offset, qsizetype maxCount, QByteArrayView value) {
    if (offset >= m_length) return;
    const qsizetype k = std::min({maxCount, m_length - offset, value.size()});
    if (k > 0) std::memmove(m_buf + offset, value.data(), size_t(k));
}

void CString::SetLeft(qsizetype numChars, QByteArrayView newValue) {
    checkLength(numChars);
    overwrite(0, numChars, newValue);
}
void CString::SetLeft(qsizetype numChars, const QString& newValue) {
    SetLeft(numChars, QByteArrayView(newValue.toUtf8()));
}
void CString::SetLeft(qsizetype numChars, const CString& newValue) {
    SetLeft(numChars, newValue.View());
}

void CString::SetRight(qsizetype numChars, QByteArrayView newValue) {
    checkLength(numChars);
    const qsizetype k = std::min({numChars, m_length, newValue.size()});
    overwrite(m_length - k, k, newValue);
}
void CString::SetRight(qsizetype numChars, const QString& newValue) {
    SetRight(numChars, QByteArrayView(newValue.toUtf8()));
}
void CString::SetRight(qsizetype numChars, const CString& newValue) {
    SetRight(numChars, newValue.View());
}

void CString::SetMid(qsizetype startpos, std::optional<qsizetype> numChars,
                     QByteArrayView newValue) {
    checkStart(startpos);
    if (numChars) checkLength(*numChars);
    overwrite(startpos - 1, numChars ? *numChars : m_length, newValue);
}
void CString::SetMid(qsizetype startpos, std::optional<qsizetype> numChars,
                     const QString& newValue) {
    SetMid(startpos, numChars, QByteArrayView(newValue.toUtf8()));
}
void CString::SetMid(qsizetype startpos, std::optional<qsizetype> numChars,
                     const CString& newValue) {
    SetMid(startpos, numChars, newValue.View());
}

int CString::Asc() const { return m_length ? int(quint8(m_buf[0])) : -1; }

quint8 CString::Char(qsizetype index) const {
    if (index < 1 || index > m_length) throw CStringError("Subscript out of range");
    return quint8(m_buf[index - 1]);
}

void CString::SetChar(qsizetype index, quint8 newValue) {
    if (index >= 1 && index <= m_length) m_buf[index - 1] = char(newValue);
}

qsizetype CString::InstrBytes(QByteArrayView search, qsizetype startpos) const {
    startpos = std::max<qsizetype>(startpos, 1);
    const qsizetype m = search.size();
    if (m == 0) return startpos;
    const char first = search[0];
    for (qsizetype i = startpos - 1; i + m <= m_length; ++i) {
        const void* hit = std::memchr(m_buf + i, first, size_t(m_length - m - i + 1));
        if (!hit) return 0;
        i = static_cast<const char*>(hit) - m_buf;
        if (std::memcmp(m_buf + i + 1, search.data() + 1, size_t(m - 1)) == 0) return i + 1;
    }
    return 0;
}

qsizetype CString::Instr(const QString& search, qsizetype startpos) const {
    return InstrBytes(search.toUtf8(), startpos);
}

qsizetype CString::Instr(const CString& search, qsizetype startpos) const {
    return InstrBytes(search.View(), startpos);
}

CString& CString::UCase() {
    for (qsizetype i = 0; i < m_length; ++i)
        if (m_buf[i] >= 'a' && m_buf[i] <= 'z') m_buf[i] = char(m_buf[i] - 32);
    return *this;
}

CString& CString::LCase() {
    for (qsizetype i = 0; i < m_length; ++i)
        if (m_buf[i] >= 'A' && m_buf[i] <= 'Z') m_buf[i] = char(m_buf[i] + 32);
    return *this;
}

CString& CString::ReverseStr() {
    std::reverse(m_buf, m_buf + m_length);
    return *this;
}

CString& CString::AppendBytes(QByteArrayView bytes) {
    const qsizetype n = bytes.size();
    if (n == 0) return *this;
    const qsizetype newLength = m_length + n;
    if (newLength > m_capacity || !m_buf) {
        // Appending to itself: the source moves with the buffer.
        const bool self = m_buf && bytes.data() >= m_buf && bytes.data() < m_buf + m_capacity + 1;
        const qsizetype offset = self ? bytes.data() - m_buf : 0;
        SetBufferSize(growRoundEven(newLength));
        if (self) bytes = QByteArrayView(m_buf + offset, n);
    }
    std::memmove(m_buf + m_length, bytes.data(), size_t(n));
    m_length = newLength;
    return *this;
}

CString& CString::Append(const QString& value) { return AppendBytes(value.toUtf8()); }

CString& CString::Append(const CString& value) { return AppendBytes(value.View()); }

qsizetype CString::FindBytes(QByteArrayView search, qsizetype startpos) {
    startpos = std::max<qsizetype>(startpos, 1);
    const qsizetype m = search.size();
    if (m == 0) return startpos;
    if (!m_findCached || m_findText != search) {
        const qint32 mm = qint32(std::min<qsizetype>(m, 0x7FFFFFFF));
        for (qint32& s : m_shift) s = mm;
        const auto* p = reinterpret_cast<const quint8*>(search.data());
        for (qsizetype i = 0; i < m; ++i) m_shift[p[i]] = qint32(m - 1 - i);
        m_findText = search.toByteArray();
        m_findCached = true;
    }
    const auto* text = reinterpret_cast<const quint8*>(m_buf);
    // pos: 0-based index of the window's last byte.
    qsizetype pos = startpos - 1 + m - 1;
    while (pos < m_length) {
        const qint32 s = m_shift[text[pos]];
        if (s) {
            pos += s;
            continue;
        }
        if (std::memcmp(m_buf + pos - m + 1, search.data(), size_t(m - 1)) == 0)
            return pos - m + 2;
        ++pos;
    }
    return 0;
}

qsizetype CString::Find(const QString& search, qsizetype startpos) {
    return FindBytes(search.toUtf8(), startpos);
}

CString CString::ReplaceStr(const QString& sFind, const QString& sReplace, qsizetype& nStartPos,
                            qsizetype nCount) {
    CString result;
    nStartPos = std::max<qsizetype>(nStartPos, 1);
    if (nStartPos > m_length || m_length == 0) return result;
    const QByteArray find = sFind.toUtf8();
    const QByteArray repl = sReplace.toUtf8();
    if (!find.isEmpty()) {
        result.SetBufferSize(m_length);
        qsizetype count = 0;
        qsizetype p = FindBytes(find, nStartPos);
        while (p > 0) {
            result.AppendBytes(QByteArrayView(m_buf + nStartPos - 1, p - nStartPos));
            result.AppendBytes(repl);
            nStartPos = p + find.size();
            ++count;
            if (nCount >= 0 && count >= nCount) break;
            p = FindBytes(find, nStartPos);
        }
    }
    if (nStartPos <= m_length)
        result.AppendBytes(QByteArrayView(m_buf + nStartPos - 1, m_length - nStartPos + 1));
    return result;
}

CString CString::ReplaceStr(const QString& sFind, const QString& sReplace) {
    qsizetype start = 1;
    return ReplaceStr(sFind, sReplace, start);
}

bool CString::WriteToFile(QIODevice& file, bool prefixLength) const {
    if (prefixLength) {
        if (m_length > 0x7FFFFFFF) return false;
        const quint32 n = quint32(m_length);
        const char le[4] = {char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF),
                            char((n >> 24) & 0xFF)};
        if (file.write(le, 4) != 4) return false;
    }
    return m_length == 0 || file.write(m_buf, m_length) == m_length;
}

bool CString::ReadFromFile(QIODevice& file, bool prefixLength) {
    if (prefixLength) {
        unsigned char le[4];
        if (file.read(reinterpret_cast<char*>(le), 4) != 4) return false;
        const qint32 n = qint32(quint32(le[0]) | quint32(le[1]) << 8 | quint32(le[2]) << 16 |
                                quint32(le[3]) << 24);
        if (n < 0) return false;
        ensureExact(n);
        m_length = n;
    }
    if (m_length == 0) return true;
    const qint64 got = file.read(m_buf, m_length);
    if (got != m_length) {
        m_length = std::max<qint64>(got, 0);
        return false;
    }
    return true;
}

qsizetype CString::TrimToNull() {
    if (!m_buf) return m_length = 0;
    const void* zero = std::memchr(m_buf, 0, size_t(m_capacity));
    m_length = zero ? static_cast<const char*>(zero) - m_buf : m_capacity;
    return m_length;
}
