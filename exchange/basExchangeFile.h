#pragma once
// The exchange file's text form, shared by export and import: field escaping and a reader that
// walks the bytes of a whole file in place. Nothing here touches a database, so the reader can be
// driven by tests and the fuzzer on its own.
//
// Layout: one line per item-category link, lines end with CR LF (only there: a lone CR or LF
// belongs to its field), every field is followed by a TAB. The first line of an item carries ID, Type, Category, Title, Code, File, ModifyDate; each
// further line of the same item only ID, Type, Category. Files are UTF-8 (no byte-order mark);
// a line that is not valid UTF-8 was written through the Windows 8-bit code page and is read as
// Windows-1252 (decided per line: a file may be pieced together from both).
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <array>

class CString;

// Backslash, TAB, LF and CR become \\, \TAB, \LF and \CR, so a field holds no TAB, CR or LF.
QString EscapeField(QStringView text);
// Appends the UTF-8 bytes of text, escaped, to out.
void AppendEscapedUtf8(QByteArray& out, QStringView text);
// Appends UTF-8 bytes, escaped, to out (the export's hot path: the engine's text as it is).
void AppendEscapedBytes(CString& out, QByteArrayView utf8);
// The inverse of EscapeField, read in one pass from the left: \\ is a backslash, \TAB, \LF and \CR
// (any letter case) the control characters; any other backslash stays as it is. Every escaped
// text therefore comes back unchanged, whatever backslashes and letters it held.
QString UnescapeField(QStringView text);

// What one line of an exchange file asks the import to do.
enum class ExchangeLineKind {
    Blank,      // an empty line
    Junk,       // fewer than three fields, or a NUL byte (no text in the database holds one)
    BadNumber,  // the item number is not a whole number from 1 to 2147483647
    Item,       // an item: its first line, or a line with a title
    Category,   // a further category of the item on the line before
};

struct ExchangeRecord {
    ExchangeLineKind kind = ExchangeLineKind::Blank;
    int id = 0;  // the item number as the file gives it (Item and Category lines)
    // Unescaped fields; Item lines fill all, Category lines language and category only.
    QString language;
    QString category;
    QString title;
    QString body;
    QString file;
    QString time;       // as written, not unescaped: it is a time text, never holds escapes
    qsizetype end = 0;  // byte offset of the line's end in the file, for progress
    qsizetype line = 0; // 1-based line number in the file
};

class CExchangeReader {
public:
    // bytes: the whole file; it must stay alive and unchanged while the reader is used.
    explicit CExchangeReader(QByteArrayView bytes);

    // Whether the line read last was UTF-8.
    bool IsUtf8() const { return m_utf8; }
    bool HasHeader() const { return m_header; }
    qsizetype Size() const { return m_bytes.size(); }

    // The next line after the header; false when the file is exhausted.
    bool Next(ExchangeRecord& rec);
    // For a file read in pieces: bytes holds the file from the first line not read yet on and
    // ends at a line's end (or the file's); offset is where it starts in the file. Line numbers,
    // item numbers and offsets in records go on from the earlier pieces.
    void Continue(QByteArrayView bytes, qsizetype offset);

    // An item number field as a whole number from 1 to 2147483647 (spaces around it allowed);
    // 0 when it is anything else.
    static int ParseItemNumber(QByteArrayView field);

private:
    // Splits the line [begin, end) at TABs; returns the field count (fields past the array are
    // counted, not kept).
    int split(qsizetype begin, qsizetype end);
    QString text(int field) const;
    QString unescaped(int field) const;
    // The end of the line that starts at begin (at a CR LF or the file's end) and where the next
    // line starts.
    void lineEnd(qsizetype begin, qsizetype& end, qsizetype& next) const;

    QByteArrayView m_bytes;
    qsizetype m_offset = 0;  // of m_bytes in the file
    qsizetype m_pos = 0;
    qsizetype m_line = 0;
    bool m_utf8 = true;
    bool m_header = false;
    int m_previous = 0;  // item number of the last line that described an item
    std::array<QByteArrayView, 8> m_fields;
    int m_count = 0;
};

// "UTF-16" or "UTF-32" when the file's first bytes are those of text in that form (a byte-order
// mark, or the NUL bytes of ASCII characters), which would otherwise read as lines of junk;
// null otherwise.
const char* OtherUnicodeForm(QByteArrayView start);

// A path as the progress window's second line gets it: whole, in the platform's separators (the
// window shortens it to the line's width).
QString ExchangeProgressPath(const QString& path);
