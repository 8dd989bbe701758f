#pragma once
// A growable 8-bit string in one byte buffer: the export builds its whole file in one, the
// attachments convert between bytes and hexadecimal text with it, the query tester builds its
// output with it. Text handed in or out is UTF-8, one byte per "character".
// Positions are 1-based, as in the string functions the callers were written against.
#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>

// Raised for a negative count, a start before the text or bad hexadecimal digits.
class CStringError : public std::runtime_error {
public:
    explicit CStringError(const char* description) : std::runtime_error(description) {}
    int Number() const { return 5; }
    QString Source() const { return QStringLiteral("CString"); }
    QString Description() const { return QString::fromLatin1(what()); }
};

class CString {
public:
    CString();
    explicit CString(QByteArrayView bytes);
    CString(const CString& other);
    CString(CString&& other) noexcept;
    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    ~CString();

    // capacity = newSize (at least the length). The text survives; with clearIt and an empty
    // text the new buffer is all zero bytes. Never changes the length.
    void SetBufferSize(qsizetype newSize, bool clearIt = false);
    qsizetype Capacity() const { return m_capacity; }

    QString Value() const;
    void SetValue(const QString& newValue);
    void SetBytes(QByteArrayView bytes);  // Value (set) for raw bytes

    QByteArray ByteArray() const;
    // The bytes without a copy; valid until the next operation that resizes the buffer.
    QByteArrayView View() const { return QByteArrayView(m_buf, m_length); }
    // Zero-terminated text; valid until the next operation that resizes the buffer.
    const char* StrPtr();

    qsizetype Length() const { return m_length; }
    // Longer: padded with spaces; shorter: cut.
    void SetLength(qsizetype newValue);
    void Clear() { m_length = 0; }

    CString Copy() const;

    // Two characters per byte; an odd last digit is read alone. Raises on a non-hex digit
    // (the text is then empty).
    void FromHex(const QString& sHex);
    void FromHexBytes(QByteArrayView hex);
    // Uppercase, two digits per byte.
    CString ToHex() const;
    // Appends the hex digits of bytes (grows as Append does): builds a statement around a
    // block without a second copy of its hex text. bytes must not lie in this string.
    CString& AppendHex(QByteArrayView bytes);

    CString Left(qsizetype numChars) const;
    void SetLeft(qsizetype numChars, QByteArrayView newValue);
    void SetLeft(qsizetype numChars, const QString& newValue);
    void SetLeft(qsizetype numChars, const CString& newValue);
    CString Right(qsizetype numChars) const;
    void SetRight(qsizetype numChars, QByteArrayView newValue);
    void SetRight(qsizetype numChars, const QString& newValue);
    void SetRight(qsizetype numChars, const CString& newValue);
    // Without numChars: to the end.
    CString Mid(qsizetype startpos, std::optional<qsizetype> numChars = std::nullopt) const;
    void SetMid(qsizetype startpos, std::optional<qsizetype> numChars, QByteArrayView newValue);
    void SetMid(qsizetype startpos, std::optional<qsizetype> numChars, const QString& newValue);
    void SetMid(qsizetype startpos, std::optional<qsizetype> numChars, const CString& newValue);

    // The first byte, -1 for an empty text.
    int Asc() const;
    // Byte at index (1-based); raises outside the text.
    quint8 Char(qsizetype index) const;
    // Outside the text nothing happens.
    void SetChar(qsizetype index, quint8 newValue);

    // First occurrence at or after startpos (plain scan), 0 when none; startpos for an empty search.
    qsizetype Instr(const QString& search, qsizetype startpos = 1) const;
    qsizetype Instr(const CString& search, qsizetype startpos = 1) const;
    qsizetype InstrBytes(QByteArrayView search, qsizetype startpos = 1) const;

    CString& UCase();
    CString& LCase();
    CString& ReverseStr();

    // Appends; grows the capacity to a quarter more than needed when it overflows.
    CString& Append(const QString& value);
    CString& Append(const CString& value);
    CString& AppendBytes(QByteArrayView bytes);

    // Replaces sFind from nStartPos on; the result holds only the text from nStartPos on.
    // nCount < 0 replaces every occurrence, otherwise replacing stops once nCount (at least
    // one) replacements are made. nStartPos receives the position after the last replacement.
    CString ReplaceStr(const QString& sFind, const QString& sReplace, qsizetype& nStartPos,
                       qsizetype nCount = -1);
    CString ReplaceStr(const QString& sFind, const QString& sReplace);

    // Boyer-Moore-Horspool, case-sensitive; the shift table is kept for the same search text.
    qsizetype Find(const QString& search, qsizetype startpos = 1);
    qsizetype FindBytes(QByteArrayView search, qsizetype startpos = 1);

    // At the device's position: the length as 4 bytes little-endian when prefixLength, then the
    // text. False when the device did not take or give every byte.
    bool WriteToFile(QIODevice& file, bool prefixLength = false) const;
    bool ReadFromFile(QIODevice& file, bool prefixLength = false);

    // Length = bytes before the first zero byte of the buffer (the capacity when none).
    qsizetype TrimToNull();

    // Length = count, the buffer grown to exactly count when needed, the bytes copied in.
    void CopyFromPointer(const void* address, qsizetype count);

private:
    void ensureExact(qsizetype needed);
    void checkLength(qsizetype n) const;
    void checkStart(qsizetype startpos) const;
    void overwrite(qsizetype offset, qsizetype maxCount, QByteArrayView value);

    char* m_buf = nullptr;       // m_capacity + 1 bytes
    qsizetype m_length = 0;
    qsizetype m_capacity = 0;
    QByteArray m_findText;       // search cache
    bool m_findCached = false;
    qint32 m_shift[256] = {};
};
