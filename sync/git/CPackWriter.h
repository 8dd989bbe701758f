#pragma once
// Writes one git pack of whole objects (no deltas, so it needs no other pack) and its index
// (version 2), streamed to temporary files in a pack folder and renamed into place only once
// both are complete: a kill leaves at most a temporary file, never a half pack under a real
// name. The objects' ids are the caller's: nothing here hashes the objects again.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <git2/oid.h>
#include <git2/types.h>
#include <memory>
#include <vector>

class QCryptographicHash;
class QTemporaryFile;
struct libdeflate_compressor;

class CPackWriter {
public:
    // Compression level of the objects (zlib streams, as every git reads them). At 1 libdeflate
    // compresses snippet text twice as fast as zlib's own level 1, and within a few percent of
    // git's default 6 in size.
    static constexpr int Level = 1;

    CPackWriter();
    ~CPackWriter();
    CPackWriter(const CPackWriter&) = delete;
    CPackWriter& operator=(const CPackWriter&) = delete;

    // count is what the pack's header promises: exactly that many distinct objects follow.
    bool Begin(const QString& packFolder, quint32 count, QString* error);
    bool Add(const git_oid& id, git_object_t type, QByteArrayView data, QString* error);
    // Writes the checksum and the index and renames both into place; base gets their path
    // without ".pack"/".idx", ids the objects in index order.
    bool Finish(QString& base, std::vector<git_oid>& ids, QString* error);

    // The temporary names this writer uses (and a killed one may leave behind).
    static QString TemporaryPattern() { return QStringLiteral("tmp_pack_vg_"); }

private:
    struct Entry {
        git_oid id;
        quint64 offset;
        quint32 crc;
    };
    bool write(QByteArrayView bytes, QString* error);
    bool flush(QString* error);

    QString m_folder;
    quint32 m_count = 0;
    quint64 m_offset = 0;
    std::unique_ptr<QTemporaryFile> m_pack;
    libdeflate_compressor* m_zip = nullptr;
    std::unique_ptr<QCryptographicHash> m_sum;
    QByteArray m_buffer, m_deflated;
    std::vector<Entry> m_entries;
};
