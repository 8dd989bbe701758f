// libFuzzer target for the block decoder: any input must decode cleanly or fail with a reason,
// and whatever decodes must survive our own encoder and decoder unchanged. Raw inputs are also
// run through the encoder, so its bounds are exercised on arbitrary data.
#include "attach/CQuickLZ.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Broken(const char* what, const QString& error = {}) {
    std::fprintf(stderr, "codec fault: %s %s\n", what, error.toLocal8Bit().constData());
    std::abort();
}

void RoundTrip(CQuickLZ& codec, const QByteArray& data) {
    QByteArray block;
    QByteArray back;
    QString error;
    if (!codec.Compress(data, block, &error)) Broken("compress refused data", error);
    if (block.size() > data.size() + 400) Broken("block grew beyond the bound");
    if (CQuickLZ::SizeCompressed(block) != block.size()) Broken("block length in the header");
    if (CQuickLZ::SizeDecompressed(block) != data.size()) Broken("data length in the header");
    if (!codec.Decompress(block, back, &error)) Broken("own block refused", error);
    if (back != data) Broken("round trip changed the data");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    // One object for every input, as a long-lived caller would use it: no state may carry over.
    static CQuickLZ codec;
    const QByteArrayView input(reinterpret_cast<const char*>(bytes), qsizetype(size));

    QByteArray data("stale");
    QString error;
    if (codec.Decompress(input, data, &error)) {
        if (data.size() != CQuickLZ::SizeDecompressed(input)) Broken("decoded size differs from the header");
        RoundTrip(codec, data);
    } else {
        if (error.isEmpty()) Broken("failure without a reason");
        if (!data.isEmpty()) Broken("failure left data behind");
    }
    if (size > 0) RoundTrip(codec, QByteArray(input.data(), input.size()));
    return 0;
}
