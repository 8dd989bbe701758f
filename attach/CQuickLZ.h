#pragma once
// QuickLZ 1.5 blocks: our own codec. Decodes levels 1, 2 and 3; encodes level 1.
// Memory-safe: a damaged or foreign block fails cleanly.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>

class CQuickLZ {
public:
    CQuickLZ();
    ~CQuickLZ();
    CQuickLZ(const CQuickLZ&) = delete;
    CQuickLZ& operator=(const CQuickLZ&) = delete;

    // One block of all of source. An empty source is an error (false, block empty).
    // The memory of block is reused when it is large enough and not shared.
    bool Compress(QByteArrayView source, QByteArray& block, QString* error = nullptr);
    // The data of one block (any level; bytes after the block's length are ignored). False with
    // a reason, and data empty, for anything that is not a sound block.
    bool Decompress(QByteArrayView block, QByteArray& data, QString* error = nullptr);

    // From the block header; -1 when the header cannot be read.
    static qint64 SizeCompressed(QByteArrayView block);
    static qint64 SizeDecompressed(QByteArrayView block);

    // Bytes of working state each object keeps for compressing and decompressing.
    static int QLZ_SCRATCH_COMPRESS();
    static int QLZ_SCRATCH_DECOMPRESS();
    static int QLZ_VERSION_MAJOR() { return 1; }
    static int QLZ_VERSION_MINOR() { return 5; }
    static int QLZ_VERSION_REVISION() { return 0; }
    static bool QLZ_MEMORY_SAFE() { return true; }
    static int QLZ_COMPRESSION_LEVEL() { return 1; }
    static int QLZ_STREAMING_BUFFER() { return 0; }

private:
    bool DecompressInto(QByteArrayView block, QByteArray& data, QString* error);

    // Position tables; every block starts from a fresh table, so the contents never carry over.
    std::unique_ptr<std::uint64_t[]> m_compressState;
    std::unique_ptr<std::uint32_t[]> m_decompressState;
};
