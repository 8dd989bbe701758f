#include "exchange/basExchangeFile.h"

#include "util/CString.h"
#include "util/basFileTools.h"
#include "util/basText.h"

#include <QDir>

#include <climits>
#include <cstring>

static bool needsEscape(QChar c) {
    const char16_t u = c.unicode();
    return u == u'\\' || u == u'\t' || u == u'\n' || u == u'\r';
}

static const char* escapeOf(char16_t u) {
    switch (u) {
    case u'\\':
        return "\\\\";
    case u'\t':
        return "\\TAB";
    case u'\n':
        return "\\LF";
    default:
        return "\\CR";
    }
}

QString EscapeField(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && !needsEscape(text[i])) ++i;
    if (i == text.size()) return text.toString();
    QString out;
    out.reserve(text.size() + 16);
    out.append(text.left(i));
    for (; i < text.size(); ++i) {
        if (needsEscape(text[i])) out.append(QLatin1String(escapeOf(text[i].unicode())));
        else out.append(text[i]);
    }
    return out;
}

void AppendEscapedUtf8(QByteArray& out, QStringView text) {
    // Runs without anything to escape go over in one conversion; the escapes are ASCII, which
    // UTF-8 never uses inside a multi-byte sequence.
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!needsEscape(text[i])) continue;
        if (i > start) out.append(text.mid(start, i - start).toUtf8());
        out.append(escapeOf(text[i].unicode()));
        start = i + 1;
    }
    if (start == 0) out.append(text.toUtf8());
    else if (start < text.size()) out.append(text.mid(start).toUtf8());
}

void AppendEscapedBytes(CString& out, QByteArrayView utf8) {
    const char* p = utf8.data();
    const qsizetype n = utf8.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (c != '\\' && c != '\t' && c != '\n' && c != '\r') continue;
        if (i > start) out.AppendBytes(QByteArrayView(p + start, i - start));
        out.AppendBytes(escapeOf(char16_t(c)));
        start = i + 1;
    }
    if (n > start) out.AppendBytes(QByteArrayView(p + start, n - start));
}

static bool matchesAt(QStringView text, qsizetype pos, QLatin1String word) {
    if (text.size() - pos < word.size()) return false;
    return text.mid(pos, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

QString UnescapeField(QStringView text) {
    qsizetype i = text.indexOf(QLatin1Char('\\'));
    if (i < 0) return text.toString();
    QString out;
    out.reserve(text.size());
    out.append(text.left(i));
    while (i < text.size()) {
        const QChar c = text[i];
        if (c != QLatin1Char('\\')) {
            out.append(c);
            ++i;
        } else if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\\')) {
            out.append(QLatin1Char('\\'));
            i += 2;
        } else if (matchesAt(text, i + 1, QLatin1String("TAB"))) {
            out.append(QLatin1Char('\t'));
            i += 4;
        } else if (matchesAt(text, i + 1, QLatin1String("LF"))) {
            out.append(QLatin1Char('\n'));
            i += 3;
        } else if (matchesAt(text, i + 1, QLatin1String("CR"))) {
            out.append(QLatin1Char('\r'));
            i += 3;
        } else {
            out.append(c);
            ++i;
        }
    }
    return out;
}

CExchangeReader::CExchangeReader(QByteArrayView bytes) : m_bytes(bytes) {
    // Editors on Windows like to put a byte-order mark in front; it is not part of the first
    // field.
    if (m_bytes.size() >= 3 && std::memcmp(m_bytes.data(), "\xEF\xBB\xBF", 3) == 0) m_pos = 3;
    if (m_pos >= m_bytes.size()) return;
    qsizetype end, next;
    lineEnd(m_pos, end, next);
    split(m_pos, end);
    QByteArrayView first = m_fields[0];
    while (!first.isEmpty() && first.front() == ' ') first = first.sliced(1);
    while (!first.isEmpty() && first.back() == ' ') first.chop(1);
    if (first.size() == 2 && (first[0] == 'I' || first[0] == 'i') &&
        (first[1] == 'D' || first[1] == 'd')) {
        m_header = true;
        m_pos = next;
        m_line = 1;
    }
}

void CExchangeReader::lineEnd(qsizetype begin, qsizetype& end, qsizetype& next) const {
    // Lines end with CR LF only: a lone CR or LF (a field written by another program without
    // escaping it) is part of its field, not a line end that would cut the item in two.
    const qsizetype at = m_bytes.sliced(begin).indexOf(QByteArrayView("\r\n"));
    if (at < 0) {
        end = next = m_bytes.size();
        return;
    }
    end = begin + at;
    next = end + 2;
}

const char* OtherUnicodeForm(QByteArrayView start) {
    const auto b = [&](qsizetype i) { return i < start.size() ? quint8(start[i]) : 0x100; };
    // Byte-order marks first (UTF-32 LE before UTF-16 LE: it starts the same way), then the NUL
    // bytes of ASCII text in either form (an exchange file starts with a number or "ID").
    if (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0) return "UTF-32";
    if (b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF) return "UTF-32";
    if ((b(0) == 0xFF && b(1) == 0xFE) || (b(0) == 0xFE && b(1) == 0xFF)) return "UTF-16";
    if (start.size() >= 4 && b(0) != 0 && b(1) == 0 && b(2) == 0 && b(3) == 0) return "UTF-32";
    if (start.size() >= 4 && b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) != 0) return "UTF-32";
    if (start.size() >= 2 && ((b(0) != 0 && b(1) == 0) || (b(0) == 0 && b(1) != 0))) return "UTF-16";
    return nullptr;
}

int CExchangeReader::split(qsizetype begin, qsizetype end) {
    m_count = 0;
    m_fields.fill(QByteArrayView());
    const char* base = m_bytes.data();
    qsizetype start = begin;
    for (;;) {
        const void* tab = std::memchr(base + start, '\t', size_t(end - start));
        const qsizetype stop = tab ? static_cast<const char*>(tab) - base : end;
        if (m_count < int(m_fields.size()))
            m_fields[size_t(m_count)] = QByteArrayView(base + start, stop - start);
        ++m_count;
        if (!tab) break;
        start = stop + 1;
    }
    return m_count;
}

QString CExchangeReader::text(int field) const {
    const QByteArrayView v = m_fields[size_t(field)];
    if (v.isEmpty()) return QString();
    return m_utf8 ? QString::fromUtf8(v) : DecodeCp1252(v);
}

QString CExchangeReader::unescaped(int field) const { return UnescapeField(text(field)); }

int CExchangeReader::ParseItemNumber(QByteArrayView field) {
    qsizetype i = 0, n = field.size();
    while (i < n && field[i] == ' ') ++i;
    while (n > i && field[n - 1] == ' ') --n;
    if (i < n && field[i] == '+') ++i;
    if (i == n) return 0;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char c = field[i];
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > INT_MAX) return 0;
    }
    return int(value);
}

void CExchangeReader::Continue(QByteArrayView bytes, qsizetype offset) {
    m_bytes = bytes;
    m_offset = offset;
    m_pos = 0;
}

bool CExchangeReader::Next(ExchangeRecord& rec) {
    if (m_pos >= m_bytes.size()) return false;
    qsizetype end, next;
    lineEnd(m_pos, end, next);
    ++m_line;
    rec = ExchangeRecord();
    rec.line = m_line;
    rec.end = m_offset + end;
    const qsizetype begin = m_pos;
    m_pos = next;
    // Decided per line: one stray code-page byte must not spoil the UTF-8 of every other line.
    m_utf8 = IsValidUtf8(m_bytes.sliced(begin, end - begin));

    if (end == begin) {
        rec.kind = ExchangeLineKind::Blank;
        return true;
    }
    if (split(begin, end) < 3 || std::memchr(m_bytes.data() + begin, 0, size_t(end - begin))) {
        rec.kind = ExchangeLineKind::Junk;
        return true;
    }
    rec.id = ParseItemNumber(m_fields[0]);
    if (rec.id == 0) {
        rec.kind = ExchangeLineKind::BadNumber;
        return true;
    }
    rec.language = unescaped(1);
    rec.category = unescaped(2);
    // A line starts an item when its number changes or when it carries a title; otherwise it
    // adds a category to the item before it.
    if (rec.id != m_previous || !m_fields[3].isEmpty()) {
        m_previous = rec.id;
        rec.kind = ExchangeLineKind::Item;
        rec.title = unescaped(3);
        rec.body = unescaped(4);
        rec.file = unescaped(5);
        rec.time = text(6);
    } else {
        rec.kind = ExchangeLineKind::Category;
    }
    return true;
}

QString ExchangeProgressPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}
