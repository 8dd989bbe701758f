#include "sync/git/CPackWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdio>
#include <libdeflate.h>

namespace {

void be32(QByteArray& out, quint32 v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.append(char((v >> shift) & 0xff));
}

bool failed(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

}  // namespace

CPackWriter::CPackWriter() = default;

CPackWriter::~CPackWriter() {
    if (m_zip) libdeflate_free_compressor(m_zip);
}

bool CPackWriter::Begin(const QString& packFolder, quint32 count, QString* error) {
    m_folder = packFolder;
    m_count = count;
    m_offset = 0;
    m_entries.clear();
    m_entries.reserve(count);
    if (!QDir().mkpath(packFolder)) return failed(error, QStringLiteral("Unable to make the folder ") + packFolder);
    m_pack = std::make_unique<QTemporaryFile>(packFolder + QLatin1Char('/') + TemporaryPattern() + QStringLiteral("XXXXXX"));
    if (!m_pack->open()) return failed(error, QStringLiteral("Unable to write in %1: %2").arg(packFolder, m_pack->errorString()));
    if (!m_zip && !(m_zip = libdeflate_alloc_compressor(Level))) return failed(error, QStringLiteral("Unable to start the compressor"));
    m_sum = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha1);
    QByteArray header("PACK");
    be32(header, 2);
    be32(header, count);
    return write(header, error);
}

bool CPackWriter::write(QByteArrayView bytes, QString* error) {
    m_sum->addData(bytes);
    m_buffer.append(bytes);
    m_offset += quint64(bytes.size());
    return m_buffer.size() < (1 << 20) || flush(error);
}

bool CPackWriter::flush(QString* error) {
    if (m_buffer.isEmpty()) return true;
    if (m_pack->write(m_buffer) != m_buffer.size())
        return failed(error, QStringLiteral("Unable to write %1: %2").arg(m_pack->fileName(), m_pack->errorString()));
    m_buffer.clear();
    return true;
}

bool CPackWriter::Add(const git_oid& id, git_object_t type, QByteArrayView data, QString* error) {
    if (m_entries.size() >= m_count) return failed(error, QStringLiteral("More objects than the pack was begun with"));
    Entry entry{id, m_offset, 0};
    // Type and size: four bits of size in the first byte, seven in each next one.
    QByteArray header;
    quint64 size = quint64(data.size());
    quint8 byte = quint8((int(type) << 4) | (size & 0x0f));
    size >>= 4;
    while (size) {
        header.append(char(byte | 0x80));
        byte = quint8(size & 0x7f);
        size >>= 7;
    }
    header.append(char(byte));
    m_deflated.resize(qsizetype(libdeflate_zlib_compress_bound(m_zip, size_t(data.size()))));
    const size_t length = libdeflate_zlib_compress(m_zip, data.data(), size_t(data.size()), m_deflated.data(), size_t(m_deflated.size()));
    if (length == 0) return failed(error, QStringLiteral("Unable to compress an object"));
    const QByteArrayView packed(m_deflated.constData(), qsizetype(length));
    entry.crc = libdeflate_crc32(libdeflate_crc32(0, header.constData(), size_t(header.size())), packed.data(), size_t(packed.size()));
    m_entries.push_back(entry);
    return write(header, error) && write(packed, error);
}

bool CPackWriter::Finish(QString& base, std::vector<git_oid>& ids, QString* error) {
    if (m_entries.size() != m_count) return failed(error, QStringLiteral("Fewer objects than the pack was begun with"));
    const QByteArray checksum = m_sum->result();
    m_buffer.append(checksum);
    if (!flush(error)) return false;
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) { return git_oid_cmp(&a.id, &b.id) < 0; });
    for (size_t i = 1; i < m_entries.size(); ++i)
        if (git_oid_equal(&m_entries[i - 1].id, &m_entries[i].id))
            return failed(error, QStringLiteral("The same object twice in one pack"));

    // The index: fan-out by first byte, ids, checksums, offsets (past 2 GiB in a second table).
    QByteArray idx("\377tOc", 4);
    be32(idx, 2);
    quint32 below = 0;
    size_t at = 0;
    for (int first = 0; first < 256; ++first) {
        while (at < m_entries.size() && m_entries[at].id.id[0] == first) {
            ++below;
            ++at;
        }
        be32(idx, below);
    }
    idx.reserve(idx.size() + qsizetype(m_entries.size()) * 28 + 40);
    for (const Entry& e : m_entries) idx.append(reinterpret_cast<const char*>(e.id.id), GIT_OID_RAWSZ);
    for (const Entry& e : m_entries) be32(idx, e.crc);
    QByteArray large;
    for (const Entry& e : m_entries) {
        if (e.offset < 0x80000000ull) {
            be32(idx, quint32(e.offset));
        } else {
            be32(idx, 0x80000000u | quint32(large.size() / 8));
            be32(large, quint32(e.offset >> 32));
            be32(large, quint32(e.offset & 0xffffffffu));
        }
    }
    idx.append(large);
    idx.append(checksum);
    idx.append(QCryptographicHash::hash(idx, QCryptographicHash::Sha1));

    QTemporaryFile index(m_folder + QLatin1Char('/') + TemporaryPattern() + QStringLiteral("XXXXXX"));
    if (!index.open() || index.write(idx) != idx.size() || !index.flush())
        return failed(error, QStringLiteral("Unable to write the index of a pack in ") + m_folder);
    // As git leaves them: nobody writes a pack once it is named.
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (!m_pack->flush() || !m_pack->setPermissions(readOnly) || !index.setPermissions(readOnly))
        return failed(error, QStringLiteral("Unable to write a pack in ") + m_folder);
    base = m_folder + QStringLiteral("/pack-") + QString::fromLatin1(checksum.toHex());
    // The pack before its index: a pack without index is never read, an index without pack is
    // an error for every reader.
    const QByteArray packName = QFile::encodeName(base + QStringLiteral(".pack"));
    const QByteArray idxName = QFile::encodeName(base + QStringLiteral(".idx"));
    if (std::rename(QFile::encodeName(m_pack->fileName()).constData(), packName.constData()) != 0)
        return failed(error, QStringLiteral("Unable to name the pack ") + QFile::decodeName(packName));
    m_pack->setAutoRemove(false);
    if (std::rename(QFile::encodeName(index.fileName()).constData(), idxName.constData()) != 0)
        return failed(error, QStringLiteral("Unable to name the pack index ") + QFile::decodeName(idxName));
    index.setAutoRemove(false);
    m_pack.reset();
    ids.clear();
    ids.reserve(m_entries.size());
    for (const Entry& e : m_entries) ids.push_back(e.id);
    m_entries.clear();
    m_entries.shrink_to_fit();
    return true;
}
