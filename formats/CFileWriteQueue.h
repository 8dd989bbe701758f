#pragma once
// Puts files on disk on background threads while the caller composes the next ones, so that the
// file system's work and the composing run side by side. Files are handed over in order; each is
// written whole or not at all (see Mode); the first failure stops taking new files. The queue
// holds a bounded number of bytes: Put waits while it is full.
#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class CFileWriteQueue {
public:
    enum class Mode {
        // A file that cannot exist yet (its folder was just made): created and written, with no
        // look at the disk first. A name found taken after all goes the IfChanged way.
        New,
        // Written only when its bytes differ from what the file holds; an existing file is
        // replaced through a temporary file beside it, so that it is always whole.
        IfChanged,
    };

    explicit CFileWriteQueue(int threads = 1, qsizetype maxQueuedBytes = 16 << 20);
    ~CFileWriteQueue();  // waits for the queued files
    CFileWriteQueue(const CFileWriteQueue&) = delete;
    CFileWriteQueue& operator=(const CFileWriteQueue&) = delete;

    // Queues bytes for file (an absolute path whose folder exists). False, queuing nothing, once
    // a write has failed.
    bool Put(const QString& file, QByteArray bytes, Mode mode);
    // Waits until every queued file is done. False with the reason of the first file (in the
    // order handed over) that failed.
    bool Finish(QString* error);

    int Written() const;
    int Unchanged() const;

    // One file (its name encoded for the file system), on the calling thread; tempName is the
    // temporary file's name in the file's folder. written tells whether the bytes went to disk
    // (false: the file held them already). False with error on failure.
    static bool WriteOne(const QByteArray& file, const QByteArray& bytes, Mode mode, const char* tempName,
                         QString* error, bool* written);

private:
    struct Job {
        qint64 seq;
        QString file;
        QByteArray bytes;
        Mode mode;
    };
    void Run(int index);

    mutable std::mutex m_lock;
    std::condition_variable m_ready;  // a job queued, or the end
    std::condition_variable m_room;   // bytes left the queue, or a failure
    std::condition_variable m_idle;   // nothing queued and nothing in hand
    std::deque<Job> m_jobs;
    std::vector<std::thread> m_threads;
    qsizetype m_maxBytes;
    qsizetype m_queuedBytes = 0;
    int m_busy = 0;
    qint64 m_nextSeq = 0;
    bool m_ending = false;
    int m_written = 0;
    int m_unchanged = 0;
    qint64 m_failedSeq = -1;
    QString m_failure;
};
