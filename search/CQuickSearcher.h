#pragma once
// Runs the quick palette's searches off the caller's thread: one worker with a connection of its
// own to the snippet file and the file's CQuickIndex. Only the newest query counts: a newer one
// stops an older search between titles and interrupts its full-text read, and the results of a
// stopped search are never delivered. Results arrive through Found on the thread that made the
// searcher (its event loop must run).
#include "search/CQuickIndex.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class CQuickSearcher : public QObject {
    Q_OBJECT

public:
    // Rows a search gives at most: six pages of the list. Past them the user types a letter more;
    // further down, thousands of poor matches score nearly alike and all would need scoring.
    static constexpr int kLimit = 100;
    static constexpr int kBodyHitLimit = 500;  // full-text hits merged into one search
    static constexpr int kKeepListsMs = 150;   // a pause in typing this long drops the search's lists

    explicit CQuickSearcher(QObject* parent = nullptr);
    ~CQuickSearcher() override;

    // The file to search; the index is read again whenever it is another file or the file
    // changed since. An empty path closes it.
    void SetDatabase(const QString& path);
    QString Database() const { return m_path; }
    // Starts a search and returns its number; Found reports it unless a newer one came first.
    int Search(const QString& text);
    // Counts a use of the item in the file (tblItemUse) and in the index.
    void RecordUse(int itemId);
    // Whether bodies are searched too (on by default); off, only titles are matched.
    void SetBodyHits(bool on) { m_bodyHits = on; }

signals:
    void Found(int generation, const QList<CQuickIndex::Row>& rows, int indexedItems);
    // The index was read (items in it), or could not be (error).
    void IndexLoaded(int items, const QString& error);

private:
    void Run();
    bool Refresh();  // worker: (re)opens and reloads when needed; false when no file is usable

    struct Request;
    std::unique_ptr<Request> m_request;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<int> m_latest{0};
    std::atomic<bool> m_bodyHits{true};
    QString m_path;
    std::thread m_thread;
};
