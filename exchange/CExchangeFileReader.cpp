#include "exchange/CExchangeFileReader.h"

#include "util/basLimits.h"

#include <sys/stat.h>

#include <new>

bool CExchangeFileReader::Open(const QString& path, QString* error) {
    // A pipe would hold the open until a writer comes, a device never ends.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (error) *error = QStringLiteral("it is not a regular file");
        return false;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        if (error) *error = m_file.errorString();
        return false;
    }
    m_size = m_file.size();
    if (const char* form = OtherUnicodeForm(m_file.peek(4))) {
        if (error) *error = QStringLiteral("The file is %1: save it as UTF-8 or Windows-1252").arg(QLatin1String(form));
        return false;
    }
    if (m_size > kMaxContentBytes) {
        if (error) *error = QStringLiteral("the file is larger than %1").arg(QLatin1String(MaxContentText()));
        return false;
    }
    return true;
}

bool CExchangeFileReader::Fill() {
    m_buffer.remove(0, m_viewEnd);
    m_offset += m_viewEnd;
    m_viewEnd = 0;
    for (;;) {
        // What is left holds no CR LF (the view ended at the last one): only what is read now
        // (and the byte before it) is searched, so a long line costs one pass.
        qsizetype had = m_buffer.size();
        if (!m_atEnd) {
            try {
                m_buffer.resize(had + m_piece);
            } catch (const std::bad_alloc&) {
                m_error = QStringLiteral("not enough memory to read the file");
                return false;
            }
            const qint64 got = m_file.read(m_buffer.data() + had, m_piece);
            if (got < 0) {
                m_error = m_file.errorString();
                return false;
            }
            m_buffer.resize(had + got);
            if (got == 0) m_atEnd = true;
        }
        // A view ends after a CR LF, the only line end: one cut in two would be read as none.
        for (qsizetype i = m_buffer.size(); i > had && i >= 2; --i) {
            if (m_buffer[i - 1] == '\n' && m_buffer[i - 2] == '\r') {
                m_viewEnd = i;
                break;
            }
        }
        if (m_atEnd) m_viewEnd = m_buffer.size();
        if (m_viewEnd > 0 || m_atEnd) return m_viewEnd > 0;
    }
}

bool CExchangeFileReader::Next(ExchangeRecord& rec) {
    if (!m_error.isEmpty()) return false;
    for (;;) {
        if (m_reader && m_reader->Next(rec)) return true;
        if (m_atEnd && m_viewEnd == m_buffer.size()) return false;
        if (!Fill()) return false;
        const QByteArrayView view(m_buffer.constData(), m_viewEnd);
        if (!m_reader) m_reader.emplace(view);  // the first piece: byte-order mark and header
        else m_reader->Continue(view, m_offset);
    }
}
