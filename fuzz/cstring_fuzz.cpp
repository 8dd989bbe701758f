// Checks the byte-buffer string against plain QByteArray operations on arbitrary input: hex in
// both directions, the Horspool search (with its cached table reused across patterns), the plain
// search, replacing and appending. Input: one control byte, then text and pattern split by it.
#include "util/CString.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

static void check(bool ok) {
    if (!ok) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const QByteArray all(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype cut = all.isEmpty() ? 0 : data[0] % (all.size() + 1);
    const QByteArray text = all.left(cut);
    const QByteArray pattern = all.mid(cut, 1 + data[0] % 7);

    // Hex: digits round-trip; anything else is refused and leaves an empty text.
    CString s(text);
    const CString hex = s.ToHex();
    check(hex.View() == QByteArrayView(text.toHex().toUpper()));
    CString back;
    back.FromHexBytes(hex.View());
    check(back.View() == QByteArrayView(text));
    bool allHex = true;
    for (char c : all)
        allHex = allHex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    CString raw;
    try {
        raw.FromHexBytes(all);
        check(allHex || all.size() % 4 == 1);  // a last odd digit of 4k+1 digits is never read
        if (all.size() % 2 == 0) check(raw.View() == QByteArrayView(QByteArray::fromHex(all)));
    } catch (const CStringError&) {
        check(!allHex && raw.Length() == 0);
    }

    // Searches from every start agree with indexOf; the table is reused and rebuilt.
    if (!pattern.isEmpty()) {
        for (qsizetype start = 1; start <= text.size() + 1; start += 1 + text.size() / 8) {
            const qsizetype expected = text.indexOf(pattern, start - 1) + 1;
            check(s.FindBytes(pattern, start) == expected);
            check(s.InstrBytes(pattern, start) == expected);
            check(s.FindBytes(pattern.left(1), start) == text.indexOf(pattern.left(1), start - 1) + 1);
        }
        QByteArray replaced = text;
        replaced.replace(pattern, QByteArray("<>"));
        const CString r = s.ReplaceStr(QString::fromLatin1(pattern), QStringLiteral("<>"));
        // Latin-1 text converts to UTF-8 differently above 127: compare only plain ASCII cases.
        bool ascii = true;
        for (char c : pattern) ascii = ascii && uchar(c) < 128;
        if (ascii && !text.isEmpty()) check(r.View() == QByteArrayView(replaced));
    }

    // Appending keeps the text and grows as promised.
    CString grow;
    QByteArray expected;
    for (int i = 0; i < 3; ++i) {
        grow.AppendBytes(text);
        grow.Append(grow.Left(pattern.size()));
        expected += text;
        expected += expected.left(pattern.size());
        check(grow.Length() <= grow.Capacity());
    }
    check(grow.View() == QByteArrayView(expected));
    return 0;
}
