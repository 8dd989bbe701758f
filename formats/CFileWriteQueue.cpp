#include "formats/CFileWriteQueue.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString reason() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Whether the open file fd, of the same size, holds exactly bytes (read up to that size only).
bool holds(int fd, const QByteArray& bytes) {
    QByteArray old(bytes.size(), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < old.size()) {
        const ssize_t n = ::read(fd, old.data() + got, size_t(old.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += n;
    }
    return old == bytes;
}

// Creates path (flags decide whether an existing one is an error) and writes bytes into it; a
// file left unfinished is removed. errno tells why on failure. Never through a symbolic link, and
// a pipe found at path fails instead of waiting for a reader.
bool createWith(const QByteArray& path, const QByteArray& bytes, int flags) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | flags, 0666);
    if (fd < 0) return false;
    const bool written = writeAll(fd, bytes);
    const int writeErrno = errno;
    if (::close(fd) == 0 && written) return true;
    if (!written) errno = writeErrno;
    const int why = errno;
    ::unlink(path.constData());
    errno = why;
    return false;
}

}  // namespace

CFileWriteQueue::CFileWriteQueue(int threads, qsizetype maxQueuedBytes) : m_maxBytes(maxQueuedBytes) {
    for (int i = 0; i < qMax(1, threads); ++i) m_threads.emplace_back([this, i] { Run(i); });
}

CFileWriteQueue::~CFileWriteQueue() { Finish(nullptr); }

bool CFileWriteQueue::Put(const QString& file, QByteArray bytes, Mode mode) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_room.wait(hold, [this] { return m_failedSeq >= 0 || m_jobs.empty() || m_queuedBytes < m_maxBytes; });
    if (m_failedSeq >= 0 || m_ending) return false;
    m_queuedBytes += bytes.size();
    m_jobs.push_back({m_nextSeq++, file, std::move(bytes), mode});
    m_ready.notify_one();
    return true;
}

bool CFileWriteQueue::Finish(QString* error) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_ending = true;
    }
    m_ready.notify_all();
    for (std::thread& t : m_threads)
        if (t.joinable()) t.join();
    m_threads.clear();
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_failedSeq < 0) return true;
    if (error) *error = m_failure;
    return false;
}

int CFileWriteQueue::Written() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_written;
}

int CFileWriteQueue::Unchanged() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_unchanged;
}

void CFileWriteQueue::Run(int index) {
    // Each thread its own temporary name: two may replace files in one folder at once.
    const QByteArray temp = ".vellumgranary-write-" + QByteArray::number(index) + ".tmp";
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_ready.wait(hold, [this] { return m_ending || !m_jobs.empty(); });
        if (m_jobs.empty()) return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_queuedBytes -= job.bytes.size();
        m_room.notify_one();
        hold.unlock();
        QString error;
        bool written = false;
        const bool ok = WriteOne(QFile::encodeName(job.file), job.bytes, job.mode, temp.constData(), &error, &written);
        hold.lock();
        if (ok) {
            ++(written ? m_written : m_unchanged);
        } else if (m_failedSeq < 0 || job.seq < m_failedSeq) {
            m_failedSeq = job.seq;
            m_failure = error;
            // What is still queued is not written: the export ends with this failure.
            for (const Job& dropped : m_jobs) m_queuedBytes -= dropped.bytes.size();
            m_jobs.clear();
            m_room.notify_all();
        }
    }
}

bool CFileWriteQueue::WriteOne(const QByteArray& path, const QByteArray& bytes, Mode mode, const char* tempName,
                               QString* error, bool* written) {
    auto fail = [&](const char* text) {
        if (error) *error = QString::fromLatin1(text).arg(QFile::decodeName(path), reason());
        return false;
    };
    auto notPlain = [&] {
        if (error) *error = QStringLiteral("%1: not a plain file").arg(QFile::decodeName(path));
        return false;
    };
    *written = true;
    if (mode == Mode::New) {
        if (createWith(path, bytes, O_EXCL)) return true;
        if (errno != EEXIST) return fail("Unable to write %1: %2");
    }
    // Not blocking: a pipe or device where the file should be is refused, not waited on.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) {
        // A new file is written in place (removed again when the write fails).
        if (createWith(path, bytes, O_EXCL)) return true;
        return fail("Unable to write %1: %2");
    }
    if (fd < 0 && errno == ELOOP) return notPlain();
    if (fd >= 0) {
        struct stat st {};
        const bool plain = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        const bool same = plain && st.st_size == bytes.size() && holds(fd, bytes);
        ::close(fd);
        if (!plain) return notPlain();
        if (same) {
            *written = false;
            return true;
        }
    }
    // A changed file: through a temporary file renamed over it, so that it is always whole. No
    // flush to the disk per file: an export of many thousand files would wait on the disk for each.
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray temp = path.left(slash + 1) + tempName;
    if (!createWith(temp, bytes, O_TRUNC)) return fail("Unable to write %1: %2");
    if (std::rename(temp.constData(), path.constData()) != 0) {
        const int why = errno;
        ::unlink(temp.constData());
        errno = why;
        return fail("Unable to write %1: %2");
    }
    return true;
}
