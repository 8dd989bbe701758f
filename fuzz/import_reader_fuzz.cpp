// Feeds arbitrary bytes to the exchange-file reader the import runs on, and checks what the
// reader promises: it ends, positions only move forward inside the file, item lines carry a
// valid number, and escaping round-trips any text.
#include "exchange/basExchangeFile.h"
#include "util/CString.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

static void check(bool ok) {
    if (!ok) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    CExchangeReader reader(bytes);
    ExchangeRecord rec;
    qsizetype lastEnd = -1;
    qsizetype lines = 0;
    while (reader.Next(rec)) {
        check(++lines <= qsizetype(size) + 1);
        check(rec.end >= lastEnd && rec.end <= qsizetype(size));
        lastEnd = rec.end;
        if (rec.kind == ExchangeLineKind::Item || rec.kind == ExchangeLineKind::Category)
            check(rec.id >= 1);
        if (rec.kind != ExchangeLineKind::Item)
            check(rec.title.isEmpty() && rec.body.isEmpty() && rec.file.isEmpty());
        // What the import passes on must be something the escaping can write back.
        for (const QString* f : {&rec.language, &rec.category, &rec.title, &rec.body, &rec.file})
            check(UnescapeField(EscapeField(*f)) == *f);
    }

    // Escaping: no field separator survives, and unescaping restores the text exactly.
    const QString text = QString::fromUtf8(bytes);
    const QString escaped = EscapeField(text);
    check(!escaped.contains(QLatin1Char('\t')) && !escaped.contains(QLatin1Char('\r')) &&
          !escaped.contains(QLatin1Char('\n')));
    check(UnescapeField(escaped) == text);
    QByteArray utf8;
    AppendEscapedUtf8(utf8, text);
    check(utf8 == escaped.toUtf8());
    // The export's byte-level escaping writes the same bytes for the same text.
    CString out;
    const QByteArray textUtf8 = text.toUtf8();
    AppendEscapedBytes(out, textUtf8);
    check(out.View() == QByteArrayView(utf8));
    // Unescaping never grows a text.
    check(UnescapeField(text).size() <= text.size());
    return 0;
}
